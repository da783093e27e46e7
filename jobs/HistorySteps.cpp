#include "jobs/HistorySteps.h"

#include "jobs/HistoryNames.h"
#include "jobs/JobError.h"
#include "jobs/StreamCheck.h"
#include "jobs/SyncAhead.h"
#include "platform/Folder.h"
#include "platform/ResourceLibrary.h"
#include "platform/SafeTarget.h"
#include "platform/StringIds.h"

#include <cstring>
#include <memory>
#include <optional>
#include <utility>

namespace {

std::uint64_t SizeOf(const std::string& path)
{
    FileInfo info;
    return InfoOfPath(path, info) ? info.size : 0;
}

// The midnight of the date in a plain history name; false with the fault
// for a date out of range or one that cannot be converted.
bool NameMidnight(const std::string& name, const std::string& path, int start, std::int64_t now, std::int64_t& midnight,
                  JobFault& fault)
{
    const HistoryDate date = NameDate(name, start);
    switch (ResolveDate(date, now, midnight)) {
    case DateResult::OutOfRange:
        fault = {IDS_ERR_NAME_DATE_RANGE, path, DateCause(date, JOB_E_FAIL)};
        return false;
    case DateResult::Unconvertible:
        fault = {IDS_ERR_NAME_DATE_CONVERT, path, DateCause(date, JOB_E_INVALIDARG)};
        return false;
    case DateResult::Ok:
        break;
    }
    return true;
}

// One file's step: what it says and earns goes into its record, which becomes
// the file's outcome.
class CHistoryStep {
public:
    CHistoryStep(const HistoryStepContext& context, const FilePosSink& bar)
        : m_context(context), m_settings(context.settings), m_bar(bar)
    {}

    FileOutcome Compress(const std::string& name);
    FileOutcome Extract(const std::string& name, CSyncAhead* syncAhead);

private:
    void CompressOne(const std::string& name);
    // Proves an existing twin against its plain file and forces it to disk.
    void ProveExistingTwin(const FileRef& plain, const FileInfo& plainInfo, const std::string& twinName,
                           const FileInfo& twinInfo);
    void ExtractOne(const std::string& name, CSyncAhead* syncAhead);
    // Converts; records the conversion's faults (the last may stop the job).
    ConversionResult Convert(const FileRef& source, const FileRef& target, int method, bool plainSource);
    // A dry run's check of a conversion; records what would happen or why it fails.
    bool DryConvert(const FileRef& source, const std::string& target, UINT logId);
    // The file is over: queued for its group, or counted now.
    FileOutcome End(bool converted);

