// A history job's finished files, settled a group at a time.
//
// A worker writes each target to its temporary, starts its write-back
// (sync_file_range), for an extraction queues it for the batch's sync threads
// (CSyncAhead), and for a compression decodes the temporary back and compares
// it with the plain file.  It then hands the file to the job's own thread
// (QueueFile), which settles a group of files at once, in the order of the names:
//
//   1. force each temporary to disk (fsync on the sync threads, several at
//      once so that journal commits serve many; an extraction's started when
//      it was made) and rename it into place, never over a file that appeared
//      meanwhile;
//   2. sync the folder once: every rename of the group is now on disk;
//   3. compression: for each plain file, take a write lease (nobody else has it
//      open), check that it is the file that was proven, unchanged, and set it
//      aside under a name nobody opens (".<name>.tamble-old.<pid>");
//   4. one short pause, so that whoever found one of the files by its name just
//      before the set-aside gets far enough to be seen (a lease break, or a
//      change of a file we hold no lease on);
//   5. for each file: delete it, or, when it was opened or changed meanwhile,
//      put it back and remove a twin made of it; its messages and counts are
//      given here.
//
// The job syncs the folder once more at its end, so the deletions are on disk
// when it reports them.  Why nothing can be lost: a plain file is deleted only
// after step 2, when its twin's data (forced before the rename) and its name
// are both on disk; a crash before that leaves the plain file, and at worst a
// twin that the next run proves again or a temporary that it removes.
#include "jobs/JobError.h"
#include "jobs/SyncAhead.h"
#include "jobs/TambleJobs.h"
#include "platform/DirSearch.h"
#include "platform/FileLease.h"
#include "platform/Folder.h"
#include "platform/ResourceLibrary.h"
#include "platform/SafeTarget.h"
#include "platform/StringIds.h"
#include "platform/SysCall.h"
#include "platform/System.h"
#include "platform/TempRegistry.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

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

// A plain file that is being deleted is first renamed to ".<name>.tamble-old.<pid>".
constexpr char SET_ASIDE_MARK[] = ".tamble-old.";

std::string SetAsideName(const std::string& plain, long pid)
{
    return "." + plain + SET_ASIDE_MARK + std::to_string(pid);
}

}   // namespace

// One file of a group on its way: what steps 1 and 3 found, for step 5.
struct CTambleJobs::PlainOnItsWay {
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

void CTambleJobs::QueueFile(PendingFile file)
{
    file.failed = m_bFileFailed;
    file.fileIn = m_nFileIn;
    file.fileOut = m_nFileOut;
    m_pendingFiles.push_back(std::move(file));
    m_bInFile = false;   // the file is counted when its group is settled
}

void CTambleJobs::TakePending(CTambleJobs& from)
{
    for (PendingFile& file : from.m_pendingFiles) {
        // Two names of one file are let go in groups of their own: a lease on
        // one name would be our own descriptor in the way of a lease on the other.
        const auto sameFile = [&](const PendingFile& other) {
            return !file.plain.empty() && !other.plain.empty() && file.before.id == other.before.id;
        };
        if (std::any_of(m_pendingFiles.begin(), m_pendingFiles.end(), sameFile))
            SettlePending();
        m_pendingFiles.push_back(std::move(file));
    }
    from.m_pendingFiles.clear();
    if (m_pendingFiles.size() >= m_nGroupSize)
        SettlePending();
}

void CTambleJobs::SettlePending()
{
    if (m_pendingFiles.empty())
        return;
    std::vector<PendingFile> group = std::move(m_pendingFiles);
    m_pendingFiles.clear();
    std::vector<std::unique_ptr<PlainOnItsWay>> ways;
    for (std::size_t i = 0; i < group.size(); ++i)
        ways.push_back(std::make_unique<PlainOnItsWay>());
    PlaceTargets(group, ways);
    // Groups are settled only inside RunBatch, which ignores the lease break
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
    for (std::size_t i = 0; i < group.size(); ++i) {
        const PendingFile& file = group[i];
        m_bInFile = true;
        m_bFileFailed = file.failed;
        m_nFileIn = file.fileIn;
        m_nFileOut = file.fileOut;
        EndFile(FinishFile(file, *ways[i]));
    }
}

void CTambleJobs::PlaceTargets(std::vector<PendingFile>& group, std::vector<std::unique_ptr<PlainOnItsWay>>& ways)
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
    for (std::size_t i = 0; i < group.size(); ++i) {
        std::string cause = syncCauses[i];
        if (group[i].staged && (!cause.empty() || !group[i].staged->Finish(false, cause))) {
            ways[i]->textId = IDS_ERR_CREATE;
            ways[i]->file = group[i].target;
            ways[i]->cause = cause.empty() ? std::strerror(EIO) : cause;
        }
        group[i].staged.reset();
    }
    std::string syncCause;
    if (CSafeTarget::SyncFolder(*m_pTargetFolder, syncCause))
        return;
    for (auto& way : ways) {
        if (way->cause.empty())
            way->cause = syncCause;
    }
}

