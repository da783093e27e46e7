// CFolder: a folder opened once, and every file step of a job done relative to
// its descriptor.
//
// A history job runs as root over a folder that others may write.  Working on
// "folder/name" strings would let them swap the folder (or a folder above it)
// for a link between two steps and turn a rename, an unlink or a create against
// another folder.  Opened once, the descriptor stays the folder it was: every
// open, stat, rename, link and unlink below names an entry of that folder and
// nothing else.  Names are never followed through a symbolic link, opens never
// block (a FIFO or device planted under a history name is refused, not waited
// on), and an open can insist on the file a previous look saw (its identity).
//
// The path a folder was opened with is kept for messages only.
//
// Calls that a signal interrupts are repeated; failures give the errno.
//
// On Windows (platform/win32/Folder.cpp) the folder is a handle held without
// sharing deletion, so that it stays the folder it was, and its entries are
// named by its final path; descriptors are the values of Win32 handles.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <sys/types.h>   // mode_t
// The C library of Windows has no errno for a name that leads to another file
// than the one seen; this one is Winsock's of the same meaning.
#ifndef ESTALE
#define ESTALE 10070
#endif
#endif

struct DirEntry;

// Which file a look saw: its device and inode.
struct FileId {
    std::uint64_t dev = 0, ino = 0;
    bool operator==(const FileId&) const = default;
};

struct FileTime {
    std::int64_t sec = 0;
    long nsec = 0;
    bool operator==(const FileTime&) const = default;
};

// What a look at a file saw (a link itself, where the look does not follow it).
struct FileInfo {
    FileId id;
    bool regular = false;
    std::uint64_t size = 0;
    std::uint64_t links = 0;
    std::uint32_t mode = 0;   // the permission bits
    std::uint32_t uid = 0, gid = 0;
    FileTime accessed, modified, changed;   // changed: any write or change of attributes
};

// The file open at fd, or the one path leads to; false with errno.
bool InfoOf(int fd, FileInfo& info);
bool InfoOfPath(const std::string& path, FileInfo& info);

class CFolder {
public:
    CFolder() = default;
    ~CFolder();
    CFolder(const CFolder&) = delete;
    CFolder& operator=(const CFolder&) = delete;
    CFolder(CFolder&& from) noexcept;
    CFolder& operator=(CFolder&& from) noexcept;

    // Opens path ("" the current folder).  With followLast false the last
    // component must be the folder itself, not a link to one (a trailing "/"
    // does not make it followed).  False with errno's value in error.
    bool Open(const std::string& path, bool followLast, int& error);
    // The current folder, whose names are paths as the caller gave them, opened
    // as the caller's own (a link the caller named is followed).
    static const CFolder& Current();

    bool IsOpen() const { return m_hDir != NO_FOLDER; }
    int Handle() const { return m_hDir; }
    // The folder as shown in messages: its path with a trailing "/", or "".
    const std::string& Shown() const { return m_strShown; }
    std::string Shown(const std::string& name) const { return m_strShown + name; }

    // Opens name to read: never through a link (but in the current folder),
    // never blocking, only a regular file, and, when expect is given, only the
    // file a look saw.  The descriptor, or -1 with the errno in error (ELOOP for
    // a link, EINVAL for anything but a regular file, ESTALE for another file).
    int OpenRegular(const std::string& name, const FileId* expect, int& error) const;
    // The entry itself (a link is not followed); false with errno.
    bool Stat(const std::string& name, FileInfo& info) const;
    // Forces the data of name to disk, opened as OpenRegular opens it; false
    // with errno's value in error.
    bool SyncFile(const std::string& name, const FileId& expect, int& error) const;
    // Creates name exclusively, never through a link; the descriptor or -1.
    int CreateExclusive(const std::string& name, mode_t mode) const;
    // Opens or creates name for reading and writing, never through a link and
    // never blocking; the descriptor or -1.
    int OpenOrCreate(const std::string& name, mode_t mode) const;
    // Renames from to to within the folder; replace false never overwrites an
    // entry that is there (EEXIST).  0, or -1 with errno.
    int Rename(const std::string& from, const std::string& to, bool replace) const;
    // 0, or -1 with errno.
    int Unlink(const std::string& name) const;
    // Whether the running user may create entries here.
    bool Writable() const;
    // Forces the folder's entries to disk; file systems that cannot sync a folder,
    // and folders we may enter but not read, are taken as they are.  False with
    // errno's value in error.
    bool Sync(int& error) const;
    // The entries, sorted by name: with examine their size and type (as lstat
    // gives them), else names only.  An interrupted read is read again.
    std::vector<DirEntry> List(bool examine, int& error) const;
    std::vector<DirEntry> ListMatching(std::string_view pattern, int& error) const;
    // Fills in the size and type of entry; false when it is gone.
    bool Examine(DirEntry& entry) const;

private:
    static constexpr int NO_FOLDER = -1000;   // AT_FDCWD is a valid handle
    void Close();

    int m_hDir = NO_FOLDER;
    bool m_bFollowNames = false;
    std::string m_strShown;
};

// A file named in a folder, and which file a look at it saw, when one did.
struct FileRef {
    const CFolder& folder;
    std::string name;
    const FileId* id = nullptr;

    std::string Shown() const { return folder.Shown(name); }
    // A path as the caller gave it.
    static FileRef Path(const std::string& path) { return {CFolder::Current(), path}; }
};
