// Reads arbitrary bytes as an adaptive Huffman stream.  The file is the Huffman magic
// followed by the input, so the input's first eight bytes are the header's sizes; the
// first input byte also seeds the Read chunk sizes.  The same file is read twice, in the
// seeded chunks and one byte at a time, and both must give the same bytes; no Read may
// write past its count or touch the buffer beyond the bytes it delivered, and once a
// Read comes up short (end code or damage) the stream delivers nothing more.
#include "streams/HuffmanFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kReadLimit = 1u << 20;   // bytes read per pass at most
constexpr std::size_t kPastEnd = 4096;         // bytes read beyond what the payload can hold
constexpr std::uint8_t kCanary = 0xA5;

const std::string& TempName()
{
    static const std::string name = "/tmp/huffman_fuzz-" + std::to_string(getpid()) + ".huf";
    return name;
}

// Reads up to `limit` bytes with counts from `next`; stops after a short Read.
template <class NextCount>
std::vector<std::uint8_t> ReadAll(std::size_t limit, NextCount next)
{
    CHuffmanFile file;
    if (!file.Open(TempName().c_str(), OPEN_READ))
        std::abort();
    std::vector<std::uint8_t> out;
    while (out.size() < limit) {
        UINT count = next();
        if (count > limit - out.size())
            count = static_cast<UINT>(limit - out.size());
        std::size_t at = out.size();
        out.resize(at + count + 8, kCanary);
        UINT got = file.Read(out.data() + at, count);
        if (got > count)
            std::abort();
        for (std::size_t i = at + got; i < out.size(); ++i)
            if (out[i] != kCanary)
                std::abort();
        out.resize(at + got);
        if (got < count) {
            std::uint8_t more[16];
            if (file.Read(more, sizeof more) != 0)
                std::abort();
            break;
        }
    }
    file.Close();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FILE* f = std::fopen(TempName().c_str(), "wb");
    if (!f)
        std::abort();
    std::fwrite(g_szMagic[METHOD_HUFFMAN], 1, MAGIC_LENGTH, f);
    if (size)
        std::fwrite(data, 1, size, f);
    std::fclose(f);

    UINT original = 0;
    if (size >= 4)
        original = UINT{data[0]} | UINT{data[1]} << 8 | UINT{data[2]} << 16 | UINT{data[3]} << 24;
    // A byte costs at least one bit; reading far beyond that only decodes the 1 bits
    // past the end of the file.
    std::size_t limit = std::min<std::size_t>({original, kReadLimit, 8 * size + kPastEnd});

    std::uint32_t seed = size ? data[0] * 2654435761u + 1 : 1;
    auto chunked = ReadAll(limit, [&seed] {
        seed = seed * 1103515245u + 12345u;
        UINT pick = seed >> 16;
        switch (pick % 4) {
        case 0: return pick % 17;
        case 1: return 17 + pick % 40;
        case 2: return pick % 5000;
        default: return pick % 70000;
        }
    });
    auto bytewise = ReadAll(chunked.size() < 20000 ? chunked.size() : 20000, [] { return UINT{1}; });
    if (bytewise.size() > chunked.size())
        std::abort();
    for (std::size_t i = 0; i < bytewise.size(); ++i)
        if (bytewise[i] != chunked[i])
            std::abort();
    std::remove(TempName().c_str());
    return 0;
}
