// Directory search over opendir/readdir and fstatat, read once and sorted.
#include "platform/DirSearch.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

DirEntryType TypeOf(mode_t mode)
{
    if (S_ISREG(mode))
        return DirEntryType::File;
    if (S_ISDIR(mode))
        return DirEntryType::Directory;
    if (S_ISLNK(mode))
        return DirEntryType::Symlink;
    return DirEntryType::Other;
}

bool IsDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Reads the folder once; keeps the entries whose names match (all when
// pattern is null).  An entry that vanishes before it can be examined is left
// out; with examine false the entries are not examined (names only).
std::vector<DirEntry> ScanOpened(DIR* dir, const std::string_view* pattern, int* error, bool examine)
{
    std::vector<DirEntry> entries;
    int err = 0;
    if (!dir) {
        err = errno;
    } else {
        const int fd = dirfd(dir);
        for (;;) {
            errno = 0;
            const dirent* ent = readdir(dir);
            if (!ent) {
                err = errno;
                break;
            }
            if (IsDotOrDotDot(ent->d_name) || (pattern && !MatchWildcard(*pattern, ent->d_name)))
                continue;
            struct stat st {};
            if (!examine) {
                entries.push_back({ent->d_name, 0, DirEntryType::Other});
                continue;
            }
            if (fstatat(fd, ent->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            entries.push_back({ent->d_name, static_cast<std::uint64_t>(st.st_size), TypeOf(st.st_mode)});
        }
        closedir(dir);
    }
    if (err != 0)
        entries.clear();
    std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    if (error)
        *error = err;
    return entries;
}

std::vector<DirEntry> Scan(const std::string& folder, const std::string_view* pattern, int* error, bool examine = true)
{
    return ScanOpened(opendir(folder.empty() ? "." : folder.c_str()), pattern, error, examine);
}

}   // namespace

std::vector<DirEntry> ScanFolderAt(int dirFd, const std::string_view* pattern, bool examine, int* error)
{
    // A descriptor of its own, so that the listing's position is nobody else's.
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
    if (fd >= 0 && !dir)
        ::close(fd);
    return ScanOpened(dir, pattern, error, examine);
}

std::vector<DirEntry> ReadFolder(const std::string& folder, int* error)
{
    return Scan(folder, nullptr, error);
}

std::vector<DirEntry> ReadFolderNames(const std::string& folder, int* error)
{
    return Scan(folder, nullptr, error, false);
}

bool ExamineEntry(const std::string& folder, DirEntry& entry)
{
    const std::string path = folder.empty() ? entry.name : folder + (folder.back() == '/' ? "" : "/") + entry.name;
    struct stat st {};
    if (fstatat(AT_FDCWD, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    entry.size = static_cast<std::uint64_t>(st.st_size);
    entry.type = TypeOf(st.st_mode);
    return true;
}

std::vector<DirEntry> ListMatching(const std::string& folder, std::string_view pattern, int* error)
{
    return Scan(folder, &pattern, error);
}

PathKind KindOfPath(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return PathKind::None;
    return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::Other;
}
