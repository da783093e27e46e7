#include "jobs/GroupSettler.h"

#include "jobs/JobError.h"
#include "jobs/Leftovers.h"
#include "jobs/SyncAhead.h"
#include "platform/FileLease.h"
#include "platform/SafeTarget.h"
#include "platform/StringIds.h"
#include "platform/System.h"
#include "platform/TempRegistry.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Whether a file still holds what it held: the same file, size and contents
// time (renaming it moves its change time only).
bool SameContent(const FileInfo& before, const FileInfo& now)
{
    return before.id == now.id && before.size == now.size && before.modified == now.modified;
}

// Whether a file is still as it was: the same file, size, contents time and
// change time (any write or change of its attributes moves the change time).
// A name of the file that came or went moves the change time too: where the
// count of its names differs, the other marks have to do.
bool Unchanged(const FileInfo& before, const FileInfo& now)
{
    return SameContent(before, now) && (before.links != now.links || before.changed == now.changed);
}

SettledFile::Line Message(UINT textId, const std::string& file, const std::string& cause)
{
    return {true, ComposeMessage(textId, file, cause)};
}

}   // namespace

// One file of a group on its way: what steps 1 and 3 found, for step 5.
struct CGroupSettler::PlainOnItsWay {
    enum class Step { SetAside, Keep, Refuse };
    Step step = Step::Refuse;
    UINT textId = IDS_ERR_DELETE;   // Keep, Refuse: the message
    bool failure = false;           // Keep: whether keeping it fails the file
    std::string file, cause;        // Refuse: about which file (empty: the plain one), and why
    CFileLease lease;
    const CFolder* folder = nullptr;     // SetAside: the folder of both names
    std::string plain, aside;            // SetAside: the file's name, and its name now
    int asideSlot = NO_TEMPORARY_SLOT;   // its stop-signal registration
    bool finished = false;
    int leaseError = 0;   // why no lease could be had (the weaker check was taken)

    // A file left set aside (an error stopped the group) goes back to its name.
    ~PlainOnItsWay()
    {
        if (aside.empty())
            return;
        if (!finished)
            folder->Rename(aside, plain, false);
        UnregisterTemporary(asideSlot);
    }
};

CGroupSettler::CGroupSettler(const CFolder& plainFolder, const CFolder& targetFolder, std::size_t syncThreads,
                             std::size_t groupSize)
    : m_plainFolder(plainFolder),
      m_targetFolder(targetFolder),
      m_pSyncAhead(syncThreads ? std::make_unique<CSyncAhead>(syncThreads) : nullptr),
      m_nGroupSize(groupSize)
{}

CGroupSettler::~CGroupSettler() = default;

void CGroupSettler::Add(PendingFile file, std::vector<SettledFile>& settled)
{
    // Two names of one file are let go in groups of their own: a lease on one
    // name would be our own descriptor in the way of a lease on the other.
    const auto sameFile = [&](const PendingFile& other) {
        return !file.plain.empty() && !other.plain.empty() && file.before.id == other.before.id;
    };
    if (std::any_of(m_pending.begin(), m_pending.end(), sameFile))
        Settle(settled);
    m_pending.push_back(std::move(file));
    if (m_pending.size() >= m_nGroupSize)
        Settle(settled);
}

void CGroupSettler::Settle(std::vector<SettledFile>& settled)
{
    if (m_pending.empty())
        return;
    std::vector<PendingFile> group = std::move(m_pending);
    m_pending.clear();
    std::vector<std::unique_ptr<PlainOnItsWay>> ways;
    for (std::size_t i = 0; i < group.size(); ++i)
        ways.push_back(std::make_unique<PlainOnItsWay>());
    PlaceTargets(group, ways);
    // Groups are settled only inside the batch, which ignores the lease break
    // signal throughout: leases held together never restore its default early.
    bool setAside = false;
    for (std::size_t i = 0; i < group.size(); ++i) {
        if (!group[i].plain.empty() && ways[i]->cause.empty()) {
            SetAside(group[i], *ways[i]);
            setAside = true;
        }
    }
    if (setAside)
        PauseMilliseconds(1);
    for (std::size_t i = 0; i < group.size(); ++i)
        settled.push_back(FinishFile(group[i], *ways[i]));
}

void CGroupSettler::PlaceTargets(std::vector<PendingFile>& group, std::vector<std::unique_ptr<PlainOnItsWay>>& ways)
{
    // Each target is forced to disk before its rename, the group's on the sync
    // threads and this one at once (an extraction's was queued when it was made,
    // and is mostly done by now), never over a file that appeared meanwhile.
    // Then one sync of the folder puts every rename of the group on disk.
    std::vector<std::string> syncCauses(group.size());
    for (const PendingFile& file : group) {
        if (file.staged && m_pSyncAhead)
            m_pSyncAhead->Submit(file.staged);
    }
    for (std::size_t i = 0; i < group.size(); ++i) {
        if (!group[i].staged)
            continue;
        if (m_pSyncAhead)
            m_pSyncAhead->Await(*group[i].staged, syncCauses[i]);
        else
            group[i].staged->Sync(syncCauses[i]);
    }
    std::vector<bool> placed(group.size(), false);
    for (std::size_t i = 0; i < group.size(); ++i) {
        std::string cause = syncCauses[i];
        if (group[i].staged && (!cause.empty() || !group[i].staged->Finish(false, cause))) {
            ways[i]->textId = IDS_ERR_CREATE;
            ways[i]->file = group[i].target;
            ways[i]->cause = cause.empty() ? std::strerror(EIO) : cause;
        } else if (group[i].staged) {
            placed[i] = true;
        }
        group[i].staged.reset();
    }
    std::string syncCause;
    if (CSafeTarget::SyncFolder(m_targetFolder, syncCause))
        return;
    // A plain file whose twin's name may not be on disk stays, and is named; an
    // extraction has no plain file, so its target in place is named instead.
    for (std::size_t i = 0; i < group.size(); ++i) {
        if (!ways[i]->cause.empty())
            continue;
        if (placed[i] && group[i].plain.empty()) {
            ways[i]->textId = IDS_ERR_CREATE;
            ways[i]->file = group[i].target;
        }
        ways[i]->cause = syncCause;
    }
}

