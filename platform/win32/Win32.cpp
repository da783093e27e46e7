// Names, errors, entry paths and the steps done through held handles (Win32.h).
#include "platform/win32/Win32.h"

#include <sddl.h>
#include <winternl.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>

int DescriptorOf(HANDLE handle)
{
    const auto value = reinterpret_cast<std::intptr_t>(handle);
    if (value > 2 && value <= INT_MAX)
        return static_cast<int>(value);
    FileCalls().CloseHandle(handle);   // not a value Windows hands out for a kernel handle
    errno = EMFILE;
    return -1;
}

CFileException::Cause CauseOf(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_DIRECTORY:
        return CFileException::fileNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return CFileException::accessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE:
        return CFileException::diskFull;
    case ERROR_NEGATIVE_SEEK:
    case ERROR_SEEK:
    case ERROR_INVALID_PARAMETER:
    case ERROR_SEEK_ON_DEVICE:
        return CFileException::badSeek;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_TOO_MANY_OPEN_FILES:
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_INVALID_HANDLE:
        return CFileException::generic;
    default:   // the device's own faults and whatever has no closer match
        return CFileException::hardIO;
    }
}

int ErrnoOf(DWORD code)
{
    switch (code) {
    case ERROR_SUCCESS:
        return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_NETWORK_ACCESS_DENIED:
        return EACCES;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_TOO_LARGE:
        return EFBIG;
    case ERROR_NEGATIVE_SEEK:
    case ERROR_SEEK:
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_SEEK_ON_DEVICE:
        return ESPIPE;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
        return ENOTSUP;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_CANT_RESOLVE_FILENAME:
        return ELOOP;
    default:
        return EIO;
    }
}

int SetErrnoFrom(DWORD code)
{
    errno = ErrnoOf(code);
    return errno;
}

std::string Utf8Of(const wchar_t* text, int length)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

std::string SystemText(DWORD code)
{
    wchar_t* message = nullptr;
    const DWORD length
        = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::string text = length > 0 ? Utf8Of(message, static_cast<int>(length)) : std::string();
    if (message)
        ::LocalFree(message);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.' || text.back() == ' '))
        text.pop_back();
    if (text.empty())
        text = "Windows error";
    return text + " (error " + std::to_string(code) + ")";
}

bool WideOf(const std::string& text, std::wstring& wide)
{
    wide.clear();
    if (text.empty())
        return true;
    if (text.find('\0') != std::string::npos)
        return false;
    const int size
        = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0)
        return false;
    wide.assign(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return true;
}

namespace {

// The \\?\ form of an absolute path from GetFullPathNameW.
std::wstring Prefixed(const std::wstring& path)
{
    if (path.compare(0, 4, L"\\\\?\\") == 0 || path.compare(0, 4, L"\\\\.\\") == 0)
        return path;
    if (path.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

bool FullOf(const std::wstring& wide, std::wstring& full)
{
    const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        SetErrnoFromLastError();
        return false;
    }
    std::wstring path(size, L'\0');
    const DWORD written = ::GetFullPathNameW(wide.c_str(), size, path.data(), nullptr);
    if (written == 0 || written >= size) {
        SetErrnoFromLastError();
        return false;
    }
    path.resize(written);
    full = Prefixed(path);
    return true;
}

}   // namespace

bool WideNameOf(const std::string& name, std::wstring& wide)
{
    if (!WideOf(name, wide) || wide.empty())
        return !wide.empty();
    if (wide.size() < MAX_PATH - 12 || wide.compare(0, 4, L"\\\\?\\") == 0)
        return true;
    std::wstring full;
    if (FullOf(wide, full))
        wide = full;
    return true;   // where it cannot be made absolute, CreateFileW says what is wrong
}

bool FullPathOf(const std::string& path, std::wstring& full)
{
    std::wstring wide;
    if (!WideOf(path.empty() ? std::string(".") : path, wide)) {
        errno = EILSEQ;
        return false;
    }
    return FullOf(wide, full);
}

bool FolderPathOf(HANDLE dir, std::wstring& path)
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = FileCalls().GetFinalPathNameByHandleW(
            dir, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            SetErrnoFromLastError();
            return false;
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.assign(length + 1, L'\0');
    }
    while (buffer.size() > 7 && (buffer.back() == L'\\' || buffer.back() == L'/'))
        buffer.pop_back();   // a volume's root comes as "\\?\C:\"
    path = Prefixed(buffer);
    return true;
}

