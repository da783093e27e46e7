// The file layer, the stream base (transfer buffer, bit writer and reader, header),
// the stored stream and the factory.
#include "platform/File.h"
#include "platform/MemFile.h"
#include "streams/CompressedFile.h"
#include "streams/HuffmanFile.h"
#include "streams/LzssFile.h"
#include "streams/LzwFile.h"
#include "streams/StreamFactory.h"
#include "streams/UncompressedFile.h"
#include "tests/support/StreamTestKit.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

namespace {

using namespace streamkit;

// Exposes the base's byte and bit operations.
class BitProbe : public CCompressedFile {
public:
    BitProbe() : CCompressedFile(METHOD_LZW) {}
    BOOL Open(const char* name, UINT flags, CFileException* e = nullptr) override
    {
        m_nMethod = METHOD_LZW;
        return OpenShared(name, flags, e);
    }
    void Close() override { CloseBase(TRUE); }
    using CCompressedFile::InputBits;
    using CCompressedFile::LoadReader;
    using CCompressedFile::LoadWriter;
    using CCompressedFile::PeekBits;
    using CCompressedFile::PutBits;
    using CCompressedFile::ReadByte;
    using CCompressedFile::StoreReader;
    using CCompressedFile::StoreWriter;
    UINT BufferedBytes() const { return m_nBufCount; }
};

class StreamBase : public ProgressTest {};

TEST_F(StreamBase, FileLayerReportsCauseErrnoAndName)
{
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open((dir / "missing").c_str(), CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_EQ(error.m_lOsError, ENOENT);
    EXPECT_NE(error.Describe().find("missing"), std::string::npos);
    EXPECT_FALSE(file.Open((dir / "x").c_str(), CFile::modeWrite, &error)) << "mode 1 never creates";
    EXPECT_FALSE(file.Open((dir / "x").c_str(), 0x42, &error)) << "unknown flags";

    ASSERT_TRUE(file.Open((dir / "x").c_str(), CFile::modeCreate | CFile::modeWrite));
    file.Write("hello", 5);
    EXPECT_EQ(file.GetLength(), 5u);
    EXPECT_EQ(file.Seek(0, CFile::end), 5u);
    char c;
    EXPECT_THROW(file.Read(&c, 1), CFileException) << "reading a write-only file fails loudly";
    file.Close();
}

TEST_F(StreamBase, WriteToFullDeviceThrows)
{
    CFile file;
    if (!file.Open("/dev/full", CFile::modeWrite))
        GTEST_SKIP() << "/dev/full not available";
    try {
        file.Write("x", 1);
        FAIL() << "no exception";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_lOsError, ENOSPC);
        EXPECT_EQ(e.m_strFileName, "/dev/full");
    }
}

TEST_F(StreamBase, DetectMethodNeedsAllEightMagicBytes)
{
    struct Case {
        std::string content;
        int method;
    } cases[] = {
        {"**++LZS", -1},             // 7 bytes
        {"**++lzss and more", -1},   // case matters
        {"**++LZWx........", -1},    // the blank is part of the magic
        {"**++LZSS", 1},           {"**++LZSSanything", 1}, {"**++HUFF", 0}, {"**++LZW ", 2}, {"", -1},
    };
    for (const auto& c : cases) {
        WriteWholeFile(dir / "f", Str(c.content));
        EXPECT_EQ(DetectMethod((dir / "f").c_str()), c.method) << c.content;
    }
    EXPECT_EQ(DetectMethod((dir / "nothing").c_str()), -1);
    EXPECT_EQ(DetectMethod(nullptr), -1);
}

TEST_F(StreamBase, BitWriterPacksMostSignificantBitFirst)
{
    BitProbe s;
    ASSERT_TRUE(s.Open((dir / "b").c_str(), OPEN_CREATE));
    s.PutBits(5, 3);
    s.PutBits(31, 5);
    s.PutBits(0x3, 2);   // left incomplete: never stored
    s.Close();
    auto file = ReadWholeFile(dir / "b");
    ASSERT_EQ(file.size(), 17u);
    EXPECT_EQ(file[16], 0xBF);
    EXPECT_EQ(file[12], 1) << "compressed size counts completed bytes only";
    EXPECT_TRUE(g_progress.empty());
}

TEST_F(StreamBase, FullBufferIsWrittenWhenTheNextByteArrives)
{
    BitProbe s;
    ASSERT_TRUE(s.Open((dir / "b").c_str(), OPEN_CREATE));
    for (int i = 0; i < 32000; ++i)
        s.PutBits(i & 0xFF, 8);
    EXPECT_TRUE(g_progress.empty());
    struct stat st {};
    ASSERT_EQ(stat((dir / "b").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 16) << "32000 buffered bytes make no file write";
    s.PutBits(7, 8);
    EXPECT_EQ(g_progress, (std::vector<UINT> {32000}));
    ASSERT_EQ(stat((dir / "b").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 16 + 32000);
    s.Close();
    auto file = ReadWholeFile(dir / "b");
    EXPECT_EQ(file.size(), 16u + 32001u);
    EXPECT_EQ(file.back(), 7);
}

TEST_F(StreamBase, LoopCopiesOfWriterAndReaderMatchTheSafePaths)
{
    // 40000 codes of 1 to 32 bits (whole bytes in all) across several buffer flushes.
    const auto code = [](UINT i) { return (i * 2654435761u) >> (31 - i % 32); };
    BitProbe safe, loop;
    ASSERT_TRUE(safe.Open((dir / "safe").c_str(), OPEN_CREATE));
    ASSERT_TRUE(loop.Open((dir / "loop").c_str(), OPEN_CREATE));
    CBitWriter out = loop.LoadWriter();
    for (UINT i = 0; i < 40000; ++i) {
        safe.PutBits(code(i), static_cast<int>(i % 32 + 1));
        loop.PutBits(out, code(i), static_cast<int>(i % 32 + 1));
    }
    loop.StoreWriter(out);
    safe.Close();
    loop.Close();
    EXPECT_EQ(ReadWholeFile(dir / "loop"), ReadWholeFile(dir / "safe"));

    ASSERT_TRUE(loop.Open((dir / "loop").c_str(), OPEN_READ));
    CBitReader in = loop.LoadReader();
    for (UINT i = 0; i < 40000 && !in.bPastEnd; ++i) {
        ASSERT_EQ(loop.PeekBits(in, static_cast<int>(i % 32 + 1)), code(i)) << i;
        in.Skip(static_cast<int>(i % 32 + 1));
    }
    EXPECT_FALSE(in.bPastEnd) << "the last real bit is not past the end";
    loop.PeekBits(in, 1);
    in.Skip(1);
    loop.StoreReader(in);
    EXPECT_TRUE(loop.RanPastEnd());
}

TEST_F(StreamBase, ReaderGivesOneBitsPastTheEndAndRecordsIt)
{
    WriteWholeFile(dir / "r", Str(std::string("**++LZW ") + std::string(8, '\0') + "\x12\x34"));
    BitProbe s;
    ASSERT_TRUE(s.Open((dir / "r").c_str(), OPEN_READ));
    EXPECT_EQ(s.InputBits(12), 0x123u);
    EXPECT_FALSE(s.RanPastEnd());
    EXPECT_EQ(s.InputBits(4), 0x4u);
    EXPECT_FALSE(s.RanPastEnd()) << "the last real bit is not past the end";
    EXPECT_EQ(s.InputBits(8), 255u);
    EXPECT_TRUE(s.RanPastEnd());
    EXPECT_EQ(s.InputBits(32), 0xFFFFFFFFu);
    s.Close();
}

TEST_F(StreamBase, HeaderSizesOfAShortHeaderReadAsZero)
{
    WriteWholeFile(dir / "h", Str("**++HUFF\x05\x00"));
    BitProbe s;
    ASSERT_TRUE(s.Open((dir / "h").c_str(), OPEN_READ));
    EXPECT_EQ(s.m_nMethod, METHOD_HUFFMAN);
    EXPECT_EQ(s.m_nOriginalSize, 5u);
    EXPECT_EQ(s.m_nCompressedSize, 0u);
}

TEST_F(StreamBase, StreamDeletedWithoutCloseKeepsItsBytesAndZeroSizes)
{
    auto* s = new BitProbe;
    ASSERT_TRUE(s->Open((dir / "d").c_str(), OPEN_CREATE));
    s->PutBits(0xABCD, 16);
    delete s;
    auto file = ReadWholeFile(dir / "d");
    ASSERT_EQ(file.size(), 18u);
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 8, file.begin() + 16), std::vector<std::uint8_t>(8, 0));
    EXPECT_EQ(file[16], 0xAB);
    EXPECT_EQ(file[17], 0xCD);
}

TEST_F(StreamBase, LongPathsAreKeptWhole)
{
    std::string folder = dir.Path();
    while (folder.size() < 600) {
        folder += "/" + std::string(60, 'd');
        ASSERT_TRUE(std::filesystem::create_directory(folder));
    }
    std::string name = folder + "/" + std::string(200, 'n');
    BitProbe s;
    ASSERT_TRUE(s.Open(name.c_str(), OPEN_CREATE));
    s.PutBits(0x5A, 8);
    s.Close();   // the header is rewritten through the open file, whatever its name
    auto file = ReadWholeFile(name);
    EXPECT_EQ(file[12], 1);
}

TEST_F(StreamBase, StoredStreamRoundTripsAndReportsFlushes)
{
    std::vector<std::uint8_t> data(70000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    {
        CUncompressedFile out;
        ASSERT_TRUE(out.Open((dir / "s").c_str(), OPEN_CREATE));
        out.WriteData(data.data(), static_cast<UINT>(data.size()));
        EXPECT_EQ(out.m_nOriginalSize, 70000u);
        out.Close();
    }
    EXPECT_EQ(g_progress, (std::vector<UINT> {32000, 64000}));
    EXPECT_EQ(ReadWholeFile(dir / "s"), data);

    std::unique_ptr<CCompressedFile> in(CreateCompressedFile((dir / "s").c_str(), nullptr, METHOD_LZW));
    ASSERT_TRUE(in->Open((dir / "s").c_str(), OPEN_READ));
    EXPECT_EQ(in->m_nMethod, METHOD_NONE);
    EXPECT_EQ(in->m_nOriginalSize, 70000u);
    std::vector<std::uint8_t> back(70000);
    UINT got = 0;
    for (UINT chunk : {1u, 31999u, 5u, 64000u})
        got += in->Read(back.data() + got, std::min<UINT>(chunk, 70000 - got));
    EXPECT_EQ(got, 70000u);
    EXPECT_EQ(back, data);
    EXPECT_EQ(in->Read(back.data(), 10), 0u);
    in->Close();

    // Whole buffers go to the file in one call after a partial one is topped up;
    // the flushes reported are the same.
    g_progress.clear();
    {
        CUncompressedFile out;
        ASSERT_TRUE(out.Open((dir / "t").c_str(), OPEN_CREATE));
        out.WriteData(data.data(), 5000);
        out.WriteData(data.data() + 5000, 65000);
        out.Close();
    }
    EXPECT_EQ(g_progress, (std::vector<UINT> {32000, 64000}));
    EXPECT_EQ(ReadWholeFile(dir / "t"), data);
}

TEST_F(StreamBase, EmptyStoredFileAndShortPlainFile)
{
    {
        CUncompressedFile out;
        ASSERT_TRUE(out.Open((dir / "e").c_str(), OPEN_CREATE));
        out.Close();
    }
    EXPECT_TRUE(ReadWholeFile(dir / "e").empty());
    WriteWholeFile(dir / "short", Str("**++"));
    CUncompressedFile in;
    ASSERT_TRUE(in.Open((dir / "short").c_str(), OPEN_READ));
    char buf[8];
    EXPECT_EQ(in.Read(buf, 8), 4u);
}

TEST_F(StreamBase, FactoryPicksTheClassFromTheMagicOrTheNumber)
{
    WriteWholeFile(dir / "lzw", Str("**++LZW rest"));
    struct Case {
        const char* name;
        int method;
        const std::type_info& type;
    } cases[] = {
        {"", METHOD_LZSS, typeid(CLzssFile)},
        {nullptr, METHOD_HUFFMAN, typeid(CHuffmanFile)},
        {nullptr, METHOD_LZW, typeid(CLzwFile)},
        {nullptr, 3, typeid(CUncompressedFile)},
        {nullptr, METHOD_NONE, typeid(CUncompressedFile)},
    };
    for (const auto& c : cases) {
        std::unique_ptr<CCompressedFile> s(CreateCompressedFile(c.name, nullptr, c.method));
        EXPECT_EQ(typeid(*s), c.type) << c.method;
    }
    std::string missing = dir / "missing";
    std::unique_ptr<CCompressedFile> a(CreateCompressedFile(missing.c_str(), nullptr, METHOD_HUFFMAN));
    EXPECT_EQ(typeid(*a), typeid(CUncompressedFile));
    std::string lzw = dir / "lzw";
    std::unique_ptr<CCompressedFile> b(CreateCompressedFile(lzw.c_str(), nullptr, METHOD_HUFFMAN));
    EXPECT_EQ(typeid(*b), typeid(CLzwFile));
}

TEST_F(StreamBase, FactoryKeepsTheEarlierCallbackWhenGivenNone)
{
    std::unique_ptr<CCompressedFile> a(CreateCompressedFile(nullptr, RecordProgress, METHOD_NONE));
    std::unique_ptr<CCompressedFile> b(CreateCompressedFile(nullptr, nullptr, METHOD_NONE));
    EXPECT_EQ(g_pfnProgress, &RecordProgress);
}

// Writers on two threads at once, each with a sink of its own: each sink gets exactly
// the reports its stream alone gives the process-wide callback, which gets none.
TEST_F(StreamBase, StreamsOnTwoThreadsReportToTheirOwnSinksOnly)
{
    const Bytes data[2] = {RandomData(200000, 7, 4), RandomData(130000, 8, 4)};
    const auto write = [](int method, const auto& progress, const Bytes& in, CMemFile& out) {
        std::unique_ptr<CCompressedFile> s(CreateCompressedFile(nullptr, progress, method));
        ASSERT_TRUE(s->OpenFile(out, OPEN_CREATE));
        s->WriteData(in.data(), static_cast<UINT>(in.size()));
        s->Close();
    };
    const auto record = [](void* context, UINT count) { static_cast<std::vector<UINT>*>(context)->push_back(count); };
    for (int method : {METHOD_LZW, METHOD_HUFFMAN, METHOD_NONE}) {
        std::vector<UINT> alone[2], seen[2];
        CMemFile aloneFile[2] = {CMemFile("alone0"), CMemFile("alone1")};
        for (int i = 0; i < 2; ++i) {
            g_progress.clear();
            write(method, ProgressCallback {}, data[i], aloneFile[i]);
            alone[i] = g_progress;
        }
        g_progress.clear();
        CMemFile file[2] = {CMemFile("file0"), CMemFile("file1")};
        std::thread threads[2];
        for (int i = 0; i < 2; ++i)
            threads[i] = std::thread([&, i] { write(method, ProgressSink {record, &seen[i]}, data[i], file[i]); });
        for (std::thread& t : threads)
            t.join();
        EXPECT_TRUE(g_progress.empty()) << method;
        for (int i = 0; i < 2; ++i) {
            EXPECT_FALSE(alone[i].empty()) << method;
            EXPECT_EQ(seen[i], alone[i]) << method << " thread " << i;
            EXPECT_EQ(file[i].Data(), aloneFile[i].Data()) << method;
        }
    }
}

TEST_F(StreamBase, OpenRejectsUnknownFlagsAndMissingFiles)
{
    CUncompressedFile s;
    EXPECT_FALSE(s.Open((dir / "x").c_str(), 0x2000));
    EXPECT_FALSE(s.Open((dir / "x").c_str(), OPEN_READ));
    EXPECT_FALSE(s.Open("", OPEN_CREATE));
}

TEST_F(StreamBase, MemoryFileTakesTheBytesOfADiskFile)
{
    const Bytes data = LongRepeatData(70000, 5);
    const std::string path = dir / "disk";
    for (int method : {METHOD_NONE, METHOD_HUFFMAN, METHOD_LZSS, METHOD_LZW}) {
        SCOPED_TRACE(method);
        const Bytes stale(100000, 0xEE);
        CMemFile memory(stale.data(), stale.size());
        for (bool inMemory : {false, true}) {
            std::unique_ptr<CCompressedFile> writer(CreateCompressedFile(nullptr, nullptr, method));
            ASSERT_TRUE(inMemory ? writer->OpenFile(memory, OPEN_CREATE) : writer->Open(path.c_str(), OPEN_CREATE));
            writer->WriteData(data.data(), static_cast<UINT>(data.size()));
            writer->Close();
        }
        ASSERT_EQ(memory.Data(), ReadWholeFile(path)) << "creating drops the file's old bytes";
        std::unique_ptr<CCompressedFile> reader(CreateCompressedFile(path.c_str(), nullptr, METHOD_NONE));
        ASSERT_TRUE(reader->OpenFile(memory, OPEN_READ));
        Bytes back(data.size() + 1);
        EXPECT_EQ(reader->Read(back.data(), static_cast<UINT>(back.size())), data.size());
        back.pop_back();
        EXPECT_EQ(back, data);
    }
    // A source whose first bytes cannot be read is an error, never a stored file
    // (Windows opens no folder as a file at all).
    CUncompressedFile stream;
#ifdef _WIN32
    CFileException error;
    EXPECT_FALSE(stream.Open(dir.Path().c_str(), OPEN_READ, &error));
    EXPECT_EQ(error.m_lOsError, EISDIR);
#else
    EXPECT_THROW(stream.Open(dir.Path().c_str(), OPEN_READ), CFileException);
#endif
}

TEST_F(StreamBase, FilesBeyondFourGigabytesAreRefusedNotCutShort)
{
    std::string big = dir / "big";
    {
        CFile file;
        ASSERT_TRUE(file.Open(big.c_str(), CFile::modeCreate | CFile::modeWrite));
        try {
            file.SetLength((std::uint64_t {1} << 32) + 10);
        } catch (const CFileException&) {
            GTEST_SKIP() << "no sparse files here";
        }
    }
    CUncompressedFile s;
    CFileException error;
    EXPECT_FALSE(s.Open(big.c_str(), OPEN_READ, &error));
    EXPECT_EQ(error.m_lOsError, EFBIG);
}

}   // namespace
