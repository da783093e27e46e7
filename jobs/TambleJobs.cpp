// The job driver, the single-file jobs and the history jobs.
#include "jobs/TambleJobs.h"

#include "jobs/FolderLock.h"
#include "jobs/HistoryFolder.h"
#include "jobs/HistoryNames.h"
#include "jobs/JobError.h"
#include "jobs/SafeTarget.h"
#include "jobs/StreamCheck.h"
#include "platform/DirSearch.h"
#include "platform/FileLease.h"
#include "platform/ResourceLibrary.h"
#include "platform/StringIds.h"
#include "platform/SysCall.h"
#include "platform/TempRegistry.h"
#include "platform/TimeUtil.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::int64_t SECONDS_PER_DAY = 86400;

UINT Clamp32(std::uint64_t value)
{
    return value > std::numeric_limits<UINT>::max() ? std::numeric_limits<UINT>::max() : static_cast<UINT>(value);
}

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
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::int64_t SteadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Whether a file still holds what it held: the same file, size and contents
// time (renaming it moves its change time only).
bool SameContent(const struct stat& before, const struct stat& now)
{
    return before.st_dev == now.st_dev && before.st_ino == now.st_ino && before.st_size == now.st_size
           && before.st_mtim.tv_sec == now.st_mtim.tv_sec && before.st_mtim.tv_nsec == now.st_mtim.tv_nsec;
}

// Whether a file is still as it was: the same file, size, contents time and
// change time (any write or change of its attributes moves the change time).
bool Unchanged(const struct stat& before, const struct stat& now)
{
    return before.st_dev == now.st_dev && before.st_ino == now.st_ino && before.st_size == now.st_size
           && before.st_mtim.tv_sec == now.st_mtim.tv_sec && before.st_mtim.tv_nsec == now.st_mtim.tv_nsec
           && before.st_ctim.tv_sec == now.st_ctim.tv_sec && before.st_ctim.tv_nsec == now.st_ctim.tv_nsec;
}

// A plain file that is being deleted is first renamed to ".<name>.tamble-old.<pid>".
constexpr char SET_ASIDE_MARK[] = ".tamble-old.";

std::string SetAsideName(const std::string& plain, long pid)
{
    const std::string folder = CSafeTarget::FolderOf(plain);
    return folder + "." + plain.substr(folder.size()) + SET_ASIDE_MARK + std::to_string(pid);
}

// Renames from to to unless to exists; 0, or -1 with errno.
int MoveNoReplace(const std::string& from, const std::string& to)
{
    if (RetryEintr([&] { return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE); }) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return -1;
    // A file system that cannot refuse to replace: look first.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return RetryEintr([&] { return ::rename(from.c_str(), to.c_str()); });
}

} // namespace

thread_local CTambleJobs* CTambleJobs::s_pRunning = nullptr;

CTambleJobs::CTambleJobs(IJobView& view) : m_nLockWait(CFolderLock::DefaultWait()), m_view(view) {}

CTambleJobs::~CTambleJobs()
{
    if (s_pRunning == this)
        s_pRunning = nullptr;
}

// --- driver -----------------------------------------------------------------

BOOL CTambleJobs::CheckSettings()
{
    if (m_nZipMode != 1 && m_nZipMode != 2) {
        Refuse(IDS_ERR_NO_JOB, {});
        return FALSE;
    }
    if (!m_strOutputDir.empty() && (m_nZipMode != 2 || m_nFileType != 2)) {
        Refuse(IDS_ERR_OUTPUT_DIR_JOB, {});
        return FALSE;
    }
    if (m_nFileType != 2) {
        // One named file needs both of its names.
        if (m_szSource.empty() || m_szTarget.empty()) {
            Refuse(m_szSource.empty() ? IDS_ERR_NO_SOURCE : IDS_ERR_NO_TARGET, {});
            return FALSE;
        }
        return TRUE;
    }
    // A history job needs its folder (an empty one would mean the root folder)
    // and a number of days; an extraction counts days forward from a start date.
    if (m_szSource.empty()) {
        Refuse(IDS_ERR_NO_FOLDER, {});
        return FALSE;
    }
    if (m_nNumber == 0) {
        Refuse(IDS_ERR_NO_DAYS, {});
        return FALSE;
    }
    if (m_nZipMode == 2 && m_nNumber < 0) {
        Refuse(IDS_ERR_NEGATIVE_DAYS, "/N:" + std::to_string(m_nNumber));
        return FALSE;
    }
    if (m_nZipMode == 2 && m_szStartDate.size() < 7) {
        Refuse(IDS_ERR_BAD_START_DATE, "/D:" + m_szStartDate);
        return FALSE;
    }
    return TRUE;
}

