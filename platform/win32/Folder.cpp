// CFolder on Win32.
//
// Windows has no descriptors of folders to name entries by.  The folder is
// opened once (FILE_FLAG_BACKUP_SEMANTICS) without FILE_SHARE_DELETE, so while
// it is held nobody can rename, remove or replace it, and (on NTFS) no folder
// above it can be renamed; FILE_FLAG_OPEN_REPARSE_POINT opens a junction or
// symbolic link as its last component as itself, which is then refused.  Every
// later step names "<the folder's final path>\<name>" (Win32.h), opens entries
// with FILE_FLAG_OPEN_REPARSE_POINT, refuses reparse points and anything but a
// regular disk file (attributes, GetFileType), and checks an entry's identity
// (volume serial number and file index) against the look that chose it.
// Opens never block: a regular disk file is all that is read.
#include "platform/Folder.h"

#include "platform/DirSearch.h"
#include "platform/win32/Win32.h"

#include <aclapi.h>

#include <cerrno>
#include <cwctype>

namespace {

// Seconds and nanoseconds since 1970 of a FILETIME (100 ns since 1601).
FileTime TimeOf(std::int64_t ticks)
{
    constexpr std::int64_t EPOCH = 116444736000000000LL;
    const std::int64_t since = ticks - EPOCH;
    std::int64_t sec = since / 10000000;
    std::int64_t rest = since % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --sec;
    }
    return {sec, static_cast<long>(rest * 100)};
}

std::int64_t TicksOf(const FILETIME& t)
{
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

// FileInfo of the open handle; the change time comes from FileBasicInfo.
bool Fill(HANDLE handle, FileInfo& info)
{
    BY_HANDLE_FILE_INFORMATION by {};
    if (!FileCalls().GetFileInformationByHandle(handle, &by)) {
        SetErrnoFromLastError();
        return false;
    }
    info.id = {by.dwVolumeSerialNumber, (static_cast<std::uint64_t>(by.nFileIndexHigh) << 32) | by.nFileIndexLow};
    info.regular
        = FileCalls().GetFileType(handle) == FILE_TYPE_DISK
          && !(by.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE));
    info.size = (static_cast<std::uint64_t>(by.nFileSizeHigh) << 32) | by.nFileSizeLow;
    info.links = by.nNumberOfLinks;
    // No permission bits: the read-only attribute takes every write bit away.
    info.mode = (by.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    info.uid = info.gid = 0;
    info.accessed = TimeOf(TicksOf(by.ftLastAccessTime));
    info.modified = TimeOf(TicksOf(by.ftLastWriteTime));
    FILE_BASIC_INFO basic {};
    info.changed = FileCalls().GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)
                       ? TimeOf(basic.ChangeTime.QuadPart)
                       : info.modified;
    return true;
}

// Opens path to look at it: attributes only, shared with everything, so that
// it disturbs no other open (and breaks no oplock).
HANDLE OpenToLook(const std::wstring& path, bool follow)
{
    return FileCalls().CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Whether the reparse point open at handle is a link (a junction, a symbolic
// link: a name that stands for another).
bool IsLink(HANDLE handle)
{
    FILE_ATTRIBUTE_TAG_INFO tag {};
    if (!FileCalls().GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag))
        return true;   // not known: taken as a link
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(tag.ReparseTag);
}

// Checks the file just opened: a regular disk file that is not a reparse point,
// and the one expected.  0, or the errno why not.
int CheckOpened(HANDLE handle, bool follow, const FileId* expect)
{
    BY_HANDLE_FILE_INFORMATION info {};
    if (FileCalls().GetFileType(handle) != FILE_TYPE_DISK)
        return EINVAL;
    if (!FileCalls().GetFileInformationByHandle(handle, &info))
        return ErrnoOf(::GetLastError());
    if (!follow && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return ELOOP;
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT))
        return EINVAL;
    const std::uint64_t index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    if (expect && (expect->dev != info.dwVolumeSerialNumber || expect->ino != index))
        return ESTALE;
    return 0;
}

