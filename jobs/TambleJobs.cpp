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
#include "platform/TimeUtil.h"

#include <cerrno>
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
    return "error " + FormatErrorCode(code);
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

// Repeats a call that a signal interrupted.
template <class Call>
int RetryCall(Call call)
{
    int result;
    do {
        result = call();
    } while (result != 0 && errno == EINTR);
    return result;
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
    if (RetryCall([&] { return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE); }) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return -1;
    // A file system that cannot refuse to replace: look first.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return RetryCall([&] { return ::rename(from.c_str(), to.c_str()); });
}

} // namespace

CTambleJobs* CTambleJobs::s_pRunning = nullptr;

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
    if (m_nFileType != 2)
        return TRUE;
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
    if (CheckSettings()) {
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

void CTambleJobs::RaiseStatus(int status)
{
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
    if (!m_szTarget.empty()) {
        const std::string folder = CSafeTarget::FolderOf(m_szTarget);
        LockFolder(folder, m_szTarget.substr(folder.size()), false);
    }
    if (ConvertFile(m_szSource, m_szTarget, method))
        LogLine(logId, m_szSource + " -> " + m_szTarget);
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
    int error = 0;
    switch (m_pLock->Acquire(folder, m_nLockWait, [&] { LogLine(IDS_LOG_WAIT_FOLDER, shown); }, error)) {
    case CFolderLock::Result::Busy:
        throw CJobError(ComposeMessage(IDS_ERR_FOLDER_IN_USE, shown,
                                       "waited " + std::to_string(m_nLockWait) + " s for the other run"),
                        0);
    case CFolderLock::Result::NoFolder:
        if (mustExist)
            throw CJobError(ComposeMessage(IDS_ERR_READ_FOLDER, shown, std::strerror(error)), 0);
        return;
    case CFolderLock::Result::Unsupported:
        return;   // worked on unlocked: other runs' temporaries are left alone
    case CFolderLock::Result::Locked:
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
            Fail(IDS_ERR_DELETE, plain, "kept as " + aside + ": " + std::strerror(errno));
    }
}

void CTambleJobs::ReadHistoryFolder(CHistoryFolder& folder, const std::string& path)
{
    int error = 0;
    if (!folder.Read(path, &error))
        throw CJobError(ComposeMessage(IDS_ERR_READ_FOLDER, path, std::strerror(error)), 0);
}

std::int64_t CTambleJobs::StartMidnight(std::int64_t now)
{
    HistoryDate date;
    ReadStartDate(m_szStartDate, date);
    std::int64_t midnight = 0;
    switch (ResolveDate(date, now, midnight)) {
    case DateResult::OutOfRange:
        throw CJobError(ComposeMessage(IDS_ERR_START_DATE_RANGE, m_szStartDate, ErrorCodeCause(JOB_E_FAIL)),
                        JOB_E_FAIL);
    case DateResult::Unconvertible:
        throw CJobError(ComposeMessage(IDS_ERR_START_DATE_CONVERT, m_szStartDate, ErrorCodeCause(JOB_E_INVALIDARG)),
                        JOB_E_INVALIDARG);
    case DateResult::Ok:
        break;
    }
    return midnight;
}

std::int64_t CTambleJobs::NameMidnight(const std::string& name, const std::string& path, int start,
                                       std::int64_t now)
{
    std::int64_t midnight = 0;
    switch (ResolveDate(NameDate(name, start), now, midnight)) {
    case DateResult::OutOfRange:
        throw CJobError(ComposeMessage(IDS_ERR_NAME_DATE_RANGE, path, ErrorCodeCause(JOB_E_FAIL)), JOB_E_FAIL);
    case DateResult::Unconvertible:
        throw CJobError(ComposeMessage(IDS_ERR_NAME_DATE_CONVERT, path, ErrorCodeCause(JOB_E_INVALIDARG)),
                        JOB_E_INVALIDARG);
    case DateResult::Ok:
        break;
    }
    return midnight;
}

UINT CTambleJobs::CountFiles(const std::string& pattern)
{
    std::string folder, name;
    SplitSearchPattern(pattern, folder, name);
    return Clamp32(ListMatching(folder, name).size());
}

int CTambleJobs::CompressHistory()
{
    const std::int64_t now = Time64Now();
    if (m_nNumber == 0)
        return 0;
    const std::int64_t ageLimit = std::int64_t {m_nNumber} * SECONDS_PER_DAY;
    const std::string folderPath = HistoryFolderPath();
    LockFolder(folderPath, {}, true);
    CHistoryFolder folder;
    ReadHistoryFolder(folder, folderPath);
    const std::vector<std::size_t> found = folder.Matching(CompressPattern(m_nGroup));
    m_view.SetOverallRange(static_cast<std::uint16_t>(found.size()));

    int counter = 1;
    for (std::size_t index : found) {
        const DirEntry& entry = folder.Entries()[index];
        m_view.SetOverallPos(++counter);
        m_view.SetFileRange(Clamp32(entry.size));
        ShowBars();
        const int start = NameDateStart(entry.name.size());
        if (start < 0)
            continue;
        const std::int64_t midnight = NameMidnight(entry.name, folderPath + entry.name, start, now);
        if (now - midnight <= ageLimit)
            continue;   // too young
        CompressOne(folderPath, entry.name);
    }
    EndDialog(1);
    return 1;
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
        if (!S_ISREG(twin.st_mode) || (twin.st_dev == plain.st_dev && twin.st_ino == plain.st_ino))
            Fail(IDS_ERR_TWIN_DIFFERS, source, twinName + " is not a separate regular file");
        else if (CompareDecoded(target, source, cause) != ProofResult::Same)
            Fail(IDS_ERR_TWIN_DIFFERS, source, twinName + ": " + cause);
        else
            DeletePlain(source, plain, target, false, IDS_LOG_PLAIN_DELETED);
        return;
    }
    if (!ConvertFile(source, target, m_nCompressMethod, false))
        return;
    if (CompareDecoded(target, source, cause) != ProofResult::Same) {
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
    const std::string twinFate = madeTwin ? shown + " removed" : shown + " kept";
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
    if (MoveNoReplace(plain, aside) != 0) {
        Fail(IDS_ERR_DELETE, plain, std::strerror(errno));
        return;
    }
    const struct timespec pause = {0, 1000 * 1000};
    ::nanosleep(&pause, nullptr);
    const bool inUse = lease.Held() && lease.Broken();
    const bool changed = !lease.Held() && (::fstat(lease.Handle(), &now) != 0 || !SameContent(before, now));
    int deleteError = 0;
    if (!inUse && !changed && RetryCall([&] { return ::unlink(aside.c_str()); }) != 0)
        deleteError = errno;
    if (inUse || changed || deleteError) {
        const int backError = MoveNoReplace(aside, plain) == 0 ? 0 : errno;
        lease.Release();   // an opener waiting for it now finds the file in its place
        if (backError)
            Fail(IDS_ERR_DELETE, plain, "kept as " + aside + ": " + std::strerror(backError));
        else if (deleteError)
            Fail(IDS_ERR_DELETE, plain, std::strerror(deleteError));
        else
            keep(inUse ? IDS_ERR_IN_USE : IDS_ERR_PLAIN_CHANGED, changed);
        return;
    }
    lease.Release();
    LogLine(logId, plain + " -> " + shown);
}

UINT CTambleJobs::CountHistoryFiles()
{
    if (m_szStartDate.size() < 7)
        return 0;
    const std::int64_t start = StartMidnight(Time64Now());
    if (m_nNumber <= 0)
        return 0;
    CHistoryFolder folder;
    const std::string folderPath = HistoryFolderPath();
    ReadHistoryFolder(folder, folderPath);
    ExtractWindow window;
    if (!folder.Window(start, static_cast<std::uint64_t>(m_nNumber), -1, window))
        return 0;
    return Clamp32(window.countAllGroups);
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
    LockFolder(folderPath, {}, true);
    CHistoryFolder folder;
    ReadHistoryFolder(folder, folderPath);
    ExtractWindow window;
    if (!folder.Window(start, static_cast<std::uint64_t>(m_nNumber), m_nGroup, window))
        throw CJobError(ComposeMessage(IDS_ERR_START_DATE_CONVERT, m_szStartDate, ErrorCodeCause(JOB_E_INVALIDARG)),
                        JOB_E_INVALIDARG);
    // The range counts the files of all groups, whatever group is extracted.
    m_view.SetOverallRange(static_cast<std::uint16_t>(window.countAllGroups));

    int counter = 1;
    for (const ExtractDay& day : window.days) {
        for (std::size_t index : day.entries) {
            const DirEntry& entry = folder.Entries()[index];
            m_view.SetOverallPos(++counter);
            m_view.SetFileRange(Clamp32(entry.size));
            ShowBars();
            ExtractOne(folderPath, entry.name);
        }
    }
    EndDialog(1);
    return 1;
}

void CTambleJobs::ExtractOne(const std::string& folder, const std::string& name)
{
    const std::string source = folder + name;
    const std::string target = folder + TwinName(name, ".hst");
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
        LogLine(IDS_LOG_TARGET_EXISTS, source + " -> " + target);
        return;
    }
    if (::lstat(source.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        Notice(IDS_ERR_NOT_REGULAR, source);
        return;
    }
    m_view.SetSourceName(source);
    m_view.SetTargetName(target);
    m_view.TransferTexts();
    if (ConvertFile(source, target, METHOD_NONE, false))
        LogLine(IDS_LOG_EXTRACTED, source + " -> " + target);
}
