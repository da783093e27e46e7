// The fault injector of the Windows build's tests: linked into tamble-faults.exe
// (app/main.cpp and the program's libraries, built by tests/windows/ only), never
// into tamble.exe.  Its static initialiser reads the variables of the Linux
// build's LD_PRELOAD injector (tests/faultinject/FaultInject.c) and puts counting
// wrappers into the table of Win32 file calls (platform/win32/FileCalls.h), which
// every file call of platform/win32/ goes through.  The wrappers count the calls
// of the chosen kinds on paths under TAMBLE_FAULT_PATH; the N-th such call (and,
// if asked, the ones after it) fails with the Windows error of the chosen errno
// name instead of reaching the system, or the process pauses or is ended there.
//
//   TAMBLE_FAULT_CALL    kinds to count, comma separated, or "any":
//                        open    CreateFileW for data or deletion (a handle that
//                                only looks at attributes or the access list is
//                                stat's counterpart and not counted),
//                                GetTempFileNameW, FindFirstFileExW (opendir)
//                        read    ReadFile          write   WriteFile
//                        fsync   FlushFileBuffers
//                        rename  MoveFileExW, NtSetInformationFile's rename classes
//                        unlink  DeleteFileW, the disposition classes (delete
//                                through a handle) of SetFileInformationByHandle
//                                and NtSetInformationFile
//                        close   CloseHandle of a file's or folder's handle
//                                (closed all the same, as close(2) does)
//                        link    NtSetInformationFile's link class
//                        lease   DeviceIoControl(FSCTL_REQUEST_OPLOCK)
//   TAMBLE_FAULT_PATH    count only calls on paths containing this text; calls on
//                        a handle are matched by the path it was opened with (or
//                        renamed to).  Compared without case, / and \ alike, with
//                        any \\?\ or \??\ prefix taken off
//   TAMBLE_FAULT_NTH     the counted call that triggers (1 = the first); 0 or
//                        unset: nothing triggers, the calls are only counted
//   TAMBLE_FAULT_TIMES   how many counted calls from the N-th on trigger
//                        (default 1; 0 = all of them, a disk that stays full)
//   TAMBLE_FAULT_ERRNO   the errno name, failed with its Windows error (and, for
//                        NtSetInformationFile, its NTSTATUS): ENOSPC disk full,
//                        EIO a device I/O error (ERROR_IO_DEVICE), EACCES access
//                        denied, EFBIG file too large, EROFS write protected,
//                        EPERM access denied, EAGAIN a lock violation, EINVAL
//                        an invalid parameter; a number is a Windows error code.  EINTR has no Windows
//                        counterpart (no call is interrupted): it and any other
//                        name fail as EIO does
//   TAMBLE_FAULT_ACTION  fail (default): the call fails;
//                        pause: create ARG.reached, wait until ARG exists
//                        (at most 120 s), then make the call;
//                        kill: end the process (status 137) before the call
//   TAMBLE_FAULT_ARG     the file of pause
//   TAMBLE_FAULT_REPORT  "calls=<counted> fired=<triggered>", written at the
//                        start and again after every counted call, so that it is
//                        there however the process ends
//   TAMBLE_FAULT_TRACE   append "<n> <kind> <path>" for every counted call here
#include "platform/win32/FileCalls.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>
#include <unordered_map>

namespace {

enum Kind { K_OPEN, K_READ, K_WRITE, K_FSYNC, K_RENAME, K_UNLINK, K_CLOSE, K_LINK, K_LEASE, K_COUNT };
const char* const kKindNames[K_COUNT]
    = {"open", "read", "write", "fsync", "rename", "unlink", "close", "link", "lease"};

enum class Action { Fail, Pause, Kill };

// NTSTATUS values of the faults (ntstatus.h clashes with <windows.h>).
constexpr NTSTATUS NT(unsigned long value)
{
    return static_cast<NTSTATUS>(value);
}

struct Settings {
    bool active = false;   // some kind is counted
    bool kinds[K_COUNT] = {};
    std::wstring path;   // normalised; empty: every path
    long nth = 0, times = 1;
    DWORD code = ERROR_IO_DEVICE;
    NTSTATUS status = NT(0xC0000185);   // STATUS_IO_DEVICE_ERROR
    Action action = Action::Fail;
    std::wstring arg, report, trace;
};

Settings g;
Win32FileCalls g_real;   // the system's functions, as the table held them
std::atomic<long> g_nCounted {0}, g_nFired {0};
std::mutex g_reportLock;
std::mutex g_pathLock;
struct Opened {
    std::wstring path;   // normalised
    bool looks;          // opened only to look (not counted as open, nor its close)
};
std::unordered_map<HANDLE, Opened> g_paths;

std::wstring Variable(const wchar_t* name)
{
    wchar_t buffer[4096];
    const DWORD n = ::GetEnvironmentVariableW(name, buffer, sizeof buffer / sizeof buffer[0]);
    return n > 0 && n < sizeof buffer / sizeof buffer[0] ? std::wstring(buffer, n) : std::wstring();
}

std::string Narrow(const std::wstring& text)
{
    const int size
        = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                              nullptr);
    return out;
}