void CGroupSettler::SetAside(const PendingFile& file, PlainOnItsWay& way)
{
    // Nobody else may have the file open while it goes: under a write lease an
    // opener has to wait until we are done, and we see that it waits.
    const CFolder& folder = m_plainFolder;
    int error = 0;
    switch (way.lease.Take(folder.Handle(), file.plainName, error)) {
    case CFileLease::Result::InUse:
        way.step = PlainOnItsWay::Step::Keep;   // not a failure: a later run compresses it
        way.textId = IDS_ERR_IN_USE;
        return;
    case CFileLease::Result::Failed:
        way.cause = std::strerror(error);
        return;
    case CFileLease::Result::Unsupported:
        way.leaseError = error;
        break;
    case CFileLease::Result::Held:
        break;
    }
    FileInfo now, named;
    if (!InfoOf(way.lease.Handle(), now) || !folder.Stat(file.plainName, named) || !Unchanged(file.before, now)
        || !(named.id == now.id)) {
        // Written to while it was compressed: the plain file stays as it now is.
        way.step = PlainOnItsWay::Step::Keep;
        way.textId = IDS_ERR_PLAIN_CHANGED;
        way.failure = true;
        return;
    }
    // Set aside under a name nobody opens, so that whoever found it by its name
    // just before is seen while it can still be put back.
    const std::string aside = SetAsideName(file.plainName, CurrentProcessId());
    // A stop signal puts it back.
    const int slot = RegisterSetAsideAt(folder.Handle(), aside.c_str(), file.plainName.c_str());
    const int moved = folder.Rename(file.plainName, aside, false);
    const int moveError = errno;
    CreationReturned();
    if (moved != 0) {
        UnregisterTemporary(slot);
        way.cause = std::strerror(moveError);
        return;
    }
    way.folder = &folder;
    way.plain = file.plainName;
    way.aside = aside;
    way.asideSlot = slot;
    way.step = PlainOnItsWay::Step::SetAside;
}

SettledFile CGroupSettler::FinishFile(const PendingFile& file, PlainOnItsWay& way)
{
    if (!file.plain.empty())
        return FinishPlain(file, way);
    // An extraction's target (or one a compression keeps its plain file beside)
    // is in place, or it failed.
    SettledFile settled {{}, file.failed, false, file.fileIn, file.fileOut};
    if (!way.cause.empty()) {
        settled.lines.push_back(Message(way.textId, way.file, way.cause));
        settled.failed = true;
        return settled;
    }
    settled.lines.push_back({false, ComposeMessage(file.logId, file.logText, {})});
    settled.converted = true;
    return settled;
}

SettledFile CGroupSettler::FinishPlain(const PendingFile& file, PlainOnItsWay& way)
{
    const CFolder& folder = m_plainFolder;
    SettledFile settled {{}, file.failed, false, file.fileIn, file.fileOut};
    const std::string twinFate
        = FormatText(file.madeTarget ? IDS_CAUSE_TWIN_REMOVED : IDS_CAUSE_TWIN_KEPT, {file.targetName});
    // The plain file stays; a twin made of what it held goes with it.
    const auto keep = [&](UINT textId, bool failure) {
        if (file.madeTarget)
            folder.Unlink(file.targetName);
        settled.lines.push_back(Message(textId, file.plain, twinFate));
        settled.failed = settled.failed || failure;
    };
    const auto fail = [&](UINT textId, const std::string& what, const std::string& cause) {
        settled.lines.push_back(Message(textId, what, cause));
        settled.failed = true;
    };
    switch (way.step) {
    case PlainOnItsWay::Step::Refuse:
        fail(way.textId, way.file.empty() ? file.plain : way.file, way.cause);
        return settled;
    case PlainOnItsWay::Step::Keep:
        keep(way.textId, way.failure);
        return settled;
    case PlainOnItsWay::Step::SetAside:
        break;
    }
    way.finished = true;
    FileInfo now;
    const bool inUse = way.lease.Held() && way.lease.Broken();
    const bool changed = !way.lease.Held() && (!InfoOf(way.lease.Handle(), now) || !SameContent(file.before, now));
    int deleteError = 0;
    if (!inUse && !changed && folder.Unlink(way.aside) != 0)
        deleteError = errno;
    if (inUse || changed || deleteError) {
        const int backError = folder.Rename(way.aside, file.plainName, false) == 0 ? 0 : errno;
        way.lease.Release();   // an opener waiting for it now finds the file in its place
        if (backError)
            fail(IDS_ERR_DELETE, file.plain,
                 FormatText(IDS_CAUSE_KEPT_AS, {folder.Shown(way.aside), std::strerror(backError)}));
        else if (deleteError)
            fail(IDS_ERR_DELETE, file.plain, std::strerror(deleteError));
        else
            keep(inUse ? IDS_ERR_IN_USE : IDS_ERR_PLAIN_CHANGED, changed);
        return settled;
    }
    way.lease.Release();
    settled.leaseError = way.leaseError;   // deleted under the weaker check: said once at the end
    settled.lines.push_back({false, ComposeMessage(file.logId, file.logText, {})});
    settled.converted = true;
    return settled;
}
