// Checks of the reference codecs in tests/oracle against the byte-exact examples of each format,
// the buffer and progress rules of the stream layer, corrupt-stream handling and round trips.
#include "tests/oracle/Oracle.h"
#include "tests/oracle/OracleStream.h"
#include "tests/support/StreamTestKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using oracle::Decode;
using oracle::Encode;
using streamkit::Bytes;
using streamkit::Le32;
using streamkit::Payload;
using streamkit::Str;

namespace {

Bytes Random(std::size_t n, std::uint32_t seed, int range = 256)
{
    Bytes out(n);
    for (auto& b : out) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>((seed >> 16) % static_cast<std::uint32_t>(range));
    }
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Read counts that cut `total` into pieces of the given sizes, cycling.
std::vector<std::uint32_t> Pieces(std::size_t total, std::vector<std::uint32_t> sizes)
{
    std::vector<std::uint32_t> counts;
    for (std::size_t done = 0, i = 0; done < total; ++i) {
        const std::uint32_t n
            = static_cast<std::uint32_t>(std::min<std::size_t>(sizes[i % sizes.size()], total - done));
        counts.push_back(n);
        done += n;
    }
    return counts;
}

// A file assembled from codes of given widths (test-made corrupt streams).
Bytes MakeFile(int method, std::uint32_t originalSize, const std::vector<std::pair<std::uint32_t, int>>& codes)
{
    oracle::StreamWriter out(method);
    for (auto [code, width] : codes)
        out.OutputBits(code, width, 1, false);
    while (out.m_nMask != 0x80)
        out.OutputBit(0);
    out.m_nOriginalSize = originalSize;
    return out.Close().file;
}

struct LzwCode {
    std::uint32_t code;
    int width;
};

// The LZW code stream as (code, width), as far as whole codes are stored (the end code's last
// bits never are, unless the stream ends on a byte boundary).
std::vector<LzwCode> ListLzwCodes(const Bytes& file)
{
    oracle::StreamReader in(file);
    std::vector<LzwCode> codes;
    std::size_t bits = 0;
    int width = 9;
    while (bits + width <= 8 * (file.size() - 16)) {
        const std::uint32_t code = in.InputBits(width);
        bits += width;
        codes.push_back({code, width});
        if (code == 256)
            break;
        if (code == 257)
            ++width;
        if (code == 258)
            width = 9;
    }
    return codes;
}

struct LzssToken {
    bool literal;
    std::uint32_t value;   // the byte, or the window position
    int length;            // bytes covered
};

std::vector<LzssToken> ListLzssTokens(const Bytes& file)
{
    oracle::StreamReader in(file);
    std::vector<LzssToken> tokens;
    for (std::uint32_t covered = 0; covered < in.m_nOriginalSize;) {
        if (in.InputBit() == 1) {
            tokens.push_back({true, in.InputBits(8), 1});
        } else {
            const std::uint32_t pos = in.InputBits(12);
            tokens.push_back({false, pos, static_cast<int>(in.InputBits(4)) + 2});
        }
        covered += static_cast<std::uint32_t>(tokens.back().length);
    }
    return tokens;
}

}   // namespace

// ---- stream layer ------------------------------------------------------------------------------

TEST(OracleStreamLayer, BitWriterPacksMostSignificantBitFirstAndDropsPartialByte)
{
    oracle::StreamWriter w(2);
    w.OutputBits(5, 3, 0, false);
    w.OutputBits(31, 5, 0, false);
    w.OutputBits(1, 3, 0, false);   // three bits that never complete a byte
    const auto enc = w.Close();
    EXPECT_EQ(Payload(enc.file), Bytes {0xBF});
    EXPECT_EQ(Le32(enc.file, 12), 1u);
    EXPECT_TRUE(enc.progress.empty());
}

