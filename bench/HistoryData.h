// Generated data for the benchmarks: what a data-acquisition product's history
// files hold.  Deterministic for a given seed, so every run measures the same bytes.
//
//   HistoryRecords  16-byte binary records: a 32-bit timestamp rising by one per
//                   record, a 32-bit channel number cycling over 8 channels, a float
//                   value drifting slowly with noise at 0.01 resolution, and a mostly
//                   constant 32-bit status word.
//   HistoryCsv      the same records as CSV text lines.
//   RandomBytes     incompressible bytes.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace benchdata {

// xorshift64*: small, fast and good enough for test data.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : m_state(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    std::uint64_t Next()
    {
        m_state ^= m_state >> 12;
        m_state ^= m_state << 25;
        m_state ^= m_state >> 27;
        return m_state * 0x2545F4914F6CDD1Dull;
    }
    double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

private:
    std::uint64_t m_state;
};

struct Record {
    std::uint32_t timestamp;
    std::uint32_t channel;
    float value;
    std::uint32_t status;
};

// Calls emit(record) for `count` records.
template <class Emit>
void GenerateRecords(std::size_t count, std::uint64_t seed, Emit emit)
{
    Rng rng(seed);
    double level[8];
    for (int c = 0; c < 8; ++c)
        level[c] = 20.0 + 10.0 * c;
    std::uint32_t t = 1704067200;   // 2024-01-01 00:00:00 UTC
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t channel = static_cast<std::uint32_t>(i % 8);
        level[channel] += (rng.Uniform() - 0.5) * 0.02;
        double noisy = level[channel] + (rng.Uniform() - 0.5) * 0.05;
        Record r;
        r.timestamp = t++;
        r.channel = channel;
        r.value = static_cast<float>(std::round(noisy * 100.0) / 100.0);
        r.status = (rng.Next() % 1000 == 0) ? 0x0002u : 0x0001u;
        emit(r);
    }
}

inline std::vector<std::uint8_t> HistoryRecords(std::size_t bytes, std::uint64_t seed = 1)
{
    std::vector<std::uint8_t> out;
    out.reserve(bytes + sizeof(Record));
    GenerateRecords(bytes / sizeof(Record) + 1, seed, [&](const Record& r) {
        std::uint8_t raw[sizeof(Record)];
        std::memcpy(raw, &r, sizeof raw);
        out.insert(out.end(), raw, raw + sizeof raw);
    });
    out.resize(bytes);
    return out;
}

inline std::vector<std::uint8_t> HistoryCsv(std::size_t bytes, std::uint64_t seed = 1)
{
    std::vector<std::uint8_t> out;
    out.reserve(bytes + 64);
    GenerateRecords(bytes / 20 + 1, seed, [&](const Record& r) {
        if (out.size() >= bytes)
            return;
        char line[64];
        int n = std::snprintf(line, sizeof line, "%u,%u,%.2f,%u\n", r.timestamp, r.channel,
                              static_cast<double>(r.value), r.status);
        out.insert(out.end(), line, line + n);
    });
    out.resize(bytes, '\n');
    return out;
}

inline std::vector<std::uint8_t> RandomBytes(std::size_t bytes, std::uint64_t seed = 1)
{
    Rng rng(seed);
    std::vector<std::uint8_t> out(bytes);
    for (std::size_t i = 0; i < bytes; i += 8) {
        std::uint64_t v = rng.Next();
        std::memcpy(out.data() + i, &v, bytes - i < 8 ? bytes - i : 8);
    }
    return out;
}

}   // namespace benchdata