    const HistoryStepContext& m_context;
    const JobSettings& m_settings;
    const FilePosSink& m_bar;
    CFileRecord m_record;
    bool m_bDone = false;   // the file was (or would be) converted
    std::optional<PendingFile> m_pending;
};

FileOutcome CHistoryStep::End(bool converted)
{
    if (m_pending)
        return m_record.Queue(std::move(*m_pending));   // its group counts it
    return m_record.End(converted);
}

FileOutcome CHistoryStep::Compress(const std::string& name)
{
    const std::string path = m_context.folder.Shown(name);
    const int start = NameDateStart(name.size());
    std::int64_t midnight = 0;
    JobFault fault;
    if (start < 0) {
        if (m_settings.dryRun)
            m_record.Log(IDS_DRY_OTHER_NAME, path);
    } else if (!NameMidnight(name, path, start, m_context.now, midnight, fault)) {
        // A stray name is the folder's, not the caller's: it is passed over and
        // the job goes on, so that one such file cannot hold up every later run.
        m_record.BadName(fault.textId, fault.file, fault.cause);
    } else if (m_context.now - midnight <= m_context.ageLimit) {
        if (m_settings.dryRun)
            m_record.Log(IDS_DRY_TOO_YOUNG, path);
    } else {
        CompressOne(name);
        // A file queued for its group is counted there; else it is converted
        // when it was (or a dry run would be) and its plain file is gone.
        FileInfo st;
        return End(!m_pending && m_bDone && (m_settings.dryRun || !m_context.folder.Stat(name, st)));
    }
    return End(false);
}

void CHistoryStep::CompressOne(const std::string& name)
{
    const CFolder& folder = m_context.folder;
    const std::string source = folder.Shown(name);
    const std::string twinName = TwinName(name, ".hsz");
    const std::string target = folder.Shown(twinName);

    // Every later step insists on the file this look saw: a name given to a
    // link, a FIFO or another file meanwhile is refused, never followed.
    FileInfo plain, twin;
    const bool seen = folder.Stat(name, plain);
    if (seen && !plain.regular) {
        m_record.Notice(IDS_ERR_NOT_REGULAR, source);
        return;
    }
    const FileRef plainFile {folder, name, seen ? &plain.id : nullptr};
    if (folder.Stat(twinName, twin)) {
        if (m_settings.keep)   // nothing is deleted: a twin that is there is left as it is
            m_record.Log(m_settings.dryRun ? IDS_DRY_TARGET_EXISTS : IDS_LOG_TWIN_EXISTS_KEPT,
                         source + " -> " + twinName);
        else
            ProveExistingTwin(plainFile, plain, twinName, twin);
        return;
    }
    if (m_settings.dryRun) {
        m_bDone = DryConvert(plainFile, target, m_settings.keep ? IDS_DRY_COMPRESS : IDS_DRY_COMPRESS_DELETE);
        return;
    }
    ConversionResult converted = Convert(plainFile, {folder, twinName}, m_settings.compressMethod, true);
    if (!converted.done)
        return;
    // With a staged twin the proof reads its temporary, which its group renames.
    const std::shared_ptr<CSafeTarget> staged = std::move(converted.staged);
    const std::string made = staged ? staged->StreamPath() : target;
    m_record.SetSizes(plain.size, SizeOf(made));
    m_bDone = true;
    std::string cause;
    if (!CompareDecoded(staged ? FileRef::Path(made) : FileRef {folder, twinName}, plainFile, cause)) {
        // The twin we just made does not prove itself: it goes, the plain file stays.
        if (!staged)
            folder.Unlink(twinName);   // a staged one goes with its temporary
        m_record.Fail(IDS_ERR_TWIN_FAILED, source, twinName + ": " + cause);
        return;
    }
    // With --keep the twin is placed as an extraction's target is, and the plain file stays.
    const bool keep = m_settings.keep;
    m_pending = PendingFile {keep ? std::string() : source,
                             target,
                             keep ? std::string() : name,
                             twinName,
                             plain,
                             true,
                             staged,
                             IDS_LOG_COMPRESSED,
                             source + " -> " + twinName};
}

void CHistoryStep::ProveExistingTwin(const FileRef& plainFile, const FileInfo& plain, const std::string& twinName,
                                     const FileInfo& twin)
{
    // A twin is already there: the plain file goes only if the twin is a file
    // of its own that decodes to exactly its bytes, and is on disk.
    const CFolder& folder = plainFile.folder;
    const std::string source = plainFile.Shown();
    std::string cause;
    if (!twin.regular || twin.id == plain.id) {
        m_record.Fail(IDS_ERR_TWIN_DIFFERS, source, FormatText(IDS_CAUSE_NOT_SEPARATE, {twinName}));
        return;
    }
    if (!CompareDecoded({folder, twinName, &twin.id}, plainFile, cause)) {
        m_record.Fail(IDS_ERR_TWIN_DIFFERS, source, twinName + ": " + cause);
        return;
    }
    m_record.SetSizes(plain.size, twin.size);
    m_bDone = true;
    if (m_settings.dryRun) {
        m_record.Log(IDS_DRY_DELETE, source + " -> " + twinName);
        return;
    }
    // A twin that came from elsewhere (a copy, a restore) may still be only in
    // the page cache: it is forced to disk as a twin we made would be, before
    // the group's folder sync that precedes the deletion.
    int error = 0;
    if (!folder.SyncFile(twinName, twin.id, error)) {
        m_bDone = false;
        m_record.Fail(IDS_ERR_WRITE, folder.Shown(twinName), FormatText(IDS_CAUSE_SYNC, {std::strerror(error)}));
        return;
    }
    m_pending = PendingFile {source,
                             folder.Shown(twinName),
                             plainFile.name,
                             twinName,
                             plain,
                             false,
                             nullptr,
                             IDS_LOG_PLAIN_DELETED,
                             source + " -> " + twinName};
}

FileOutcome CHistoryStep::Extract(const std::string& name, CSyncAhead* syncAhead)
{
    ExtractOne(name, syncAhead);
    return End(m_bDone);
}

void CHistoryStep::ExtractOne(const std::string& name, CSyncAhead* syncAhead)
{
    const CFolder& folder = m_context.folder;
    const CFolder& targetFolder = m_context.targetFolder;
    const std::string targetName = TwinName(name, ".hst");
    const std::string source = folder.Shown(name);
    const std::string target = targetFolder.Shown(targetName);
    FileInfo st;
    if (targetFolder.Stat(targetName, st)) {
        m_record.Log(m_settings.dryRun ? IDS_DRY_TARGET_EXISTS : IDS_LOG_TARGET_EXISTS, source + " -> " + target);
        return;
    }
    const bool seen = folder.Stat(name, st);
    if (seen && !st.regular) {
        m_record.Notice(IDS_ERR_NOT_REGULAR, source);
        return;
    }
    const FileRef sourceFile {folder, name, seen ? &st.id : nullptr};
    if (m_settings.dryRun) {
        m_bDone = DryConvert(sourceFile, target, IDS_DRY_EXTRACT);
        return;
    }
    ConversionResult converted = Convert(sourceFile, {targetFolder, targetName}, METHOD_NONE, false);
    if (!converted.done)
        return;
    const std::uint64_t sourceSize = st.size;
    m_bDone = true;
    if (!converted.staged) {
        m_record.Log(IDS_LOG_EXTRACTED, source + " -> " + target);
        m_record.SetSizes(sourceSize, targetFolder.Stat(targetName, st) ? st.size : 0);
        return;
    }
    // Its group renames it once it is on disk.  Extracting costs little but the
    // disk's time: its sync starts at once.  A compression's waits for its
    // group, so as to cost its workers no wake-ups (packing keeps the
    // processors busy; the disk keeps up).
    if (syncAhead)
        syncAhead->Submit(converted.staged);
    m_record.SetSizes(sourceSize, SizeOf(converted.staged->StreamPath()));
    m_pending = PendingFile {
        {}, target, {}, targetName, {}, true, std::move(converted.staged), IDS_LOG_EXTRACTED, source + " -> " + target};
}

ConversionResult CHistoryStep::Convert(const FileRef& source, const FileRef& target, int method, bool plainSource)
{
    ConversionRequest request {source, target, method, false, plainSource, m_settings.StagesTargets(), false};
    ConversionResult result = ::Convert(request, m_bar);
    for (const JobFault& fault : result.faults) {
        if (fault.stopsJob)
            m_record.Stop(fault.Message());
        else
            m_record.Fail(fault.textId, fault.file, fault.cause);
    }
    if (result.done)
        m_bar(result.endPos);
    return result;
}

bool CHistoryStep::DryConvert(const FileRef& source, const std::string& target, UINT logId)
{
    JobFault fault;
    if (!CheckConversion(source, target, m_context.targetFolder, fault)) {
        m_record.Fail(fault.textId, fault.file, fault.cause);
        return false;
    }
    m_record.Log(logId, source.Shown() + " -> " + target);
    return true;
}

}   // namespace

FileOutcome CompressStep(const HistoryStepContext& context, const std::string& name, const FilePosSink& bar)
{
    return CHistoryStep(context, bar).Compress(name);
}

FileOutcome ExtractStep(const HistoryStepContext& context, const std::string& name, const FilePosSink& bar,
                        CSyncAhead* syncAhead)
{
    return CHistoryStep(context, bar).Extract(name, syncAhead);
}
