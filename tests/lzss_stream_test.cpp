// The LZSS stream: exact payloads, the token choices of the search tree, reading in any
// chunking with the side buffer, truncated and arbitrary input, writer misuse, and
// agreement with the reference coder on files, progress and decoded bytes.
#include "bench/HistoryData.h"
#include "streams/LzssFile.h"
#include "tests/oracle/Oracle.h"
#include "tests/support/StreamTestKit.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace streamkit;

struct Token {
    bool literal;
    UINT value;    // literal byte or match position
    UINT length;   // bytes the token stands for
};

// Walks the token stream of a payload until `size` bytes are accounted for.
std::vector<Token> ParseTokens(const Bytes& payload, UINT size)
{
    PayloadBits bits(payload);
    std::vector<Token> tokens;
    for (UINT done = 0; done < size;) {
        if (bits.Take(1)) {
            tokens.push_back({true, bits.Take(8), 1});
        } else {
            UINT pos = bits.Take(12);
            tokens.push_back({false, pos, bits.Take(4) + 2});
        }
        done += tokens.back().length;
    }
    return tokens;
}

// Every stream read here is sound: Reads leave the buffer past what they deliver alone,
// and no damage or progress is reported.
class LzssStream : public StreamTest {
protected:
    LzssStream() : StreamTest(METHOD_LZSS) { m_expectSoundReads = true; }
};