void CTambleJobs::SetAside(const PendingFile& file, PlainOnItsWay& way)
{
    // Nobody else may have the file open while it goes: under a write lease an
    // opener has to wait until we are done, and we see that it waits.
    const CFolder& folder = *m_pFolder;
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

bool CTambleJobs::FinishFile(const PendingFile& file, PlainOnItsWay& way)
{
    if (file.plain.empty()) {   // an extraction: its target is in place, or it failed
        if (!way.cause.empty()) {
            Fail(way.textId, way.file, way.cause);
            return false;
        }
        LogLine(file.logId, file.logText);
        return true;
    }
    const CFolder& folder = *m_pFolder;
    const std::string twinFate
        = FormatText(file.madeTarget ? IDS_CAUSE_TWIN_REMOVED : IDS_CAUSE_TWIN_KEPT, {file.targetName});
    // The plain file stays; a twin made of what it held goes with it.
    auto keep = [&](UINT textId, bool failure) {
        if (file.madeTarget)
            folder.Unlink(file.targetName);
        if (failure)
            Fail(textId, file.plain, twinFate);
        else
            Notice(textId, file.plain, twinFate);
    };
    switch (way.step) {
    case PlainOnItsWay::Step::Refuse:
        Fail(way.textId, way.file.empty() ? file.plain : way.file, way.cause);
        return false;
    case PlainOnItsWay::Step::Keep:
        keep(way.textId, way.failure);
        return false;
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
            Fail(IDS_ERR_DELETE, file.plain,
                 FormatText(IDS_CAUSE_KEPT_AS, {folder.Shown(way.aside), std::strerror(backError)}));
        else if (deleteError)
            Fail(IDS_ERR_DELETE, file.plain, std::strerror(deleteError));
        else
            keep(inUse ? IDS_ERR_IN_USE : IDS_ERR_PLAIN_CHANGED, changed);
        return false;
    }
    way.lease.Release();
    if (way.leaseError) {   // deleted under the weaker check: said once at the end
        ++m_nUnleased;
        m_nUnleasedError = way.leaseError;
    }
    LogLine(file.logId, file.logText);
    return true;
}

void CTambleJobs::SyncHistoryFolder(const CFolder& folder)
{
    std::string cause;
    if (!CSafeTarget::SyncFolder(folder, cause))
        Fail(IDS_ERR_WRITE, folder.Shown(), cause);
}

void CTambleJobs::WarnUnleased(const CFolder& folder)
{
    if (m_nUnleased == 0)
        return;
    m_view.Message(ComposeMessage(FormatText(IDS_WARN_NO_LEASE, {std::to_string(m_nUnleased)}), folder.Shown(),
                                  std::strerror(m_nUnleasedError)));
}

void CTambleJobs::RestoreSetAside(const CFolder& folder)
{
    // A run killed while it deleted a plain file can leave it set aside: it goes
    // back under its name (only ours, only of runs that are gone), and the job
    // then deletes it as usual once its twin proves itself.  Both names are of
    // this folder, whatever its path leads to by now.
    int error = 0;
    for (const DirEntry& entry : folder.ListMatching(".*" + std::string(SET_ASIDE_MARK) + "*", error)) {
        const std::size_t mark = entry.name.rfind(SET_ASIDE_MARK);
        if (entry.type != DirEntryType::File || mark == std::string::npos || mark < 2)
            continue;
        const std::string pid = entry.name.substr(mark + sizeof SET_ASIDE_MARK - 1);
        if (pid.empty() || pid.size() > 9 || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const long owner = std::stol(pid);
        if (!ProcessGone(owner))
            continue;
        const std::string plain = entry.name.substr(1, mark - 1);
        if (folder.Rename(entry.name, plain, false) == 0)
            LogLine(IDS_LOG_RESTORED, folder.Shown(plain));
        else
            Fail(IDS_ERR_DELETE, folder.Shown(plain),
                 FormatText(IDS_CAUSE_KEPT_AS, {folder.Shown(entry.name), std::strerror(errno)}));
    }
}
