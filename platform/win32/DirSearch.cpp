// Directory search over FindFirstFileExW, read once and sorted.  The search asks
// for every name ("*") and matches the pattern itself, so that no short 8.3
// alias of a name can match in its place; sizes and types come with the listing
// and are those of the entry itself (a link is a link).
#include "platform/DirSearch.h"

#include "platform/win32/Win32.h"

#include <algorithm>
#include <cerrno>

namespace {

DirEntryType TypeOf(const WIN32_FIND_DATAW& data)
{
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return IsReparseTagNameSurrogate(data.dwReserved0) ? DirEntryType::Symlink : DirEntryType::Other;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return DirEntryType::Directory;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)
        return DirEntryType::Other;
    return DirEntryType::File;
}

// Lists the folder at path (\\?\ form); an interrupted listing reports its error.
std::vector<DirEntry> Scan(const std::wstring& folder, const std::string_view* pattern, bool examine, int* error)
{
    std::vector<DirEntry> entries;
    int err = 0;
    WIN32_FIND_DATAW data {};
    const std::wstring search = folder + (folder.back() == L'\\' ? L"*" : L"\\*");   // a root ends with "\\"
    const HANDLE find = FileCalls().FindFirstFileExW(search.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        // A file where the folder should be is not a folder, as Linux says.
        const DWORD attributes = FileCalls().GetFileAttributesW(folder.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            err = ENOTDIR;
        else
            err = code == ERROR_FILE_NOT_FOUND ? 0 : ErrnoOf(code);   // no entry at all (not even ".")
    } else {
        do {
            const std::string name = Utf8Of(data.cFileName, static_cast<int>(wcslen(data.cFileName)));
            if (name == "." || name == ".." || (pattern && !MatchWildcard(*pattern, name)))
                continue;
            if (!examine) {
                entries.push_back({name, 0, DirEntryType::Other});
                continue;
            }
            const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            entries.push_back({name, size, TypeOf(data)});
        } while (FileCalls().FindNextFileW(find, &data));
        const DWORD code = ::GetLastError();
        if (code != ERROR_NO_MORE_FILES)
            err = ErrnoOf(code);
        FileCalls().FindClose(find);
    }
    if (err != 0)
        entries.clear();
    std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    if (error)
        *error = err;
    return entries;
}

std::vector<DirEntry> ScanPath(const std::string& folder, const std::string_view* pattern, bool examine, int* error)
{
    std::wstring path;
    if (!FullPathOf(folder.empty() ? std::string(".") : folder, path)) {
        if (error)
            *error = errno;
        return {};
    }
    while (path.size() > 7 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return Scan(path, pattern, examine, error);
}

}   // namespace

std::vector<DirEntry> ScanFolderAt(int dirFd, const std::string_view* pattern, bool examine, int* error)
{
    if (dirFd == CURRENT_FOLDER_HANDLE)
        return ScanPath(".", pattern, examine, error);
    std::wstring path;
    if (!FolderPathOf(HandleOf(dirFd), path)) {
        if (error)
            *error = errno;
        return {};
    }
    return Scan(path, pattern, examine, error);
}

std::vector<DirEntry> ReadFolder(const std::string& folder, int* error)
{
    return ScanPath(folder, nullptr, true, error);
}

std::vector<DirEntry> ReadFolderNames(const std::string& folder, int* error)
{
    return ScanPath(folder, nullptr, false, error);
}

bool ExamineEntry(const std::string& folder, DirEntry& entry)
{
    const char last = folder.empty() ? '/' : folder.back();
    const std::string path
        = folder.empty() ? entry.name : folder + (last == '/' || last == '\\' ? "" : "/") + entry.name;
    std::wstring wide;
    if (!FullPathOf(path, wide))
        return false;
    WIN32_FIND_DATAW data {};
    // The entry's own record in its folder's listing: a link is not followed.
    const HANDLE find
        = FileCalls().FindFirstFileExW(wide.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE || wide.find_first_of(L"*?", 4) != std::wstring::npos) {
        if (find != INVALID_HANDLE_VALUE)
            FileCalls().FindClose(find);
        return false;
    }
    FileCalls().FindClose(find);
    entry.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entry.type = TypeOf(data);
    return true;
}

std::vector<DirEntry> ListMatching(const std::string& folder, std::string_view pattern, int* error)
{
    return ScanPath(folder, &pattern, true, error);
}

PathKind KindOfPath(const std::string& path)
{
    std::wstring wide;
    if (path.empty() || !FullPathOf(path, wide))
        return PathKind::None;
    const DWORD attributes = FileCalls().GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PathKind::None;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::Other;
}