int CTambleJobs::RunJob()
{
    s_pRunning = this;
    m_bEnded = false;
    int result = 0;
    m_nStartedNs = SteadyNs();
    if (CheckSettings()) {
        m_bJobRan = true;
        const bool history = m_nFileType == 2;
        const UINT wait = m_nZipMode == 1 ? (history ? IDS_WAIT_COMPRESS_HISTORY : IDS_WAIT_COMPRESS_FILE)
                                          : (history ? IDS_WAIT_EXTRACT_HISTORY : IDS_WAIT_EXTRACT_FILE);
        m_view.SetWaitText(LoadResString(wait));
        m_view.TransferTexts();
        try {
            if (m_nZipMode == 1)
                result = history ? CompressHistory() : CompressFile();
            else
                result = history ? ExtractHistory() : ExtractFile();
        } catch (const CJobError& error) {
            m_view.Message(error.what());
            RaiseStatus(1);
        } catch (const std::exception& error) {
            // Nothing else should get here; report it rather than end silently.
            m_view.Message(error.what());
            RaiseStatus(1);
        }
        if (m_bInFile)
            EndFile(false);   // the error stopped the job on this file
    }
    m_pLock.reset();
    if (!m_bEnded)
        EndDialog(0);
    return result;
}

void CTambleJobs::EndDialog(int result)
{
    m_bEnded = true;
    m_view.EndJob(result);
}

void CTambleJobs::ShowBars()
{
    m_view.TransferTexts();
    m_view.RepaintOverallBar();
    m_view.RepaintFileBar();
}

void CTambleJobs::BeginFile()
{
    m_bInFile = true;
    m_bFileFailed = false;
    m_bFileDone = false;
    m_nFileIn = m_nFileOut = 0;
}

void CTambleJobs::EndFile(bool converted)
{
    m_bInFile = false;
    if (m_bFileFailed) {
        ++m_nFailed;
    } else if (converted) {
        ++m_nConverted;
        m_nBytesBefore += m_nFileIn;
        m_nBytesAfter += m_nFileOut;
    } else {
        ++m_nPassedOver;
    }
}

std::string CTambleJobs::SummaryLine() const
{
    if (!m_bJobRan)
        return {};
    char seconds[32], saved[32] = "-";
    std::snprintf(seconds, sizeof seconds, "%.2f", static_cast<double>(SteadyNs() - m_nStartedNs) / 1e9);
    if (m_nBytesBefore > 0)
        std::snprintf(saved, sizeof saved, "%.1f%%",
                      100.0 * (static_cast<double>(m_nBytesBefore) - static_cast<double>(m_nBytesAfter))
                          / static_cast<double>(m_nBytesBefore));
    return FormatText(m_bDryRun ? IDS_SUMMARY_DRY : IDS_SUMMARY,
                      {std::to_string(m_nConverted), std::to_string(m_nPassedOver), std::to_string(m_nFailed),
                       std::to_string(m_nBytesBefore), std::to_string(m_nBytesAfter), saved, seconds});
}

void CTambleJobs::RaiseStatus(int status)
{
    if (status >= 1 && m_bInFile)
        m_bFileFailed = true;
    if (status > m_nExitStatus)
        m_nExitStatus = status;
}

