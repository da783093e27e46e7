// CFile on Win32 handles: names are UTF-8 (converted to UTF-16 for CreateFileW),
// data is binary, sizes and offsets are 64-bit.  A failure carries the same causes as
// on Linux, the errno its Windows error matches (for the callers that look at it) and
// the system's own text with the error number.
#include "platform/File.h"

#include "platform/win32/Win32.h"

#include <cerrno>
#include <limits>
#include <string>

namespace {

void SetFailure(CFileException& error, DWORD code, const std::string& name, const char* what)
{
    error.Set(CauseOf(code), ErrnoOf(code), name, what);
    error.m_strOsText = SystemText(code);
}

[[noreturn]] void ThrowLastError(const std::string& name, const char* what)
{
    CFileException error;
    SetFailure(error, ::GetLastError(), name, what);
    throw error;
}

HANDLE Native(CFile::NativeHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

}   // namespace

CFile::~CFile()
{
    if (m_hFile != -1)
        FileCalls().CloseHandle(Native(m_hFile));   // errors here cannot be reported from a destructor
}

BOOL CFile::Open(const char* fileName, UINT openFlags, CFileException* error)
{
    if (m_hFile != -1)
        Abort();
    m_strFileName = fileName ? fileName : "";
    DWORD access = 0;
    DWORD disposition = 0;
    switch (openFlags) {
    case modeRead:
        access = GENERIC_READ;
        disposition = OPEN_EXISTING;
        break;
    case modeWrite:
        access = GENERIC_WRITE;
        disposition = OPEN_EXISTING;
        break;
    case modeCreate | modeWrite:
        access = GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        break;
    default:
        if (error)
            error->Set(CFileException::generic, EINVAL, m_strFileName, "unsupported open mode");
        return FALSE;
    }
    if (m_strFileName.empty()) {
        if (error)
            error->Set(CFileException::fileNotFound, ENOENT, m_strFileName, "open failed");
        return FALSE;
    }
    std::wstring wide;
    if (!WideNameOf(m_strFileName, wide)) {
        if (error) {
            error->Set(CFileException::fileNotFound, EILSEQ, m_strFileName, "open failed");
            error->m_strOsText = "the name is not valid UTF-8";
        }
        return FALSE;
    }
    // Shared for reading, writing and deleting, as a POSIX descriptor is: another
    // program may read, rename or delete the file while it is open.  Not inherited.
    const HANDLE handle
        = FileCalls().CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (error) {
            SetFailure(*error, code, m_strFileName, "open failed");
            // A folder cannot be opened as a file; say so rather than "access denied".
            const DWORD attributes = FileCalls().GetFileAttributesW(wide.c_str());
            if (code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES
                && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                error->m_cause = CFileException::generic;
                error->m_lOsError = EISDIR;
                error->m_strOsText = "Is a directory";
            }
        }
        return FALSE;
    }
    m_hFile = reinterpret_cast<NativeHandle>(handle);
    return TRUE;
}

UINT CFile::Read(void* buffer, UINT count)
{
    auto* out = static_cast<unsigned char*>(buffer);
    UINT done = 0;
    while (done < count) {
        DWORD n = 0;
        if (!FileCalls().ReadFile(Native(m_hFile), out + done, count - done, &n, nullptr)) {
            if (::GetLastError() == ERROR_BROKEN_PIPE || ::GetLastError() == ERROR_HANDLE_EOF)
                break;   // the writer of a pipe is gone: its end of file
            ThrowLastError(m_strFileName, "read failed");
        }
        if (n == 0)
            break;   // end of file
        done += n;
    }
    return done;
}

void CFile::Write(const void* buffer, UINT count)
{
    const auto* in = static_cast<const unsigned char*>(buffer);
    UINT done = 0;
    while (done < count) {
        DWORD n = 0;
        if (!FileCalls().WriteFile(Native(m_hFile), in + done, count - done, &n, nullptr))
            ThrowLastError(m_strFileName, "write failed");
        if (n == 0)
            Throw(CFileException::diskFull, ENOSPC, "write failed");
        done += n;
    }
}

std::uint64_t CFile::Seek(std::int64_t offset, UINT from)
{
    const DWORD method = from == end ? FILE_END : from == current ? FILE_CURRENT : FILE_BEGIN;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER pos;
    if (!FileCalls().SetFilePointerEx(Native(m_hFile), distance, &pos, method))
        ThrowLastError(m_strFileName, "seek failed");
    return static_cast<std::uint64_t>(pos.QuadPart);
}

std::uint64_t CFile::GetLength() const
{
    LARGE_INTEGER size;
    if (!FileCalls().GetFileSizeEx(Native(m_hFile), &size))
        ThrowLastError(m_strFileName, "stat failed");
    return static_cast<std::uint64_t>(size.QuadPart);
}

void CFile::SetLength(std::uint64_t length)
{
    if (length > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        Throw(CFileException::badSeek, EINVAL, "truncate failed");
    // SetEndOfFile cuts at the file pointer; the pointer is put back, as ftruncate
    // leaves it alone.
    const HANDLE handle = Native(m_hFile);
    LARGE_INTEGER zero {};
    LARGE_INTEGER here {};
    if (!FileCalls().SetFilePointerEx(handle, zero, &here, FILE_CURRENT))
        ThrowLastError(m_strFileName, "truncate failed");
    LARGE_INTEGER target;
    target.QuadPart = static_cast<LONGLONG>(length);
    if (!FileCalls().SetFilePointerEx(handle, target, nullptr, FILE_BEGIN) || !FileCalls().SetEndOfFile(handle)) {
        const DWORD code = ::GetLastError();
        FileCalls().SetFilePointerEx(handle, here, nullptr, FILE_BEGIN);
        ::SetLastError(code);
        ThrowLastError(m_strFileName, "truncate failed");
    }
    if (!FileCalls().SetFilePointerEx(handle, here, nullptr, FILE_BEGIN))
        ThrowLastError(m_strFileName, "seek failed");
}

void CFile::Sync()
{
    if (!FileCalls().FlushFileBuffers(Native(m_hFile)))
        ThrowLastError(m_strFileName, "sync failed");
}

void CFile::Close()
{
    if (m_hFile == -1)
        return;
    const HANDLE handle = Native(m_hFile);
    m_hFile = -1;
    if (!FileCalls().CloseHandle(handle))
        ThrowLastError(m_strFileName, "close failed");
}

void CFile::Abort()
{
    if (m_hFile != -1)
        FileCalls().CloseHandle(Native(m_hFile));
    m_hFile = -1;
}

void CFile::Throw(CFileException::Cause cause, int err, const char* what) const
{
    throw CFileException(cause, err, m_strFileName, what);
}
