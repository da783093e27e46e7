#include "platform/FileLease.h"

#include "platform/SysCall.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

CFileLease::~CFileLease()
{
    Release();
}

CFileLease::Result CFileLease::Take(int dir, const std::string& name, int& error)
{
    Release();
    m_hFile = RetryEintr(
        [&] { return ::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); });
    if (m_hFile < 0) {
        // Someone else holds a lease on it: it is in use.
        if (errno == EWOULDBLOCK)
            return Result::InUse;
        error = errno;
        return Result::Failed;
    }
    // An opener that breaks the lease sends SIGIO, whose default would end us.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    if (::sigaction(SIGIO, &ignore, &m_oldAction) == 0)
        m_bSignalSaved = true;
    if (RetryEintr([&] { return ::fcntl(m_hFile, F_SETLEASE, F_WRLCK); }) == 0) {
        m_bHeld = true;
        return Result::Held;
    }
    error = errno;
    if (error == EAGAIN || error == EBUSY)
        return Result::InUse;
    return Result::Unsupported;
}

bool CFileLease::Broken() const
{
    // While a break is pending the kernel reports the type the lease is to fall to.
    return m_bHeld && ::fcntl(m_hFile, F_GETLEASE) != F_WRLCK;
}

void CFileLease::Release()
{
    if (m_bHeld)
        ::fcntl(m_hFile, F_SETLEASE, F_UNLCK);
    m_bHeld = false;
    if (m_hFile >= 0)
        ::close(m_hFile);
    m_hFile = -1;
    // A break signal sent while the lease was held was dropped, being ignored.
    if (m_bSignalSaved)
        ::sigaction(SIGIO, &m_oldAction, nullptr);
    m_bSignalSaved = false;
}

CLeaseSignalIgnored::CLeaseSignalIgnored()
{
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    m_bSaved = ::sigaction(SIGIO, &ignore, &m_saved) == 0;
}

CLeaseSignalIgnored::~CLeaseSignalIgnored()
{
    if (m_bSaved)
        ::sigaction(SIGIO, &m_saved, nullptr);
}
