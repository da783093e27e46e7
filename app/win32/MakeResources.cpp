// Build tool of the Windows build, run on the build machine: writes the
// resources that the Windows program and its language libraries are built
// from, out of the same sources as the Linux build's.
//
//   make-resources strings CULTURE FILE.rc   string table of a culture ("en" is
//                                            the program's own English texts;
//                                            "de", "fr" the tables in app/lang/)
//   make-resources icon FILE.ico             icon 128 at 48, 32 and 16 pixels
//
// The string table is UTF-8 for windres's code page 65001; a language table
// holds only the texts it translates, the rest falls back to English.
#include "app/DialogIcon.h"
#include "platform/StringIds.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// Each language library's lookup, renamed so that all of them fit in here.
#define TambleResString TambleResString_de
#include "app/lang/de.cpp"
#undef TambleResString
#define TambleResString TambleResString_fr
#include "app/lang/fr.cpp"
#undef TambleResString

namespace {

struct Entry {
    unsigned id;
    const char* text;
};

constexpr Entry kEnglish[] = {
#define TAMBLE_STRING_ENTRY(name, number, text) {number, text},
    TAMBLE_STRINGS(TAMBLE_STRING_ENTRY)
#undef TAMBLE_STRING_ENTRY
};

// A text as a resource script's string: quotes doubled, backslashes and
// control characters escaped, other bytes (UTF-8) as they are.
std::string Quoted(const char* text)
{
    std::string out = "\"";
    for (const char* at = text; *at != '\0'; ++at) {
        const unsigned char c = static_cast<unsigned char>(*at);
        if (c == '"')
            out += "\"\"";
        else if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\%03o", c);
            out += escape;
        } else
            out += static_cast<char>(c);
    }
    return out + "\"";
}

int WriteStrings(const std::string& culture, const char* path)
{
    const char* (*lookup)(unsigned) = nullptr;
    if (culture == "de")
        lookup = TambleResString_de;
    else if (culture == "fr")
        lookup = TambleResString_fr;
    else if (culture != "en") {
        std::fprintf(stderr, "make-resources: no texts for culture %s\n", culture.c_str());
        return 1;
    }
    FILE* out = std::fopen(path, "wb");
    if (out == nullptr) {
        std::perror(path);
        return 1;
    }
    std::fprintf(out, "// Made by make-resources from the program's texts; do not edit.\n"
                      "#pragma code_page(65001)\n"
                      "LANGUAGE 0, 0\n"
                      "STRINGTABLE\nBEGIN\n");
    for (const Entry& entry : kEnglish) {
        const char* text = lookup != nullptr ? lookup(entry.id) : entry.text;
        if (text != nullptr && *text != '\0')
            std::fprintf(out, "    %u, %s\n", entry.id, Quoted(text).c_str());
    }
    std::fprintf(out, "END\n");
    return std::fclose(out) == 0 ? 0 : 1;
}

void Put16(std::vector<std::uint8_t>& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// One icon image: a 32-bit bitmap with its alpha, bottom row first, and an
// empty AND mask.
std::vector<std::uint8_t> IconImage(int size)
{
    const std::vector<std::uint8_t> rgba = RenderAppIcon(size);
    std::vector<std::uint8_t> image;
    const unsigned maskRow = ((static_cast<unsigned>(size) + 31) / 32) * 4;
    Put32(image, 40);
    Put32(image, static_cast<std::uint32_t>(size));
    Put32(image, static_cast<std::uint32_t>(size) * 2);   // the colours and the mask
    Put16(image, 1);
    Put16(image, 32);
    Put32(image, 0);
    Put32(image, static_cast<std::uint32_t>(size * size * 4 + maskRow * size));
    for (int i = 0; i < 4; ++i)
        Put32(image, 0);
    for (int y = size - 1; y >= 0; --y)
        for (int x = 0; x < size; ++x) {
            const std::uint8_t* pixel = &rgba[(static_cast<std::size_t>(y) * size + x) * 4];
            image.insert(image.end(), {pixel[2], pixel[1], pixel[0], pixel[3]});
        }
    image.insert(image.end(), static_cast<std::size_t>(maskRow) * size, 0);
    return image;
}

int WriteIcon(const char* path)
{
    std::vector<std::vector<std::uint8_t>> images;
    for (int size : kAppIconSizes)
        images.push_back(IconImage(size));
    std::vector<std::uint8_t> file;
    Put16(file, 0);
    Put16(file, 1);
    Put16(file, static_cast<unsigned>(images.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        file.push_back(static_cast<std::uint8_t>(kAppIconSizes[i]));
        file.push_back(static_cast<std::uint8_t>(kAppIconSizes[i]));
        file.push_back(0);
        file.push_back(0);
        Put16(file, 1);
        Put16(file, 32);
        Put32(file, static_cast<std::uint32_t>(images[i].size()));
        Put32(file, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const auto& image : images)
        file.insert(file.end(), image.begin(), image.end());
    FILE* out = std::fopen(path, "wb");
    if (out == nullptr) {
        std::perror(path);
        return 1;
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && written ? 0 : 1;
}

}   // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "strings") == 0)
        return WriteStrings(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "icon") == 0)
        return WriteIcon(argv[2]);
    std::fprintf(stderr, "usage: make-resources strings CULTURE FILE.rc | icon FILE.ico\n");
    return 2;
}