void CTambleJobs::Notice(UINT textId, const std::string& file, const std::string& cause)
{
    m_view.Message(ComposeMessage(textId, file, cause));
}

void CTambleJobs::Fail(UINT textId, const std::string& file, const std::string& cause)
{
    Notice(textId, file, cause);
    RaiseStatus(1);
}

void CTambleJobs::Refuse(UINT textId, const std::string& value)
{
    m_view.Message(ComposeMessage(textId, value, {}));
    RaiseStatus(2);
}

void CTambleJobs::LogLine(UINT textId, const std::string& what)
{
    m_view.Log(ComposeMessage(textId, what, {}));
}

// --- file bar ---------------------------------------------------------------

void CTambleJobs::UpdateFileProgress(UINT /*position*/)
{
    // The streams report bytes written or coded; the bar shows the source.
    if (s_pRunning)
        s_pRunning->ShowFilePos();
}

void CTambleJobs::SetSourcePos(std::uint64_t consumed, std::uint64_t total)
{
    // A coded source is consumed in proportion to the content it delivered.
    const std::uint64_t pos = total ? consumed * m_nSourceLength / total : m_nSourceLength;
    m_nFilePos = Clamp32(pos);
}

void CTambleJobs::ShowFilePos()
{
    if (m_bFilePosShown && m_nFilePos == m_nShownFilePos)
        return;
    m_bFilePosShown = true;
    m_nShownFilePos = m_nFilePos;
    m_view.SetFilePos(m_nFilePos);
    m_view.TransferTexts();
    m_view.RepaintFileBar();
}

// --- single-file jobs -------------------------------------------------------

int CTambleJobs::CompressFile()
{
    return ConvertNamedFile(m_nCompressMethod, IDS_LOG_COMPRESSED);
}

int CTambleJobs::ExtractFile()
{
    return ConvertNamedFile(METHOD_NONE, IDS_LOG_EXTRACTED);
}

int CTambleJobs::ConvertNamedFile(int method, UINT logId)
{
    struct stat st {};
    if (::stat(m_szSource.c_str(), &st) == 0)
        m_view.SetFileRange(Clamp32(static_cast<std::uint64_t>(st.st_size)));
    m_view.SetSourceName(m_szSource);
    m_view.SetTargetName(m_szTarget);
    m_view.TransferTexts();
    BeginFile();
    if (m_bDryRun) {
        EndFile(DryConvert(m_szSource, m_szTarget, method == METHOD_NONE ? IDS_DRY_EXTRACT : IDS_DRY_COMPRESS));
        EndDialog(1);
        return 1;
    }
    const std::string folder = CSafeTarget::FolderOf(m_szTarget);
    LockFolder(folder, m_szTarget.substr(folder.size()), false);
    const bool converted = ConvertFile(m_szSource, m_szTarget, method);
    if (converted) {
        LogLine(logId, m_szSource + " -> " + m_szTarget);
        m_nFileIn = static_cast<std::uint64_t>(st.st_size);   // the source may be its own target
        m_nFileOut = SizeOf(m_szTarget);
    }
    EndFile(converted);
    EndDialog(1);
    return 1;
}

// --- history jobs -----------------------------------------------------------

std::string CTambleJobs::HistoryFolderPath()
{
    if (m_szSource.empty() || m_szSource.back() != '/')
        m_szSource += '/';
    return m_szSource;
}

