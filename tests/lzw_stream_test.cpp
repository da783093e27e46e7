// The LZW stream: exact code streams, widths and resets, writing in any split, reading
// in any chunking (also past the end code), corrupt and truncated input, writer misuse,
// and agreement with the reference coder on files, progress calls and decoded bytes.
#include "bench/HistoryData.h"
#include "streams/LzwFile.h"
#include "tests/oracle/Oracle.h"
#include "tests/oracle/OracleStream.h"
#include "tests/support/StreamTestKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace streamkit;

// Splits data into calls of random sizes, empty calls included.
std::vector<Bytes> Split(const Bytes& data, unsigned seed, std::size_t maxCall)
{
    std::mt19937 rng(seed);
    std::vector<Bytes> calls;
    for (std::size_t at = 0; at < data.size();) {
        std::size_t len = rng() % (maxCall + 1);
        len = std::min(len, data.size() - at);
        calls.emplace_back(data.begin() + at, data.begin() + at + len);
        at += len;
    }
    return calls;
}

// Most-significant-bit-first code writer for hand-made streams.
class CodeWriter {
public:
    void Put(UINT code, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            if (m_bit % 8 == 0)
                m_payload.push_back(0);
            if (code >> i & 1)
                m_payload.back() |= static_cast<std::uint8_t>(0x80 >> (m_bit % 8));
            ++m_bit;
        }
    }
    // A complete file: header with the given original size, then the completed bytes.
    Bytes File(UINT originalSize) const
    {
        Bytes f = Str("**++LZW ");
        Bytes payload(m_payload.begin(), m_payload.begin() + static_cast<std::ptrdiff_t>(m_bit / 8));
        for (UINT v : {originalSize, static_cast<UINT>(payload.size())})
            for (int i = 0; i < 4; ++i)
                f.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        f.insert(f.end(), payload.begin(), payload.end());
        return f;
    }

private:
    Bytes m_payload;
    std::size_t m_bit = 0;
};

class LzwStream : public StreamTest {
protected:
    LzwStream() : StreamTest(METHOD_LZW) {}
};

// ---- exact code streams ------------------------------------------------------------

TEST_F(LzwStream, ShortStreamsHaveTheirExactBytes)
{
    struct Case {
        std::string data;
        Bytes payload;
    } cases[] = {
        {"", {0x00, 0x40}},                            // codes 0, 256; two bits of 256 not stored
        {"abc", {0x30, 0x98, 0x8C, 0x70}},             // 97 98 99 256
        {"ABABABA", {0x20, 0x90, 0xA0, 0x70, 0x58}},   // 65 66 259 261 256
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        Bytes file = Encode(Str(c.data)).file;
        ASSERT_NO_FATAL_FAILURE(ExpectFileOf(file, "**++LZW ", c.data.size(), c.payload));
        EXPECT_EQ(DecodeAll(file), Str(c.data));   // ABABABA meets a code while it is defined
    }
}

// Long streams through several dictionary resets, pinned by digest: every build (Linux,
// the Windows build under Wine, any compiler) writes these very bytes.  The data comes
// from the integer generators only, the same on every platform; its digest is pinned
// too, so that a difference there is not taken for the coder's.
TEST_F(LzwStream, LongStreamsHaveTheirPinnedBytes)
{
    const auto digest = [](const Bytes& bytes) {
        std::uint64_t h = 14695981039346656037u;   // FNV-1a
        for (std::uint8_t b : bytes)
            h = (h ^ b) * 1099511628211u;
        return h;
    };
    struct Case {
        Bytes data;
        std::uint64_t dataDigest, fileDigest;
    } cases[] = {
        {RandomData(300000, 7), 0x54b3057c765286f4, 0x63eaad0da4656840},
        {WindowRepeatData(1 << 20, 3), 0x4043220c32c9e633, 0x1ab22c0d0912f901},
        {MixedData(3 << 20, 11, {3000, 0, false}), 0x0b2c20e0778c0b65, 0x4a13000de2f4e041},
    };
    for (const Case& c : cases) {
        const Bytes file = Encode(c.data).file;
        EXPECT_EQ(digest(c.data), c.dataDigest) << "the test data differs";
        EXPECT_EQ(digest(file), c.fileDigest) << file.size() << " bytes";
    }
}

