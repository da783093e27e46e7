// CFolderLock on Win32: an exclusive LockFileEx lock on the lock file, opened in
// the held folder, never through a reparse point.  A lock file with other names
// (hard links) is replaced.  The file is deleted through the held handle as the
// lock is let go; the system drops the lock with the process.
#include "platform/FolderLock.h"

#include "platform/Folder.h"
#include "platform/System.h"
#include "platform/win32/Win32.h"

#include <cerrno>
#include <cstdlib>

namespace {

constexpr int DEFAULT_WAIT_SECONDS = 30;
constexpr long POLL_MILLISECONDS = 100;

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
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_hFile = folder.OpenOrCreate(LOCK_FILE_NAME, 0600);
        if (m_hFile < 0)
            return false;
        FileInfo info;
        if (InfoOf(m_hFile, info) && info.regular && info.links == 1)
            return true;
        FileCalls().CloseHandle(HandleOf(m_hFile));
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
        // A folder we may not write holds nothing of ours to guard.
        if (errno == EACCES || errno == EPERM || errno == EROFS)
            return Result::Unlocked;
        error = errno;
        return Result::Failed;
    }
    const long tries = 1 + static_cast<long>(waitSeconds) * 1000 / POLL_MILLISECONDS;
    for (long attempt = 0; attempt < tries; ++attempt) {
        OVERLAPPED at {};
        if (FileCalls().LockFileEx(HandleOf(m_hFile), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                                   &at)) {
            // The run before may have deleted the file as it let go: only a lock
            // on the file that the name leads to counts.
            FileInfo own, named;
            if (InfoOf(m_hFile, own) && folder.Stat(LOCK_FILE_NAME, named) && own.id == named.id) {
                m_bHeld = true;
                return Result::Held;
            }
            FileCalls().CloseHandle(HandleOf(m_hFile));
            m_hFile = -1;
            if (!OpenLockFile(folder))
                return Result::Unlocked;   // gone and not to be made again
            continue;
        }
        const DWORD code = ::GetLastError();
        if (code != ERROR_LOCK_VIOLATION && code != ERROR_IO_PENDING)
            return Result::Unlocked;   // cannot be locked; the file stays open until Release
        if (attempt == 0 && tries > 1 && onWait)
            onWait();
        if (attempt + 1 < tries)
            PauseMilliseconds(POLL_MILLISECONDS);
    }
    Release();
    return Result::Busy;
}

void CFolderLock::Release()
{
    // Deleted while still held, so that no run takes a lock on a file that is gone.
    if (m_hFile >= 0) {
        if (m_bHeld)
            DeleteThrough(HandleOf(m_hFile));
        FileCalls().CloseHandle(HandleOf(m_hFile));   // closing drops the lock
    }
    m_hFile = -1;
    m_bHeld = false;
}