// Whether a full path names a device (\\.\COM1, what "CON" or "NUL" become) rather
// than a file on a volume: it is never opened as a file, so no device is touched.
bool IsDevicePath(const std::wstring& path)
{
    if (path.compare(0, 4, L"\\\\.\\") == 0)
        return true;
    if (path.compare(0, 4, L"\\\\?\\") != 0)
        return false;
    const bool drive = path.size() >= 6 && path[5] == L':' && iswalpha(path[4]);
    return !drive && path.compare(4, 4, L"UNC\\") != 0;
}

// Opens an entry as a file (never a link unless follow), checks it and hands
// out its descriptor; -1 with errno.
int OpenChecked(const std::wstring& path, DWORD access, DWORD disposition, bool follow, const FileId* expect,
                SECURITY_ATTRIBUTES* security = nullptr)
{
    if (IsDevicePath(path)) {
        errno = EINVAL;
        return -1;
    }
    const HANDLE handle
        = FileCalls().CreateFileW(path.c_str(), access, SHARE_ALL, security, disposition,
                                  FILE_ATTRIBUTE_NORMAL | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        // A folder cannot be opened as a file: it is not a regular file.
        const DWORD attributes = FileCalls().GetFileAttributesW(path.c_str());
        if (code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES
            && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            errno = EINVAL;
        else
            SetErrnoFrom(code);
        return -1;
    }
    const int error = CheckOpened(handle, follow, expect);
    if (error != 0) {
        FileCalls().CloseHandle(handle);
        errno = error;
        return -1;
    }
    return DescriptorOf(handle);
}

}   // namespace

bool InfoOf(int fd, FileInfo& info)
{
    return Fill(HandleOf(fd), info);
}

bool InfoOfPath(const std::string& path, FileInfo& info)
{
    std::wstring wide;
    if (!FullPathOf(path, wide))
        return false;
    const HANDLE handle = OpenToLook(wide, true);
    if (handle == INVALID_HANDLE_VALUE) {
        SetErrnoFromLastError();
        return false;
    }
    const bool filled = Fill(handle, info);
    FileCalls().CloseHandle(handle);
    return filled;
}

CFolder::~CFolder()
{
    Close();
}

CFolder::CFolder(CFolder&& from) noexcept
    : m_hDir(from.m_hDir), m_bFollowNames(from.m_bFollowNames), m_strShown(std::move(from.m_strShown))
{
    from.m_hDir = NO_FOLDER;
}

CFolder& CFolder::operator=(CFolder&& from) noexcept
{
    if (this != &from) {
        Close();
        m_hDir = from.m_hDir;
        m_bFollowNames = from.m_bFollowNames;
        m_strShown = std::move(from.m_strShown);
        from.m_hDir = NO_FOLDER;
    }
    return *this;
}

void CFolder::Close()
{
    if (m_hDir >= 0)
        FileCalls().CloseHandle(HandleOf(m_hDir));
    m_hDir = NO_FOLDER;
}

const CFolder& CFolder::Current()
{
    static const CFolder s_current = [] {
        CFolder folder;
        folder.m_hDir = CURRENT_FOLDER_HANDLE;
        folder.m_bFollowNames = true;
        return folder;
    }();
    return s_current;
}