TEST(OracleStreamLayer, OutputBitsReportsItsPositionAtMultiplesOf1000)
{
    const struct {
        int pos;
        bool flag;
        std::vector<std::uint32_t> want;
    } cases[] = {{0, true, {0}}, {1000, true, {1000}}, {999, true, {}}, {2000, false, {}}};
    for (const auto& c : cases) {
        oracle::StreamWriter w(2);
        w.OutputBits(0xAB, 8, c.pos, c.flag);
        EXPECT_EQ(w.Close().progress, c.want) << c.pos;
    }
}

TEST(OracleStreamLayer, BufferFlushesWhenThe32001stByteArrives)
{
    const struct {
        std::uint32_t bytes;
        std::vector<std::uint32_t> want;
    } cases[] = {{32000, {}}, {32001, {32000}}, {64000, {32000}}, {64001, {32000, 64000}}};
    for (const auto& c : cases) {
        oracle::StreamWriter w(0);
        for (std::uint32_t i = 0; i < c.bytes; ++i)
            w.WriteByte(static_cast<int>(i));
        const auto enc = w.Close();
        EXPECT_EQ(enc.progress, c.want) << c.bytes;
        EXPECT_EQ(enc.file.size(), 16 + c.bytes);
        EXPECT_EQ(Le32(enc.file, 12), c.bytes);
        EXPECT_EQ(enc.file[16 + c.bytes - 1], static_cast<std::uint8_t>(c.bytes - 1));
    }
}

TEST(OracleStreamLayer, ReaderGivesOneBitsPastTheEnd)
{
    const Bytes file = Concat({Str("**++LZW "), Bytes(8, 0), {0x12}});
    oracle::StreamReader r(file);
    EXPECT_EQ(r.InputBits(8), 0x12u);
    EXPECT_EQ(r.InputBits(8), 255u);
    EXPECT_EQ(r.ReadByte(), -1);
    EXPECT_EQ(r.InputBits(8), 255u);
}

TEST(OracleStreamLayer, MethodComesFromAnExactMagic)
{
    const struct {
        std::string head;
        int method;
    } cases[] = {{"**++LZS", -1},     {"**++lzss", -1}, {"**++LZWx", -1}, {"", -1},
                 {"**++LZSS\x01", 1}, {"**++HUFF", 0},  {"**++LZW ", 2},  {"x**++LZW ", -1}};
    for (const auto& c : cases)
        EXPECT_EQ(oracle::DetectMethod(Str(c.head)), c.method) << c.head;
}

TEST(OracleStreamLayer, SizeFieldsOfReaders)
{
    oracle::StreamReader plain(Str("plain"));
    EXPECT_EQ(plain.m_nOriginalSize, 5u);
    EXPECT_EQ(plain.m_nCompressedSize, 5u);
    oracle::StreamReader shortHeader(Concat({Str("**++LZW "), {0x05, 0x01}}));   // what is missing stays 0
    EXPECT_EQ(shortHeader.m_nOriginalSize, 0x105u);
    EXPECT_EQ(shortHeader.m_nCompressedSize, 0u);
}

// ---- stored --------------------------------------------------------------------------------

TEST(OracleStored, FileIsTheDataAndFlushesAreReported)
{
    EXPECT_TRUE(Encode(-1, Bytes {}).file.empty());
    EXPECT_TRUE(Encode(-1, Bytes {}).progress.empty());
    const Bytes data = Random(70000, 1);
    const auto enc = Encode(-1, data);
    EXPECT_EQ(enc.file, data);
    EXPECT_EQ(enc.progress, (std::vector<std::uint32_t> {32000, 64000}));
    EXPECT_EQ(Encode(-1, {Bytes(data.begin(), data.begin() + 5), Bytes(data.begin() + 5, data.end())}).progress,
              enc.progress);
}

