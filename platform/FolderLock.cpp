#include "platform/FolderLock.h"

#include "platform/Folder.h"
#include "platform/SysCall.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int DEFAULT_WAIT_SECONDS = 30;
constexpr long POLL_MILLISECONDS = 100;

void Pause()
{
    timespec delay {0, POLL_MILLISECONDS * 1000 * 1000};
    RetryEintr([&] { return ::nanosleep(&delay, &delay); });   // the time left after an interruption
}

}   // namespace

CFolderLock::~CFolderLock()
{
    Release();
}

int CFolderLock::DefaultWait()
{
    const char* text = std::getenv("TAMBLE_LOCK_WAIT");
    if (!text || !*text)
        return DEFAULT_WAIT_SECONDS;
    char* end = nullptr;
    const long seconds = std::strtol(text, &end, 10);
    if (*end != '\0' || seconds < 0)
        return DEFAULT_WAIT_SECONDS;
    return seconds > 86400 ? 86400 : static_cast<int>(seconds);
}

bool CFolderLock::OpenLockFile(const CFolder& folder)
{
    // Ours only: a lock file that another user made (or linked here) could be
    // held by them, so it is replaced by one of our own.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_hFile = folder.OpenOrCreate(LOCK_FILE_NAME, 0600);
        if (m_hFile < 0)
            return false;
        struct stat st {};
        if (::fstat(m_hFile, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1
            && (st.st_mode & 077) == 0)
            return true;
        ::close(m_hFile);
        m_hFile = -1;
        if (folder.Unlink(LOCK_FILE_NAME) != 0 && errno != ENOENT)
            return false;
    }
    errno = EEXIST;
    return false;
}

CFolderLock::Result CFolderLock::Acquire(const CFolder& folder, int waitSeconds, const std::function<void()>& onWait,
                                         int& error)
{
    Release();
    if (!OpenLockFile(folder)) {
        // A folder we may not write holds nothing of ours to guard: worked on
        // unlocked, as on a file system without locks.
        if (errno == EACCES || errno == EPERM || errno == EROFS)
            return Result::Unlocked;
        error = errno;
        return Result::Failed;
    }
    // Polled rather than blocking, so that the wait stays bounded; a count of
    // pauses needs no clock that could jump.
    const long tries = 1 + static_cast<long>(waitSeconds) * 1000 / POLL_MILLISECONDS;
    for (long attempt = 0; attempt < tries; ++attempt) {
        if (RetryEintr([&] { return ::flock(m_hFile, LOCK_EX | LOCK_NB); }) == 0) {
            // The run before may have removed the file as it let go: only a lock
            // on the file that the name leads to counts.
            FileInfo own, named;
            if (InfoOf(m_hFile, own) && folder.Stat(LOCK_FILE_NAME, named) && own.id == named.id) {
                m_bHeld = true;
                m_hFolder = ::fcntl(folder.Handle(), F_DUPFD_CLOEXEC, 0);
                return Result::Held;
            }
            ::close(m_hFile);
            if (!OpenLockFile(folder))
                return Result::Unlocked;   // gone and not to be made again
            continue;
        }
        if (errno != EWOULDBLOCK)
            return Result::Unlocked;   // cannot be locked; the file stays open until Release
        if (attempt == 0 && tries > 1 && onWait)
            onWait();
        if (attempt + 1 < tries)
            Pause();
    }
    Release();
    return Result::Busy;
}

void CFolderLock::Release()
{
    // Removed while still held, so that no run takes a lock on a file that is gone.
    if (m_bHeld && m_hFolder >= 0)
        ::unlinkat(m_hFolder, LOCK_FILE_NAME, 0);
    if (m_hFolder >= 0)
        ::close(m_hFolder);
    m_hFolder = -1;
    if (m_hFile >= 0)
        ::close(m_hFile);   // closing the last descriptor drops the lock
    m_hFile = -1;
    m_bHeld = false;
}
