#include "platform/SafeTarget.h"

#include "platform/DirSearch.h"
#include "platform/ResourceLibrary.h"
#include "platform/StringIds.h"
#include "platform/SysCall.h"
#include "platform/System.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

constexpr int CREATE_ATTEMPTS = 1000;
constexpr char ACL_XATTR[] = "system.posix_acl_access";   // a file's access ACL

std::string ErrnoText(int err)
{
    return std::strerror(err);
}

}   // namespace

CSafeTarget::~CSafeTarget()
{
    static_assert(CURRENT_FOLDER == AT_FDCWD && NAME_LIMIT == NAME_MAX);
    Discard();
}

std::string CSafeTarget::FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
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
    m_hDir = folder.Handle() == AT_FDCWD ? AT_FDCWD : ::fcntl(folder.Handle(), F_DUPFD_CLOEXEC, 0);
    if (m_hDir == -1) {
        m_hDir = AT_FDCWD;
        cause = ErrnoText(errno);
        return false;
    }
    // An existing target that we may not write stays as it is, as it would if
    // it were written in place.
    struct stat existing {};
    if (::fstatat(m_hDir, target.c_str(), &existing, 0) == 0 && S_ISREG(existing.st_mode)
        && ::faccessat(m_hDir, target.c_str(), W_OK, 0) != 0) {
        cause = ErrnoText(errno);
        Discard();
        return false;
    }
    static std::atomic<unsigned> s_nCounter {0};   // shared by the workers of a history job
    for (int attempt = 0; attempt < CREATE_ATTEMPTS; ++attempt) {
        const std::string suffix = TEMP_MARK + std::to_string(::getpid()) + "." + std::to_string(s_nCounter++);
        // A long target name is shortened in the temporary's name, which must fit the folder.
        const std::size_t room = NAME_LIMIT - 1 - suffix.size();
        std::string tempAt = inner + "." + name.substr(0, room) + suffix;
        // Registered before it exists, so that a stop signal never leaves it behind.
        const int slot = RegisterTemporaryAt(m_hDir, tempAt.c_str());
        const int fd = RetryEintr([&] {
            return ::openat(m_hDir, tempAt.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        });
        CreationReturned();
        if (fd < 0) {
            UnregisterTemporary(slot);
            if (errno == EEXIST)
                continue;
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
        const std::string viaDescriptor = "/proc/self/fd/" + std::to_string(fd);
        struct stat viaStat {};
        struct stat ownStat {};
        const bool procWorks = ::stat(viaDescriptor.c_str(), &viaStat) == 0 && ::fstat(fd, &ownStat) == 0
                               && viaStat.st_dev == ownStat.st_dev && viaStat.st_ino == ownStat.st_ino;
        m_strStreamPath = procWorks ? viaDescriptor : m_strTemp;
        return true;
    }
    cause = ErrnoText(EEXIST);
    Discard();
    return false;
}

bool CSafeTarget::ReadAccessAcl(int fd, std::vector<char>& acl, std::string& cause)
{
    acl.clear();
    for (;;) {
        ssize_t size = RetryEintr([&] { return ::fgetxattr(fd, ACL_XATTR, nullptr, 0); });
        if (size > 0) {
            acl.resize(static_cast<std::size_t>(size));
            size = RetryEintr([&] { return ::fgetxattr(fd, ACL_XATTR, acl.data(), acl.size()); });
            if (size >= 0) {
                acl.resize(static_cast<std::size_t>(size));
                return true;
            }
        }
        if (size == 0 || errno == ENODATA || errno == ENOTSUP) {
            acl.clear();   // no list beyond the permission bits
            return true;
        }
        if (errno != ERANGE) {   // the list grew meanwhile: read it again
            cause = FormatText(IDS_CAUSE_ACL_READ, {ErrnoText(errno)});
            return false;
        }
    }
}

bool CSafeTarget::CopyAcl(const std::vector<char>* acl, unsigned& mode, std::string& cause)
{
    // The temporary may have inherited the folder's default ACL, which can grant
    // what the source does not: it gets the source's access ACL or none.
    if (acl && !acl->empty()) {
        if (RetryEintr([&] { return ::fsetxattr(m_hFile, ACL_XATTR, acl->data(), acl->size(), 0); }) == 0)
            return true;
        if (errno != ENOTSUP) {
            cause = FormatText(IDS_CAUSE_ACL_SET, {ErrnoText(errno)});
            return false;
        }
        // The target's file system has no ACLs: the group bits (the source's
        // mask) could grant its group more than the list did, so they go.
        mode &= ~static_cast<unsigned>(070);
        return true;
    }
    if (RetryEintr([&] { return ::fremovexattr(m_hFile, ACL_XATTR); }) != 0 && errno != ENODATA && errno != ENOTSUP) {
        cause = FormatText(IDS_CAUSE_ACL_REMOVE, {ErrnoText(errno)});
        return false;
    }
    return true;
}

bool CSafeTarget::CopyAttributes(const FileInfo& source, const std::vector<char>* acl, std::string& cause)
{
    struct stat own {};
    if (::fstat(m_hFile, &own) != 0) {
        cause = ErrnoText(errno);
        return false;
    }
    // Ownership can only be passed on by a privileged user; where it cannot, the
    // file stays ours, and group bits meant for another group are not granted.
    if (own.st_uid != source.uid || own.st_gid != source.gid) {
        if (RetryEintr([&] { return ::fchown(m_hFile, source.uid, source.gid); }) != 0
            && RetryEintr([&] { return ::fchown(m_hFile, static_cast<uid_t>(-1), source.gid); }) != 0) {
            // Neither could be passed on; the group bits are dropped below.
        }
    }
    if (::fstat(m_hFile, &own) != 0) {
        cause = ErrnoText(errno);
        return false;
    }
    unsigned mode = source.mode & 0777;
    if (own.st_gid != source.gid) {
        // The bits meant for the source's group go, and "other" keeps none that
        // the source's group lacked: its members must not read the copy as others.
        const unsigned group = (mode >> 3) & 07;
        mode &= ~static_cast<unsigned>(070 | (07 & ~group));
    }
    if (!CopyAcl(acl, mode, cause))
        return false;
    if (RetryEintr([&] { return ::fchmod(m_hFile, mode); }) != 0) {
        cause = FormatText(IDS_CAUSE_MODE_SET, {ErrnoText(errno)});
        return false;
    }
    const struct timespec times[2] = {{static_cast<time_t>(source.accessed.sec), source.accessed.nsec},
                                      {static_cast<time_t>(source.modified.sec), source.modified.nsec}};
    if (RetryEintr([&] { return ::futimens(m_hFile, times); }) != 0) {
        cause = FormatText(IDS_CAUSE_TIME_SET, {ErrnoText(errno)});
        return false;
    }
    return true;
}

bool CSafeTarget::Rename(bool replace, std::string& cause)
{
    const char* temp = m_strTempAt.c_str();
    const char* target = m_strTargetAt.c_str();
    const int dir = m_hDir;
    if (replace) {
        if (RetryEintr([&] { return ::renameat(dir, temp, dir, target); }) == 0)
            return true;
        cause = ErrnoText(errno);
        return false;
    }
    if (RetryEintr([&] { return ::renameat2(dir, temp, dir, target, RENAME_NOREPLACE); }) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        cause = errno == EEXIST ? LoadResString(IDS_CAUSE_TARGET_APPEARED) : ErrnoText(errno);
        return false;
    }
    // The file system cannot refuse to replace: a hard link can (where it has them).
    if (RetryEintr([&] { return ::linkat(dir, temp, dir, target, 0); }) == 0) {
        RetryEintr([&] { return ::unlinkat(dir, temp, 0); });
        return true;
    }
    if (errno == EEXIST) {
        cause = LoadResString(IDS_CAUSE_TARGET_APPEARED);
        return false;
    }
    struct stat st {};
    if (::fstatat(dir, target, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        cause = LoadResString(IDS_CAUSE_TARGET_APPEARED);
        return false;
    }
    if (RetryEintr([&] { return ::renameat(dir, temp, dir, target); }) == 0)
        return true;
    cause = ErrnoText(errno);
    return false;
}

bool CSafeTarget::SyncDir(int dir, const std::string& inner, std::string& cause)
{
    if (dir == AT_FDCWD)
        return SyncFolder(inner, cause);
    const bool ok
        = RetryEintr([&] { return ::fsync(dir); }) == 0 || errno == EINVAL || errno == EROFS || errno == ENOTSUP;
    if (!ok && errno == EBADF)   // a folder we may enter but not read
        return true;
    if (!ok)
        cause = FormatText(IDS_CAUSE_FOLDER_SYNC, {ErrnoText(errno)});
    return ok;
}

// Forces the folder's entries (the rename) to disk.  File systems that cannot
// sync a folder, and folders we may enter but not read, are taken as they are.
bool CSafeTarget::SyncFolder(const std::string& folder, std::string& cause)
{
    const char* path = folder.empty() ? "." : folder.c_str();
    const int fd = RetryEintr([&] { return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) {
        if (errno == EACCES)
            return true;
        cause = FormatText(IDS_CAUSE_FOLDER_OPEN_SYNC, {ErrnoText(errno)});
        return false;
    }
    const bool ok
        = RetryEintr([&] { return ::fsync(fd); }) == 0 || errno == EINVAL || errno == EROFS || errno == ENOTSUP;
    if (!ok)
        cause = FormatText(IDS_CAUSE_FOLDER_SYNC, {ErrnoText(errno)});
    ::close(fd);
    return ok;
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
    // Start writing it out now: whoever calls Finish later finds little left
    // to wait for.  Where the call is not offered only the head start is lost.
    ::sync_file_range(m_hFile, 0, 0, SYNC_FILE_RANGE_WRITE);
    return true;
}

bool CSafeTarget::Sync(std::string& cause)
{
    if (m_bSynced || !m_strSyncFault.empty()) {
        cause = m_strSyncFault;
        return m_bSynced;
    }
    if (m_hFile < 0 || RetryEintr([&] { return ::fsync(m_hFile); }) != 0) {
        m_strSyncFault = cause = FormatText(IDS_CAUSE_SYNC, {ErrnoText(m_hFile < 0 ? EBADF : errno)});
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
    // The name must still lead to the file we wrote.
    struct stat own {};
    struct stat named {};
    if (::fstat(m_hFile, &own) != 0 || ::fstatat(m_hDir, m_strTempAt.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0
        || own.st_dev != named.st_dev || own.st_ino != named.st_ino) {
        cause = FormatText(IDS_CAUSE_TEMP_REPLACED, {m_strTemp});
        UnregisterTemporary(m_nTempSlot);
        m_nTempSlot = NO_TEMPORARY_SLOT;
        ::close(m_hFile);
        m_hFile = -1;
        m_strTemp.clear();   // not ours any more: leave it alone
        return false;
    }
    if (!Rename(replace, cause)) {
        Discard();
        return false;
    }
    UnregisterTemporary(m_nTempSlot);
    m_nTempSlot = NO_TEMPORARY_SLOT;
    ::close(m_hFile);
    m_hFile = -1;
    m_strTemp.clear();
    return !m_bSyncFolder || SyncDir(m_hDir, FolderOf(m_strTargetAt), cause);
}

bool CSafeTarget::Discard(std::string* cause)
{
    if (m_hFile >= 0) {
        ::close(m_hFile);
        m_hFile = -1;
    }
    bool removed = true;
    if (!m_strTemp.empty()) {
        if (RetryEintr([&] { return ::unlinkat(m_hDir, m_strTempAt.c_str(), 0); }) != 0 && errno != ENOENT) {
            removed = false;
            if (cause)
                *cause = m_strTemp + ": " + ErrnoText(errno);
        }
        UnregisterTemporary(m_nTempSlot);
        m_nTempSlot = NO_TEMPORARY_SLOT;
        m_strTemp.clear();
    }
    m_strStreamPath.clear();
    if (m_hDir != AT_FDCWD)
        ::close(m_hDir);
    m_hDir = AT_FDCWD;
    return removed;
}