TEST(OracleStored, ReadsBackAnyLengthAndTakesMagicFilesForCoded)
{
    for (std::size_t n : {0, 1, 7, 31999, 32000, 32001, 64000, 70000}) {
        const Bytes data = Random(n, static_cast<std::uint32_t>(n));
        EXPECT_EQ(Decode(data), data) << n;
        EXPECT_EQ(Decode(data, Pieces(n, {1, 999, 32000, 5})), data) << n;
    }
    // A plain file that begins with a magic is read as a coded file, here an empty LZSS stream.
    EXPECT_TRUE(Decode(Concat({Str("**++LZSS"), Bytes(9, 0)})).empty());
}

// ---- Huffman ----------------------------------------------------------------------------------

TEST(OracleHuffman, ByteExactExamples)
{
    const struct {
        Bytes data;
        Bytes payload;
    } cases[]
        = {{{}, {0x00}}, {Str("a"), {0xB0, 0xC0}}, {{0x40}, {0xA0, 0x40}}, {Str("abc"), {0xB0, 0x8C, 0x43, 0x1A}}};
    for (const auto& c : cases) {
        const auto enc = Encode(0, c.data);
        streamkit::ExpectFileOf(enc.file, "**++HUFF", c.data.size(), c.payload);
        EXPECT_EQ(Decode(enc.file), c.data);
    }
    EXPECT_EQ(Decode(Encode(0, Str("abc")).file, {1000}), Str("abc"));   // stops at the end code
    const auto zeros = Encode(0, Bytes(1000, 0)).file;
    EXPECT_EQ(Payload(zeros).size(), 127u);
    EXPECT_EQ(Decode(zeros), Bytes(1000, 0));
}

TEST(OracleHuffman, TreeAfterOneByte)
{
    oracle::HuffmanWriter w;
    w.WriteData(Str("a").data(), 1);
    const auto& n = w.m_Model.m_Node;
    EXPECT_EQ(n[0].nWeight, 3u);
    EXPECT_EQ(n[1].nWeight, 2u);
    EXPECT_FALSE(n[1].bChildIsLeaf);
    EXPECT_EQ(n[1].nChild, 3);
    EXPECT_TRUE(n[2].bChildIsLeaf && n[2].nChild == oracle::kHuffEndOfData);
    EXPECT_TRUE(n[3].bChildIsLeaf && n[3].nChild == oracle::kHuffEscape);
    EXPECT_TRUE(n[4].bChildIsLeaf && n[4].nChild == 'a');
    EXPECT_EQ(n[4].nWeight, 1u);
    EXPECT_EQ(w.m_Model.m_nLeaf['a'], 4);
}

TEST(OracleHuffman, AllByteValuesFillTheNodeTable)
{
    Bytes all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(255 - i);
    oracle::HuffmanWriter w;
    w.WriteData(all.data(), 256);
    EXPECT_EQ(w.m_Model.m_nNextFreeNode, 515);
    EXPECT_EQ(Decode(Encode(0, all).file), all);
}

TEST(OracleHuffman, FirstHalvingComesBeforeCountingThe32767thByte)
{
    oracle::HuffmanWriter w;
    const Bytes zeros(32766, 0);
    w.WriteData(zeros.data(), 32766);
    EXPECT_EQ(w.m_Model.m_Node[0].nWeight, 2u + 32766u);
    w.WriteData(zeros.data(), 1);
    const auto& m = w.m_Model;
    EXPECT_EQ(m.m_Node[0].nWeight, 16383u + 1 + 1 + 1);   // halved zero leaf, its new count, two fixed leaves
    EXPECT_EQ(m.m_Node[m.m_nLeaf[oracle::kHuffEndOfData]].nWeight, 1u);
    EXPECT_EQ(m.m_Node[m.m_nLeaf[oracle::kHuffEscape]].nWeight, 1u);
}

