#include "platform/SysCall.h"

#include <csignal>
#include <cstring>
#include <vector>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

bool WriteAll(int fd, const void* data, std::size_t size)
{
    const auto* at = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = RetryEintr([&] { return ::write(fd, at, size); });
        if (n < 0)
            return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string StandardInputAsFile(std::string& cause)
{
    struct stat st {};
    if (::fstat(0, &st) != 0) {
        cause = std::strerror(errno);
        return {};
    }
    if (S_ISREG(st.st_mode))
        return "/dev/stdin";
    const int fd = ::memfd_create("tamble-stdin", MFD_CLOEXEC);
    if (fd < 0) {
        cause = std::strerror(errno);
        return {};
    }
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = RetryEintr([&] { return ::read(0, buffer.data(), buffer.size()); });
        if (got == 0)
            break;
        if (got < 0 || !WriteAll(fd, buffer.data(), static_cast<std::size_t>(got))) {
            cause = std::strerror(errno);
            ::close(fd);
            return {};
        }
    }
    return "/proc/self/fd/" + std::to_string(fd);   // stays open for the rest of the run
}

void EndByBrokenPipe()
{
    std::signal(SIGPIPE, SIG_DFL);
    std::raise(SIGPIPE);
}