bool EntryPath(int dir, const std::string& name, std::wstring& path)
{
    if (dir == CURRENT_FOLDER_HANDLE) {
        if (name.empty()) {
            errno = ENOENT;
            return false;
        }
        return FullPathOf(name, path);
    }
    std::wstring wide;
    if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\:") != std::string::npos
        || !WideOf(name, wide)) {
        errno = name.empty() ? ENOENT : EINVAL;
        return false;
    }
    if (!FolderPathOf(HandleOf(dir), path))
        return false;
    if (path.back() != L'\\')   // a volume's root ends with its separator
        path += L'\\';
    path += wide;
    return true;
}

COwnerOnly::COwnerOnly()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string user(size, '\0');
    wchar_t* sid = nullptr;
    if (size > 0 && ::GetTokenInformation(token, TokenUser, user.data(), size, &size)
        && ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
        // Protected (no inherited entries), full access for the user and nobody else.
        const std::wstring text = L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
        if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &m_pSecurity,
                                                                   nullptr)) {
            m_attributes.nLength = sizeof m_attributes;
            m_attributes.lpSecurityDescriptor = m_pSecurity;
            m_attributes.bInheritHandle = FALSE;
        }
        ::LocalFree(sid);
    }
    ::CloseHandle(token);
}

COwnerOnly::~COwnerOnly()
{
    if (m_pSecurity)
        ::LocalFree(m_pSecurity);
}

bool IsDiskFile(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info)
{
    return FileCalls().GetFileType(handle) == FILE_TYPE_DISK && FileCalls().GetFileInformationByHandle(handle, &info)
           && !(info.dwFileAttributes
                & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE));
}

namespace {

std::mutex g_leaseLock;
std::map<std::wstring, HANDLE> g_leases;   // leased path -> the lease's handle

HANDLE LeaseFor(const std::wstring& path)
{
    const auto found = g_leases.find(path);
    return found == g_leases.end() ? nullptr : found->second;
}

}   // namespace

void NoteLease(const std::wstring& path, HANDLE handle)
{
    const std::lock_guard<std::mutex> hold(g_leaseLock);
    g_leases[path] = handle;
}

void MoveLease(HANDLE handle, const std::wstring& path)
{
    for (auto it = g_leases.begin(); it != g_leases.end(); ++it)
        if (it->second == handle) {
            g_leases.erase(it);
            break;
        }
    g_leases[path] = handle;
}

void ForgetLease(HANDLE handle)
{
    const std::lock_guard<std::mutex> hold(g_leaseLock);
    for (auto it = g_leases.begin(); it != g_leases.end(); ++it)
        if (it->second == handle) {
            g_leases.erase(it);
            return;
        }
}

