// Adaptive Huffman stream throughput on 64 MB of history records: coding with one
// WriteData, and decoding with one Read of the whole size (as the conversion job
// does) or in 64 KB Reads.
#include "bench/HistoryData.h"
#include "streams/HuffmanFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t HUFF_BENCH_BYTES = 64u << 20;

const std::vector<std::uint8_t>& Data()
{
    static const std::vector<std::uint8_t> data = benchdata::HistoryRecords(HUFF_BENCH_BYTES, 1);
    return data;
}

std::string TempName(const char* tag)
{
    return std::string("/tmp/tamble-huff-bench-") + tag + "-" + std::to_string(getpid()) + ".huf";
}

void Encode(const std::string& name)
{
    CHuffmanFile file;
    if (!file.Open(name.c_str(), OPEN_CREATE))
        std::abort();
    file.WriteData(Data().data(), static_cast<UINT>(Data().size()));
    file.Close();
}

void BM_HuffmanEncode(benchmark::State& state)
{
    std::string name = TempName("enc");
    Data();
    for (auto _ : state)
        Encode(name);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Data().size()));
    std::remove(name.c_str());
}
BENCHMARK(BM_HuffmanEncode)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_HuffmanDecode(benchmark::State& state)
{
    std::string name = TempName("dec");
    Encode(name);
    const UINT chunk = static_cast<UINT>(state.range(0));
    std::vector<std::uint8_t> out(Data().size());
    for (auto _ : state) {
        CHuffmanFile file;
        if (!file.Open(name.c_str(), OPEN_READ))
            std::abort();
        UINT total = file.m_nOriginalSize;
        for (UINT done = 0; done < total;) {
            UINT want = chunk && chunk < total - done ? chunk : total - done;
            UINT got = file.Read(out.data() + done, want);
            done += got;
            if (got < want)
                break;
        }
        file.Close();
        benchmark::DoNotOptimize(out.data());
    }
    if (out != Data())
        state.SkipWithError("decoded bytes differ");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Data().size()));
    std::remove(name.c_str());
}
BENCHMARK(BM_HuffmanDecode)->Arg(0)->Arg(65536)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
