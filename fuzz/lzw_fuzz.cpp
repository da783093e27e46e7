// Reads arbitrary bytes as an LZW stream and checks it against the reference reader.
// The file is the LZW magic followed by the input, so the input's first eight bytes are
// the header's sizes; the first input byte also seeds the Read chunk sizes.  The stream
// is read in the seeded chunks and one byte at a time; both must deliver what the
// reference reader delivers for the same counts, with the same damage verdict, and no
// Read may write past the bytes it delivered.  Reading goes on past the end code and
// past the original size (within a bound), as a careless caller might.
#include "streams/LzwFile.h"
#include "tests/oracle/Oracle.h"

// The reference coder is built into the target: differential checking needs it and the
// fuzz build has no test libraries.
#include "tests/oracle/Oracle.cpp"
#include "tests/oracle/OracleBits.cpp"
#include "tests/oracle/OracleHuffman.cpp"
#include "tests/oracle/OracleLzss.cpp"
#include "tests/oracle/OracleLzw.cpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kReadLimit = 1u << 20;   // bytes delivered per pass at most
constexpr std::size_t kBytewiseLimit = 20000;  // one-byte Reads per input at most
constexpr std::uint8_t kCanary = 0xA5;

const std::string& TempName()
{
    static const std::string name = "/tmp/lzw_fuzz-" + std::to_string(getpid()) + ".lzw";
    return name;
}

struct Result {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> counts;   // the Read counts used, for the reference
    bool damaged = false;
};

// Reads up to `limit` bytes with counts from `next`; stops after a short Read.
template <class NextCount>
Result ReadAll(std::size_t limit, NextCount next)
{
    CLzwFile file;
    if (!file.Open(TempName().c_str(), OPEN_READ))
        std::abort();
    Result r;
    while (r.bytes.size() < limit) {
        UINT count = next();
        if (count > limit - r.bytes.size())
            count = static_cast<UINT>(limit - r.bytes.size());
        r.counts.push_back(count);
        std::size_t at = r.bytes.size();
        r.bytes.resize(at + count + 8, kCanary);
        UINT got = file.Read(r.bytes.data() + at, count);
        if (got > count)
            std::abort();
        for (std::size_t i = at + got; i < r.bytes.size(); ++i)
            if (r.bytes[i] != kCanary)
                std::abort();
        r.bytes.resize(at + got);
        if (got < count)
            break;
    }
    r.damaged = file.IsDamaged();
    file.Close();
    return r;
}

void ExpectLikeReference(const std::vector<std::uint8_t>& image, const Result& r)
{
    bool damaged = false;
    if (oracle::Decode(image, r.counts, &damaged) != r.bytes || damaged != r.damaged)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> image(g_szMagic[METHOD_LZW], g_szMagic[METHOD_LZW] + MAGIC_LENGTH);
    image.insert(image.end(), data, data + size);
    FILE* f = std::fopen(TempName().c_str(), "wb");
    if (!f)
        std::abort();
    std::fwrite(image.data(), 1, image.size(), f);
    std::fclose(f);

    std::uint32_t seed = size ? data[0] * 2654435761u + 1 : 1;
    Result chunked = ReadAll(kReadLimit, [&seed] {
        seed = seed * 1103515245u + 12345u;
        UINT pick = seed >> 16;
        switch (pick % 4) {
        case 0: return pick % 5;
        case 1: return pick % 300;
        case 2: return pick % 20000;
        default: return pick % 300000;
        }
    });
    ExpectLikeReference(image, chunked);
    Result bytewise = ReadAll(kBytewiseLimit, [] { return UINT{1}; });
    ExpectLikeReference(image, bytewise);
    std::remove(TempName().c_str());
    return 0;
}
