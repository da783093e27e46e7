#include "tests/support/StreamTestKit.h"

#include "bench/HistoryData.h"
#include "platform/MemFile.h"
#include "streams/StreamFactory.h"

#include <algorithm>
#include <memory>
#include <random>

namespace streamkit {

std::vector<UINT> g_progress;
void RecordProgress(UINT n)
{
    g_progress.push_back(n);
}

Bytes Str(const std::string& s)
{
    return {s.begin(), s.end()};
}
Bytes Payload(const Bytes& file)
{
    return {file.begin() + 16, file.end()};
}
UINT Le32(const Bytes& file, std::size_t at)
{
    return UINT {file[at]} | UINT {file[at + 1]} << 8 | UINT {file[at + 2]} << 16 | UINT {file[at + 3]} << 24;
}

void ExpectFileOf(const Bytes& file, const std::string& magic, std::size_t originalSize, const Bytes& payload)
{
    ASSERT_EQ(file.size(), 16 + payload.size());
    EXPECT_EQ(std::string(file.begin(), file.begin() + 8), magic);
    EXPECT_EQ(Le32(file, 8), originalSize);
    EXPECT_EQ(Le32(file, 12), payload.size());
    EXPECT_EQ(Payload(file), payload);
}

void ExpectWriteRefused(CCompressedFile& file, const void* data, UINT count, int osError, const std::string& name)
{
    try {
        file.WriteData(data, count);
        FAIL() << "no exception";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::invalidFile);
        EXPECT_EQ(e.m_lOsError, osError);
        EXPECT_EQ(e.m_strFileName, name);
    }
}

Bytes RandomData(std::size_t size, unsigned seed, unsigned alphabet)
{
    std::mt19937 rng(seed);
    Bytes out(size);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(rng() % alphabet);
    return out;
}

namespace {

// Appends `len` bytes copied from earlier in `out` (overlapping copies included).
void AppendRepeat(Bytes& out, std::size_t len, std::size_t maxDistance, std::mt19937& rng)
{
    if (maxDistance) {
        std::size_t dist = 1 + rng() % std::min<std::size_t>(out.size() + 1, maxDistance);
        for (std::size_t i = 0; i < len; ++i)
            out.push_back(out.size() >= dist ? out[out.size() - dist] : 0);
        return;
    }
    std::size_t from = out.empty() ? 0 : rng() % out.size();
    for (std::size_t i = 0; i < len && from + i < out.size(); ++i)
        out.push_back(out[from + i]);
}

}   // namespace

Bytes MixedData(std::size_t size, unsigned seed, const DataMix& mix)
{
    std::mt19937 rng(seed);
    const unsigned kinds = mix.historyPieces ? 5 : 4;
    Bytes out;
    while (out.size() < size) {
        std::size_t len = 1 + rng() % mix.maxPiece;
        unsigned kind = static_cast<unsigned>(rng() % kinds);
        if (kind == 0) {
            out.insert(out.end(), len, static_cast<std::uint8_t>(rng() % 3));
        } else if (kind == 1) {
            AppendRepeat(out, len, mix.maxDistance, rng);
        } else if (kind == 2) {
            for (std::size_t i = 0; i < len; ++i)
                out.push_back(static_cast<std::uint8_t>('a' + rng() % 4));
        } else if (kind == 3 && mix.historyPieces) {
            Bytes h = benchdata::HistoryRecords(len, rng());
            out.insert(out.end(), h.begin(), h.end());
        } else {
            Bytes r = RandomData(len, static_cast<unsigned>(rng()));
            out.insert(out.end(), r.begin(), r.end());
        }
    }
    out.resize(size);
    return out;
}

Bytes WindowRepeatData(std::size_t size, unsigned seed)
{
    return MixedData(size, seed, {600, 4200, false});
}
Bytes LongRepeatData(std::size_t size, unsigned seed)
{
    return MixedData(size, seed, {3000, 0, true});
}

UINT PayloadBits::Take(int count)
{
    UINT v = 0;
    for (int i = 0; i < count; ++i, ++m_bit)
        v = v << 1 | (m_bit / 8 < m_payload.size() ? m_payload[m_bit / 8] >> (7 - m_bit % 8) & 1 : 1);
    return v;
}

void ProgressTest::SetUp()
{
    g_progress.clear();
    g_pfnProgress = RecordProgress;
}

void ProgressTest::TearDown()
{
    g_pfnProgress = nullptr;
}

Encoded StreamTest::Encode(const std::vector<Bytes>& calls)
{
    CMemFile encoded("kit-encoded");
    g_progress.clear();
    {
        std::unique_ptr<CCompressedFile> file(CreateCompressedFile(nullptr, nullptr, m_method));
        EXPECT_TRUE(file->OpenFile(encoded, OPEN_CREATE));
        for (const Bytes& call : calls)
            file->WriteData(call.data(), static_cast<UINT>(call.size()));
        file->Close();
    }
    return {encoded.Data(), g_progress};
}

Decoded StreamTest::Decode(const Bytes& image, const std::vector<UINT>& counts)
{
    const std::uint8_t untouched = 0xA5;
    CMemFile source(image.data(), image.size(), "kit-decoded");
    if (m_expectSoundReads)
        g_progress.clear();
    std::unique_ptr<CCompressedFile> file(CreateCompressedFile(nullptr, nullptr, m_method));
    EXPECT_TRUE(file->OpenFile(source, OPEN_READ));
    Decoded result;
    for (UINT count : counts) {
        std::size_t at = result.bytes.size();
        result.bytes.resize(at + count + 1, untouched);
        UINT got = file->Read(result.bytes.data() + at, count);
        if (m_checkReadBounds) {
            EXPECT_EQ(result.bytes[at + count], untouched) << "Read wrote past its count";
            for (std::size_t i = at + got; i < at + count; ++i)
                EXPECT_EQ(result.bytes[i], untouched) << "Read touched the buffer beyond the bytes delivered";
        }
        result.bytes.resize(at + got);
        if (got < count)
            break;
    }
    result.damaged = file->IsDamaged();
    result.pastEnd = file->RanPastEnd();
    file->Close();
    if (m_expectSoundReads) {
        EXPECT_FALSE(result.damaged);
        EXPECT_TRUE(g_progress.empty()) << "reading reports no progress";
    }
    return result;
}

void StreamTest::ExpectLikeOracle(const Bytes& data, const std::vector<Bytes>& calls)
{
    Encoded ours = Encode(calls);
    Encoded ref = oracle::Encode(m_method, calls);
    ASSERT_EQ(ours.file, ref.file);
    EXPECT_EQ(ours.progress, ref.progress);
    EXPECT_EQ(DecodeAll(ours.file), data);
}

}   // namespace streamkit
