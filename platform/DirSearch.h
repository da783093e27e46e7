// Wildcard directory search.
//
// A pattern is a path whose last component may hold "?" (exactly one byte) and
// "*" (any run of bytes, also none); it is matched against the names of the
// folder's entries without regard to ASCII case.  "." and ".." never match.
// Entries come in ascending byte order of their names, so every run over the
// same folder is repeatable.  Each entry carries its name, its 64-bit size and
// its type, taken without following symbolic links.
//
// A folder that cannot be read yields no entries; the errno of the failure is
// kept so that a caller can tell "no match" from "folder not found".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class DirEntryType { File, Directory, Symlink, Other };

struct DirEntry {
    std::string name;         // file name only, without the folder
    std::uint64_t size = 0;   // st_size of the entry itself (lstat)
    DirEntryType type = DirEntryType::Other;
};

// True when name matches pattern ("?" one byte, "*" any run), ASCII case folded.
bool MatchWildcard(std::string_view pattern, std::string_view name);

// All entries of a folder ("." and ".." left out), sorted by name.  An empty
// folder name means the current folder.  On failure the result is empty and
// *error (when given) holds the errno; on success *error is 0.
std::vector<DirEntry> ReadFolder(const std::string& folder, int* error = nullptr);

// The names of a folder's entries as ReadFolder gives them, without their size
// and type: a large folder is read without examining every entry.
std::vector<DirEntry> ReadFolderNames(const std::string& folder, int* error = nullptr);

// Fills in the size and type of an entry of folder; false when it is gone.
bool ExamineEntry(const std::string& folder, DirEntry& entry);

// The entries of the folder open at dirFd (all, or those whose names match
// *pattern when pattern is given), sorted by name; examined or names only.
std::vector<DirEntry> ScanFolderAt(int dirFd, const std::string_view* pattern, bool examine, int* error);

// What path leads to (links followed, as the caller named it): nothing, a
// folder, or another kind of entry.
enum class PathKind { None, Folder, Other };
PathKind KindOfPath(const std::string& path);

// The entries of folder whose names match the wildcard pattern, sorted by name.
std::vector<DirEntry> ListMatching(const std::string& folder, std::string_view pattern, int* error = nullptr);
