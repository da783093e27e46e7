#include "platform/SysCall.h"

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
