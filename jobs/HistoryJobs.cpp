// The history jobs: compress the plain history files older than N days, extract
// the compressed ones of a run of days; each file one step of the ordered batch.
#include "jobs/TambleJobs.h"

#include "jobs/HistoryFolder.h"
#include "jobs/HistoryNames.h"
#include "jobs/JobError.h"
#include "jobs/StreamCheck.h"
#include "jobs/SyncAhead.h"
#include "platform/DirSearch.h"
#include "platform/FileLease.h"
#include "platform/Folder.h"
#include "platform/FolderLock.h"
#include "platform/ResourceLibrary.h"
#include "platform/SafeTarget.h"
#include "platform/StringIds.h"
#include "platform/SysCall.h"
#include "platform/TempRegistry.h"
#include "platform/TimeUtil.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

namespace {

constexpr std::int64_t SECONDS_PER_DAY = 86400;

std::string ErrorCodeCause(UINT code)
{
    return LoadResString(IDS_CAUSE_ERROR) + " " + FormatErrorCode(code);
}

// "the month is not 01 to 12, error 0x80004005"
std::string DateCause(const HistoryDate& date, UINT code)
{
    return LoadResString(DateFault(date)) + ", " + ErrorCodeCause(code);
}

std::uint64_t SizeOf(const std::string& path)
{
    FileInfo info;
    return InfoOfPath(path, info) ? info.size : 0;
}

}   // namespace

// --- history jobs -----------------------------------------------------------

std::shared_ptr<const CFolder> CTambleJobs::OpenJobFolder(const std::string& path)
{
    auto folder = std::make_shared<CFolder>();
    int error = 0;
    if (!folder->Open(path, false, error))
        throw CJobError(ComposeMessage(IDS_ERR_READ_FOLDER, path.empty() || path.back() == '/' ? path : path + '/',
                                       std::strerror(error)),
                        0);
    return folder;
}

void CTambleJobs::LockFolder(const CFolder& folder, const std::string& onlyFor, bool mustExist)
{
    const std::string shown = folder.Shown().empty() ? "./" : folder.Shown();
    m_pLock = std::make_unique<CFolderLock>();
    int error = 0;
    switch (m_pLock->Acquire(
        folder, m_settings.lockWait, [&] { LogLine(IDS_LOG_WAIT_FOLDER, shown); }, error)) {
    case CFolderLock::Result::Busy:
        throw CJobError(JobFault {IDS_ERR_FOLDER_IN_USE, shown,
                                  FormatText(IDS_CAUSE_WAITED, {std::to_string(m_settings.lockWait)})});
    case CFolderLock::Result::Failed:
        if (mustExist)
            throw CJobError(JobFault {IDS_ERR_READ_FOLDER, shown, std::strerror(error)});
        return;
    case CFolderLock::Result::Unlocked:
        return;   // worked on unlocked: other runs' temporaries are left alone
    case CFolderLock::Result::Held:
        break;
    }
    std::vector<std::string> removed, failed;
    CSafeTarget::RemoveStale(folder, onlyFor, removed, failed);
    for (const std::string& path : removed)
        LogLine(IDS_LOG_STALE_TEMP, path);
    for (const std::string& what : failed)
        Fail(IDS_ERR_TEMP_LEFT, what);
    if (onlyFor.empty())
        RestoreSetAside(folder);
}

void CTambleJobs::ReadHistoryFolder(CHistoryFolder& folder)
{
    std::string cause;
    if (!folder.Read(*m_pFolder, cause))
        throw CJobError(ComposeMessage(IDS_ERR_READ_FOLDER, m_pFolder->Shown(), cause), 0);
}

std::int64_t CTambleJobs::StartMidnight(std::int64_t now)
{
    HistoryDate date;
    ReadStartDate(m_settings.startDate, date);
    std::int64_t midnight = 0;
    switch (ResolveDate(date, now, midnight)) {
    case DateResult::OutOfRange:
        throw CJobError(ComposeMessage(IDS_ERR_START_DATE_RANGE, m_settings.startDate, DateCause(date, JOB_E_FAIL)),
                        JOB_E_FAIL);
    case DateResult::Unconvertible:
        throw CJobError(
            ComposeMessage(IDS_ERR_START_DATE_CONVERT, m_settings.startDate, DateCause(date, JOB_E_INVALIDARG)),
            JOB_E_INVALIDARG);
    case DateResult::Ok:
        break;
    }
    return midnight;
}

