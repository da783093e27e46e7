// CFileLease on Win32: an oplock, else the file held open sharing nothing but
// attribute reads (platform/FileLease.h).
#include "platform/FileLease.h"

#include "platform/win32/Win32.h"

#include <winioctl.h>

#include <cerrno>
#include <memory>

struct CFileLease::Oplock {
    OVERLAPPED overlapped {};
    REQUEST_OPLOCK_INPUT_BUFFER input {};
    REQUEST_OPLOCK_OUTPUT_BUFFER output {};
};

namespace {

// Opens the regular file at path to read and delete, never through a reparse
// point.  INVALID_HANDLE_VALUE with the Windows error in code.
HANDLE OpenToHold(const std::wstring& path, DWORD share, DWORD flags, DWORD& code, int& error)
{
    const HANDLE handle
        = FileCalls().CreateFileW(path.c_str(), GENERIC_READ | DELETE, share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        code = ::GetLastError();
        error = ErrnoOf(code);
        return handle;
    }
    BY_HANDLE_FILE_INFORMATION info {};
    if (!IsDiskFile(handle, info)) {
        FileCalls().CloseHandle(handle);
        code = ERROR_INVALID_PARAMETER;
        error = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? ELOOP : EINVAL;
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

}   // namespace

CFileLease::~CFileLease()
{
    Release();
}

CFileLease::Result CFileLease::Take(int dir, const std::string& name, int& error)
{
    Release();
    std::wstring path;
    if (!EntryPath(dir, name, path)) {
        error = errno;
        return Result::Failed;
    }
    DWORD code = 0;
    // The oplock: asked for on a handle shared with everyone, so that it is the
    // oplock (granted only while no other handle is open) that tells us.
    HANDLE handle
        = OpenToHold(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_FLAG_OVERLAPPED, code, error);
    if (handle == INVALID_HANDLE_VALUE)
        return code == ERROR_SHARING_VIOLATION ? Result::InUse : Result::Failed;
    auto oplock = std::make_unique<Oplock>();
    oplock->overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    oplock->input = {REQUEST_OPLOCK_CURRENT_VERSION, sizeof oplock->input,
                     OPLOCK_LEVEL_CACHE_READ | OPLOCK_LEVEL_CACHE_HANDLE | OPLOCK_LEVEL_CACHE_WRITE,
                     REQUEST_OPLOCK_INPUT_FLAG_REQUEST};
    oplock->output.StructureVersion = REQUEST_OPLOCK_CURRENT_VERSION;
    oplock->output.StructureLength = sizeof oplock->output;
    code = ERROR_NOT_ENOUGH_MEMORY;
    if (oplock->overlapped.hEvent
        && !FileCalls().DeviceIoControl(handle, FSCTL_REQUEST_OPLOCK, &oplock->input, sizeof oplock->input,
                                        &oplock->output, sizeof oplock->output, nullptr, &oplock->overlapped))
        code = ::GetLastError();
    else if (oplock->overlapped.hEvent)
        code = ERROR_SUCCESS;   // answered at once: a break already (or no oplock after all)
    if (code == ERROR_IO_PENDING) {
        m_hFile = DescriptorOf(handle);
        if (m_hFile < 0) {
            ::CloseHandle(oplock->overlapped.hEvent);
            error = errno;
            return Result::Failed;
        }
        m_pOplock = oplock.release();
        m_bHeld = true;
        NoteLease(path, handle);
        return Result::Held;
    }
    if (code == ERROR_SUCCESS) {
        DWORD done = 0;
        FileCalls().GetOverlappedResult(handle, &oplock->overlapped, &done, TRUE);
    }
    if (oplock->overlapped.hEvent)
        ::CloseHandle(oplock->overlapped.hEvent);
    FileCalls().CloseHandle(handle);
    if (code == ERROR_OPLOCK_NOT_GRANTED)
        return Result::InUse;   // another handle of the file is open
    // No oplock here: the file held sharing neither reading nor writing.  It
    // opens only while no other handle reads or writes it, and none can until
    // Release.
    handle = OpenToHold(path, 0, 0, code, error);
    if (handle == INVALID_HANDLE_VALUE)
        return code == ERROR_SHARING_VIOLATION ? Result::InUse : Result::Failed;
    m_hFile = DescriptorOf(handle);
    if (m_hFile < 0) {
        error = errno;
        return Result::Failed;
    }
    m_bHeld = true;
    NoteLease(path, handle);
    return Result::Held;
}

bool CFileLease::Broken() const
{
    // The oplock's request completes when another open breaks it; that opener
    // waits until we close our handle.
    return m_bHeld && m_pOplock && ::WaitForSingleObject(m_pOplock->overlapped.hEvent, 0) == WAIT_OBJECT_0;
}

void CFileLease::Release()
{
    if (m_hFile >= 0) {
        const HANDLE handle = HandleOf(m_hFile);
        ForgetLease(handle);
        if (m_pOplock) {
            // The request ends with the handle; wait for it before its buffers go.
            DWORD done = 0;
            FileCalls().CancelIoEx(handle, &m_pOplock->overlapped);
            FileCalls().GetOverlappedResult(handle, &m_pOplock->overlapped, &done, TRUE);
            ::CloseHandle(m_pOplock->overlapped.hEvent);
        }
        FileCalls().CloseHandle(handle);
    }
    delete m_pOplock;
    m_pOplock = nullptr;
    m_hFile = -1;
    m_bHeld = false;
}

// No signal tells of a break on Windows: nothing to ignore or restore.
CLeaseSignalIgnored::CLeaseSignalIgnored() = default;

CLeaseSignalIgnored::~CLeaseSignalIgnored() = default;