// A path as it is compared: absolute, without a \\?\ or \??\ prefix, \ for /,
// lower case.
std::wstring Normalise(const wchar_t* name, std::size_t length)
{
    std::wstring path(name, length);
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    if (path.compare(0, 4, L"\\\\?\\") == 0 || path.compare(0, 4, L"\\??\\") == 0) {
        path.erase(0, 4);
        if (path.compare(0, 4, L"UNC\\") == 0)
            path.replace(0, 4, L"\\\\");
    } else if (!path.empty()) {
        wchar_t full[32768];
        const DWORD n = ::GetFullPathNameW(path.c_str(), sizeof full / sizeof full[0], full, nullptr);
        if (n > 0 && n < sizeof full / sizeof full[0])
            path.assign(full, n);
    }
    if (!path.empty())
        ::CharLowerBuffW(path.data(), static_cast<DWORD>(path.size()));
    return path;
}

std::wstring Normalise(const wchar_t* name)
{
    return name ? Normalise(name, std::wcslen(name)) : std::wstring();
}

bool Matches(const std::wstring& path)
{
    return g.path.empty() || path.find(g.path) != std::wstring::npos;
}

// The path a handle was opened with (or renamed to); one the table did not open
// is asked of the system.
std::wstring PathOf(HANDLE handle, bool* looks = nullptr)
{
    {
        const std::lock_guard<std::mutex> hold(g_pathLock);
        const auto found = g_paths.find(handle);
        if (found != g_paths.end()) {
            if (looks)
                *looks = found->second.looks;
            return found->second.path;
        }
    }
    wchar_t buffer[32768];
    const DWORD n = g_real.GetFinalPathNameByHandleW(handle, buffer, sizeof buffer / sizeof buffer[0],
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    return n > 0 && n < sizeof buffer / sizeof buffer[0] ? Normalise(buffer, n) : std::wstring();
}

bool HandleMatches(HANDLE handle, std::wstring& path)
{
    path = PathOf(handle);
    return g.path.empty() || (!path.empty() && Matches(path));
}

void Remember(HANDLE handle, const std::wstring& path, bool looks)
{
    const std::lock_guard<std::mutex> hold(g_pathLock);
    g_paths[handle] = {path, looks};
}

void Rename(HANDLE handle, const std::wstring& path)
{
    const std::lock_guard<std::mutex> hold(g_pathLock);
    const auto found = g_paths.find(handle);
    if (found != g_paths.end())
        found->second.path = path;
    else
        g_paths[handle] = {path, false};
}

void Forget(HANDLE handle)
{
    const std::lock_guard<std::mutex> hold(g_pathLock);
    g_paths.erase(handle);
}

void WriteText(const std::wstring& file, const std::string& text, bool append)
{
    const HANDLE out = g_real.CreateFileW(file.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    g_real.WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    g_real.CloseHandle(out);
}

// Rewritten after every counted call (under the lock, so that it only grows).
void WriteReport()
{
    if (g.report.empty())
        return;
    const std::lock_guard<std::mutex> hold(g_reportLock);
    char text[96];
    std::snprintf(text, sizeof text, "calls=%ld fired=%ld\n", g_nCounted.load(), g_nFired.load());
    WriteText(g.report, text, false);
}

void Pause()
{
    if (g.arg.empty())
        return;
    WriteText(g.arg + L".reached", "reached\n", false);
    // Bounded: a test that never resumes us must not hang the suite.
    for (int i = 0; i < 1200 && g_real.GetFileAttributesW(g.arg.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        ::Sleep(100);
}

// Counts a call of kind k on path; true when it is to fail (after any pause).
bool Decide(Kind k, bool matches, const std::wstring& path)
{
    if (!g.kinds[k] || !matches)
        return false;
    const long n = ++g_nCounted;
    if (!g.trace.empty()) {
        const std::lock_guard<std::mutex> hold(g_reportLock);
        WriteText(g.trace, std::to_string(n) + " " + kKindNames[k] + " " + Narrow(path) + "\n", true);
    }
    const bool fires = g.nth > 0 && n >= g.nth && (g.times <= 0 || n < g.nth + g.times);
    if (fires)
        ++g_nFired;
    WriteReport();
    if (!fires)
        return false;
    switch (g.action) {
    case Action::Pause:
        Pause();
        return false;
    case Action::Kill:
        ::TerminateProcess(::GetCurrentProcess(), 137);
        return false;
    case Action::Fail:
        break;
    }
    return true;
}

// --- the wrappers -----------------------------------------------------------------

// A counted call of kind k on the file of a handle: true, with the fault's error
// set, when it is to fail.
bool FailsOnHandle(Kind k, HANDLE handle)
{
    std::wstring path;
    if (!g.kinds[k] || !Decide(k, HandleMatches(handle, path), path))
        return false;
    ::SetLastError(g.code);
    return true;
}

// Rights that only look at a file (attributes, access list): stat's counterpart.
bool OnlyLooks(DWORD access)
{
    return (access & ~static_cast<DWORD>(FILE_READ_ATTRIBUTES | FILE_READ_EA | READ_CONTROL | SYNCHRONIZE)) == 0;
}

HANDLE WINAPI FaultCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templ)
{
    const std::wstring path = Normalise(name);
    const bool looks = OnlyLooks(access);
    if (!looks && Decide(K_OPEN, Matches(path), path)) {
        ::SetLastError(g.code);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = g_real.CreateFileW(name, access, share, security, disposition, flags, templ);
    if (handle != INVALID_HANDLE_VALUE)
        Remember(handle, path, looks);
    return handle;
}

UINT WINAPI FaultGetTempFileNameW(LPCWSTR folder, LPCWSTR prefix, UINT unique, LPWSTR out)
{
    const std::wstring path = Normalise(folder);
    if (Decide(K_OPEN, Matches(path), path)) {
        ::SetLastError(g.code);
        return 0;
    }
    return g_real.GetTempFileNameW(folder, prefix, unique, out);
}

HANDLE WINAPI FaultFindFirstFileExW(LPCWSTR pattern, FINDEX_INFO_LEVELS level, LPVOID data, FINDEX_SEARCH_OPS op,
                                    LPVOID filter, DWORD flags)
{
    const std::wstring path = Normalise(pattern);
    if (Decide(K_OPEN, Matches(path), path)) {
        ::SetLastError(g.code);
        return INVALID_HANDLE_VALUE;
    }
    return g_real.FindFirstFileExW(pattern, level, data, op, filter, flags);
}

BOOL WINAPI FaultMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    const std::wstring fromPath = Normalise(from), toPath = Normalise(to);
    const bool fromMatches = Matches(fromPath);
    if (Decide(K_RENAME, fromMatches || Matches(toPath), fromMatches ? fromPath : toPath)) {
        ::SetLastError(g.code);
        return FALSE;
    }
    return g_real.MoveFileExW(from, to, flags);
}

BOOL WINAPI FaultDeleteFileW(LPCWSTR name)
{
    const std::wstring path = Normalise(name);
    if (Decide(K_UNLINK, Matches(path), path)) {
        ::SetLastError(g.code);
        return FALSE;
    }
    return g_real.DeleteFileW(name);
}

BOOL WINAPI FaultReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED overlapped)
{
    if (FailsOnHandle(K_READ, handle)) {
        if (done)
            *done = 0;
        return FALSE;
    }
    return g_real.ReadFile(handle, buffer, count, done, overlapped);
}

BOOL WINAPI FaultWriteFile(HANDLE handle, LPCVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED overlapped)
{
    if (FailsOnHandle(K_WRITE, handle)) {
        if (done)
            *done = 0;
        return FALSE;
    }
    return g_real.WriteFile(handle, buffer, count, done, overlapped);
}

BOOL WINAPI FaultFlushFileBuffers(HANDLE handle)
{
    if (FailsOnHandle(K_FSYNC, handle))
        return FALSE;
    return g_real.FlushFileBuffers(handle);
}

bool IsDeletion(FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size)
{
    constexpr auto DISPOSITION_EX = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);   // FileDispositionInfoEx
    if (kind == FileDispositionInfo && size >= sizeof(FILE_DISPOSITION_INFO))
        return static_cast<FILE_DISPOSITION_INFO*>(info)->DeleteFile != FALSE;
    if (kind == DISPOSITION_EX && size >= sizeof(FILE_DISPOSITION_INFO_EX))
        return (static_cast<FILE_DISPOSITION_INFO_EX*>(info)->Flags & FILE_DISPOSITION_FLAG_DELETE) != 0;
    return false;
}

BOOL WINAPI FaultSetFileInformationByHandle(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size)
{
    if (IsDeletion(kind, info, size) && FailsOnHandle(K_UNLINK, handle))
        return FALSE;
    return g_real.SetFileInformationByHandle(handle, kind, info, size);
}

NTSTATUS NTAPI FaultNtSetInformationFile(HANDLE handle, PIO_STATUS_BLOCK io, PVOID info, ULONG size,
                                         FILE_INFORMATION_CLASS kind)
{
    // FileRenameInformation(Ex), FileLinkInformation(Ex), FileDispositionInformation(Ex).
    const int number = static_cast<int>(kind);
    const bool rename = number == 10 || number == 65, link = number == 11 || number == 72;
    const bool unlink = number == 13 || number == 64;
    std::wstring to;
    if ((rename || link) && size >= sizeof(FILE_RENAME_INFORMATION)) {
        const auto* named = static_cast<const FILE_RENAME_INFORMATION*>(info);
        to = Normalise(named->FileName, named->FileNameLength / sizeof(wchar_t));
    }
    if (rename || link || unlink) {
        std::wstring path;
        const bool fromMatches = HandleMatches(handle, path);
        if (Decide(rename ? K_RENAME
                   : link ? K_LINK
                          : K_UNLINK,
                   fromMatches || (!to.empty() && Matches(to)), fromMatches ? path : to))
            return g.status;
    }
    const NTSTATUS result = g_real.NtSetInformationFile(handle, io, info, size, kind);
    if (rename && result >= 0 && !to.empty())
        Rename(handle, to);   // the handle's file now has this name
    return result;
}

BOOL WINAPI FaultDeviceIoControl(HANDLE handle, DWORD control, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                 LPDWORD done, LPOVERLAPPED overlapped)
{
    if (control == FSCTL_REQUEST_OPLOCK && FailsOnHandle(K_LEASE, handle))
        return FALSE;
    return g_real.DeviceIoControl(handle, control, in, inSize, out, outSize, done, overlapped);
}

BOOL WINAPI FaultDuplicateHandle(HANDLE fromProcess, HANDLE from, HANDLE toProcess, LPHANDLE to, DWORD access,
                                 BOOL inherit, DWORD options)
{
    const BOOL done = g_real.DuplicateHandle(fromProcess, from, toProcess, to, access, inherit, options);
    if (done && to && fromProcess == ::GetCurrentProcess() && toProcess == ::GetCurrentProcess()) {
        const std::lock_guard<std::mutex> hold(g_pathLock);
        const auto found = g_paths.find(from);
        if (found != g_paths.end())
            g_paths[*to] = Opened(found->second);
    }
    return done;
}

BOOL WINAPI FaultCloseHandle(HANDLE handle)
{
    // A handle that only looked (stat's counterpart) has no close to count.
    bool looks = false;
    const std::wstring path = g.kinds[K_CLOSE] ? PathOf(handle, &looks) : std::wstring();
    const bool fails
        = g.kinds[K_CLOSE] && !looks && Decide(K_CLOSE, g.path.empty() || (!path.empty() && Matches(path)), path);
    Forget(handle);
    // As on Linux, the handle is gone even when closing reports an error.
    const BOOL closed = g_real.CloseHandle(handle);
    if (fails) {
        ::SetLastError(g.code);
        return FALSE;
    }
    return closed;
}

// --- the settings -------------------------------------------------------------------

struct Fault {
    const char* name;
    DWORD code;
    unsigned long status;
};
const Fault kFaults[] = {
    {"ENOSPC", ERROR_DISK_FULL, 0xC000007F},           // STATUS_DISK_FULL
    {"EIO", ERROR_IO_DEVICE, 0xC0000185},              // STATUS_IO_DEVICE_ERROR
    {"EACCES", ERROR_ACCESS_DENIED, 0xC0000022},       // STATUS_ACCESS_DENIED
    {"EPERM", ERROR_ACCESS_DENIED, 0xC0000022},        //
    {"EFBIG", ERROR_FILE_TOO_LARGE, 0xC0000904},       // STATUS_FILE_TOO_LARGE
    {"EROFS", ERROR_WRITE_PROTECT, 0xC00000A2},        // STATUS_MEDIA_WRITE_PROTECTED
    {"EAGAIN", ERROR_LOCK_VIOLATION, 0xC0000054},      // STATUS_FILE_LOCK_CONFLICT
    {"EINVAL", ERROR_INVALID_PARAMETER, 0xC000000D},   // STATUS_INVALID_PARAMETER
};

void SetFault(const std::string& name)
{
    for (const Fault& fault : kFaults)
        if (name == fault.name) {
            g.code = fault.code;
            g.status = NT(fault.status);
            return;
        }
    const long number = std::atol(name.c_str());
    if (number > 0) {
        g.code = static_cast<DWORD>(number);
        g.status = NT(0xC0070000UL | (static_cast<unsigned long>(number) & 0xFFFF));   // FACILITY_NTWIN32
        for (const Fault& fault : kFaults)
            if (fault.code == g.code)
                g.status = NT(fault.status);
    }
}

std::wstring PathVariable(const wchar_t* name)
{
    std::wstring value = Variable(name);
    for (wchar_t& c : value)
        if (c == L'/')
            c = L'\\';
    return value;
}

bool Install()
{
    const std::string kinds = Narrow(Variable(L"TAMBLE_FAULT_CALL"));
    // Whole words only: "unlink" does not select "link".
    for (std::size_t at = 0; at < kinds.size();) {
        std::size_t end = kinds.find(',', at);
        if (end == std::string::npos)
            end = kinds.size();
        const std::string word = kinds.substr(at, end - at);
        for (int k = 0; k < K_COUNT; ++k)
            if (word == kKindNames[k] || word == "any")
                g.kinds[k] = g.active = true;
        at = end + 1;
    }
    const std::wstring path = Variable(L"TAMBLE_FAULT_PATH");
    if (!path.empty())
        g.path = Normalise(path.c_str());
    const std::string nth = Narrow(Variable(L"TAMBLE_FAULT_NTH")), times = Narrow(Variable(L"TAMBLE_FAULT_TIMES"));
    g.nth = std::atol(nth.c_str());
    g.times = times.empty() ? 1 : std::atol(times.c_str());
    SetFault(Narrow(Variable(L"TAMBLE_FAULT_ERRNO")));
    const std::wstring action = Variable(L"TAMBLE_FAULT_ACTION");
    g.action = action == L"pause" ? Action::Pause : action == L"kill" ? Action::Kill : Action::Fail;
    g.arg = PathVariable(L"TAMBLE_FAULT_ARG");
    g.report = PathVariable(L"TAMBLE_FAULT_REPORT");
    g.trace = PathVariable(L"TAMBLE_FAULT_TRACE");

    // The table is constant-initialised: it holds the system's functions now.
    g_real = FileCalls();
    WriteReport();
    if (!g.active)
        return false;
    Win32FileCalls& table = FileCalls();
    table.CreateFileW = FaultCreateFileW;
    table.GetTempFileNameW = FaultGetTempFileNameW;
    table.FindFirstFileExW = FaultFindFirstFileExW;
    table.MoveFileExW = FaultMoveFileExW;
    table.DeleteFileW = FaultDeleteFileW;
    table.ReadFile = FaultReadFile;
    table.WriteFile = FaultWriteFile;
    table.FlushFileBuffers = FaultFlushFileBuffers;
    table.SetFileInformationByHandle = FaultSetFileInformationByHandle;
    table.NtSetInformationFile = FaultNtSetInformationFile;
    table.DeviceIoControl = FaultDeviceIoControl;
    table.DuplicateHandle = FaultDuplicateHandle;
    table.CloseHandle = FaultCloseHandle;
    return true;
}

[[maybe_unused]] const bool g_bInstalled = Install();

}   // namespace
