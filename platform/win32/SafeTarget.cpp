// CSafeTarget on Win32.
//
// The temporary is created exclusively (CREATE_NEW, never through a reparse
// point) in the folder the job holds, and held open without FILE_SHARE_DELETE
// until it is renamed into place: nobody can delete or rename it meanwhile, so
// the stream's open by its path reaches our file and no other.  The rename into
// place and the removal go through that handle (its name could not have been
// taken over), and the stop handler removes it through the handle too.  Commit
// gives it the read-only attribute, access list and times of the source, flushes
// it (FlushFileBuffers) and renames it without replacing where Linux uses
// RENAME_NOREPLACE.  The access list copied is the source's own (DACL, no longer
// inheriting), so the folder's inheritable entries never grant more than the
// source did.
#include "platform/SafeTarget.h"

#include "platform/StringIds.h"
#include "platform/System.h"
#include "platform/win32/Win32.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <initializer_list>

// The texts of platform/ResourceLibrary.h, whose covers of the loader (HMODULE,
// LoadLibraryA, GetProcAddress) would clash with <windows.h>.
std::string LoadResString(UINT id);
std::string FormatText(UINT textId, std::initializer_list<std::string> args);

namespace {

constexpr int CREATE_ATTEMPTS = 1000;

std::string ErrnoText(int err)
{
    return std::strerror(err);
}

FILETIME FileTimeOf(const FileTime& t)
{
    const std::int64_t ticks = t.sec * 10000000 + t.nsec / 100 + 116444736000000000LL;
    FILETIME out;
    out.dwLowDateTime = static_cast<DWORD>(ticks);
    out.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
    return out;
}

// Errors that say the file system keeps no access lists.
bool NoAccessLists(DWORD code)
{
    return code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_FUNCTION || code == ERROR_CALL_NOT_IMPLEMENTED
           || code == ERROR_INVALID_SECURITY_DESCR;
}

// Cuts a name to at most room bytes without splitting a UTF-8 sequence.
std::string CutName(const std::string& name, std::size_t room)
{
    if (name.size() <= room)
        return name;
    while (room > 0 && (static_cast<unsigned char>(name[room]) & 0xC0) == 0x80)
        --room;
    return name.substr(0, room);
}

// Where a path's folder part ends: after its last separator, or after "C:".
std::size_t FolderEnd(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    if (slash != std::string::npos)
        return slash + 1;
    return path.size() >= 2 && path[1] == ':' ? 2 : 0;
}

}   // namespace

CSafeTarget::~CSafeTarget()
{
    static_assert(CURRENT_FOLDER == CURRENT_FOLDER_HANDLE);
    Discard();
}

std::string CSafeTarget::FolderOf(const std::string& path)
{
    return path.substr(0, FolderEnd(path));
}

bool CSafeTarget::Create(const CFolder& folder, const std::string& target, std::string& cause)
{
    Discard();
    const std::string inner = FolderOf(target);   // the current folder's names are paths
    const std::string name = target.substr(inner.size());
    if (name.empty() || name == "." || name == "..") {
        cause = ErrnoText(target.empty() ? ENOENT : EISDIR);
        return false;
    }
    if (folder.Handle() == CURRENT_FOLDER) {
        m_hDir = CURRENT_FOLDER;
    } else {
        HANDLE copy = nullptr;
        if (!FileCalls().DuplicateHandle(::GetCurrentProcess(), HandleOf(folder.Handle()), ::GetCurrentProcess(), &copy,
                                         0, FALSE, DUPLICATE_SAME_ACCESS)
            || (m_hDir = DescriptorOf(copy)) < 0) {
            if (!copy)
                SetErrnoFromLastError();
            m_hDir = CURRENT_FOLDER;
            cause = ErrnoText(errno);
            return false;
        }
    }
    // An existing target that we may not write (read-only) stays as it is, as it
    // would if it were written in place.
    std::wstring targetPath;
    if (!EntryPath(m_hDir, target, targetPath)) {
        cause = ErrnoText(errno);
        Discard();
        return false;
    }
    const DWORD existing = FileCalls().GetFileAttributesW(targetPath.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && !(existing & FILE_ATTRIBUTE_DIRECTORY)
        && (existing & FILE_ATTRIBUTE_READONLY)) {
        cause = ErrnoText(EACCES);
        Discard();
        return false;
    }
    static std::atomic<unsigned> s_nCounter {0};   // shared by the workers of a history job
    COwnerOnly owner;
    for (int attempt = 0; attempt < CREATE_ATTEMPTS; ++attempt) {
        const std::string suffix = TEMP_MARK + std::to_string(CurrentProcessId()) + "." + std::to_string(s_nCounter++);
        // A long target name is shortened in the temporary's name, which must fit the folder.
        std::string tempAt = inner + "." + CutName(name, NAME_LIMIT - 1 - suffix.size()) + suffix;
        std::wstring tempPath;
        if (!EntryPath(m_hDir, tempAt, tempPath)) {
            cause = ErrnoText(errno);
            Discard();
            return false;
        }
        // Registered before it exists, so that a stop never leaves it behind.
        const int slot = RegisterTemporaryAt(m_hDir, tempAt.c_str());
        // Readable by us alone until it has the source's access list (Stage).
        const HANDLE handle = FileCalls().CreateFileW(
            tempPath.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC,
            FILE_SHARE_READ | FILE_SHARE_WRITE, owner.Attributes(), CREATE_NEW,
            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        const DWORD code = ::GetLastError();
        if (handle != INVALID_HANDLE_VALUE)
            NoteTemporaryHandle(slot, handle);
        CreationReturned();
        if (handle == INVALID_HANDLE_VALUE) {
            UnregisterTemporary(slot);
            if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS)
                continue;
            cause = ErrnoText(ErrnoOf(code));
            Discard();
            return false;
        }
        const int fd = DescriptorOf(handle);
        if (fd < 0) {
            UnregisterTemporary(slot);
            cause = ErrnoText(errno);
            Discard();
            return false;
        }
        m_hFile = fd;
        m_nTempSlot = slot;
        m_strTarget = folder.Shown(target);
        m_strTargetAt = target;
        m_strTemp = folder.Shown(tempAt);
        m_strTempAt = std::move(tempAt);
        m_strStreamPath = Utf8Of(tempPath);
        return true;
    }
    cause = ErrnoText(EEXIST);
    Discard();
    return false;
}

