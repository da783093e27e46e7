#include "app/StderrView.h"

#include "platform/PrintableText.h"

#include <cerrno>
#include <unistd.h>

void CStderrView::WriteLine(int fd, const std::string& text)
{
    const std::string line = "tamble: " + PrintableText(text) + '\n';
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
