#include "platform/Folder.h"

#include "platform/DirSearch.h"
#include "platform/SysCall.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FileTime TimeOf(const struct timespec& t)
{
    return {static_cast<std::int64_t>(t.tv_sec), t.tv_nsec};
}

void Fill(const struct stat& st, FileInfo& info)
{
    info.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    info.regular = S_ISREG(st.st_mode);
    info.size = static_cast<std::uint64_t>(st.st_size);
    info.links = static_cast<std::uint64_t>(st.st_nlink);
    info.mode = static_cast<std::uint32_t>(st.st_mode & 07777);
    info.uid = st.st_uid;
    info.gid = st.st_gid;
    info.accessed = TimeOf(st.st_atim);
    info.modified = TimeOf(st.st_mtim);
    info.changed = TimeOf(st.st_ctim);
}

constexpr int NAME_FLAGS = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

}   // namespace

bool InfoOf(int fd, FileInfo& info)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    Fill(st, info);
    return true;
}

bool InfoOfPath(const std::string& path, FileInfo& info)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    Fill(st, info);
    return true;
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
        ::close(m_hDir);
    m_hDir = NO_FOLDER;
}

const CFolder& CFolder::Current()
{
    static const CFolder s_current = [] {
        CFolder folder;
        folder.m_hDir = AT_FDCWD;
        folder.m_bFollowNames = true;
        return folder;
    }();
    return s_current;
}

bool CFolder::Open(const std::string& path, bool followLast, int& error)
{
    Close();
    // Trailing slashes would make the kernel follow a last component that is a link.
    std::string opened = path.empty() ? "." : path;
    while (opened.size() > 1 && opened.back() == '/')
        opened.pop_back();
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLast ? 0 : O_NOFOLLOW);
    int fd = RetryEintr([&] { return ::open(opened.c_str(), flags); });
    if (fd < 0 && errno == EACCES)   // a folder we may enter but not read
        fd = RetryEintr([&] { return ::open(opened.c_str(), (flags & ~O_RDONLY) | O_PATH); });
    if (fd < 0) {
        error = errno;
        return false;
    }
    m_hDir = fd;
    m_bFollowNames = false;
    m_strShown = path.empty() || path.back() == '/' ? path : path + '/';
    error = 0;
    return true;
}

int CFolder::OpenRegular(const std::string& name, const FileId* expect, int& error) const
{
    const int flags = O_RDONLY | (m_bFollowNames ? NAME_FLAGS & ~O_NOFOLLOW : NAME_FLAGS);
    const int fd = RetryEintr([&] { return ::openat(m_hDir, name.c_str(), flags); });
    if (fd < 0) {
        error = errno;
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = EINVAL;
    else if (expect
             && (static_cast<std::uint64_t>(st.st_dev) != expect->dev
                 || static_cast<std::uint64_t>(st.st_ino) != expect->ino))
        error = ESTALE;
    else
        error = 0;
    if (error != 0) {
        ::close(fd);
        return -1;
    }
    return fd;   // the flag stays: reads of a regular file never block
}

bool CFolder::Stat(const std::string& name, FileInfo& info) const
{
    struct stat st {};
    if (::fstatat(m_hDir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    Fill(st, info);
    return true;
}

bool CFolder::SyncFile(const std::string& name, const FileId& expect, int& error) const
{
    const int fd = OpenRegular(name, &expect, error);
    if (fd < 0)
        return false;
    const bool synced = RetryEintr([&] { return ::fsync(fd); }) == 0;
    error = synced ? 0 : errno;
    ::close(fd);
    return synced;
}

int CFolder::CreateExclusive(const std::string& name, mode_t mode) const
{
    return RetryEintr([&] { return ::openat(m_hDir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | NAME_FLAGS, mode); });
}

int CFolder::OpenOrCreate(const std::string& name, mode_t mode) const
{
    return RetryEintr([&] { return ::openat(m_hDir, name.c_str(), O_RDWR | O_CREAT | NAME_FLAGS, mode); });
}

int CFolder::Rename(const std::string& from, const std::string& to, bool replace) const
{
    if (replace)
        return RetryEintr([&] { return ::renameat(m_hDir, from.c_str(), m_hDir, to.c_str()); });
    if (RetryEintr([&] { return ::renameat2(m_hDir, from.c_str(), m_hDir, to.c_str(), RENAME_NOREPLACE); }) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return -1;
    // A file system that cannot refuse to replace: a hard link can, where it has them.
    if (RetryEintr([&] { return ::linkat(m_hDir, from.c_str(), m_hDir, to.c_str(), 0); }) == 0) {
        RetryEintr([&] { return ::unlinkat(m_hDir, from.c_str(), 0); });
        return 0;
    }
    if (errno == EEXIST)
        return -1;
    struct stat st {};
    if (::fstatat(m_hDir, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return RetryEintr([&] { return ::renameat(m_hDir, from.c_str(), m_hDir, to.c_str()); });
}

int CFolder::Unlink(const std::string& name) const
{
    return RetryEintr([&] { return ::unlinkat(m_hDir, name.c_str(), 0); });
}

bool CFolder::Writable() const
{
    return ::faccessat(m_hDir, ".", W_OK | X_OK, 0) == 0;
}

bool CFolder::Sync(int& error) const
{
    error = 0;
    if (m_hDir >= 0 && RetryEintr([&] { return ::fsync(m_hDir); }) == 0)
        return true;
    // Ours is the current folder's, or one that only names the folder.
    const int fd = RetryEintr([&] { return ::openat(m_hDir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) {
        if (errno == EACCES)
            return true;
        error = errno;
        return false;
    }
    const bool ok
        = RetryEintr([&] { return ::fsync(fd); }) == 0 || errno == EINVAL || errno == EROFS || errno == ENOTSUP;
    if (!ok)
        error = errno;
    ::close(fd);
    return ok;
}

std::vector<DirEntry> CFolder::List(bool examine, int& error) const
{
    std::vector<DirEntry> entries;
    RetryEintr([&] {
        entries = ScanFolderAt(m_hDir, nullptr, examine, &error);
        errno = error;
        return error == 0 ? 0 : -1;
    });
    return entries;
}

std::vector<DirEntry> CFolder::ListMatching(std::string_view pattern, int& error) const
{
    return ScanFolderAt(m_hDir, &pattern, true, &error);
}

bool CFolder::Examine(DirEntry& entry) const
{
    struct stat st {};
    if (::fstatat(m_hDir, entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    entry.size = static_cast<std::uint64_t>(st.st_size);
    entry.type = S_ISREG(st.st_mode)   ? DirEntryType::File
                 : S_ISDIR(st.st_mode) ? DirEntryType::Directory
                 : S_ISLNK(st.st_mode) ? DirEntryType::Symlink
                                       : DirEntryType::Other;
    return true;
}