// Codes 259.. are assigned in order; the widen code goes out at the old width right
// after the code whose emission assigned 511, and the next code is 10 bits wide.
TEST_F(LzwStream, WidenFollowsTheCodeThatAssigned511)
{
    // 253 distinct pairs: "a0 a1", "a1 a2" ... with all bytes distinct define 259..511.
    Bytes data;
    for (int i = 0; i < 254; ++i)
        data.push_back(static_cast<std::uint8_t>(i));
    Bytes file = Encode(data).file;
    // 253 data codes at 9 bits, then 257 at 9 bits, then byte 253 at 10 bits, then 256.
    CodeWriter expect;
    for (UINT i = 0; i < 253; ++i)
        expect.Put(i, 9);
    expect.Put(LZW_WIDEN, 9);
    expect.Put(253, 10);
    expect.Put(LZW_END_OF_DATA, 10);
    EXPECT_EQ(file, expect.File(254));
    EXPECT_EQ(DecodeAll(file), data);
}

// Random bytes define a code nearly every byte: several resets, each at 15 bits and
// followed by a 9-bit byte value, which the reader follows.
TEST_F(LzwStream, ResetsComeAt15BitsAndTheReaderFollows)
{
    Bytes data = RandomData(200000, 7);
    Bytes file = Encode(data).file;
    EXPECT_EQ(file, oracle::Encode(METHOD_LZW, data).file);
    EXPECT_EQ(DecodeAll(file), data);
    // Walk the code stream: widths 9..15, resets only at 15 bits, a byte after each.
    PayloadBits bits(Payload(file));
    UINT width = 9, resets = 0;
    bool afterReset = true;
    for (UINT code = bits.Take(width); code != LZW_END_OF_DATA; code = bits.Take(width)) {
        if (afterReset) {
            EXPECT_LT(code, 256u);
        }
        afterReset = false;
        if (code == LZW_WIDEN) {
            ++width;
            ASSERT_LE(width, 15u);
        } else if (code == LZW_RESET) {
            EXPECT_EQ(width, 15u);
            width = 9;
            afterReset = true;
            ++resets;
        }
    }
    EXPECT_GE(resets, 3u);
}

// ---- agreement with the reference coder --------------------------------------------

TEST_F(LzwStream, FilesAndProgressMatchTheReferenceForManyInputs)
{
    std::vector<std::pair<std::string, Bytes>> inputs = {
        {"random", RandomData(90000, 1)},
        {"four letters", RandomData(150000, 2, 4)},
        {"zeros", Bytes(200000, 0)},
        {"history", benchdata::HistoryRecords(300000, 3)},
        {"structured", LongRepeatData(250000, 4)},
        {"text", RandomData(100000, 5, 26)},
    };
    for (std::size_t n : {1u, 2u, 7u, 8u, 9u, 15u, 16u, 17u})
        inputs.push_back({"short " + std::to_string(n), LongRepeatData(n, static_cast<unsigned>(n))});
    for (const auto& [name, data] : inputs) {
        SCOPED_TRACE(name);
        ExpectLikeOracle(data, {data});
    }
}

// The writer's SSE2 and AVX2 dictionary probes (the latter where the processor has it)
// must find the same strings: both write the reference file.
TEST_F(LzwStream, BothProbeKindsWriteTheReferenceFile)
{
    const Bytes inputs[]
        = {benchdata::HistoryRecords(200000, 13), LongRepeatData(150000, 14), RandomData(80000, 15, 7)};
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide);
        g_bLzwWideProbes = wide;
        for (const Bytes& data : inputs)
            ExpectLikeOracle(data, {data});
    }
    g_bLzwWideProbes = true;
}

// 256 seven-byte chunks (distinct first bytes) in random order: nearly every code is a
// chunk plus the next chunk's first byte, about 21000 8-byte strings in the first
// dictionary period, more than the writer's 8-byte index takes.  The file must not change.
TEST_F(LzwStream, ManyEightByteStringsInOnePeriod)
{
    std::mt19937 rng(5);
    std::vector<Bytes> chunks(256);
    for (int j = 0; j < 256; ++j) {
        chunks[j].push_back(static_cast<std::uint8_t>(j));
        for (int k = 1; k < 7; ++k)
            chunks[j].push_back(static_cast<std::uint8_t>(rng() % 2));
    }
    Bytes data;
    while (data.size() < 300000) {
        const Bytes& chunk = chunks[rng() % 256];
        data.insert(data.end(), chunk.begin(), chunk.end());
    }
    for (bool wide : {false, true}) {
        g_bLzwWideProbes = wide;
        ExpectLikeOracle(data, {data});
    }
    g_bLzwWideProbes = true;
}

