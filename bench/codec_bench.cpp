// Throughput of every stream method on three kinds of generated data: binary
// history records, the same records as CSV text, and random bytes.  Encoding is
// one WriteData call (as a conversion of a small file does); decoding reads the
// whole original size in 1 MiB Reads (as the conversions do).  Reported as MB/s
// of original data.  TAMBLE_BENCH_MB sets the data size (default 32).
//
// The literal bit-at-a-time reference decoder of the tests is measured beside the
// fast decoders, so the gain of each is visible in the same run.  BM_SmallFiles
// writes and reads back 192 KB files one after another, as a history job does.
#include "bench/HistoryData.h"
#include "streams/StreamFactory.h"
#include "tests/oracle/Oracle.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

enum Kind { KIND_RECORDS, KIND_CSV, KIND_RANDOM };
const char* const KIND_NAMES[] = {"records", "csv", "random"};
const char* const METHOD_NAMES[] = {"stored", "huffman", "lzss", "lzw"};   // index = method + 1

std::size_t BenchBytes()
{
    const char* mb = std::getenv("TAMBLE_BENCH_MB");
    return (mb ? std::strtoul(mb, nullptr, 10) : 32ul) << 20;
}

const std::vector<std::uint8_t>& Data(int kind)
{
    static std::map<int, std::vector<std::uint8_t>> cache;
    auto it = cache.find(kind);
    if (it == cache.end()) {
        std::size_t bytes = BenchBytes();
        auto data = kind == KIND_CSV      ? benchdata::HistoryCsv(bytes)
                    : kind == KIND_RANDOM ? benchdata::RandomBytes(bytes)
                                          : benchdata::HistoryRecords(bytes);
        it = cache.emplace(kind, std::move(data)).first;
    }
    return it->second;
}

std::string TempName(int method, int kind)
{
    return "/tmp/tamble-bench-" + std::to_string(getpid()) + "-" + METHOD_NAMES[method + 1] + "-" + KIND_NAMES[kind];
}

void Encode(int method, int kind, const std::string& name)
{
    std::unique_ptr<CCompressedFile> file(CreateCompressedFile(nullptr, nullptr, method));
    if (!file || !file->Open(name.c_str(), OPEN_CREATE))
        std::abort();
    file->WriteData(Data(kind).data(), static_cast<UINT>(Data(kind).size()));
    file->Close();
}

void SetCounters(benchmark::State& state, int kind, const std::string& name)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Data(kind).size()));
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (f) {
        std::fseek(f, 0, SEEK_END);
        state.counters["ratio"] = static_cast<double>(std::ftell(f)) / static_cast<double>(Data(kind).size());
        std::fclose(f);
    }
}

void BM_Encode(benchmark::State& state)
{
    int method = static_cast<int>(state.range(0)), kind = static_cast<int>(state.range(1));
    std::string name = TempName(method, kind);
    Data(kind);
    for (auto _ : state)
        Encode(method, kind, name);
    SetCounters(state, kind, name);
    std::remove(name.c_str());
}

void BM_Decode(benchmark::State& state)
{
    int method = static_cast<int>(state.range(0)), kind = static_cast<int>(state.range(1));
    std::string name = TempName(method, kind);
    Encode(method, kind, name);
    std::vector<std::uint8_t> out(Data(kind).size());
    for (auto _ : state) {
        std::unique_ptr<CCompressedFile> file(CreateCompressedFile(name.c_str(), nullptr, method));
        if (!file->Open(name.c_str(), OPEN_READ))
            std::abort();
        UINT total = file->m_nOriginalSize;
        for (UINT done = 0; done < total;) {
            UINT want = total - done < (1u << 20) ? total - done : 1u << 20;
            done += file->Read(out.data() + done, want);
        }
        file->Close();
        benchmark::DoNotOptimize(out.data());
    }
    if (out != Data(kind))
        state.SkipWithError("decoded bytes differ");
    SetCounters(state, kind, name);
    std::remove(name.c_str());
}

// The literal reference decoder on the same file, for comparison.
void BM_LiteralDecode(benchmark::State& state)
{
    int method = static_cast<int>(state.range(0)), kind = static_cast<int>(state.range(1));
    std::string name = TempName(method, kind);
    Encode(method, kind, name);
    std::ifstream in(name, std::ios::binary);
    std::vector<std::uint8_t> file {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (auto _ : state)
        benchmark::DoNotOptimize(oracle::Decode(file));
    SetCounters(state, kind, name);
    std::remove(name.c_str());
}

// A history job's pattern: many small files in a row, each through a stream object
// of its own, written and read back.  Shows what a file costs beyond its bytes.
void BM_SmallFiles(benchmark::State& state)
{
    const std::size_t fileBytes = 192 << 10;
    const auto& data = Data(KIND_RECORDS);
    const std::size_t files = data.size() / fileBytes;
    std::string name = TempName(METHOD_LZW, KIND_RECORDS) + "-small";
    std::vector<std::uint8_t> out(fileBytes);
    for (auto _ : state)
        for (std::size_t f = 0; f < files; ++f) {
            std::unique_ptr<CCompressedFile> writer(CreateCompressedFile(nullptr, nullptr, METHOD_LZW));
            if (!writer || !writer->Open(name.c_str(), OPEN_CREATE))
                std::abort();
            writer->WriteData(data.data() + f * fileBytes, static_cast<UINT>(fileBytes));
            writer->Close();
            std::unique_ptr<CCompressedFile> reader(CreateCompressedFile(name.c_str(), nullptr, METHOD_LZW));
            if (!reader || !reader->Open(name.c_str(), OPEN_READ))
                std::abort();
            reader->Read(out.data(), static_cast<UINT>(fileBytes));
            reader->Close();
        }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * files * fileBytes));
    std::remove(name.c_str());
}

void AllMethods(benchmark::internal::Benchmark* b)
{
    for (int method = -1; method <= 2; ++method)
        for (int kind = KIND_RECORDS; kind <= KIND_RANDOM; ++kind)
            b->Args({method, kind});
}

void CodedMethods(benchmark::internal::Benchmark* b)
{
    for (int method = 0; method <= 2; ++method)
        b->Args({method, KIND_RECORDS});
}

BENCHMARK(BM_Encode)->Apply(AllMethods)->ArgNames({"method", "data"})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Decode)->Apply(AllMethods)->ArgNames({"method", "data"})->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SmallFiles)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LiteralDecode)
    ->Apply(CodedMethods)
    ->ArgNames({"method", "data"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}   // namespace
