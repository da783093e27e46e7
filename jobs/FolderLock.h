// CFolderLock: one tamble run at a time in a folder.
//
// The lock is an advisory lock (flock) on the folder itself, so it needs no lock
// file (nothing that a history pattern or a user could mistake for data, nothing
// left behind by a killed run: the system drops the lock with the process).  A
// second run waits a bounded time for the first to finish and then refuses.
// File systems that cannot lock a folder (some network file systems) are worked
// on without the lock; the caller is told, so that it can leave alone what only
// the lock makes safe to touch (the temporaries of other runs).
#pragma once

#include <functional>
#include <string>

struct JobFault;

class CFolderLock {
public:
    CFolderLock() = default;
    ~CFolderLock();
    CFolderLock(const CFolderLock&) = delete;
    CFolderLock& operator=(const CFolderLock&) = delete;

    // Tries to lock folder, for up to waitSeconds (0: once); shown names it in
    // a fault.  onWait is called once when the lock is busy and the wait begins.
    // True when the lock is ours (Held) or the file system cannot lock the
    // folder (not Held); false with the fault when another run held it for the
    // whole wait (IDS_ERR_FOLDER_IN_USE) or the folder cannot be opened
    // (IDS_ERR_READ_FOLDER).
    bool Acquire(const std::string& folder, const std::string& shown, int waitSeconds,
                 const std::function<void()>& onWait, JobFault& fault);
    bool Held() const { return m_bHeld; }
    void Release();

    // Seconds a run waits for another by default: TAMBLE_LOCK_WAIT from the
    // environment when it holds a number (0 refuses at once), else 30.
    static int DefaultWait();

private:
    int m_hFolder = -1;
    bool m_bHeld = false;
};