bool CSafeTarget::ReadAccessAcl(int fd, std::vector<char>& acl, std::string& cause)
{
    // The source's access list as a self-relative security descriptor.
    acl.clear();
    DWORD need = 0;
    const HANDLE handle = HandleOf(fd);
    if (FileCalls().GetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION, nullptr, 0, &need) || need == 0) {
        return true;
    }
    DWORD code = ::GetLastError();
    if (code == ERROR_INSUFFICIENT_BUFFER) {
        acl.resize(need);
        if (FileCalls().GetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION, acl.data(), need, &need))
            return true;
        code = ::GetLastError();
    }
    acl.clear();
    if (NoAccessLists(code))
        return true;
    cause = FormatText(IDS_CAUSE_ACL_READ, {ErrnoText(ErrnoOf(code))});
    return false;
}

bool CSafeTarget::CopyAcl(const std::vector<char>* acl, unsigned& mode, std::string& cause)
{
    (void)mode;
    // The temporary inherited the folder's access list, which can grant what the
    // source's does not: it gets the source's own, protected from inheritance.
    if (!acl || acl->empty())
        return true;   // the source's file system keeps none
    auto* security = const_cast<char*>(acl->data());
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(security, &present, &dacl, &defaulted)) {
        cause = FormatText(IDS_CAUSE_ACL_READ, {ErrnoText(SetErrnoFromLastError())});
        return false;
    }
    // A source without a list (or with a null one) lets everyone in: so does its copy.
    SECURITY_DESCRIPTOR own {};
    if (!::InitializeSecurityDescriptor(&own, SECURITY_DESCRIPTOR_REVISION)
        || !::SetSecurityDescriptorDacl(&own, TRUE, present ? dacl : nullptr, FALSE)
        || !::SetSecurityDescriptorControl(&own, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
        cause = FormatText(IDS_CAUSE_ACL_SET, {ErrnoText(SetErrnoFromLastError())});
        return false;
    }
    if (FileCalls().SetKernelObjectSecurity(HandleOf(m_hFile),
                                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, &own))
        return true;
    const DWORD code = ::GetLastError();
    if (NoAccessLists(code))
        return true;
    cause = FormatText(IDS_CAUSE_ACL_SET, {ErrnoText(ErrnoOf(code))});
    return false;
}

bool CSafeTarget::CopyAttributes(const FileInfo& source, const std::vector<char>* acl, std::string& cause)
{
    unsigned mode = source.mode & 0777;
    if (!CopyAcl(acl, mode, cause))
        return false;
    const HANDLE handle = HandleOf(m_hFile);
    const FILETIME accessed = FileTimeOf(source.accessed);
    const FILETIME modified = FileTimeOf(source.modified);
    if (!FileCalls().SetFileTime(handle, nullptr, &accessed, &modified)) {
        cause = FormatText(IDS_CAUSE_TIME_SET, {ErrnoText(SetErrnoFromLastError())});
        return false;
    }
    // A source without any write bit (read-only) gives a read-only target.
    if ((mode & 0222) == 0) {
        FILE_BASIC_INFO basic {};
        if (!FileCalls().GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
            cause = FormatText(IDS_CAUSE_MODE_SET, {ErrnoText(SetErrnoFromLastError())});
            return false;
        }
        basic.FileAttributes |= FILE_ATTRIBUTE_READONLY;
        basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = 0;   // left as they are
        basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
        if (!FileCalls().SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic)) {
            cause = FormatText(IDS_CAUSE_MODE_SET, {ErrnoText(SetErrnoFromLastError())});
            return false;
        }
    }
    return true;
}