int RenameThrough(HANDLE handle, const std::wstring& to, bool replace)
{
    // The native form of the \\?\ path: \??\.
    std::wstring native = to;
    if (native.compare(0, 4, L"\\\\?\\") == 0)
        native[1] = L'?', native[2] = L'?';
    const std::size_t bytes = native.size() * sizeof(wchar_t);
    std::string block(sizeof(FILE_RENAME_INFORMATION) + bytes, '\0');
    auto* info = reinterpret_cast<FILE_RENAME_INFORMATION*>(block.data());
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<ULONG>(bytes);
    native.copy(info->FileName, native.size());
    IO_STATUS_BLOCK status {};
    // POSIX semantics first (Windows 10): a replaced target that others hold open
    // goes from under them, as on Linux.  The flags take the place of
    // ReplaceIfExists at the start of the block.
    constexpr ULONG REPLACE_IF_EXISTS = 0x1, POSIX_SEMANTICS = 0x2;
    const ULONG flags = POSIX_SEMANTICS | (replace ? REPLACE_IF_EXISTS : 0);
    std::memcpy(block.data(), &flags, sizeof flags);
    NTSTATUS result
        = FileCalls().NtSetInformationFile(handle, &status, info, static_cast<ULONG>(block.size()),
                                           static_cast<FILE_INFORMATION_CLASS>(65));   // FileRenameInformationEx
    const auto unknown = [](NTSTATUS code) {
        const auto value = static_cast<ULONG>(code);
        return value == 0xC0000003 || value == 0xC000000D || value == 0xC00000BB || value == 0xC0000002;
    };
    if (result < 0 && unknown(result)) {
        std::memset(block.data(), 0, sizeof flags);
        info->ReplaceIfExists = replace ? TRUE : FALSE;
        result = FileCalls().NtSetInformationFile(handle, &status, info, static_cast<ULONG>(block.size()),
                                                  static_cast<FILE_INFORMATION_CLASS>(10));   // FileRenameInformation
    }
    if (result >= 0)
        return 0;
    return SetErrnoFrom(::RtlNtStatusToDosError(result));
}

int DeleteThrough(HANDLE handle)
{
    // POSIX semantics take the name away at once, where the file system has them;
    // else it goes when the last handle closes.
    FILE_DISPOSITION_INFO_EX posix {FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS};
    constexpr auto DISPOSITION_EX = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);   // FileDispositionInfoEx (Windows 10)
    if (FileCalls().SetFileInformationByHandle(handle, DISPOSITION_EX, &posix, sizeof posix))
        return 0;
    // Only a system or file system without them is asked the old way: a fault of
    // the disk is the deletion's failure, not a reason to try again.
    const DWORD code = ::GetLastError();
    if (code != ERROR_INVALID_PARAMETER && code != ERROR_INVALID_FUNCTION && code != ERROR_NOT_SUPPORTED
        && code != ERROR_CALL_NOT_IMPLEMENTED)
        return SetErrnoFrom(code);
    FILE_DISPOSITION_INFO plain {TRUE};
    if (FileCalls().SetFileInformationByHandle(handle, FileDispositionInfo, &plain, sizeof plain))
        return 0;
    return SetErrnoFromLastError();
}

int DeleteOwnThrough(HANDLE handle)
{
    FILE_BASIC_INFO basic {};
    if (FileCalls().GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)
        && (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
        basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = 0;   // left as they are
        basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
        FileCalls().SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
    }
    return DeleteThrough(handle);
}

int RenameEntry(const std::wstring& from, const std::wstring& to, bool replace)
{
    const std::lock_guard<std::mutex> hold(g_leaseLock);
    if (HANDLE lease = LeaseFor(from)) {
        const int error = RenameThrough(lease, to, replace);
        if (error == 0)
            MoveLease(lease, to);
        return error;
    }
    // MOVEFILE_WRITE_THROUGH makes a move that has to copy wait for the disk; a
    // rename within the folder is forced out with the folder (CFolder::Sync).
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (FileCalls().MoveFileExW(from.c_str(), to.c_str(), flags))
        return 0;
    return SetErrnoFromLastError();
}

int DeleteEntry(const std::wstring& path)
{
    const std::lock_guard<std::mutex> hold(g_leaseLock);
    if (HANDLE lease = LeaseFor(path)) {
        const int error = DeleteThrough(lease);
        if (error == 0)
            for (auto it = g_leases.begin(); it != g_leases.end(); ++it)
                if (it->second == lease) {
                    g_leases.erase(it);
                    break;
                }
        return error;
    }
    if (FileCalls().DeleteFileW(path.c_str()))
        return 0;
    return SetErrnoFromLastError();
}