TEST(OracleHuffman, HalvingKeepsTheTreeOrderedWithNewInnerNodesFirst)
{
    for (std::uint32_t seed : {21u, 22u, 23u}) {
        oracle::HuffmanWriter w;
        const Bytes data = Random(3000, seed, 12 + static_cast<int>(seed));
        w.WriteData(data.data(), static_cast<std::uint32_t>(data.size()));
        oracle::HuffmanModel m = w.m_Model;
        m.HalveWeights();
        const auto& n = m.m_Node;
        for (int k = 1; k < m.m_nNextFreeNode; ++k) {
            EXPECT_GE(n[k - 1].nWeight, n[k].nWeight) << k;
            if (n[k - 1].nWeight == n[k].nWeight && n[k - 1].bChildIsLeaf) {   // inner nodes lead each run
                EXPECT_TRUE(n[k].bChildIsLeaf) << k;
            }
        }
        for (int k = 0; k < m.m_nNextFreeNode; ++k) {
            if (n[k].bChildIsLeaf) {
                EXPECT_EQ(m.m_nLeaf[n[k].nChild], k);
            } else {
                EXPECT_EQ(n[k].nWeight, n[n[k].nChild].nWeight + n[n[k].nChild + 1].nWeight);
                EXPECT_EQ(n[n[k].nChild].nParent, k);
                EXPECT_EQ(n[n[k].nChild + 1].nParent, k);
                EXPECT_EQ(n[k].nChild % 2, 1);
            }
        }
        EXPECT_EQ(n[0].nParent, -1);
    }
}

TEST(OracleHuffman, SplitCallsAndProgress)
{
    const Bytes data = Concat({Random(60000, 7, 40), Random(40000, 8)});
    const auto one = Encode(0, data);
    const auto many = Encode(0, {Bytes(data.begin(), data.begin() + 3), Bytes(), Bytes(data.begin() + 3, data.end())});
    EXPECT_EQ(many.file, one.file);
    std::vector<std::uint32_t> flushes;
    for (std::uint32_t at = 32000; at < Le32(one.file, 12); at += 32000)
        flushes.push_back(at);
    EXPECT_EQ(one.progress, flushes);
    EXPECT_EQ(flushes.size(), 2u);
}

TEST(OracleHuffman, EscapeOfAKnownByteIsDamage)
{
    // "a" escaped, then the escape leaf (now node 3, path 00) with "a" again.
    const Bytes file = MakeFile(0, 2, {{1, 1}, {'a', 8}, {0, 2}, {'a', 8}});
    bool damaged = false;
    EXPECT_EQ(Decode(file, {2}, &damaged), Str("a"));
    EXPECT_TRUE(damaged);
}

// ---- LZSS -------------------------------------------------------------------------------------

TEST(OracleLzss, ByteExactExamples)
{
    const struct {
        Bytes data;
        Bytes payload;
    } cases[] = {{{}, {0x00}},
                 {Str("a"), {0xB0, 0x80}},
                 {Str("abc"), {0xB0, 0xD8, 0xAC, 0x60, 0x00}},
                 {Bytes(16, 'a'), {0xB0, 0x80, 0x07, 0x40}},
                 {Bytes(17, 'a'), {0xB0, 0x80, 0x07, 0x80}},
                 {Bytes(18, 'a'), {0xB0, 0x80, 0x07, 0xC0}}};
    for (const auto& c : cases) {
        const auto enc = Encode(1, c.data);
        SCOPED_TRACE(c.data.size());
        streamkit::ExpectFileOf(enc.file, "**++LZSS", c.data.size(), c.payload);
        EXPECT_TRUE(enc.progress.empty());
        EXPECT_EQ(Decode(enc.file), c.data);
    }
}

