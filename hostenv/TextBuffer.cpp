// Bounded text copy that keeps UTF-8 sequences whole.
#include "hostenv/TextBuffer.h"

#include <cstring>

std::size_t CopyToBuffer(char* buffer, std::size_t size, std::string_view text)
{
    if (buffer == nullptr || size == 0)
        return 0;
    std::size_t length = text.size();
    if (length > size - 1) {
        length = size - 1;
        // A continuation byte right after the cut means a character was split:
        // move the cut back to that character's first byte.
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
            --length;
    }
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}