// Dictionary, string and width carry over between calls: the same file whatever the
// split, and progress positions counted within each call as the reference does.
TEST_F(LzwStream, ManyCallWritesMatchTheReference)
{
    const Bytes data = LongRepeatData(200000, 11);
    const Bytes history = benchdata::HistoryRecords(100000, 12);
    const Bytes oneCall = Encode(data).file;
    for (std::size_t maxCall : {1u, 3u, 9u, 100u, 5000u, 70000u}) {
        SCOPED_TRACE(maxCall);
        const Bytes& source = maxCall == 1 ? history : data;
        std::vector<Bytes> calls = Split(maxCall == 1 ? Bytes(source.begin(), source.begin() + 20000) : source,
                                         static_cast<unsigned>(maxCall), maxCall);
        oracle::Encoded ours = Encode(calls);
        oracle::Encoded ref = oracle::Encode(METHOD_LZW, calls);
        ASSERT_EQ(ours.file, ref.file);
        EXPECT_EQ(ours.progress, ref.progress);
        if (maxCall != 1) {
            EXPECT_EQ(ours.file, oneCall);
        }
    }
}

TEST_F(LzwStream, ProgressReportsCodePositionsAndFlushes)
{
    // Random data emits a code at nearly every position: 1000, 2000, ... appear, and
    // each 32000-byte flush reports its total between them.
    Bytes data = RandomData(70000, 21);
    oracle::Encoded ours = Encode(data);
    EXPECT_EQ(ours.progress, oracle::Encode(METHOD_LZW, data).progress);
    EXPECT_NE(std::find(ours.progress.begin(), ours.progress.end(), 32000u), ours.progress.end());
    EXPECT_NE(std::find(ours.progress.begin(), ours.progress.end(), 5000u), ours.progress.end());
    // A later call whose first byte ends the string reports position 0.
    oracle::Encoded two = Encode(std::vector<Bytes> {Str("ab"), Str("c")});
    EXPECT_EQ(two.progress, std::vector<UINT> {0});
}

// ---- reading in pieces ---------------------------------------------------------------

TEST_F(LzwStream, ReadingInAnyChunksGivesTheSameBytesAsTheReference)
{
    const Bytes data = LongRepeatData(120000, 31);
    const Bytes file = Encode(data).file;
    std::mt19937 rng(32);
    std::vector<std::vector<UINT>> patterns = {
        std::vector<UINT>(data.size() + 5, 1),    // byte by byte, on past the end
        {static_cast<UINT>(data.size()) + 100},   // past the end code in one call
        {0, 5, 0, 70000, static_cast<UINT>(data.size()) - 70005, 9, 9},
    };
    for (int p = 0; p < 3; ++p) {
        std::vector<UINT> counts;
        for (std::size_t total = 0; total < data.size() + 50;) {
            counts.push_back(rng() % (p == 0 ? 17 : p == 1 ? 700 : 40000));
            total += counts.back();
        }
        patterns.push_back(counts);
    }
    for (const auto& counts : patterns) {
        bool refDamaged = false;
        auto [ours, damaged, pastEnd] = Decode(file, counts);
        Bytes ref = oracle::Decode(file, counts, &refDamaged);
        EXPECT_EQ(ours, ref);
        EXPECT_EQ(damaged, refDamaged);
        ASSERT_GE(ours.size(), data.size());
        EXPECT_EQ(Bytes(ours.begin(), ours.begin() + static_cast<std::ptrdiff_t>(data.size())), data);
    }
}

TEST_F(LzwStream, ReadOfZeroAndWriteOfZeroChangeNothing)
{
    Bytes data = Str("ABABABA");
    std::vector<Bytes> calls = {{}, Str("ABA"), {}, Str("BABA"), {}};
    EXPECT_EQ(Encode(calls).file, Encode(data).file);
    EXPECT_EQ(Decode(Encode(data).file, {0, 0, 3, 0, 4}).bytes, data);
}

