#include "app/StderrView.h"

#include <cerrno>
#include <unistd.h>

std::string CStderrView::Printable(const std::string& text)
{
    std::string shown = text;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const auto c = static_cast<unsigned char>(shown[i]);
        if (c < 0x20 || c == 0x7F) {
            shown[i] = '?';
        } else if (c == 0xC2 && i + 1 < shown.size() && static_cast<unsigned char>(shown[i + 1]) < 0xA0
                   && static_cast<unsigned char>(shown[i + 1]) >= 0x80) {
            // A control of the second set (U+0080 to U+009F, CSI among them) in UTF-8.
            shown.replace(i, 2, "?");
        }
    }
    return shown;
}

void CStderrView::WriteLine(int fd, const std::string& text)
{
    const std::string line = "tamble: " + Printable(text) + '\n';
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