TEST(OracleLzss, EarlyCallsUnder17BytesWaitForTheRest)
{
    const Bytes data = Random(5000, 3, 4);
    const auto one = Encode(1, data);
    EXPECT_EQ(Encode(1, {Bytes(data.begin(), data.begin() + 10), Bytes(data.begin() + 10, data.begin() + 16),
                         Bytes(data.begin() + 16, data.end())})
                  .file,
              one.file);
    EXPECT_EQ(Encode(1, {Bytes(10, 'a'), Bytes(6, 'a')}).file, Encode(1, Bytes(16, 'a')).file);
    // Once coding has run to the end of a call's data, later bytes are counted but not coded.
    const auto late = Encode(1, {Bytes(17, 'a'), Str("xyz")});
    EXPECT_EQ(Payload(late.file), Payload(Encode(1, Bytes(17, 'a')).file));
    EXPECT_EQ(Le32(late.file, 8), 20u);
}

TEST(OracleLzss, RunsAreOneLiteralThen17ByteMatches)
{
    for (std::size_t n : {2, 3, 18, 19, 35, 52, 100}) {
        const auto tokens = ListLzssTokens(Encode(1, Bytes(n, 'z')).file);
        const std::size_t r = (n - 1) % 17;
        ASSERT_EQ(tokens.size(), 1 + (n - 1) / 17 + (r > 0 ? 1 : 0)) << n;
        EXPECT_TRUE(tokens[0].literal);
        std::uint32_t pos = 1;   // window position of the token
        for (std::size_t t = 1; t < tokens.size(); ++t) {
            pos += static_cast<std::uint32_t>(tokens[t - 1].length);
            const bool tail = t == tokens.size() - 1 && r > 0;
            EXPECT_EQ(tokens[t].literal, tail && r == 1) << n;
            EXPECT_EQ(tokens[t].length, tail ? static_cast<int>(r) : 17) << n;
            if (!tokens[t].literal) {
                EXPECT_EQ(tokens[t].value, pos - 1) << n;
            }
        }
    }
}

TEST(OracleLzss, TokenAtWindowPositionZeroIsALiteral)
{
    const Bytes zeros(70000, 0);
    const auto enc = Encode(1, zeros);
    std::vector<std::uint32_t> literalAt;
    std::uint32_t at = 0;
    for (const auto& t : ListLzssTokens(enc.file)) {
        if (t.literal)
            literalAt.push_back(at);
        at += static_cast<std::uint32_t>(t.length);
    }
    EXPECT_EQ(literalAt, (std::vector<std::uint32_t> {0, 61439}));
    EXPECT_EQ(Decode(enc.file, Pieces(70000, {1, 16, 17, 4000})), zeros);
}

TEST(OracleLzss, MatchBytesBeyondTheCountWaitForTheNextRead)
{
    const auto file = Encode(1, Bytes(18, 'a')).file;
    EXPECT_EQ(Decode(file, {5, 13}), Bytes(18, 'a'));
    EXPECT_EQ(Decode(file, {0, 5, 0, 13}), Bytes(18, 'a'));
    // The end marker stops a Read only when all its bits are stored: "abc" ends on a byte
    // boundary (3 literals + marker = 40 bits); "abcd" (49 bits) loses the marker's last bit, so a
    // Read past the original size stops at the token that would need it.
    EXPECT_EQ(Decode(Encode(1, Str("abc")).file, {10}), Str("abc"));
    EXPECT_EQ(Decode(Encode(1, Str("abcd")).file, {10}), Str("abcd"));
}

TEST(OracleLzss, WritesToEntryZeroShapeTheMatches)
{
    // Removing window position 0 acts on whatever entry 0's stale parent link names, and here
    // cuts a subtree out of the search tree: at byte 4426 the writer sends a 9-byte match although
    // the next 15 bytes also stand at window position 3486.
    Bytes data(4792);
    std::uint32_t seed = 16;
    for (std::size_t i = 0; i < data.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        const std::uint32_t r = seed >> 16;
        data[i] = static_cast<std::uint8_t>(i > 0 && r % 4 != 0 ? data[i - 1] : r % 26);
    }
    ASSERT_TRUE(std::equal(data.begin() + 4426, data.begin() + 4441, data.begin() + 3485));
    const auto file = Encode(1, data).file;
    std::uint32_t at = 0;
    bool seen = false;
    for (const auto& t : ListLzssTokens(file)) {
        if (at == 4426) {
            seen = true;
            EXPECT_FALSE(t.literal);
            EXPECT_EQ(t.value, 330u);
            EXPECT_EQ(t.length, 9);
        }
        at += static_cast<std::uint32_t>(t.length);
    }
    EXPECT_TRUE(seen);
    EXPECT_EQ(Decode(file), data);
}

