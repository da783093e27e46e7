#include "platform/PrintableText.h"

std::string PrintableText(const std::string& text)
{
    std::string shown = text;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const auto c = static_cast<unsigned char>(shown[i]);
        if (c < 0x20 || c == 0x7F) {
            shown[i] = '?';
        } else if (c == 0xC2 && i + 1 < shown.size() && static_cast<unsigned char>(shown[i + 1]) >= 0x80
                   && static_cast<unsigned char>(shown[i + 1]) < 0xA0) {
            shown.replace(i, 2, "?");
        }
    }
    return shown;
}
