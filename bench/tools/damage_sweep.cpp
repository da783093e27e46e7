// How much damage --test catches: codes one sample of history records with each
// method, damages the file in every way of a kind and counts how many of the
// damaged files the full check (the one --test runs) reports.
//
//   tamble_damage_sweep [BYTES] [FOLDER]     (defaults: 4000 bytes of records, /tmp)
//
// Kinds: the file cut at every length; header lies (every original and compressed
// size from the true one - 8 to + 8, and bytes appended); every single bit flipped
// in the magic, in the sizes and in the payload.  A flip that leaves the file
// decoding to the same bytes is counted apart: no check could call it damage.
#include "bench/HistoryData.h"
#include "jobs/StreamCheck.h"
#include "streams/StreamFactory.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string g_path;

void Save(const Bytes& bytes)
{
    FILE* f = std::fopen(g_path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::perror(g_path.c_str());
        std::exit(1);
    }
}

bool Caught(const Bytes& file)
{
    Save(file);
    StreamSummary summary;
    JobFault fault;
    return !CheckFile(g_path, true, summary, fault);
}

// The bytes a file decodes to as far as it goes (for flips that change nothing).
Bytes Decoded(const Bytes& file)
{
    Save(file);
    JobFault fault;
    CSourceStream in = OpenReader(g_path, fault);
    Bytes out;
    if (!in)
        return out;
    out.resize(in->m_nOriginalSize);
    out.resize(in->Read(out.data(), in->m_nOriginalSize));
    return out;
}

Bytes Encode(int method, const Bytes& data)
{
    std::unique_ptr<CCompressedFile> out(CreateCompressedFile(nullptr, nullptr, method));
    if (!out->Open(g_path.c_str(), OPEN_CREATE))
        std::exit(1);
    out->WriteData(data.data(), static_cast<UINT>(data.size()));
    out->Close();
    FILE* f = std::fopen(g_path.c_str(), "rb");
    Bytes file;
    for (int c; (c = std::fgetc(f)) != EOF;)
        file.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
    return file;
}

struct Tally {
    long caught = 0, total = 0, harmless = 0;
    void Add(bool c) { caught += c, ++total; }
};

void Print(const char* method, const char* kind, const Tally& t)
{
    std::printf("%-8s %-22s %7ld of %7ld caught (%5.1f%%)", method, kind, t.caught, t.total,
                t.total ? 100.0 * double(t.caught) / double(t.total) : 0.0);
    if (t.harmless)
        std::printf(", %ld more change no byte", t.harmless);
    std::printf("\n");
}

void SetLe32(Bytes& file, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        file[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}   // namespace

int main(int argc, char** argv)
{
    const std::size_t bytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 4000;
    g_path = std::string(argc > 2 ? argv[2] : "/tmp") + "/tamble-damage-sweep.bin";
    const Bytes data = benchdata::HistoryRecords(bytes, 7);
    for (int method : {METHOD_HUFFMAN, METHOD_LZSS, METHOD_LZW}) {
        const char* name = MethodName(method);
        const Bytes good = Encode(method, data);
        if (Caught(good)) {
            std::printf("%s: the undamaged file fails its check\n", name);
            return 1;
        }
        Tally cut, lies, magic, sizes, payload;
        for (std::size_t n = 0; n < good.size(); ++n)
            cut.Add(Caught(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n))));
        for (std::size_t field : {8u, 12u}) {
            const std::uint32_t truth
                = good[field] | good[field + 1] << 8 | good[field + 2] << 16 | std::uint32_t(good[field + 3]) << 24;
            for (int d = -8; d <= 8; ++d) {
                if (d == 0)
                    continue;
                Bytes lie = good;
                SetLe32(lie, field, truth + static_cast<std::uint32_t>(d));
                lies.Add(Caught(lie));
            }
        }
        for (std::size_t extra : {1u, 12u, 1000u}) {
            Bytes longer = good;
            longer.resize(good.size() + extra, 0xA5);
            lies.Add(Caught(longer));
        }
        for (std::size_t bit = 0; bit < good.size() * 8; ++bit) {
            Bytes flipped = good;
            flipped[bit / 8] ^= static_cast<std::uint8_t>(0x80 >> (bit % 8));
            Tally& t = bit < 64 ? magic : bit < 128 ? sizes : payload;
            if (Caught(flipped))
                t.Add(true);
            else if (Decoded(flipped) == data)
                ++t.harmless;
            else
                t.Add(false);
        }
        Print(name, "truncations", cut);
        Print(name, "header lies, appended", lies);
        Print(name, "bit flips in magic", magic);
        Print(name, "bit flips in sizes", sizes);
        Print(name, "bit flips in payload", payload);
    }
    std::remove(g_path.c_str());
    return 0;
}