void CTambleJobs::LockFolder(const std::string& folder, const std::string& onlyFor, bool mustExist)
{
    const std::string shown = folder.empty() ? "./" : folder;
    m_pLock = std::make_unique<CFolderLock>();
    JobFault fault;
    if (!m_pLock->Acquire(folder, shown, m_nLockWait, [&] { LogLine(IDS_LOG_WAIT_FOLDER, shown); }, fault)) {
        if (mustExist || fault.textId != IDS_ERR_READ_FOLDER)
            throw CJobError(fault);
        return;
    }
    if (!m_pLock->Held())
        return;   // worked on unlocked: other runs' temporaries are left alone
    std::vector<std::string> removed, failed;
    CSafeTarget::RemoveStale(folder, onlyFor, removed, failed);
    for (const std::string& path : removed)
        LogLine(IDS_LOG_STALE_TEMP, path);
    for (const std::string& what : failed)
        Fail(IDS_ERR_TEMP_LEFT, what);
    if (onlyFor.empty())
        RestoreSetAside(folder);
}

void CTambleJobs::RestoreSetAside(const std::string& folder)
{
    // A run killed while it deleted a plain file can leave it set aside: it goes
    // back under its name (only ours, only of runs that are gone), and the job
    // then deletes it as usual once its twin proves itself.
    for (const DirEntry& entry : ListMatching(folder, ".*" + std::string(SET_ASIDE_MARK) + "*")) {
        const std::size_t mark = entry.name.rfind(SET_ASIDE_MARK);
        if (entry.type != DirEntryType::File || mark == std::string::npos || mark < 2)
            continue;
        const std::string pid = entry.name.substr(mark + sizeof SET_ASIDE_MARK - 1);
        if (pid.empty() || pid.size() > 9 || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const long owner = std::stol(pid);
        if (owner == ::getpid() || ::kill(static_cast<pid_t>(owner), 0) == 0 || errno != ESRCH)
            continue;
        const std::string plain = folder + entry.name.substr(1, mark - 1);
        const std::string aside = folder + entry.name;
        if (MoveNoReplace(aside, plain) == 0)
            LogLine(IDS_LOG_RESTORED, plain);
        else
            Fail(IDS_ERR_DELETE, plain, FormatText(IDS_CAUSE_KEPT_AS, {aside, std::strerror(errno)}));
    }
}

void CTambleJobs::ReadHistoryFolder(CHistoryFolder& folder, const std::string& path)
{
    std::string cause;
    if (!folder.Read(path, cause))
        throw CJobError(ComposeMessage(IDS_ERR_READ_FOLDER, path, cause), 0);
}

std::int64_t CTambleJobs::StartMidnight(std::int64_t now)
{
    HistoryDate date;
    ReadStartDate(m_szStartDate, date);
    std::int64_t midnight = 0;
    switch (ResolveDate(date, now, midnight)) {
    case DateResult::OutOfRange:
        throw CJobError(ComposeMessage(IDS_ERR_START_DATE_RANGE, m_szStartDate, DateCause(date, JOB_E_FAIL)),
                        JOB_E_FAIL);
    case DateResult::Unconvertible:
        throw CJobError(
            ComposeMessage(IDS_ERR_START_DATE_CONVERT, m_szStartDate, DateCause(date, JOB_E_INVALIDARG)),
            JOB_E_INVALIDARG);
    case DateResult::Ok:
        break;
    }
    return midnight;
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
    if (m_nNumber == 0)
        return 0;
    const std::int64_t ageLimit = std::int64_t {m_nNumber} * SECONDS_PER_DAY;
    const std::string folderPath = HistoryFolderPath();
    if (!m_bDryRun)
        LockFolder(folderPath, {}, true);
    CHistoryFolder folder;
    ReadHistoryFolder(folder, folderPath);
    const std::vector<std::size_t> found = folder.Matching(CompressPattern(m_nGroup));
    m_view.SetOverallRange(static_cast<std::uint16_t>(found.size()));

    const unsigned workers = WorkerCount();
    if (workers > 1 && found.size() > 1) {
        std::vector<BatchFile> files;
        for (std::size_t index : found) {
            const DirEntry& entry = folder.Entries()[index];
            const std::string twinName = TwinName(entry.name, ".hsz");
            files.push_back({entry.name, twinName, entry.size, folderPath + entry.name, folderPath + twinName});
        }
        if (!RunBatch(files, workers, [&](CTambleJobs& job, std::size_t i) {
                job.CompressEntry(folderPath, folder.Entries()[found[i]].name, now, ageLimit);
            }))
            return 0;
        EndDialog(1);
        return 1;
    }
    int counter = 1;
    for (std::size_t index : found) {
        const DirEntry& entry = folder.Entries()[index];
        m_view.SetOverallPos(++counter);
        m_view.SetFileRange(Clamp32(entry.size));
        ShowBars();
        CompressEntry(folderPath, entry.name, now, ageLimit);
    }
    EndDialog(1);
    return 1;
}

void CTambleJobs::CompressEntry(const std::string& folderPath, const std::string& name, std::int64_t now,
                                std::int64_t ageLimit)
{
    const std::string path = folderPath + name;
    BeginFile();
    const int start = NameDateStart(name.size());
    std::int64_t midnight = 0;
    JobFault fault;
    if (start < 0) {
        if (m_bDryRun)
            LogLine(IDS_DRY_OTHER_NAME, path);
    } else if (!NameMidnight(name, path, start, now, midnight, fault)) {
        // A stray name is the folder's, not the caller's: it is passed over and
        // the job goes on, so that one such file cannot hold up every later run.
        Fail(fault.textId, fault.file, fault.cause);
    } else if (now - midnight <= ageLimit) {
        if (m_bDryRun)
            LogLine(IDS_DRY_TOO_YOUNG, path);
    } else {
        CompressOne(folderPath, name);
        EndFile(m_bFileDone && (m_bDryRun || !Exists(path)));
        return;
    }
    EndFile(false);
}

void CTambleJobs::CompressOne(const std::string& folder, const std::string& name)
{
    const std::string source = folder + name;
    const std::string twinName = TwinName(name, ".hsz");
    const std::string target = folder + twinName;
    m_view.SetSourceName(name);
    m_view.SetTargetName(twinName);
    m_view.TransferTexts();

    struct stat plain {}, twin {};
    if (::lstat(source.c_str(), &plain) == 0 && !S_ISREG(plain.st_mode)) {
        Notice(IDS_ERR_NOT_REGULAR, source);
        return;
    }
    std::string cause;
    if (::lstat(target.c_str(), &twin) == 0) {
        // A twin is already there: the plain file goes only if the twin is a file
        // of its own that decodes to exactly its bytes.
        if (!S_ISREG(twin.st_mode) || (twin.st_dev == plain.st_dev && twin.st_ino == plain.st_ino)) {
            Fail(IDS_ERR_TWIN_DIFFERS, source, FormatText(IDS_CAUSE_NOT_SEPARATE, {twinName}));
        } else if (!CompareDecoded(target, source, cause)) {
            Fail(IDS_ERR_TWIN_DIFFERS, source, twinName + ": " + cause);
        } else {
            m_nFileIn = static_cast<std::uint64_t>(plain.st_size);
            m_nFileOut = static_cast<std::uint64_t>(twin.st_size);
            m_bFileDone = true;
            if (m_bDryRun)
                LogLine(IDS_DRY_DELETE, source + " -> " + twinName);
            else
                DeletePlain(source, plain, target, false, IDS_LOG_PLAIN_DELETED);
        }
        return;
    }
    if (m_bDryRun) {
        m_bFileDone = DryConvert(source, target, IDS_DRY_COMPRESS);
        return;
    }
    if (!ConvertFile(source, target, m_nCompressMethod, false))
        return;
    m_nFileIn = static_cast<std::uint64_t>(plain.st_size);
    m_nFileOut = SizeOf(target);
    m_bFileDone = true;
    if (!CompareDecoded(target, source, cause)) {
        // The twin we just made does not prove itself: it goes, the plain file stays.
        ::unlink(target.c_str());
        Fail(IDS_ERR_TWIN_FAILED, source, twinName + ": " + cause);
        return;
    }
    DeletePlain(source, plain, target, true, IDS_LOG_COMPRESSED);
}

void CTambleJobs::DeletePlain(const std::string& plain, const struct stat& before, const std::string& twin,
                              bool madeTwin, UINT logId)
{
    const std::string shown = twin.substr(CSafeTarget::FolderOf(twin).size());
    const std::string twinFate = FormatText(madeTwin ? IDS_CAUSE_TWIN_REMOVED : IDS_CAUSE_TWIN_KEPT, {shown});
    // The plain file stays; a twin made of what it held goes with it.
    auto keep = [&](UINT textId, bool failure) {
        if (madeTwin)
            ::unlink(twin.c_str());
        if (failure)
            Fail(textId, plain, twinFate);
        else
            Notice(textId, plain, twinFate);
    };
    // Nobody else may have the file open while it goes: under a write lease an
    // opener has to wait until we are done, and we see that it waits.
    CFileLease lease;
    int error = 0;
    switch (lease.Take(plain, error)) {
    case CFileLease::Result::InUse:
        keep(IDS_ERR_IN_USE, false);   // not a failure: a later run compresses it
        return;
    case CFileLease::Result::Failed:
        Fail(IDS_ERR_DELETE, plain, std::strerror(error));
        return;
    case CFileLease::Result::Held:
    case CFileLease::Result::Unsupported:
        break;
    }
    struct stat now {}, named {};
    if (::fstat(lease.Handle(), &now) != 0 || ::lstat(plain.c_str(), &named) != 0 || !Unchanged(before, now)
        || named.st_dev != now.st_dev || named.st_ino != now.st_ino) {
        // Written to while it was compressed: the plain file stays as it now is.
        keep(IDS_ERR_PLAIN_CHANGED, true);
        return;
    }
    // The file is first set aside under a name nobody opens, so that whoever found
    // it by its name just before is seen (as a lease break, or as a change) while
    // it can still be put back.  A short pause lets such an opener get that far.
    const std::string aside = SetAsideName(plain, ::getpid());
    RegisterSetAside(aside.c_str(), plain.c_str());   // a stop signal puts it back
    struct AsideGuard {
        const std::string& path;
        ~AsideGuard() { UnregisterTemporary(path.c_str()); }
    } asideGuard {aside};
    const int moved = MoveNoReplace(plain, aside);
    const int moveError = errno;
    CreationReturned();
    if (moved != 0) {
        Fail(IDS_ERR_DELETE, plain, std::strerror(moveError));
        return;
    }
    const struct timespec pause = {0, 1000 * 1000};
    ::nanosleep(&pause, nullptr);
    const bool inUse = lease.Held() && lease.Broken();
    const bool changed = !lease.Held() && (::fstat(lease.Handle(), &now) != 0 || !SameContent(before, now));
    int deleteError = 0;
    if (!inUse && !changed && RetryEintr([&] { return ::unlink(aside.c_str()); }) != 0)
        deleteError = errno;
    if (inUse || changed || deleteError) {
        const int backError = MoveNoReplace(aside, plain) == 0 ? 0 : errno;
        lease.Release();   // an opener waiting for it now finds the file in its place
        if (backError)
            Fail(IDS_ERR_DELETE, plain, FormatText(IDS_CAUSE_KEPT_AS, {aside, std::strerror(backError)}));
        else if (deleteError)
            Fail(IDS_ERR_DELETE, plain, std::strerror(deleteError));
        else
            keep(inUse ? IDS_ERR_IN_USE : IDS_ERR_PLAIN_CHANGED, changed);
        return;
    }
    lease.Release();
    LogLine(logId, plain + " -> " + shown);
}

int CTambleJobs::ExtractHistory()
{
    const std::int64_t now = Time64Now();
    if (m_szStartDate.size() < 7)
        return 0;
    const std::int64_t start = StartMidnight(now);
    if (m_nNumber <= 0)
        return 0;
    const std::string folderPath = HistoryFolderPath();
    // With an output folder the history folder is only read: the lock guards
    // the folder the targets go to.
    std::string targetFolder = folderPath;
    if (!m_strOutputDir.empty()) {
        targetFolder = m_strOutputDir;
        if (targetFolder.back() != '/')
            targetFolder += '/';
    }
    if (!m_bDryRun)
        LockFolder(targetFolder, {}, true);
    CHistoryFolder folder;
    ReadHistoryFolder(folder, folderPath);
    ExtractWindow window;
    if (!folder.Window(start, static_cast<std::uint64_t>(m_nNumber), m_nGroup, window))
        throw CJobError(ComposeMessage(IDS_ERR_START_DATE_CONVERT, m_szStartDate, ErrorCodeCause(JOB_E_INVALIDARG)),
                        JOB_E_INVALIDARG);
    // The range counts the files of all groups, whatever group is extracted.
    m_view.SetOverallRange(static_cast<std::uint16_t>(window.countAllGroups));

    const unsigned workers = WorkerCount();
    std::vector<std::size_t> indexes;
    for (const ExtractDay& day : window.days)
        indexes.insert(indexes.end(), day.entries.begin(), day.entries.end());
    if (workers > 1 && indexes.size() > 1) {
        std::vector<BatchFile> files;
        for (std::size_t index : indexes) {
            const DirEntry& entry = folder.Entries()[index];
            const std::string source = folderPath + entry.name;
            const std::string target = targetFolder + TwinName(entry.name, ".hst");
            files.push_back({source, target, entry.size, source, target});
        }
        if (!RunBatch(files, workers, [&](CTambleJobs& job, std::size_t i) {
                job.BeginFile();
                job.ExtractOne(folderPath, folder.Entries()[indexes[i]].name, targetFolder);
                job.EndFile(job.m_bFileDone);
            }))
            return 0;
        EndDialog(1);
        return 1;
    }
    int counter = 1;
    for (const ExtractDay& day : window.days) {
        for (std::size_t index : day.entries) {
            const DirEntry& entry = folder.Entries()[index];
            m_view.SetOverallPos(++counter);
            m_view.SetFileRange(Clamp32(entry.size));
            ShowBars();
            BeginFile();
            ExtractOne(folderPath, entry.name, targetFolder);
            EndFile(m_bFileDone);
        }
    }
    EndDialog(1);
    return 1;
}

void CTambleJobs::ExtractOne(const std::string& folder, const std::string& name,
                             const std::string& targetFolder)
{
    const std::string source = folder + name;
    const std::string target = targetFolder + TwinName(name, ".hst");
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
        LogLine(m_bDryRun ? IDS_DRY_TARGET_EXISTS : IDS_LOG_TARGET_EXISTS, source + " -> " + target);
        return;
    }
    if (::lstat(source.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        Notice(IDS_ERR_NOT_REGULAR, source);
        return;
    }
    m_view.SetSourceName(source);
    m_view.SetTargetName(target);
    m_view.TransferTexts();
    if (m_bDryRun) {
        m_bFileDone = DryConvert(source, target, IDS_DRY_EXTRACT);
        return;
    }
    if (ConvertFile(source, target, METHOD_NONE, false)) {
        LogLine(IDS_LOG_EXTRACTED, source + " -> " + target);
        m_nFileIn = SizeOf(source);
        m_nFileOut = SizeOf(target);
        m_bFileDone = true;
    }
}

bool CTambleJobs::DryConvert(const std::string& source, const std::string& target, UINT logId)
{
    StreamSummary summary;
    JobFault fault;
    if (!CheckFile(source, true, summary, fault)) {
        Fail(fault.textId, source, fault.cause);
        return false;
    }
    const std::string folder = CSafeTarget::FolderOf(target);
    if (::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0) {
        Fail(IDS_ERR_CREATE, target, std::strerror(errno));
        return false;
    }
    LogLine(logId, source + " -> " + target);
    return true;
}
