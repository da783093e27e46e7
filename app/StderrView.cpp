#include "app/StderrView.h"

#include <cerrno>
#include <unistd.h>

void CStderrView::WriteLine(int fd, const std::string& text)
{
    std::string line = "tamble: ";
    line.reserve(line.size() + text.size() + 1);
    for (char c : text)
        line += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    line += '\n';
    const char* at = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;   // nowhere to report it; the exit status still tells
        at += n;
        left -= static_cast<std::size_t>(n);
    }
}
