// The adaptive Huffman stream: exact payloads, the tree after each update, reading in
// any chunking, damaged and truncated input, and agreement with the reference coder.
#include "bench/HistoryData.h"
#include "streams/HuffmanFile.h"
#include "streams/StreamFactory.h"
#include "tests/oracle/Oracle.h"
#include "tests/support/StreamTestKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace streamkit;

// Opens the model to the tests.
class HuffmanProbe : public CHuffmanFile {
public:
    using CHuffmanFile::m_nNextFreeNode;
    const HuffmanNode& Node(int n) const { return m_Node[n]; }
    int Leaf(int s) const { return m_nLeaf[s]; }

    // Every property the coder relies on; returns a description of the first one broken.
    std::string CheckTree() const
    {
        if (m_Node[0].nParent != -1 || m_Node[0].bChildIsLeaf)
            return "root";
        for (int k = 0; k < m_nNextFreeNode; ++k) {
            const HuffmanNode& node = m_Node[k];
            if (k > 0 && m_Node[k - 1].nWeight < node.nWeight)
                return "weight order at " + std::to_string(k);
            if (k > 0) {
                const HuffmanNode& parent = m_Node[node.nParent];
                if (parent.bChildIsLeaf || parent.nChild != k - (k % 2 == 0 ? 1 : 0))
                    return "parent link at " + std::to_string(k);
            }
            if (node.bChildIsLeaf) {
                if (node.nChild < 0 || node.nChild >= HUFF_SYMBOL_COUNT || m_nLeaf[node.nChild] != k)
                    return "leaf link at " + std::to_string(k);
            } else {
                int c = node.nChild;
                if (c % 2 != 1 || c + 1 >= m_nNextFreeNode)
                    return "child pair at " + std::to_string(k);
                if (node.nWeight != m_Node[c].nWeight + m_Node[c + 1].nWeight)
                    return "weight sum at " + std::to_string(k);
            }
        }
        for (int k = m_nNextFreeNode; k < HUFF_NODE_COUNT; ++k)
            if (m_Node[k].nWeight || m_Node[k].nParent || m_Node[k].bChildIsLeaf || m_Node[k].nChild)
                return "unused node " + std::to_string(k) + " not zero";
        if (m_Node[m_nLeaf[HUFF_END_OF_DATA]].nWeight != 1 || m_Node[m_nLeaf[HUFF_ESCAPE]].nWeight != 1)
            return "end or escape leaf counted";
        if (m_Node[0].nWeight > HUFF_MAX_WEIGHT)
            return "root too heavy";
        for (int s = 0; s < HUFF_SYMBOL_COUNT; ++s)
            if (m_nLeaf[s] != -1 && CodeLength(s) > 32)
                return "code longer than 32 bits";
        return "";
    }
    // Writes the escape code and the value, whether or not the value is in the tree.
    void PutEscapeOf(int s)
    {
        UINT code = 0;
        int length = 0;
        for (int n = m_nLeaf[HUFF_ESCAPE]; n != 0; n = m_Node[n].nParent)
            code |= UINT(n % 2 == 0) << length++;
        PutBits(code, length);
        PutBits(static_cast<UINT>(s), 8);
    }
    int CodeLength(int s) const
    {
        int length = 0;
        for (int n = m_nLeaf[s]; n != 0; n = m_Node[n].nParent)
            ++length;
        return length;
    }
};

class HuffmanStream : public StreamTest {
protected:
    HuffmanStream() : StreamTest(METHOD_HUFFMAN) {}
};

// Byte frequencies that follow the Fibonacci numbers: the deepest trees the weights allow.
Bytes FibonacciData(std::size_t size, unsigned seed)
{
    std::vector<std::uint32_t> fib {1, 1};
    while (fib.size() < 24)
        fib.push_back(fib[fib.size() - 1] + fib[fib.size() - 2]);
    std::discrete_distribution<int> pick(fib.begin(), fib.end());
    std::mt19937 rng(seed);
    Bytes out(size);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(pick(rng) * 7);
    return out;
}

// Runs of one value, skewed text-like bytes and a block of every value.
Bytes StructuredData(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    std::geometric_distribution<int> skew(0.15);
    Bytes out;
    while (out.size() < size) {
        switch (rng() % 3) {
        case 0:
            out.insert(out.end(), 1 + rng() % 3000, static_cast<std::uint8_t>(rng()));
            break;
        case 1:
            for (int i = 0; i < 2000; ++i)
                out.push_back(static_cast<std::uint8_t>('a' + skew(rng) % 40));
            break;
        default:
            for (int i = 0; i < 256; ++i)
                out.push_back(static_cast<std::uint8_t>(i));
        }
    }
    out.resize(size);
    return out;
}

