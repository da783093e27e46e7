// Codes the input with the LZW writer, compares the file and the progress calls with the
// reference writer, and reads it back.  The first input byte chooses how the data reaches
// WriteData (one call, or calls of sizes taken from the data) and whether the input is
// stretched with noise to a few hundred KB, so that codes widen to 15 bits and the
// dictionary resets.  The bytes read back must be the data, in one Read and in small Reads.
#include "streams/LzwFile.h"
#include "tests/oracle/Oracle.h"

// The reference coder is built into the target (the fuzz build has no test libraries).
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

std::vector<std::uint32_t> g_progress;
void RecordProgress(UINT n) { g_progress.push_back(n); }

const std::string& TempName()
{
    static const std::string name = "/tmp/lzw_roundtrip_fuzz-" + std::to_string(getpid()) + ".lzw";
    return name;
}

std::vector<std::uint8_t> ReadFile()
{
    std::vector<std::uint8_t> bytes;
    FILE* f = std::fopen(TempName().c_str(), "rb");
    if (!f)
        std::abort();
    std::uint8_t block[4096];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, f)) > 0;)
        bytes.insert(bytes.end(), block, block + got);
    std::fclose(f);
    return bytes;
}

std::vector<std::uint8_t> Decode(UINT chunk)
{
    CLzwFile file;
    if (!file.Open(TempName().c_str(), OPEN_READ))
        std::abort();
    std::vector<std::uint8_t> out(file.m_nOriginalSize);
    for (UINT done = 0; done < out.size();) {
        UINT want = static_cast<UINT>(out.size()) - done;
        if (chunk && chunk < want)
            want = chunk;
        UINT got = file.Read(out.data() + done, want);
        if (got != want || file.RanPastEnd() || file.IsDamaged())
            std::abort();
        done += got;
    }
    file.Close();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t mode = input[0];
    std::vector<std::uint8_t> data(input + 1, input + size);
    if ((mode & 0x80) && !data.empty()) {
        // The input repeated with sparse noise: long strings and, past ~100 KB, resets.
        std::uint32_t rng = mode * 2654435761u + 1;
        const std::size_t target = 60000 + (mode & 0x0F) * 20000;
        for (std::size_t i = 0; data.size() < target; ++i) {
            rng = rng * 1103515245u + 12345u;
            std::uint8_t b = input[1 + i % (size - 1)];
            data.push_back((rng >> 16) % 23 == 0 ? static_cast<std::uint8_t>(rng >> 24) : b);
        }
    }
    // The calls: one, or sizes 0..(mode & 0x3F) drawn from the data itself.
    std::vector<std::vector<std::uint8_t>> calls;
    if (mode & 0x40) {
        for (std::size_t at = 0, k = 0; at < data.size(); ++k) {
            std::size_t len = data[k % data.size()] % ((mode & 0x3F) + 1);
            if (k % 1000 == 999)
                len = 5000;
            len = std::min(len, data.size() - at);
            calls.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(at),
                               data.begin() + static_cast<std::ptrdiff_t>(at + len));
            at += len;
        }
    } else {
        calls.push_back(data);
    }

    g_progress.clear();
    g_pfnProgress = RecordProgress;
    CLzwFile writer;
    if (!writer.Open(TempName().c_str(), OPEN_CREATE))
        std::abort();
    for (const auto& call : calls)
        writer.WriteData(call.data(), static_cast<UINT>(call.size()));
    writer.Close();

    oracle::Encoded ref = oracle::Encode(METHOD_LZW, calls);
    if (ReadFile() != ref.file || g_progress != ref.progress)
        std::abort();
    if (Decode(0) != data || Decode(1 + (mode & 0x1F) * 37) != data)
        std::abort();
    std::remove(TempName().c_str());
    return 0;
}