void CTambleJobs::LogDateWindow(std::int64_t start)
{
    // The dates as they were taken, unambiguous: the start date is read at
    // fixed places and a date later than today means the year before.
    auto iso = [](std::int64_t midnight) {
        int year = 0, month = 0, day = 0;
        char text[32] = "?";
        if (midnight >= 0 && LocalDate(midnight, year, month, day))
            std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
        return std::string(text);
    };
    int year = 0, month = 0, day = 0;
    std::int64_t last = -1;
    if (LocalDate(start, year, month, day) && m_settings.number < 1000000)
        last = MakeLocalMidnight(year, month, day + m_settings.number - 1);   // the library carries the days over
    LogLine(IDS_LOG_DATE_WINDOW, FormatText(IDS_DATE_WINDOW, {iso(start), iso(last),
                                                              CountText(static_cast<std::uint64_t>(m_settings.number),
                                                                        IDS_COUNT_DAY, IDS_COUNT_DAYS),
                                                              "/D:" + m_settings.startDate}));
}

bool CTambleJobs::NameMidnight(const std::string& name, const std::string& path, int start, std::int64_t now,
                               std::int64_t& midnight, JobFault& fault)
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

int CTambleJobs::CompressHistory()
{
    const std::int64_t now = Time64Now();
    if (m_settings.number == 0)
        return 0;
    const std::int64_t ageLimit = std::int64_t {m_settings.number} * SECONDS_PER_DAY;
    m_pFolder = m_pTargetFolder = OpenJobFolder(m_settings.source);
    const CFolder& folderOpen = *m_pFolder;
    const std::string& folderPath = folderOpen.Shown();
    if (!m_settings.dryRun)
        LockFolder(folderOpen, {}, true);
    CHistoryFolder folder;
    ReadHistoryFolder(folder);
    const std::vector<std::size_t> found = folder.Matching(CompressPattern(m_settings.group));
    m_view.SetOverallRange(static_cast<std::uint16_t>(found.size()));

    // The files go through the batch even one worker at a time: it gives their
    // messages in the order of the names while their plain files wait to be
    // deleted a group at a time (jobs/FileGroups.cpp).
    std::vector<BatchFile> files;
    for (std::size_t index : found) {
        const DirEntry& entry = folder.Entries()[index];
        const std::string twinName = TwinName(entry.name, ".hsz");
        files.push_back({entry.name, twinName, entry.size, folderPath + entry.name, folderPath + twinName});
    }
    const bool finished = RunBatch(files, WorkerCount(), [&](CTambleJobs& job, std::size_t i) {
        job.CompressEntry(folder.Entries()[found[i]].name, now, ageLimit);
    });
    if (!m_settings.dryRun) {
        SyncHistoryFolder(folderOpen);   // the deletions, on disk before the job says it is done
        WarnUnleased(folderOpen);
    }
    if (!finished)
        return 0;
    EndJob(1);
    return 1;
}

void CTambleJobs::CompressEntry(const std::string& name, std::int64_t now, std::int64_t ageLimit)
{
    const std::string path = m_pFolder->Shown(name);
    BeginFile();
    const int start = NameDateStart(name.size());
    std::int64_t midnight = 0;
    JobFault fault;
    if (start < 0) {
        if (m_settings.dryRun)
            LogLine(IDS_DRY_OTHER_NAME, path);
    } else if (!NameMidnight(name, path, start, now, midnight, fault)) {
        // A stray name is the folder's, not the caller's: it is passed over and
        // the job goes on, so that one such file cannot hold up every later run.
        Fail(fault.textId, fault.file, fault.cause);
        m_bFileFailed = false;   // passed over, as its message says; the run still ends with status 1
        ++m_tally.badNames;
    } else if (now - midnight <= ageLimit) {
        if (m_settings.dryRun)
            LogLine(IDS_DRY_TOO_YOUNG, path);
    } else {
        CompressOne(name);
        FileInfo st;
        if (m_bInFile)   // else its deletion is queued, and its group counts it
            EndFile(m_bFileDone && (m_settings.dryRun || !m_pFolder->Stat(name, st)));
        return;
    }
    EndFile(false);
}