TEST_F(LzssStream, ExactFilesOfShortInputs)
{
    const struct {
        const char* name;
        Bytes data;
        Bytes payload;
    } cases[] = {
        {"empty", {}, {0x00}},
        {"a", Str("a"), {0xB0, 0x80}},
        {"abc", Str("abc"), {0xB0, 0xD8, 0xAC, 0x60, 0x00}},
        {"16 a", Bytes(16, 'a'), {0xB0, 0x80, 0x07, 0x40}},
        {"17 a", Bytes(17, 'a'), {0xB0, 0x80, 0x07, 0x80}},
        {"18 a", Bytes(18, 'a'), {0xB0, 0x80, 0x07, 0xC0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = Encode(c.data).file;
        ASSERT_NO_FATAL_FAILURE(ExpectFileOf(file, "**++LZSS", c.data.size(), c.payload));
        EXPECT_EQ(file, oracle::Encode(METHOD_LZSS, c.data).file);
        EXPECT_EQ(DecodeAll(file), c.data);
    }
}

TEST_F(LzssStream, RunsAreOneLiteralThenMatchesOfSeventeen)
{
    for (UINT n : {2u, 3u, 17u, 18u, 19u, 35u, 36u, 100u, 1000u, 4000u}) {
        SCOPED_TRACE(n);
        Bytes file = Encode(Bytes(n, 0x55)).file;
        std::vector<Token> tokens = ParseTokens(Payload(file), n);
        ASSERT_TRUE(tokens[0].literal);
        UINT at = 2;   // window position of the next token
        for (std::size_t k = 1; k < tokens.size(); ++k) {
            UINT rest = n - (at - 1);
            if (rest == 1) {
                EXPECT_TRUE(tokens[k].literal);
            } else {
                EXPECT_FALSE(tokens[k].literal);
                EXPECT_EQ(tokens[k].value, at - 1);
                EXPECT_EQ(tokens[k].length, std::min(rest, 17u));
            }
            at += tokens[k].length;
        }
    }
}

TEST_F(LzssStream, TokenAtWindowPositionZeroIsALiteral)
{
    Bytes data(70000, 0);
    Bytes file = Encode(data).file;
    std::vector<UINT> literalsAt;
    UINT done = 0;
    for (const Token& t : ParseTokens(Payload(file), 70000)) {
        if (t.literal)
            literalsAt.push_back(done);
        done += t.length;
    }
    EXPECT_EQ(literalsAt, (std::vector<UINT> {0, 61439}));
    EXPECT_EQ(file, oracle::Encode(METHOD_LZSS, data).file);
    EXPECT_EQ(DecodeAll(file), data);
}

// Files, progress and decoded bytes agree with the reference coder across sizes around
// the look-ahead, the window, the transfer buffer, and on every kind of data.
TEST_F(LzssStream, AgreesWithReferenceCoder)
{
    std::vector<std::pair<std::string, Bytes>> inputs;
    for (std::size_t n : {15, 16, 17, 18, 34, 35, 4078, 4079, 4095, 4096, 4097, 4113, 8193})
        inputs.emplace_back("structured " + std::to_string(n), WindowRepeatData(n, UINT(n)));
    inputs.emplace_back("random 100000", RandomData(100000, 7));
    inputs.emplace_back("structured 300000", WindowRepeatData(300000, 9));
    inputs.emplace_back("history 200000", benchdata::HistoryRecords(200000, 3));
    for (const auto& [name, data] : inputs) {
        SCOPED_TRACE(name);
        Bytes file = Encode(data).file;
        std::vector<UINT> progress = g_progress;
        oracle::Encoded expected = oracle::Encode(METHOD_LZSS, data);
        ASSERT_EQ(file, expected.file);
        EXPECT_EQ(progress, expected.progress);
        EXPECT_EQ(file.size(), 16 + Le32(file, 12));
        EXPECT_EQ(DecodeAll(file), data);
    }
}

TEST_F(LzssStream, PayloadFlushesAreReportedInWholeBuffers)
{
    Bytes file = Encode(RandomData(100000, 1)).file;   // incompressible: about 112500 payload bytes
    UINT payload = Le32(file, 12);
    std::vector<UINT> expected;
    for (UINT n = 32000; n < payload; n += 32000)
        expected.push_back(n);
    EXPECT_EQ(g_progress, expected);
}

TEST_F(LzssStream, ShortCallsBeforeTheRestCodeLikeOneCall)
{
    Bytes data = WindowRepeatData(5000, 4);
    Bytes whole = Encode(data).file;
    for (std::vector<std::size_t> sizes : std::vector<std::vector<std::size_t>> {
             {16}, {5, 0, 11}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, {0, 3}}) {
        std::vector<Bytes> calls;
        std::size_t at = 0;
        for (std::size_t s : sizes) {
            calls.emplace_back(data.begin() + at, data.begin() + at + s);
            at += s;
        }
        calls.emplace_back(data.begin() + at, data.end());
        EXPECT_EQ(Encode(calls).file, whole);
    }
    // Fewer than 17 bytes over several calls are coded at Close.
    EXPECT_EQ(Encode({Str("aaaaaa"), Str("aaaaaaaaaa")}).file, Encode(Bytes(16, 'a')).file);
}

TEST_F(LzssStream, BytesAfterCodingRanToTheEndAreRefused)
{
    Bytes data = WindowRepeatData(3000, 5);
    Bytes expected = Encode(data).file;
    std::string name = dir / "more.lzs";
    for (std::vector<Bytes> first :
         {std::vector<Bytes> {data},
          std::vector<Bytes> {Bytes(data.begin(), data.begin() + 10), Bytes(data.begin() + 10, data.end())}}) {
        CLzssFile file;
        ASSERT_TRUE(file.Open(name.c_str(), OPEN_CREATE));
        for (const Bytes& call : first)
            file.WriteData(call.data(), UINT(call.size()));
        UINT compressed = file.m_nCompressedSize;
        ExpectWriteRefused(file, data.data(), 20, EINVAL, name);
        file.WriteData(data.data(), 0);   // nothing to refuse
        EXPECT_EQ(file.m_nOriginalSize, data.size());
        EXPECT_EQ(file.m_nCompressedSize, compressed);
        file.Close();
        EXPECT_EQ(ReadWholeFile(name), expected);
    }
}

TEST_F(LzssStream, DataBeyondFourGigabytesIsRefusedWhole)
{
    std::string name = dir / "big.lzs";
    CLzssFile file;
    ASSERT_TRUE(file.Open(name.c_str(), OPEN_CREATE));
    file.m_nOriginalSize = 0xFFFFFFF0u;   // as after 4 GiB less 16 bytes
    Bytes data(17, 'x');
    ExpectWriteRefused(file, data.data(), 17, EFBIG, name);
    EXPECT_EQ(file.m_nOriginalSize, 0xFFFFFFF0u);
    file.WriteData(data.data(), 15);   // fits exactly
    file.Close();
    Bytes image = ReadWholeFile(name);
    EXPECT_EQ(Le32(image, 8), 0xFFFFFFFFu);
    EXPECT_EQ(Decode(image, {15}).bytes, Bytes(15, 'x'));
}

// Every chunking of the Reads gives the same bytes, including matches split across Reads
// whose rest waits in the side buffer, and Reads of nothing.
TEST_F(LzssStream, AnyChunkingOfReadsGivesTheSameBytes)
{
    Bytes data = WindowRepeatData(60000, 11);
    Bytes file = Encode(data).file;
    std::mt19937 rng(3);
    std::vector<std::vector<UINT>> patterns = {std::vector<UINT>(60000, 1), {5, 13, 0, 59982}, {0, 60000}};
    for (UINT limit : {3u, 20u, 40u, 5000u}) {
        std::vector<UINT> counts;
        for (UINT sum = 0; sum < 60000; sum += counts.back())
            counts.push_back(rng() % limit);
        patterns.push_back(counts);
    }
    for (const auto& counts : patterns) {
        Decoded got = Decode(file, counts);
        ASSERT_GE(got.bytes.size(), data.size());
        EXPECT_EQ(Bytes(got.bytes.begin(), got.bytes.begin() + data.size()), data);
        EXPECT_EQ(got.bytes, oracle::Decode(file, counts));
    }
    // The rest of a split match is handed out without reading a token.
    Bytes split(18, 'a');
    for (char c : {'x', 'y', 'z'})
        split.push_back(static_cast<std::uint8_t>(c));
    EXPECT_EQ(Decode(Encode(split).file, {5, 13, 3}).bytes, split);
}

TEST_F(LzssStream, EndMarkerEndsTheStreamForGood)
{
    // "abc" ends on a byte boundary, so the whole end marker is in the file.
    Decoded got = Decode(Encode(Str("abc")).file, {10, 10});
    EXPECT_EQ(got.bytes, Str("abc"));
    EXPECT_FALSE(got.pastEnd);
    // After "a" the end marker is cut short: reading on stops at the token that needs
    // bits beyond the file, delivers nothing of it, and says so.
    Bytes file = Encode(Str("a")).file;
    got = Decode(file, {10});
    EXPECT_EQ(got.bytes, oracle::Decode(file, {10}));
    EXPECT_EQ(got.bytes, Str("a"));
    EXPECT_TRUE(got.pastEnd);
    EXPECT_FALSE(Decode(file, {1}).pastEnd);
}

TEST_F(LzssStream, TruncatedFilesStopAtTheirEnd)
{
    Bytes data = benchdata::HistoryRecords(40000, 5);
    Bytes file = Encode(data).file;
    std::mt19937 rng(8);
    std::vector<std::size_t> cuts = {8, 12, 15, 16, 17, 18, file.size() - 1};
    for (int i = 0; i < 12; ++i)
        cuts.push_back(16 + rng() % (file.size() - 16));
    for (std::size_t cut : cuts) {
        SCOPED_TRACE(cut);
        Bytes image(file.begin(), file.begin() + cut);
        std::vector<UINT> counts = {40000};
        if (cut < 16)
            counts = {100};   // the sizes are missing: read a fixed amount
        Decoded got = Decode(image, counts);
        EXPECT_EQ(got.bytes, oracle::Decode(image, counts));
        EXPECT_LT(got.bytes.size(), counts[0]);
        EXPECT_TRUE(got.pastEnd);
    }
}

TEST_F(LzssStream, ArbitraryBytesDecodeLikeTheReference)
{
    std::mt19937 rng(12);
    for (int round = 0; round < 40; ++round) {
        Bytes image = Str("**++LZSS");
        Bytes tail = RandomData(rng() % 3000, rng());
        image.insert(image.end(), tail.begin(), tail.end());
        std::vector<UINT> counts;
        for (int i = 0; i < 30; ++i)
            counts.push_back(rng() % (i % 3 == 0 ? 2000 : 40));
        Decoded got = Decode(image, counts);
        bool damaged = false;
        EXPECT_EQ(got.bytes, oracle::Decode(image, counts, &damaged));
        EXPECT_FALSE(damaged);
    }
}

TEST_F(LzssStream, MisusedStreamsStaySafe)
{
    std::string name = dir / "use.lzs";
    Bytes buffer(100);
    {
        CLzssFile file;
        EXPECT_EQ(file.Read(buffer.data(), 100), 0u);   // never opened
        file.WriteData(buffer.data(), 100);
        ASSERT_TRUE(file.Open(name.c_str(), OPEN_CREATE));
        EXPECT_EQ(file.Read(buffer.data(), 100), 0u);   // open for writing
        file.WriteData(buffer.data(), 100);
        file.Close();
        file.Close();
        EXPECT_EQ(file.Read(buffer.data(), 100), 0u);   // closed
    }
    Bytes written = ReadWholeFile(name);
    EXPECT_EQ(written, Encode(Bytes(100, 0)).file);
    {
        CLzssFile file;
        ASSERT_TRUE(file.Open(name.c_str(), OPEN_READ));
        file.WriteData(buffer.data(), 100);   // open for reading
        EXPECT_EQ(file.Read(buffer.data(), 100), 100u);
        EXPECT_EQ(buffer, Bytes(100, 0));
    }   // deleted while open: nothing leaks
    {
        auto file = std::make_unique<CLzssFile>();
        ASSERT_TRUE(file->Open(name.c_str(), OPEN_CREATE));
        Bytes data = RandomData(50000, 2);
        file->WriteData(data.data(), 50000);
    }   // deleted without Close: sizes stay 0, the buffered payload reaches the file
    Bytes left = ReadWholeFile(name);
    EXPECT_EQ(Le32(left, 8), 0u);
    EXPECT_EQ(Le32(left, 12), 0u);
    EXPECT_GT(left.size(), 16u + 32000u);
}

}   // namespace
