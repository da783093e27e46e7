// Arbitrary file contents through the settings-file reader.
//
// The input is written to a file and read with the keys the program asks for and
// with a section and key taken from the input itself (so that the lookups also
// hit).  A lookup must give the same text every time; the fixed-size variant must
// copy a prefix of it into every buffer size, terminated, without touching a byte
// beyond the buffer.
#include "hostenv/ProfileString.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr char kCanary = '\x5A';

const std::string& TempName()
{
    static const std::string name = "/tmp/settings_fuzz-" + std::to_string(getpid()) + ".ini";
    return name;
}

// The first "[section]" and the first "key" before a "=" in the input, if any.
void KeysFromInput(const std::string& text, std::string& section, std::string& key)
{
    const std::size_t open = text.find('[');
    const std::size_t close = open == std::string::npos ? open : text.find(']', open);
    if (close != std::string::npos)
        section = text.substr(open + 1, close - open - 1);
    const std::size_t equals = text.find('=', close == std::string::npos ? 0 : close);
    if (equals != std::string::npos) {
        std::size_t start = text.rfind('\n', equals);
        start = start == std::string::npos ? 0 : start + 1;
        key = text.substr(start, equals - start);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t'))
            key.pop_back();
        while (!key.empty() && (key.front() == ' ' || key.front() == '\t'))
            key.erase(0, 1);
    }
}

void CheckLookup(const char* section, const char* key, const char* def)
{
    const std::string whole = GetProfileString(TempName(), section, key, def);
    if (GetProfileString(TempName(), section, key, def) != whole)
        std::abort();
    for (UINT size : {1u, 2u, 7u, 64u, 300u}) {
        std::vector<char> buffer(size + 16, kCanary);
        const UINT copied = GetPrivateProfileStringA(section, key, def, buffer.data(), size, TempName().c_str());
        if (copied >= size || buffer[copied] != '\0' || std::memcmp(buffer.data(), whole.data(), copied) != 0)
            std::abort();
        // A cut short of the buffer's room only drops the start of a UTF-8
        // sequence and its continuation bytes.
        for (std::size_t i = copied + 1; copied < whole.size() && i < size && i < whole.size(); ++i)
            if ((static_cast<unsigned char>(whole[i]) & 0xC0) != 0x80)
                std::abort();
        for (std::size_t i = size; i < buffer.size(); ++i)
            if (buffer[i] != kCanary)
                std::abort();
    }
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    FILE* f = std::fopen(TempName().c_str(), "wb");
    if (!f)
        std::abort();
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);

    CheckLookup("Language", "CultureName", nullptr);
    CheckLookup("OEM", "ProductName", "Product  ");
    CheckLookup("Install", "Version", "");
    std::string section, key;
    KeysFromInput(text, section, key);
    if (section.find('\0') == std::string::npos && key.find('\0') == std::string::npos)
        CheckLookup(section.c_str(), key.c_str(), "x");
    std::remove(TempName().c_str());
    return 0;
}