bool CFolder::Open(const std::string& path, bool followLast, int& error)
{
    Close();
    std::string opened = path.empty() ? "." : path;
    // "C:" alone is the drive's current folder; "C:\" its root.
    while (opened.size() > 1 && (opened.back() == '/' || opened.back() == '\\')
           && !(opened.size() == 3 && opened[1] == ':'))
        opened.pop_back();
    std::wstring wide;
    if (!FullPathOf(opened, wide)) {
        error = errno;
        return false;
    }
    // Held without sharing deletion: the folder stays the one opened.  READ_CONTROL
    // lets Writable read its access list.
    const HANDLE handle = FileCalls().CreateFileW(
        wide.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (followLast ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = SetErrnoFromLastError();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info {};
    error = !FileCalls().GetFileInformationByHandle(handle, &info) ? ErrnoOf(::GetLastError())
            : !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)  ? ENOTDIR
            : !followLast && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLink(handle) ? ELOOP
                                                                                                      : 0;
    if (error == 0 && (m_hDir = DescriptorOf(handle)) < 0)
        error = errno;
    else if (error != 0)
        FileCalls().CloseHandle(handle);
    if (error != 0) {
        m_hDir = NO_FOLDER;
        errno = error;
        return false;
    }
    m_bFollowNames = false;
    const char last = path.empty() ? '/' : path.back();
    m_strShown = path.empty() || last == '/' || last == '\\' ? path : path + '/';
    return true;
}

int CFolder::OpenRegular(const std::string& name, const FileId* expect, int& error) const
{
    std::wstring path;
    int fd
        = EntryPath(m_hDir, name, path) ? OpenChecked(path, GENERIC_READ, OPEN_EXISTING, m_bFollowNames, expect) : -1;
    error = fd < 0 ? errno : 0;
    return fd;
}

bool CFolder::Stat(const std::string& name, FileInfo& info) const
{
    std::wstring path;
    if (!EntryPath(m_hDir, name, path))
        return false;
    const HANDLE handle = OpenToLook(path, false);
    if (handle == INVALID_HANDLE_VALUE) {
        SetErrnoFromLastError();
        return false;
    }
    const bool filled = Fill(handle, info);
    FileCalls().CloseHandle(handle);
    return filled;
}

bool CFolder::SyncFile(const std::string& name, const FileId& expect, int& error) const
{
    // FlushFileBuffers needs a handle that may write.
    std::wstring path;
    const int fd = EntryPath(m_hDir, name, path)
                       ? OpenChecked(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, m_bFollowNames, &expect)
                       : -1;
    if (fd < 0) {
        error = errno;
        return false;
    }
    const bool synced = FileCalls().FlushFileBuffers(HandleOf(fd)) != 0;
    error = synced ? 0 : SetErrnoFromLastError();
    FileCalls().CloseHandle(HandleOf(fd));
    return synced;
}

int CFolder::CreateExclusive(const std::string& name, mode_t mode) const
{
    std::wstring path;
    if (!EntryPath(m_hDir, name, path))
        return -1;
    // A mode for the owner alone becomes an access list for the user alone; any
    // other takes the folder's inherited list.
    COwnerOnly owner;
    return OpenChecked(path, GENERIC_READ | GENERIC_WRITE | DELETE, CREATE_NEW, false, nullptr,
                       (mode & 077) == 0 ? owner.Attributes() : nullptr);
}

int CFolder::OpenOrCreate(const std::string& name, mode_t mode) const
{
    std::wstring path;
    if (!EntryPath(m_hDir, name, path))
        return -1;
    COwnerOnly owner;   // for a file it makes, as CreateExclusive
    return OpenChecked(path, GENERIC_READ | GENERIC_WRITE | DELETE, OPEN_ALWAYS, false, nullptr,
                       (mode & 077) == 0 ? owner.Attributes() : nullptr);
}

int CFolder::Rename(const std::string& from, const std::string& to, bool replace) const
{
    std::wstring fromPath, toPath;
    if (!EntryPath(m_hDir, from, fromPath) || !EntryPath(m_hDir, to, toPath))
        return -1;
    return RenameEntry(fromPath, toPath, replace) == 0 ? 0 : -1;
}

int CFolder::Unlink(const std::string& name) const
{
    std::wstring path;
    if (!EntryPath(m_hDir, name, path))
        return -1;
    return DeleteEntry(path) == 0 ? 0 : -1;
}

bool CFolder::Writable() const
{
    // Whether the user's token may add a file here, by the folder's access list.
    std::wstring path;
    HANDLE dir = m_hDir >= 0 ? HandleOf(m_hDir) : INVALID_HANDLE_VALUE;
    HANDLE own = INVALID_HANDLE_VALUE;
    if (m_hDir < 0) {
        if (!FullPathOf(".", path))
            return false;
        own = FileCalls().CreateFileW(path.c_str(), READ_CONTROL, SHARE_ALL, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (own == INVALID_HANDLE_VALUE) {
            SetErrnoFromLastError();
            return false;
        }
        dir = own;
    }
    bool allowed = true;   // where the system cannot answer, the creation itself will
    PSECURITY_DESCRIPTOR security = nullptr;
    HANDLE token = nullptr;
    HANDLE impersonation = nullptr;
    if (FileCalls().GetSecurityInfo(dir, SE_FILE_OBJECT,
                                    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, nullptr, nullptr, &security)
            == ERROR_SUCCESS
        && ::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &token)
        && ::DuplicateToken(token, SecurityImpersonation, &impersonation)) {
        GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
        DWORD wanted = FILE_ADD_FILE;
        ::MapGenericMask(&wanted, &mapping);
        PRIVILEGE_SET privileges {};
        DWORD privilegesSize = sizeof privileges;
        DWORD granted = 0;
        BOOL status = FALSE;
        if (::AccessCheck(security, impersonation, wanted, &mapping, &privileges, &privilegesSize, &granted, &status))
            allowed = status != FALSE;
        if (!allowed)
            errno = EACCES;
    }
    if (impersonation)
        ::CloseHandle(impersonation);
    if (token)
        ::CloseHandle(token);
    if (security)
        ::LocalFree(security);
    if (own != INVALID_HANDLE_VALUE)
        FileCalls().CloseHandle(own);
    return allowed;
}

bool CFolder::Sync(int& error) const
{
    // A folder is flushed through a handle that may write to it; where none can
    // be had, or the file system flushes no folders, it is taken as it is (NTFS
    // logs its entries' changes).
    error = 0;
    std::wstring path;
    if (!(m_hDir >= 0 ? FolderPathOf(HandleOf(m_hDir), path) : FullPathOf(".", path))) {
        error = errno;
        return false;
    }
    const HANDLE handle = FileCalls().CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, SHARE_ALL, nullptr,
                                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_ACCESS_DENIED || code == ERROR_WRITE_PROTECT)
            return true;
        error = SetErrnoFrom(code);
        return false;
    }
    bool ok = FileCalls().FlushFileBuffers(handle) != 0;
    if (!ok) {
        const DWORD code = ::GetLastError();
        ok = code == ERROR_ACCESS_DENIED || code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED
             || code == ERROR_INVALID_PARAMETER || code == ERROR_WRITE_PROTECT;
        if (!ok)
            error = SetErrnoFrom(code);
    }
    FileCalls().CloseHandle(handle);
    return ok;
}

std::vector<DirEntry> CFolder::List(bool examine, int& error) const
{
    return ScanFolderAt(m_hDir, nullptr, examine, &error);
}

std::vector<DirEntry> CFolder::ListMatching(std::string_view pattern, int& error) const
{
    return ScanFolderAt(m_hDir, &pattern, true, &error);
}

bool CFolder::Examine(DirEntry& entry) const
{
    std::wstring path;
    if (!EntryPath(m_hDir, entry.name, path))
        return false;
    const HANDLE handle = OpenToLook(path, false);
    if (handle == INVALID_HANDLE_VALUE) {
        SetErrnoFromLastError();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info {};
    const bool known = FileCalls().GetFileInformationByHandle(handle, &info) != 0;
    if (known) {
        entry.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        const DWORD attributes = info.dwFileAttributes;
        entry.type = (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
                         ? (IsLink(handle) ? DirEntryType::Symlink : DirEntryType::Other)
                     : (attributes & FILE_ATTRIBUTE_DIRECTORY)           ? DirEntryType::Directory
                     : FileCalls().GetFileType(handle) == FILE_TYPE_DISK ? DirEntryType::File
                                                                         : DirEntryType::Other;
    }
    FileCalls().CloseHandle(handle);
    return known;
}