TEST(OracleLzss, ProgressIsFlushesOnly)
{
    const Bytes data = Random(80000, 5);
    const auto enc = Encode(1, data);
    ASSERT_GT(Le32(enc.file, 12), 64000u);
    EXPECT_EQ(enc.progress, (std::vector<std::uint32_t> {32000, 64000}));
}

// ---- LZW --------------------------------------------------------------------------------------

TEST(OracleLzw, ByteExactExamples)
{
    const struct {
        Bytes data;
        Bytes payload;
    } cases[] = {
        {{}, {0x00, 0x40}}, {Str("abc"), {0x30, 0x98, 0x8C, 0x70}}, {Str("ABABABA"), {0x20, 0x90, 0xA0, 0x70, 0x58}}};
    for (const auto& c : cases) {
        const auto enc = Encode(2, c.data);
        streamkit::ExpectFileOf(enc.file, "**++LZW ", c.data.size(), c.payload);
        EXPECT_EQ(Decode(enc.file), c.data);
        EXPECT_EQ(Decode(enc.file, Pieces(c.data.size(), {1})), c.data);
    }
}

TEST(OracleLzw, WidenAndResetCodes)
{
    const Bytes data = Random(120000, 11);
    const auto enc = Encode(2, data);
    const auto codes = ListLzwCodes(enc.file);
    // In the first period, widen k follows the data code whose emission assigned 2^(9+k) - 1.
    std::uint32_t dataCodes = 0;
    int widens = 0;
    std::size_t resetAt = 0;
    for (std::size_t i = 0; i < codes.size() && resetAt == 0; ++i) {
        if (codes[i].code == 257) {
            ++widens;
            EXPECT_EQ(dataCodes, (1u << (8 + widens)) - 1 - 258) << widens;
            EXPECT_EQ(codes[i].width, 8 + widens);
            EXPECT_EQ(codes[i + 1].width, 9 + widens);
        } else if (codes[i].code == 258) {
            resetAt = i;
        } else {
            ++dataCodes;
        }
    }
    EXPECT_EQ(widens, 6);
    ASSERT_NE(resetAt, 0u);
    EXPECT_EQ(dataCodes, 32767u - 258u);
    EXPECT_EQ(codes[resetAt].width, 15);
    EXPECT_EQ(codes[resetAt + 1].width, 9);
    EXPECT_LT(codes[resetAt + 1].code, 256u);
    EXPECT_EQ(Decode(enc.file), data);
}

TEST(OracleLzw, ProgressPositionsAndSplitCalls)
{
    Bytes data(1001, 0);   // zero runs emit at triangular positions, never a multiple of 1000
    data[1000] = 1;
    EXPECT_EQ(Encode(2, data).progress, (std::vector<std::uint32_t> {1000}));
    const auto split = Encode(2, {Bytes(data.begin(), data.begin() + 1000), Bytes {1}});
    EXPECT_EQ(split.progress, (std::vector<std::uint32_t> {0}));   // position in the second call
    EXPECT_EQ(split.file, Encode(2, data).file);
    EXPECT_TRUE(Encode(2, Str("ab")).progress.empty());

    const Bytes big = Random(90000, 13);
    const auto one = Encode(2, big);
    const auto many = Encode(2, {Bytes(big.begin(), big.begin() + 12345), Bytes(big.begin() + 12345, big.end())});
    EXPECT_EQ(many.file, one.file);
    std::vector<std::uint32_t> flushes;
    for (std::uint32_t p : one.progress) {
        EXPECT_EQ(p % 1000, 0u);
        if (p % 32000 == 0 && p > 0)
            flushes.push_back(p);
    }
    EXPECT_GE(flushes.size(), 2u);
}

