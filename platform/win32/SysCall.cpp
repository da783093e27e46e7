// Whole writes, standard input as a file and the end of a broken pipe on Win32.
#include "platform/SysCall.h"

#include "platform/win32/Win32.h"

#include <cstring>
#include <vector>

bool WriteAll(int fd, const void* data, std::size_t size)
{
    const HANDLE handle = HandleOf(fd);
    const auto* at = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const DWORD step = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD n = 0;
        if (!FileCalls().WriteFile(handle, at, step, &n, nullptr)) {
            const DWORD code = ::GetLastError();
            // The reader of a pipe went away: EPIPE, as Linux says it.
            errno = code == ERROR_NO_DATA || code == ERROR_BROKEN_PIPE ? EPIPE : ErrnoOf(code);
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        at += n;
        size -= n;
    }
    return true;
}

std::string StandardInputAsFile(std::string& cause)
{
    const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    if (in == nullptr || in == INVALID_HANDLE_VALUE) {
        cause = std::strerror(EBADF);
        return {};
    }
    std::wstring path;
    if (FileCalls().GetFileType(in) == FILE_TYPE_DISK && FolderPathOf(in, path))
        return Utf8Of(path);   // a file: read by its own path
    // A pipe or console: its bytes go into a temporary file that disappears with
    // the process (FILE_FLAG_DELETE_ON_CLOSE), held open for the rest of the run.
    std::wstring folder(MAX_PATH + 1, L'\0');
    const DWORD length = ::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
    std::wstring name(MAX_PATH + 1, L'\0');
    if (length == 0 || length > folder.size()
        || !FileCalls().GetTempFileNameW(folder.c_str(), L"tmb", 0, name.data())) {
        cause = std::strerror(SetErrnoFromLastError());
        return {};
    }
    name.resize(wcslen(name.c_str()));
    const HANDLE file = FileCalls().CreateFileW(
        name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        cause = std::strerror(SetErrnoFromLastError());
        FileCalls().DeleteFileW(name.c_str());
        return {};
    }
    std::vector<char> buffer(1 << 16);
    for (;;) {
        DWORD got = 0;
        if (!FileCalls().ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            const DWORD code = ::GetLastError();
            if (code == ERROR_BROKEN_PIPE || code == ERROR_HANDLE_EOF)
                break;   // the writer is done
            cause = std::strerror(SetErrnoFrom(code));
            FileCalls().CloseHandle(file);
            return {};
        }
        if (got == 0)
            break;
        DWORD written = 0;
        if (!FileCalls().WriteFile(file, buffer.data(), got, &written, nullptr) || written != got) {
            cause
                = std::strerror(written != got && ::GetLastError() == ERROR_SUCCESS ? ENOSPC : SetErrnoFromLastError());
            FileCalls().CloseHandle(file);
            return {};
        }
    }
    return Utf8Of(name);   // the handle stays open until the process ends
}

void EndByBrokenPipe()
{
    // No SIGPIPE on Windows: the run ends quietly, with the status a shell shows
    // on Linux for a death by SIGPIPE (128 + 13).
    ::ExitProcess(128 + 13);
}
