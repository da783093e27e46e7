#include "platform/System.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <ctime>
#include <limits>
#include <sys/resource.h>
#include <unistd.h>

unsigned OnlineProcessors()
{
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1;
}

std::size_t SpareDescriptors(std::size_t reserved)
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<std::size_t>::max() / 2;
    return limit.rlim_cur > reserved ? static_cast<std::size_t>(limit.rlim_cur - reserved) : 0;
}

long CurrentProcessId()
{
    return static_cast<long>(::getpid());
}

bool ProcessGone(long pid)
{
    if (pid <= 0 || pid > INT_MAX || pid == ::getpid())
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

void PauseMilliseconds(long ms)
{
    struct timespec left = {ms / 1000, ms % 1000 * 1000 * 1000};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {}
}