TEST(OracleLzw, CorruptStreamsStopAndReportDamage)
{
    std::vector<std::pair<std::uint32_t, int>> widenPast15 = {{'x', 9}};
    for (int w = 9; w <= 15; ++w)
        widenPast15.push_back({257, w});
    std::vector<std::pair<std::uint32_t, int>> tooManyEntries = {{0, 9}};
    for (int w = 9; w < 15; ++w)
        tooManyEntries.push_back({257, w});
    tooManyEntries.insert(tooManyEntries.end(), 35000, {0, 15});
    const struct {
        const char* name;
        Bytes file;
        std::size_t delivered;
    } cases[] = {{"undefined code", MakeFile(2, 10, {{'x', 9}, {'y', 9}, {300, 9}}), 2},
                 {"code after reset not a byte", MakeFile(2, 10, {{'x', 9}, {258, 9}, {259, 9}}), 1},
                 {"width past 15", MakeFile(2, 10, widenPast15), 1},
                 {"entries past the banks", MakeFile(2, 40000, tooManyEntries), 2 + 35072 - 259}};
    for (const auto& c : cases) {
        bool damaged = false;
        EXPECT_EQ(Decode(c.file, {40000}, &damaged).size(), c.delivered) << c.name;
        EXPECT_TRUE(damaged) << c.name;
    }
}

TEST(OracleDamage, GarbageAndTruncatedStreamsStayInBounds)
{
    const Bytes data = Concat({Random(3000, 31), Random(3000, 32, 5)});
    for (int method : {0, 1, 2}) {
        const auto good = Encode(method, data).file;
        const Bytes magic(good.begin(), good.begin() + 8);
        for (std::uint32_t seed = 1; seed <= 8; ++seed) {
            const Bytes garbage = Concat({magic, Random(8, seed), Random(1500, seed * 7)});
            EXPECT_LE(Decode(garbage, {20000}).size(), 20000u);
            EXPECT_LE(Decode(garbage, Pieces(3000, {1, 13})).size(), 3000u);
            const Bytes cut(good.begin(), good.begin() + 16 + (good.size() - 16) * seed / 9);
            const auto part = Decode(cut, {static_cast<std::uint32_t>(data.size())});
            ASSERT_LE(part.size(), data.size());
        }
    }
}

// ---- round trips ------------------------------------------------------------------------------

TEST(OracleRoundTrip, EveryMethodWithManyReadPatterns)
{
    const Bytes text = [] {
        Bytes t;
        const std::string line = "12/03/24 10:15:00 TAG_01 23.75 OK\r\n";
        for (int i = 0; i < 600; ++i)
            t.insert(t.end(), line.begin(), line.end() - (i % 7));
        return t;
    }();
    const std::vector<Bytes> datasets
        = {Bytes {}, Str("a"),           Str("ABABABA"),
           text,     Random(5000, 2, 3), Concat({Random(40000, 4), Bytes(9000, 0xFF), text, Random(30000, 6, 16)})};
    for (int method : {-1, 0, 1, 2}) {
        for (const auto& data : datasets) {
            const auto file = Encode(method, data).file;
            bool damaged = true;
            EXPECT_EQ(Decode(file, {static_cast<std::uint32_t>(data.size())}, &damaged), data) << method;
            EXPECT_FALSE(damaged);
            EXPECT_EQ(Decode(file, Pieces(data.size(), {1})), data) << method;
            EXPECT_EQ(Decode(file, Pieces(data.size(), {3, 17, 1, 777, 18, 0})), data) << method;
        }
    }
}
