// What the Win32 side of platform/ shares: handles carried in the interfaces'
// int descriptors, UTF-8 and UTF-16 names, Windows errors as errno values, the
// paths of entries of a held folder, and the steps done through held handles.
//
// A descriptor is the value of a Win32 handle.  Windows keeps the values of
// kernel handles within 32 bits (so that 32- and 64-bit processes can pass them
// to each other), so an int holds one whole; 0, 1 and 2 are never a handle's
// value and stand for the standard handles, as they do on Linux.
//
// Windows has no calls relative to a folder's handle.  Instead a folder is held
// open without FILE_SHARE_DELETE, so that it cannot be renamed, removed or
// replaced (nor, on NTFS, a folder above it renamed) while it is held, and its
// entries are named by the folder's own final path (GetFinalPathNameByHandleW,
// in the \\?\ form, which takes every name literally: no device names, no
// trailing dots or spaces dropped) with the entry's name behind it.
#pragma once

#include "platform/File.h"
#include "platform/win32/FileCalls.h"

#include <windows.h>

#include <string>

// The folder of names that are paths as the caller gave them (AT_FDCWD on Linux).
constexpr int CURRENT_FOLDER_HANDLE = -100;

inline HANDLE HandleOf(int fd)
{
    if (fd >= 0 && fd <= 2)
        return ::GetStdHandle(fd == 0 ? STD_INPUT_HANDLE : fd == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

// The descriptor of an open handle, or -1 with errno (the handle is then closed).
int DescriptorOf(HANDLE handle);

// The errno a Windows error matches, and the cause CFileException gives it.
int ErrnoOf(DWORD code);
CFileException::Cause CauseOf(DWORD code);
// Sets errno from GetLastError (or from code) and returns it.
int SetErrnoFrom(DWORD code);
inline int SetErrnoFromLastError()
{
    return SetErrnoFrom(::GetLastError());
}
// "Access is denied (error 5)".
std::string SystemText(DWORD code);

std::string Utf8Of(const wchar_t* text, int length);
inline std::string Utf8Of(const std::wstring& text)
{
    return Utf8Of(text.data(), static_cast<int>(text.size()));
}
// UTF-16 of a UTF-8 text; false when it is not valid UTF-8 (or holds a NUL).
bool WideOf(const std::string& text, std::wstring& wide);
// A path for CreateFileW: a long one made absolute with the \\?\ prefix.
bool WideNameOf(const std::string& name, std::wstring& wide);
// A path in the \\?\ form, made absolute; false with errno.
bool FullPathOf(const std::string& path, std::wstring& full);

// The final path of the folder open at dir (\\?\ form, no trailing separator); false with errno.
bool FolderPathOf(HANDLE dir, std::wstring& path);
// The path of name in the folder open at dir (CURRENT_FOLDER_HANDLE: name is a path).  A
// name of a held folder is one entry of it: empty, ".", "..", and names with a
// separator, a drive or stream colon or a NUL are refused (EINVAL).  False with errno.
bool EntryPath(int dir, const std::string& name, std::wstring& path);

// Security attributes whose access list grants the running user alone full
// access (mode 0600 on Linux), for files others must not read or lock; null
// where the user's identity cannot be had (the file then inherits its folder's list).
class COwnerOnly {
public:
    COwnerOnly();
    ~COwnerOnly();
    COwnerOnly(const COwnerOnly&) = delete;
    COwnerOnly& operator=(const COwnerOnly&) = delete;
    SECURITY_ATTRIBUTES* Attributes() { return m_pSecurity ? &m_attributes : nullptr; }

private:
    PSECURITY_DESCRIPTOR m_pSecurity = nullptr;
    SECURITY_ATTRIBUTES m_attributes {};
};

// The attributes and identity of an open handle, and whether it is a regular disk file.
bool IsDiskFile(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info);

// Renames from to to (full paths in one folder), through the handle of a lease
// that holds from if there is one, else by MoveFileExW.  0 or errno.
int RenameEntry(const std::wstring& from, const std::wstring& to, bool replace);
// Deletes path, through a lease's handle when one holds it, else by DeleteFileW.  0 or errno.
int DeleteEntry(const std::wstring& path);
// Renames or deletes the file open at handle: to is a full path (\\?\ form).  0 or errno.
int RenameThrough(HANDLE handle, const std::wstring& to, bool replace);
int DeleteThrough(HANDLE handle);
// Deletes a temporary of ours through its handle, read-only as it may be by now.
int DeleteOwnThrough(HANDLE handle);

// The leases held: whoever renames or deletes a leased name does it through the
// lease's handle, which no other open may share (and which an oplock would see
// as a break).
void NoteLease(const std::wstring& path, HANDLE handle);
void MoveLease(HANDLE handle, const std::wstring& path);
void ForgetLease(HANDLE handle);

// The temporaries' registry (platform/win32/TempRegistry.cpp): the stop handler
// deletes a temporary through its handle (the temporary shares no deletion, so
// its name cannot be taken over).  Hold keeps the handler off a slot while its
// temporary is renamed into place through that handle; Unhold gives it back
// (registered again, or freed once the rename is done).
void NoteTemporaryHandle(int slot, HANDLE handle);
void HoldTemporary(int slot);
void UnholdTemporary(int slot, bool stillThere);