// Splits data into WriteData calls of random sizes (some empty).
std::vector<Bytes> SplitCalls(const Bytes& data, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<Bytes> calls;
    for (std::size_t at = 0; at < data.size();) {
        std::size_t n = std::min<std::size_t>(data.size() - at, rng() % 5 == 0 ? 0 : rng() % 40000);
        calls.emplace_back(data.begin() + at, data.begin() + at + n);
        at += n;
    }
    return calls;
}

std::vector<UINT> RandomCounts(std::size_t total, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<UINT> counts;
    for (std::size_t sum = 0; sum <= total;) {
        UINT n = rng() % 4 == 0 ? rng() % 4 : rng() % 50000;
        counts.push_back(n);
        sum += n;
    }
    counts.push_back(static_cast<UINT>(total) + 1);
    return counts;
}

TEST_F(HuffmanStream, ExactPayloads)
{
    struct Case {
        const char* name;
        Bytes data;
        Bytes payload;
    };
    const Case cases[] = {
        {"no data: end code 0 and seven zero bits", {}, {0x00}},
        {"a: escape, 01100001, end code 1 at node 2", Str("a"), {0xB0, 0xC0}},
        {"0x40", {0x40}, {0xA0, 0x40}},
        {"abc", Str("abc"), {0xB0, 0x8C, 0x43, 0x1A}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = Encode(c.data).file;
        ASSERT_NO_FATAL_FAILURE(ExpectFileOf(file, "**++HUFF", c.data.size(), c.payload));
        EXPECT_EQ(Decode(file, 1000).bytes, c.data);
    }

    // A run costs 9 bits, 2 bits, then 1 bit a byte; the end code is then 2 bits.
    Bytes zeros(1000, 0);
    Bytes file = Encode(zeros).file;
    EXPECT_EQ(Le32(file, 12), 127u);
    EXPECT_EQ(file.size(), 16u + 127u);
    EXPECT_EQ(Decode(file, 1000).bytes, zeros);
    EXPECT_TRUE(g_progress.empty()) << "a short payload is written at Close, unreported";
}

TEST_F(HuffmanStream, TreeAfterNewBytesAndWhenFull)
{
    std::string name = dir / "tree.huf";
    HuffmanProbe file;
    ASSERT_TRUE(file.Open(name.c_str(), OPEN_CREATE));
    file.WriteData("a", 1);
    EXPECT_EQ(file.Node(0).nWeight, 3u);
    EXPECT_FALSE(file.Node(1).bChildIsLeaf);
    EXPECT_EQ(file.Node(1).nWeight, 2u);
    EXPECT_EQ(file.Node(1).nChild, 3);
    EXPECT_EQ(file.Leaf(HUFF_END_OF_DATA), 2);
    EXPECT_EQ(file.Leaf(HUFF_ESCAPE), 3);
    EXPECT_EQ(file.Leaf('a'), 4);
    EXPECT_EQ(file.Node(4).nWeight, 1u);
    EXPECT_EQ(file.CheckTree(), "");

    Bytes all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(255 - i);
    file.WriteData(all.data(), 256);
    EXPECT_EQ(file.m_nNextFreeNode, HUFF_NODE_COUNT);
    EXPECT_EQ(file.CheckTree(), "");
    file.Close();
}

TEST_F(HuffmanStream, HalvingKeepsTheTreeValid)
{
    std::string name = dir / "halve.huf";
    HuffmanProbe file;
    ASSERT_TRUE(file.Open(name.c_str(), OPEN_CREATE));
    // Until the first halving the root weighs 2 plus the bytes counted.
    Bytes data = StructuredData(32766, 3);
    file.WriteData(data.data(), static_cast<UINT>(data.size()));
    EXPECT_EQ(file.Node(0).nWeight, HUFF_MAX_WEIGHT);
    EXPECT_EQ(file.CheckTree(), "");
    file.WriteData("x", 1);   // halves before counting the 32767th byte
    EXPECT_LT(file.Node(0).nWeight, HUFF_MAX_WEIGHT / 2 + 300);
    EXPECT_EQ(file.CheckTree(), "");

    // Many halvings, with deep trees and with every byte value present.
    for (const Bytes& more : {FibonacciData(150000, 4), RandomData(70000, 5), StructuredData(100000, 6)}) {
        for (std::size_t at = 0; at < more.size(); at += 4999) {
            UINT n = static_cast<UINT>(std::min<std::size_t>(4999, more.size() - at));
            file.WriteData(more.data() + at, n);
            ASSERT_EQ(file.CheckTree(), "") << "after " << at;
        }
    }
    file.Close();
}

TEST_F(HuffmanStream, MatchesReferenceCoder)
{
    const std::vector<Bytes> inputs = {
        RandomData(1, 1),
        RandomData(300, 2),
        RandomData(70000, 7),
        FibonacciData(80000, 8),
        StructuredData(100000, 9),
        benchdata::HistoryRecords(120000),
        benchdata::HistoryCsv(50000),
        Bytes(70000, 0x55),
    };
    unsigned seed = 100;
    for (const Bytes& data : inputs) {
        SCOPED_TRACE("size " + std::to_string(data.size()));
        oracle::Encoded expect = oracle::Encode(METHOD_HUFFMAN, data);
        Bytes file = Encode(data).file;
        ASSERT_EQ(file, expect.file);
        EXPECT_EQ(g_progress, expect.progress);
        Bytes split = Encode(SplitCalls(data, ++seed)).file;
        EXPECT_EQ(split, expect.file) << "many WriteData calls";
        EXPECT_EQ(g_progress, expect.progress);

        g_progress.clear();
        EXPECT_EQ(Decode(file, static_cast<UINT>(data.size())).bytes, data);
        EXPECT_TRUE(g_progress.empty()) << "reading reports nothing";
        std::vector<UINT> counts = RandomCounts(data.size(), ++seed);
        EXPECT_EQ(Decode(file, counts).bytes, data);
        EXPECT_EQ(Decode(file, counts).bytes, oracle::Decode(file, counts));
    }
}

TEST_F(HuffmanStream, ByteByByteReadsAndWrites)
{
    Bytes data = StructuredData(40000, 11);
    std::vector<Bytes> single;
    for (std::uint8_t b : data)
        single.push_back({b});
    Bytes file = Encode(single).file;
    EXPECT_EQ(file, oracle::Encode(METHOD_HUFFMAN, data).file);
    Decoded one = Decode(file, std::vector<UINT>(data.size() + 1, 1));
    EXPECT_EQ(one.bytes, data);
    EXPECT_FALSE(one.damaged);
    EXPECT_FALSE(one.pastEnd);
}

TEST_F(HuffmanStream, ReadStopsAtEndOfDataAndDeliversNothingAfter)
{
    Bytes file = Encode(Str("abc")).file;
    std::string name = dir / "abc.huf";
    WriteWholeFile(name, file);
    CHuffmanFile in;
    ASSERT_TRUE(in.Open(name.c_str(), OPEN_READ));
    char buf[1000];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(in.Read(buf, 0), 0u);
    EXPECT_EQ(in.Read(buf, 2), 2u);
    EXPECT_EQ(in.Read(buf + 2, 1000 - 2), 1u);
    EXPECT_EQ(std::string(buf, 4), "abc#") << "the rest of the buffer is left as it was";
    EXPECT_EQ(in.Read(buf, 1000), 0u);
    EXPECT_EQ(in.Read(buf, 1), 0u);
    EXPECT_FALSE(in.IsDamaged());
    EXPECT_FALSE(in.RanPastEnd());
    in.Close();
}

TEST_F(HuffmanStream, CorruptEscapesStopDecoding)
{
    // 'a' escaped, then escaped again: 1 01100001 | 00 01100001 | ...
    Bytes twice = {0xB0, 0x8C, 0x3F};
    Bytes file = Encode(Str("a")).file;
    file.resize(16);
    file.insert(file.end(), twice.begin(), twice.end());
    Decoded d = Decode(file, 100);
    EXPECT_EQ(d.bytes, Str("a"));
    EXPECT_TRUE(d.damaged);

    // With every value in the tree (515 nodes used) any escape is corrupt.
    Bytes all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    // The same values, then an escape of 0x00 where the end code belongs.
    std::string corruptName = dir / "corrupt.huf";
    HuffmanProbe writer;
    ASSERT_TRUE(writer.Open(corruptName.c_str(), OPEN_CREATE));
    writer.WriteData(all.data(), 256);
    writer.PutEscapeOf(0x00);
    writer.Close();
    HuffmanProbe in;
    ASSERT_TRUE(in.Open(corruptName.c_str(), OPEN_READ));
    Bytes got(1000);
    ASSERT_EQ(in.Read(got.data(), 1000), 256u);
    got.resize(256);
    EXPECT_EQ(got, all);
    EXPECT_EQ(in.m_nNextFreeNode, HUFF_NODE_COUNT);
    EXPECT_TRUE(in.IsDamaged());
    EXPECT_EQ(in.Read(got.data(), 1), 0u) << "nothing more after damage";
    in.Close();
}

TEST_F(HuffmanStream, DamagedAndTruncatedFilesAgreeWithReference)
{
    Bytes data = StructuredData(1500, 21);
    data.insert(data.end(), 40, 0xEE);
    Bytes file = Encode(data).file;
    // Every cut of the payload: decoding goes on with 1 bits and reports the truncation.
    for (std::size_t cut = 16; cut < file.size(); ++cut) {
        Bytes shorter(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
        Decoded d = Decode(shorter, static_cast<UINT>(data.size()));
        bool damaged = false;
        EXPECT_EQ(d.bytes, oracle::Decode(shorter, {static_cast<UINT>(data.size())}, &damaged)) << cut;
        EXPECT_EQ(d.damaged, damaged) << cut;
        EXPECT_TRUE(d.pastEnd || d.damaged || cut + 1 == file.size()) << cut;
    }
    // Random byte damage: same bytes and same verdict as the reference.
    std::mt19937 rng(22);
    int damagedCount = 0;
    for (int round = 0; round < 200; ++round) {
        Bytes bad = file;
        for (int k = 0; k < 1 + round % 4; ++k)
            bad[16 + rng() % (bad.size() - 16)] ^= static_cast<std::uint8_t>(1 + rng() % 255);
        Decoded d = Decode(bad, 100000);
        bool damaged = false;
        ASSERT_EQ(d.bytes, oracle::Decode(bad, {100000}, &damaged)) << round;
        ASSERT_EQ(d.damaged, damaged) << round;
        damagedCount += damaged;
    }
    EXPECT_GT(damagedCount, 0);
}

TEST_F(HuffmanStream, SizeLimitAndModeGuards)
{
    std::string name = dir / "big.huf";
    CHuffmanFile file;
    ASSERT_TRUE(file.Open(name.c_str(), OPEN_CREATE));
    file.WriteData("abc", 3);
    char buf[4];
    EXPECT_EQ(file.Read(buf, 4), 0u) << "not open for reading";
    file.m_nOriginalSize = 0xFFFFFFFFu - 5;
    UINT compressed = file.m_nCompressedSize;
    ExpectWriteRefused(file, "abcdef", 6, EFBIG, name);   // past 4 GiB
    EXPECT_EQ(file.m_nOriginalSize, 0xFFFFFFFFu - 5);
    EXPECT_EQ(file.m_nCompressedSize, compressed);
    file.WriteData("abcde", 5);
    EXPECT_EQ(file.m_nOriginalSize, 0xFFFFFFFFu);
    file.WriteData("", 0);
    file.Close();
    file.Close();   // a second Close changes nothing
    Bytes image = ReadWholeFile(name);
    EXPECT_EQ(Le32(image, 8), 0xFFFFFFFFu);
    EXPECT_EQ(Le32(image, 12), image.size() - 16);

    CHuffmanFile reader;
    ASSERT_TRUE(reader.Open(name.c_str(), OPEN_READ));
    reader.WriteData("zzz", 3);   // not open for writing: ignored
    char out[8];
    EXPECT_EQ(reader.Read(out, 8), 8u);
    EXPECT_EQ(std::string(out, 8), "abcabcde");
    reader.Close();
    EXPECT_EQ(ReadWholeFile(name), image);

    CHuffmanFile never;
    never.Close();   // never opened: no header to update, nothing thrown
    CHuffmanFile failed;
    EXPECT_FALSE(failed.Open((dir / "no/such/dir.huf").c_str(), OPEN_CREATE));
    EXPECT_NO_THROW(failed.Close());
}

TEST_F(HuffmanStream, FactoryRoundTrip)
{
    Bytes data = benchdata::HistoryRecords(50000, 2);
    std::string name = dir / "fact.hsz";
    std::unique_ptr<CCompressedFile> out(CreateCompressedFile(nullptr, RecordProgress, METHOD_HUFFMAN));
    ASSERT_TRUE(out && out->Open(name.c_str(), OPEN_CREATE));
    out->WriteData(data.data(), static_cast<UINT>(data.size()));
    out->Close();
    std::unique_ptr<CCompressedFile> in(CreateCompressedFile(name.c_str(), nullptr, METHOD_LZW));
    ASSERT_TRUE(dynamic_cast<CHuffmanFile*>(in.get()));
    ASSERT_TRUE(in->Open(name.c_str(), OPEN_READ));
    EXPECT_EQ(in->m_nMethod, METHOD_HUFFMAN);
    ASSERT_EQ(in->m_nOriginalSize, data.size());
    Bytes back(data.size());
    EXPECT_EQ(in->Read(back.data(), in->m_nOriginalSize), data.size());
    EXPECT_EQ(back, data);
    in->Close();
}

}   // namespace