bool CSafeTarget::Rename(bool replace, std::string& cause)
{
    std::wstring targetPath;
    if (!EntryPath(m_hDir, m_strTargetAt, targetPath)) {
        cause = ErrnoText(errno);
        return false;
    }
    // The stop handler keeps off the slot while the name changes under it.
    HoldTemporary(m_nTempSlot);
    const int error = RenameThrough(HandleOf(m_hFile), targetPath, replace);
    UnholdTemporary(m_nTempSlot, error != 0);
    if (error == 0) {
        m_nTempSlot = NO_TEMPORARY_SLOT;   // freed by the hold
        return true;
    }
    cause = error == EEXIST && !replace ? LoadResString(IDS_CAUSE_TARGET_APPEARED) : ErrnoText(error);
    return false;
}

bool CSafeTarget::SyncFolder(const std::string& folder, std::string& cause)
{
    CFolder opened;
    int error = 0;
    if (!opened.Open(folder, true, error)) {
        if (error == EACCES)
            return true;
        cause = FormatText(IDS_CAUSE_FOLDER_OPEN_SYNC, {ErrnoText(error)});
        return false;
    }
    return SyncFolder(opened, cause);
}

bool CSafeTarget::SyncDir(int dir, const std::string& inner, std::string& cause)
{
    if (dir == CURRENT_FOLDER)
        return SyncFolder(inner, cause);
    std::wstring path;
    if (!FolderPathOf(HandleOf(dir), path)) {
        cause = FormatText(IDS_CAUSE_FOLDER_SYNC, {ErrnoText(errno)});
        return false;
    }
    return SyncFolder(Utf8Of(path), cause);
}

bool CSafeTarget::Stage(const FileInfo& source, std::string& cause, const std::vector<char>* acl)
{
    if (m_hFile < 0) {
        cause = ErrnoText(EBADF);
        return false;
    }
    if (!CopyAttributes(source, acl, cause)) {
        Discard();
        return false;
    }
    return true;
}

bool CSafeTarget::Sync(std::string& cause)
{
    if (m_bSynced || !m_strSyncFault.empty()) {
        cause = m_strSyncFault;
        return m_bSynced;
    }
    if (m_hFile < 0 || !FileCalls().FlushFileBuffers(HandleOf(m_hFile))) {
        const int error = m_hFile < 0 ? EBADF : SetErrnoFromLastError();
        m_strSyncFault = cause = FormatText(IDS_CAUSE_SYNC, {ErrnoText(error)});
        return false;
    }
    m_bSynced = true;
    return true;
}

bool CSafeTarget::Finish(bool replace, std::string& cause)
{
    if (m_hFile < 0) {
        cause = ErrnoText(EBADF);
        return false;
    }
    if (!m_bSynced && !Sync(cause)) {
        Discard();
        return false;
    }
    if (!Rename(replace, cause)) {
        Discard();
        return false;
    }
    UnregisterTemporary(m_nTempSlot);
    m_nTempSlot = NO_TEMPORARY_SLOT;
    FileCalls().CloseHandle(HandleOf(m_hFile));
    m_hFile = -1;
    m_strTemp.clear();
    return !m_bSyncFolder || SyncDir(m_hDir, FolderOf(m_strTargetAt), cause);
}

bool CSafeTarget::Discard(std::string* cause)
{
    bool removed = true;
    if (!m_strTemp.empty()) {
        // Off the registry first: the stop handler then leaves the handle alone.
        UnregisterTemporary(m_nTempSlot);
        m_nTempSlot = NO_TEMPORARY_SLOT;
        int error = 0;
        if (m_hFile >= 0) {
            error = DeleteOwnThrough(HandleOf(m_hFile));
        } else {
            std::wstring path;
            error = !EntryPath(m_hDir, m_strTempAt, path) ? errno : DeleteEntry(path);
        }
        if (error != 0 && error != ENOENT) {
            removed = false;
            if (cause)
                *cause = m_strTemp + ": " + ErrnoText(error);
        }
        m_strTemp.clear();
    }
    if (m_hFile >= 0)
        FileCalls().CloseHandle(HandleOf(m_hFile));
    m_hFile = -1;
    m_strStreamPath.clear();
    if (m_hDir != CURRENT_FOLDER)
        FileCalls().CloseHandle(HandleOf(m_hDir));
    m_hDir = CURRENT_FOLDER;
    return removed;
}
