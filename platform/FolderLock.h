// CFolderLock: one tamble run at a time in a folder.
//
// The lock is an advisory lock (flock) on a lock file inside the folder,
// ".tamble-lock", which the run's user creates readable by nobody else and
// opens relative to the folder's descriptor, never through a link: a user who
// may read the folder but not write it cannot open the file, and so cannot
// hold the lock and stop the job.  A lock file that is not the run user's own
// is replaced.  A run removes the file when it lets the lock go (a waiting run
// then finds the name gone and makes a new one); the system drops the lock
// with the process, so a killed run leaves only the empty file, which no
// history pattern matches.  A second run
// waits a bounded time for the first to finish and then refuses.  File
// systems that cannot lock (some network file systems), and folders the run
// may not write, are worked on without the lock; the caller is told, so that
// it can leave alone what only the lock makes safe to touch (the temporaries
// of other runs).
//
// On Windows (platform/win32/FolderLock.cpp) the lock is LockFileEx on the same
// file, which is deleted through the held handle as the lock goes.
#pragma once

#include <functional>
#include <string>

class CFolder;

// The lock file's name in the folder.
constexpr char LOCK_FILE_NAME[] = ".tamble-lock";

class CFolderLock {
public:
    CFolderLock() = default;
    ~CFolderLock();
    CFolderLock(const CFolderLock&) = delete;
    CFolderLock& operator=(const CFolderLock&) = delete;

    enum class Result {
        Held,       // the lock is ours
        Unlocked,   // the file system cannot lock, or the folder is not ours to write: worked on unlocked
        Busy,       // another run held it for the whole wait
        Failed      // the lock file cannot be had (error gives why)
    };
    // Tries to lock the folder, for up to waitSeconds (0: once); onWait is
    // called once when the lock is busy and the wait begins.
    Result Acquire(const CFolder& folder, int waitSeconds, const std::function<void()>& onWait, int& error);
    bool Held() const { return m_bHeld; }
    void Release();

    // Seconds a run waits for another by default: TAMBLE_LOCK_WAIT from the
    // environment when it holds a number (0 refuses at once), else 30.
    static int DefaultWait();

private:
    // Opens (or makes) the run user's own lock file; false with errno.
    bool OpenLockFile(const CFolder& folder);

    int m_hFile = -1;
    int m_hFolder = -1;   // where the held lock file is removed when released
    bool m_bHeld = false;
};
