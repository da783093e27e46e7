// Codes the input with the adaptive Huffman writer and reads it back.  The first input
// byte chooses how the data reaches WriteData (one call, or a short first call and the
// rest) and whether the input is stretched past 32766 bytes (repeated with small
// changes, so that the weights are halved on the way; one input in four).  The bytes read back must be the
// data, in one Read and in small Reads alike, and the next Read must find the end code.
#include "streams/HuffmanFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const std::string& TempName()
{
    static const std::string name = "/tmp/huffman_roundtrip_fuzz-" + std::to_string(getpid()) + ".huf";
    return name;
}

std::vector<std::uint8_t> Decode(UINT chunk)
{
    CHuffmanFile file;
    if (!file.Open(TempName().c_str(), OPEN_READ))
        std::abort();
    std::vector<std::uint8_t> out(file.m_nOriginalSize);
    for (UINT done = 0; done < out.size();) {
        UINT want = static_cast<UINT>(out.size()) - done;
        if (chunk && chunk < want)
            want = chunk;
        UINT got = file.Read(out.data() + done, want);
        if (got != want)
            std::abort();
        done += got;
    }
    std::uint8_t more;
    if (file.Read(&more, 1) != 0 || file.RanPastEnd() || file.IsDamaged())
        std::abort();
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
    if ((mode & 0xA0) == 0xA0 && !data.empty()) {
        for (std::size_t round = 1; data.size() < 33000; ++round)
            for (std::size_t i = 0; i + 1 < size && data.size() < 40000; ++i)
                data.push_back(static_cast<std::uint8_t>(input[1 + i] + (i % 97 == round % 97)));
    }
    std::size_t first = (mode & 0x40) ? std::min<std::size_t>(mode & 0x0F, data.size()) : data.size();

    CHuffmanFile writer;
    if (!writer.Open(TempName().c_str(), OPEN_CREATE))
        std::abort();
    writer.WriteData(data.data(), static_cast<UINT>(first));
    writer.WriteData(data.data() + first, static_cast<UINT>(data.size() - first));
    writer.Close();

    if (Decode(0) != data || Decode(1 + (mode & 0x1F)) != data)
        std::abort();
    std::remove(TempName().c_str());
    return 0;
}
