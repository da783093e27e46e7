// The Win32 calls the platform layer makes on files and folders, as one table of
// function pointers that starts out holding the system's own functions.
//
// Every such call in platform/win32/ goes through the table: opening and
// creating (CreateFileW, GetTempFileNameW), listing (FindFirstFileExW and its
// kin), looking (attributes, file information, the final path), reading,
// writing, seeking, sizing and flushing, renaming (MoveFileExW and
// NtSetInformationFile's rename classes), deleting (DeleteFileW, the
// disposition classes of SetFileInformationByHandle), times and access lists,
// the oplock (DeviceIoControl and its overlapped result), the folder lock
// (LockFileEx), duplicating a folder's handle, and closing any handle of a file,
// a folder or a listing.  Closing a process's, token's or event's handle is no
// file call and goes to the system directly; so do the loader's mapping of a
// language library and GetPrivateProfileStringW, which open their files
// themselves.
//
// The table is constant-initialised (no code runs to fill it), so a static
// initialiser of any other object may read or change it.  The shipped program
// never changes it and reads no variable about it; the test-only program
// tamble-faults.exe (tests/faultinject/win32/) links one more object whose
// initialiser puts counting wrappers into it, the Win32 counterpart of the
// Linux build's LD_PRELOAD fault injector.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <aclapi.h>

struct Win32FileCalls {
    // Names and entries.
    decltype(&::CreateFileW) CreateFileW;
    decltype(&::GetTempFileNameW) GetTempFileNameW;
    decltype(&::FindFirstFileExW) FindFirstFileExW;
    decltype(&::FindNextFileW) FindNextFileW;
    decltype(&::FindClose) FindClose;
    decltype(&::GetFileAttributesW) GetFileAttributesW;
    decltype(&::GetFileAttributesExW) GetFileAttributesExW;
    decltype(&::MoveFileExW) MoveFileExW;
    decltype(&::DeleteFileW) DeleteFileW;
    // Open handles.
    decltype(&::ReadFile) ReadFile;
    decltype(&::WriteFile) WriteFile;
    decltype(&::FlushFileBuffers) FlushFileBuffers;
    decltype(&::SetFilePointerEx) SetFilePointerEx;
    decltype(&::GetFileSizeEx) GetFileSizeEx;
    decltype(&::SetEndOfFile) SetEndOfFile;
    decltype(&::SetFileTime) SetFileTime;
    decltype(&::GetFileType) GetFileType;
    decltype(&::GetFileInformationByHandle) GetFileInformationByHandle;
    decltype(&::GetFileInformationByHandleEx) GetFileInformationByHandleEx;
    decltype(&::SetFileInformationByHandle) SetFileInformationByHandle;
    decltype(&::GetFinalPathNameByHandleW) GetFinalPathNameByHandleW;
    decltype(&::NtSetInformationFile) NtSetInformationFile;
    decltype(&::DeviceIoControl) DeviceIoControl;
    decltype(&::GetOverlappedResult) GetOverlappedResult;
    decltype(&::CancelIoEx) CancelIoEx;
    decltype(&::LockFileEx) LockFileEx;
    decltype(&::GetKernelObjectSecurity) GetKernelObjectSecurity;
    decltype(&::SetKernelObjectSecurity) SetKernelObjectSecurity;
    decltype(&::GetSecurityInfo) GetSecurityInfo;
    decltype(&::DuplicateHandle) DuplicateHandle;
    decltype(&::CloseHandle) CloseHandle;
};

// The table every file call of platform/win32/ goes through.
extern Win32FileCalls g_fileCalls;

inline Win32FileCalls& FileCalls()
{
    return g_fileCalls;
}
