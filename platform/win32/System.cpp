// Processors, handles, process ids and pauses on Win32.
#include "platform/System.h"

#include "platform/win32/Win32.h"

#include <limits>

unsigned OnlineProcessors()
{
    const DWORD count = ::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    return count > 0 ? static_cast<unsigned>(count) : 1;
}

std::size_t SpareDescriptors(std::size_t reserved)
{
    // A process's handles have no limit of the kind RLIMIT_NOFILE sets (some
    // sixteen million); memory runs out long before.
    (void)reserved;
    return std::numeric_limits<std::size_t>::max() / 2;
}

long CurrentProcessId()
{
    return static_cast<long>(::GetCurrentProcessId());
}

bool ProcessGone(long pid)
{
    if (pid <= 0 || static_cast<unsigned long>(pid) > 0xFFFFFFFFUL || pid == CurrentProcessId())
        return false;
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return ::GetLastError() == ERROR_INVALID_PARAMETER;   // no such process (access denied: it runs)
    DWORD status = 0;
    const bool ended = ::GetExitCodeProcess(process, &status) && status != STILL_ACTIVE;
    // A process that returned STILL_ACTIVE as its status has ended too, which only a wait tells.
    const bool gone = ended || (status == STILL_ACTIVE && ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0);
    ::CloseHandle(process);
    return gone;
}

void PauseMilliseconds(long ms)
{
    ::Sleep(ms > 0 ? static_cast<DWORD>(ms) : 0);
}
