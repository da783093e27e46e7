// Bounded, non-blocking opening and reading of start-up files, and the list of
// the files refused.
#include "platform/StartupFile.h"

#include "platform/SysCall.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// What a file that is not a regular one is.
std::string NotRegular(mode_t mode)
{
    const char* what = S_ISDIR(mode)                    ? "a folder"
                       : S_ISFIFO(mode)                 ? "a FIFO"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                       : S_ISSOCK(mode)                 ? "a socket"
                                                        : "of another kind";
    return std::string("not a regular file (") + what + ")";
}

bool IsMissing(int error)
{
    return error == ENOENT || error == ENOTDIR;
}

}   // namespace

StartupFileResult OpenRegularFile(const std::string& path, int& fd, std::uint64_t& size, std::string& why)
{
    fd = -1;
    size = 0;
    // A path that already names something else is not even opened: opening a
    // device can do something of its own.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (IsMissing(errno))
            return StartupFileResult::Missing;
        why = std::strerror(errno);
        return StartupFileResult::Refused;
    }
    if (!S_ISREG(info.st_mode)) {
        why = NotRegular(info.st_mode);
        return StartupFileResult::Refused;
    }
    // The entry may have been replaced since: what counts is what was opened.
    const int opened = RetryEintr([&] { return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); });
    if (opened < 0) {
        if (IsMissing(errno))
            return StartupFileResult::Missing;
        why = std::strerror(errno);
        return StartupFileResult::Refused;
    }
    if (::fstat(opened, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = S_ISREG(info.st_mode) ? std::strerror(errno) : NotRegular(info.st_mode);
        ::close(opened);
        return StartupFileResult::Refused;
    }
    fd = opened;
    size = static_cast<std::uint64_t>(info.st_size);
    return StartupFileResult::Ok;
}

StartupFileResult ReadRegularFile(const std::string& path, std::size_t limit, std::string& text, std::string& why)
{
    text.clear();
    int fd = -1;
    std::uint64_t size = 0;
    const StartupFileResult opened = OpenRegularFile(path, fd, size, why);
    if (opened != StartupFileResult::Ok)
        return opened;
    const std::string tooLarge = "larger than " + std::to_string(limit) + " bytes";
    if (size > limit) {
        ::close(fd);
        why = tooLarge;
        return StartupFileResult::Refused;
    }
    // The size is only a hint (a file may grow, one in /proc says 0): read one
    // byte past the bound to see that there is no more.
    std::string buffer(static_cast<std::size_t>(size) + 1, '\0');
    std::size_t length = 0;
    while (length < limit + 1) {
        if (length == buffer.size())
            buffer.resize(std::min(limit + 1, 2 * buffer.size()));
        const ssize_t n = RetryEintr([&] { return ::read(fd, buffer.data() + length, buffer.size() - length); });
        if (n < 0) {
            why = std::strerror(errno);
            ::close(fd);
            return StartupFileResult::Refused;
        }
        if (n == 0)
            break;
        length += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (length > limit) {
        why = tooLarge;
        return StartupFileResult::Refused;
    }
    buffer.resize(length);
    text = std::move(buffer);
    return StartupFileResult::Ok;
}