// ---- corrupt and truncated input -----------------------------------------------------

TEST_F(LzwStream, TruncatedFilesDecodeLikeTheReference)
{
    const Bytes data = benchdata::HistoryRecords(40000, 41);
    const Bytes file = Encode(data).file;
    std::mt19937 rng(42);
    for (int i = 0; i < 40; ++i) {
        std::size_t cut = 16 + rng() % (file.size() - 18);   // at least one byte of data codes goes
        Bytes part(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
        bool refDamaged = false;
        auto [ours, damaged, pastEnd] = Decode(part, static_cast<UINT>(data.size()));
        EXPECT_EQ(ours, oracle::Decode(part, {static_cast<UINT>(data.size())}, &refDamaged));
        EXPECT_EQ(damaged, refDamaged);
        EXPECT_TRUE(pastEnd);
    }
    Decoded whole = Decode(file, static_cast<UINT>(data.size()));
    EXPECT_EQ(whole.bytes, data);
    EXPECT_FALSE(whole.pastEnd);   // the exact original size never needs the missing end bits
}

TEST_F(LzwStream, DamagedFilesStopLikeTheReference)
{
    const Bytes data = LongRepeatData(30000, 51);
    const Bytes file = Encode(data).file;
    std::mt19937 rng(52);
    int damagedCount = 0;
    for (int i = 0; i < 60; ++i) {
        Bytes bad = file;
        for (int flips = 1 + static_cast<int>(rng() % 3); flips > 0; --flips)
            bad[16 + rng() % (bad.size() - 16)] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        std::vector<UINT> counts
            = i % 2 ? std::vector<UINT> {static_cast<UINT>(data.size()) + 1000} : std::vector<UINT>(40, 997);
        bool refDamaged = false;
        auto [ours, damaged, pastEnd] = Decode(bad, counts);
        EXPECT_EQ(ours, oracle::Decode(bad, counts, &refDamaged));
        EXPECT_EQ(damaged, refDamaged);
        damagedCount += damaged;
    }
    EXPECT_GT(damagedCount, 0);
}

// Hand-made streams that no writer makes: each stops with the damage flag after the
// bytes before the fault, exactly where the reference stops.
TEST_F(LzwStream, InvalidCodesMarkTheStreamDamaged)
{
    struct Case {
        const char* name;
        std::vector<std::pair<UINT, int>> codes;
        Bytes delivered;
        bool damaged;
    } cases[] = {
        {"code beyond the next", {{'x', 9}, {261, 9}}, Str("x"), true},
        {"first code not a byte", {{300, 9}}, {}, true},
        {"widen code as first code", {{LZW_WIDEN, 9}}, {}, true},
        {"widen past 15 bits",
         {{'a', 9},
          {LZW_WIDEN, 9},
          {LZW_WIDEN, 10},
          {LZW_WIDEN, 11},
          {LZW_WIDEN, 12},
          {LZW_WIDEN, 13},
          {LZW_WIDEN, 14},
          {'b', 15},
          {LZW_WIDEN, 15},
          {'c', 16}},
         Str("ab"),
         true},
        {"reset then a code being defined", {{'a', 9}, {LZW_RESET, 9}, {259, 9}}, Str("a"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CodeWriter w;
        for (auto [code, bits] : c.codes)
            w.Put(code, bits);
        w.Put(LZW_END_OF_DATA, 9);
        Bytes file = w.File(100);
        std::vector<UINT> counts = {100, 100, 100};
        bool refDamaged = false;
        auto [ours, damaged, pastEnd] = Decode(file, counts);
        Bytes ref = oracle::Decode(file, counts, &refDamaged);
        EXPECT_EQ(ours, ref);
        EXPECT_EQ(damaged, refDamaged);
        EXPECT_EQ(ours, c.delivered);
        EXPECT_EQ(damaged, c.damaged);
    }
}

// A stream that never resets defines entries past code 32767 (never addressable) until
// the 35072 entries are used up: the bytes of that code still go out, then it stops.
TEST_F(LzwStream, EntriesBeyondTheTableStopDecoding)
{
    CodeWriter w;
    w.Put('z', 9);
    UINT width = 9, next = LZW_FIRST_FREE;
    Bytes expect = Str("z");
    while (next <= LZW_ENTRY_COUNT) {
        if (width < 15 && next == (1u << width)) {
            w.Put(LZW_WIDEN, width);
            ++width;
        }
        w.Put('z', width);
        expect.push_back('z');
        ++next;
    }
    w.Put(LZW_END_OF_DATA, width);
    Bytes file = w.File(static_cast<UINT>(expect.size()));
    for (std::vector<UINT> counts :
         {std::vector<UINT> {static_cast<UINT>(expect.size()) + 10}, std::vector<UINT>(expect.size() + 3, 1)}) {
        bool refDamaged = false;
        auto [ours, damaged, pastEnd] = Decode(file, counts);
        EXPECT_EQ(ours, oracle::Decode(file, counts, &refDamaged));
        EXPECT_TRUE(damaged);
        EXPECT_EQ(damaged, refDamaged);
        EXPECT_EQ(ours.size(), LZW_ENTRY_COUNT - LZW_FIRST_FREE + 2);
    }
}

// Reads go on after the end code as the literal reader does: each Read takes further
// codes (missing bits read as 1).  Compared call by call with the reference reader.
TEST_F(LzwStream, ReadsAfterTheEndCodeGoOnLikeTheReference)
{
    CodeWriter odd;   // a period whose first code is the end code leaves 256 as the old code
    for (auto [code, bits] : std::vector<std::pair<UINT, int>> {
             {'q', 9}, {LZW_RESET, 9}, {LZW_END_OF_DATA, 9}, {259, 9}, {259, 9}, {LZW_END_OF_DATA, 9}})
        odd.Put(code, bits);
    struct Case {
        const char* name;
        Bytes file;
        std::vector<UINT> counts;
    } cases[] = {
        {"abc", Encode(Str("abc")).file, {3, 10, 10}},
        {"abc in one", Encode(Str("abc")).file, {20, 20}},
        {"history", Encode(benchdata::HistoryRecords(5000, 81)).file, {4990, 20, 20, 20}},
        {"old code 256", odd.File(1), {1, 100, 100, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir / "after.lzw";
        WriteWholeFile(path, c.file);
        CLzwFile stream;
        ASSERT_TRUE(stream.Open(path.c_str(), OPEN_READ));
        oracle::StreamReader in(c.file);
        oracle::LzwReader reader(in);
        bool refDamaged = false;
        for (UINT count : c.counts) {
            Bytes ours(count);
            ours.resize(stream.Read(ours.data(), count));
            Bytes ref;
            reader.Read(ref, count, refDamaged);
            EXPECT_EQ(ours, ref);
            EXPECT_EQ(stream.IsDamaged(), refDamaged);
        }
        stream.Close();
    }
    // The odd stream: "q", then nothing (the end code opens the period), then the code
    // being defined on old code 256 (two zero bytes and the last first byte "q").
    std::string path = dir / "odd.lzw";
    WriteWholeFile(path, odd.File(1));
    CLzwFile stream;
    ASSERT_TRUE(stream.Open(path.c_str(), OPEN_READ));
    Bytes buf(100);
    EXPECT_EQ(stream.Read(buf.data(), 1), 1u);
    EXPECT_EQ(stream.Read(buf.data(), 100), 0u);
    ASSERT_EQ(stream.Read(buf.data(), 100), 6u);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 6), (Bytes {0, 0, 'q', 0, 0, 0}));
    // The last end code lost its six unstored bits: reading stops there, undamaged.
    EXPECT_FALSE(stream.IsDamaged());
    EXPECT_TRUE(stream.RanPastEnd());
}

// ---- writer lifecycle ----------------------------------------------------------------

TEST_F(LzwStream, SizePast4GiBThrowsBeforeWritingAnything)
{
    std::string path = dir / "big.lzw";
    CLzwFile file;
    ASSERT_TRUE(file.Open(path.c_str(), OPEN_CREATE));
    file.WriteData("abc", 3);
    file.m_nOriginalSize = 0xFFFFFFF0u;
    UINT compressed = file.m_nCompressedSize;
    ASSERT_NO_FATAL_FAILURE(ExpectWriteRefused(file, Bytes(17, 'q').data(), 17, EFBIG, path));
    EXPECT_EQ(file.m_nOriginalSize, 0xFFFFFFF0u);
    EXPECT_EQ(file.m_nCompressedSize, compressed);
    file.WriteData(Bytes(15, 'q').data(), 15);   // up to the limit still fits
    EXPECT_EQ(file.m_nOriginalSize, 0xFFFFFFFFu);
    file.Close();
}

TEST_F(LzwStream, WrongModeCallsDoNothing)
{
    Bytes file = Encode(Str("hello")).file;
    std::string path = dir / "mode.lzw";
    WriteWholeFile(path, file);
    {
        CLzwFile reader;
        ASSERT_TRUE(reader.Open(path.c_str(), OPEN_READ));
        reader.WriteData("xyz", 3);
        EXPECT_EQ(reader.m_nOriginalSize, 5u);
        reader.Close();
    }
    EXPECT_EQ(ReadWholeFile(path), file);
    CLzwFile writer;
    ASSERT_TRUE(writer.Open((dir / "w.lzw").c_str(), OPEN_CREATE));
    char buf[4];
    EXPECT_EQ(writer.Read(buf, 4), 0u);
    writer.Close();
    CLzwFile never;
    EXPECT_EQ(never.Read(buf, 4), 0u);
    never.WriteData("a", 1);
    never.Close();
}

TEST_F(LzwStream, DeletedWithoutCloseKeepsZeroSizesAndNoEndCode)
{
    std::string path = dir / "open.lzw";
    Bytes data = RandomData(40000, 61);
    {
        CLzwFile file;
        ASSERT_TRUE(file.Open(path.c_str(), OPEN_CREATE));
        file.WriteData(data.data(), static_cast<UINT>(data.size()));
    }
    Bytes got = ReadWholeFile(path);
    Bytes closed = Encode(data).file;
    EXPECT_EQ(Le32(got, 8), 0u);
    EXPECT_EQ(Le32(got, 12), 0u);
    ASSERT_LT(got.size(), closed.size());
    EXPECT_EQ(Payload(got), Bytes(closed.begin() + 16, closed.begin() + static_cast<std::ptrdiff_t>(got.size())));
}

TEST_F(LzwStream, ReopeningAStreamStartsAfresh)
{
    Bytes a = LongRepeatData(50000, 71), b = RandomData(3000, 72);
    std::string pa = dir / "a.lzw", pb = dir / "b.lzw";
    CLzwFile file;
    ASSERT_TRUE(file.Open(pa.c_str(), OPEN_CREATE));
    file.WriteData(a.data(), static_cast<UINT>(a.size()));
    file.Close();
    ASSERT_TRUE(file.Open(pb.c_str(), OPEN_CREATE));
    file.WriteData(b.data(), static_cast<UINT>(b.size()));
    file.Close();
    EXPECT_EQ(ReadWholeFile(pa), oracle::Encode(METHOD_LZW, a).file);
    EXPECT_EQ(ReadWholeFile(pb), oracle::Encode(METHOD_LZW, b).file);
    ASSERT_TRUE(file.Open(pa.c_str(), OPEN_READ));
    Bytes back(a.size());
    EXPECT_EQ(file.Read(back.data(), static_cast<UINT>(back.size())), a.size());
    EXPECT_EQ(back, a);
    file.Close();
}

// A closed stream leaves its tables to the next one of its thread: the next files
// still get the reference bytes, and the reader decodes them, whatever the tables
// held before (a full period and its reset, then other data).
TEST_F(LzwStream, NextStreamsOnCachedTablesMatchTheReference)
{
    const Bytes inputs[] = {RandomData(300000, 81), LongRepeatData(70000, 82), RandomData(5000, 83)};
    for (int i = 0; i < 3; ++i) {
        std::string path = dir / ("c" + std::to_string(i) + ".lzw");
        {
            CLzwFile writer;
            ASSERT_TRUE(writer.Open(path.c_str(), OPEN_CREATE));
            writer.WriteData(inputs[i].data(), static_cast<UINT>(inputs[i].size()));
            writer.Close();
        }
        EXPECT_EQ(ReadWholeFile(path), oracle::Encode(METHOD_LZW, inputs[i]).file);
        CLzwFile reader;
        ASSERT_TRUE(reader.Open(path.c_str(), OPEN_READ));
        Bytes back(inputs[i].size());
        reader.Read(back.data(), static_cast<UINT>(back.size()));
        EXPECT_EQ(back, inputs[i]);
    }
}

}   // namespace