void CTambleJobs::CompressOne(const std::string& name)
{
    const CFolder& folder = *m_pFolder;
    const std::string source = folder.Shown(name);
    const std::string twinName = TwinName(name, ".hsz");
    const std::string target = folder.Shown(twinName);
    m_view.SetSourceName(name);
    m_view.SetTargetName(twinName);
    m_view.TransferTexts();

    // Every later step insists on the file this look saw: a name given to a
    // link, a FIFO or another file meanwhile is refused, never followed.
    FileInfo plain, twin;
    const bool seen = folder.Stat(name, plain);
    if (seen && !plain.regular) {
        Notice(IDS_ERR_NOT_REGULAR, source);
        return;
    }
    const FileRef plainFile {folder, name, seen ? &plain.id : nullptr};
    if (folder.Stat(twinName, twin)) {
        if (m_settings.keep)   // nothing is deleted: a twin that is there is left as it is
            LogLine(m_settings.dryRun ? IDS_DRY_TARGET_EXISTS : IDS_LOG_TWIN_EXISTS_KEPT, source + " -> " + twinName);
        else
            ProveExistingTwin(plainFile, plain, twinName, twin);
        return;
    }
    if (m_settings.dryRun) {
        m_bFileDone
            = DryConvert(plainFile, target, folder, m_settings.keep ? IDS_DRY_COMPRESS : IDS_DRY_COMPRESS_DELETE);
        return;
    }
    Converted converted = ConvertFile(plainFile, {folder, twinName}, m_settings.compressMethod, false, true);
    if (!converted.done)
        return;
    // With a staged twin the proof reads its temporary, which its group renames.
    const std::shared_ptr<CSafeTarget> staged = std::move(converted.staged);
    const std::string made = staged ? staged->StreamPath() : target;
    m_nFileIn = plain.size;
    m_nFileOut = SizeOf(made);
    m_bFileDone = true;
    std::string cause;
    if (!CompareDecoded(staged ? FileRef::Path(made) : FileRef {folder, twinName}, plainFile, cause)) {
        // The twin we just made does not prove itself: it goes, the plain file stays.
        if (!staged)
            folder.Unlink(twinName);   // a staged one goes with its temporary
        Fail(IDS_ERR_TWIN_FAILED, source, twinName + ": " + cause);
        return;
    }
    // With --keep the twin is placed as an extraction's target is, and the plain file stays.
    QueueFile({m_settings.keep ? std::string() : source, target, m_settings.keep ? std::string() : name, twinName,
               plain, true, staged, IDS_LOG_COMPRESSED, source + " -> " + twinName});
}

void CTambleJobs::ProveExistingTwin(const FileRef& plainFile, const FileInfo& plain, const std::string& twinName,
                                    const FileInfo& twin)
{
    // A twin is already there: the plain file goes only if the twin is a file
    // of its own that decodes to exactly its bytes, and is on disk.
    const CFolder& folder = plainFile.folder;
    const std::string source = plainFile.Shown();
    std::string cause;
    if (!twin.regular || twin.id == plain.id) {
        Fail(IDS_ERR_TWIN_DIFFERS, source, FormatText(IDS_CAUSE_NOT_SEPARATE, {twinName}));
        return;
    }
    if (!CompareDecoded({folder, twinName, &twin.id}, plainFile, cause)) {
        Fail(IDS_ERR_TWIN_DIFFERS, source, twinName + ": " + cause);
        return;
    }
    m_nFileIn = plain.size;
    m_nFileOut = twin.size;
    m_bFileDone = true;
    if (m_settings.dryRun) {
        LogLine(IDS_DRY_DELETE, source + " -> " + twinName);
        return;
    }
    // A twin that came from elsewhere (a copy, a restore) may still be only in
    // the page cache: it is forced to disk as a twin we made would be, before
    // the group's folder sync that precedes the deletion.
    int error = 0;
    if (!folder.SyncFile(twinName, twin.id, error)) {
        m_bFileDone = false;
        Fail(IDS_ERR_WRITE, folder.Shown(twinName), FormatText(IDS_CAUSE_SYNC, {std::strerror(error)}));
        return;
    }
    QueueFile({source, folder.Shown(twinName), plainFile.name, twinName, plain, false, nullptr, IDS_LOG_PLAIN_DELETED,
               source + " -> " + twinName});
}

int CTambleJobs::ExtractHistory()
{
    const std::int64_t now = Time64Now();
    if (m_settings.startDate.size() < 7)
        return 0;
    const std::int64_t start = StartMidnight(now);
    if (m_settings.number <= 0)
        return 0;
    LogDateWindow(start);
    m_pFolder = OpenJobFolder(m_settings.source);
    // With an output folder the history folder is only read: the lock guards
    // the folder the targets go to.
    m_pTargetFolder = m_settings.outputDir.empty() ? m_pFolder : OpenJobFolder(m_settings.outputDir);
    const CFolder& targetFolder = *m_pTargetFolder;
    if (!m_settings.dryRun)
        LockFolder(targetFolder, {}, true);
    CHistoryFolder folder;
    ReadHistoryFolder(folder);
    ExtractWindow window;
    if (!folder.Window(start, static_cast<std::uint64_t>(m_settings.number), m_settings.group, window))
        throw CJobError(
            ComposeMessage(IDS_ERR_START_DATE_CONVERT, m_settings.startDate, ErrorCodeCause(JOB_E_INVALIDARG)),
            JOB_E_INVALIDARG);
    // The range counts the files of all groups, whatever group is extracted.
    m_view.SetOverallRange(static_cast<std::uint16_t>(window.countAllGroups));

    const unsigned workers = WorkerCount();
    std::vector<std::size_t> indexes;
    for (const ExtractDay& day : window.days)
        indexes.insert(indexes.end(), day.entries.begin(), day.entries.end());
    // The targets' names reach the disk with one sync of their folder at the end,
    // also when an error stops the job.
    bool finished = true;
    try {
        finished = ExtractBatch(folder, indexes, workers);
    } catch (...) {
        if (m_settings.StagesTargets())
            SyncHistoryFolder(targetFolder);
        throw;
    }
    if (m_settings.StagesTargets())
        SyncHistoryFolder(targetFolder);
    if (!finished)
        return 0;
    EndJob(1);
    return 1;
}

bool CTambleJobs::ExtractBatch(const CHistoryFolder& folder, const std::vector<std::size_t>& indexes, unsigned workers)
{
    std::vector<BatchFile> files;
    for (std::size_t index : indexes) {
        const DirEntry& entry = folder.Entries()[index];
        const std::string source = m_pFolder->Shown(entry.name);
        const std::string target = m_pTargetFolder->Shown(TwinName(entry.name, ".hst"));
        files.push_back({source, target, entry.size, source, target});
    }
    return RunBatch(files, workers, [&](CTambleJobs& job, std::size_t i) {
        job.BeginFile();
        job.ExtractOne(folder.Entries()[indexes[i]].name);
        if (job.m_bInFile)   // else its group counts it
            job.EndFile(job.m_bFileDone);
    });
}

void CTambleJobs::ExtractOne(const std::string& name)
{
    const CFolder& folder = *m_pFolder;
    const CFolder& targetFolder = *m_pTargetFolder;
    const std::string targetName = TwinName(name, ".hst");
    const std::string source = folder.Shown(name);
    const std::string target = targetFolder.Shown(targetName);
    FileInfo st;
    if (targetFolder.Stat(targetName, st)) {
        LogLine(m_settings.dryRun ? IDS_DRY_TARGET_EXISTS : IDS_LOG_TARGET_EXISTS, source + " -> " + target);
        return;
    }
    const bool seen = folder.Stat(name, st);
    if (seen && !st.regular) {
        Notice(IDS_ERR_NOT_REGULAR, source);
        return;
    }
    const FileRef sourceFile {folder, name, seen ? &st.id : nullptr};
    m_view.SetSourceName(source);
    m_view.SetTargetName(target);
    m_view.TransferTexts();
    if (m_settings.dryRun) {
        m_bFileDone = DryConvert(sourceFile, target, targetFolder, IDS_DRY_EXTRACT);
        return;
    }
    Converted converted = ConvertFile(sourceFile, {targetFolder, targetName}, METHOD_NONE, false, false);
    if (!converted.done)
        return;
    m_nFileIn = st.size;
    m_bFileDone = true;
    if (converted.staged) {   // its group renames it once it is on disk
        // Extracting costs little but the disk's time: its sync starts at once.
        // A compression's waits for its group, so as to cost its workers no
        // wake-ups (packing keeps the processors busy; the disk keeps up).
        if (m_pSyncAhead)
            m_pSyncAhead->Submit(converted.staged);
        m_nFileOut = SizeOf(converted.staged->StreamPath());
        QueueFile({{},
                   target,
                   {},
                   targetName,
                   {},
                   true,
                   std::move(converted.staged),
                   IDS_LOG_EXTRACTED,
                   source + " -> " + target});
        return;
    }
    LogLine(IDS_LOG_EXTRACTED, source + " -> " + target);
    m_nFileOut = targetFolder.Stat(targetName, st) ? st.size : 0;
}

bool CTambleJobs::DryConvert(const FileRef& source, const std::string& target, const CFolder& targetFolder, UINT logId)
{
    StreamSummary summary;
    JobFault fault;
    if (!CheckFile(source, true, summary, fault)) {
        Fail(fault.textId, source.Shown(), fault.cause);
        return false;
    }
    if (!targetFolder.Writable()) {
        Fail(IDS_ERR_CREATE, target, std::strerror(errno));
        return false;
    }
    LogLine(logId, source.Shown() + " -> " + target);
    return true;
}
