// The disk file under the streams, on Linux and (cross-built, under Wine) on Windows:
// bytes exactly as written, 64-bit sizes and offsets, UTF-8 names, the causes of errors.
#include "platform/File.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(CFile& file)
{
    Bytes bytes(static_cast<std::size_t>(file.GetLength()) + 1);
    bytes.resize(file.Read(bytes.data(), static_cast<UINT>(bytes.size())));
    return bytes;
}

TEST(DiskFile, BytesComeBackExactlyAsWritten)
{
    TempDir dir;
    // Line ends and the end-of-file mark of text files among every byte value.
    Bytes data = {0x0A, 0x0D, 0x0A, 0x1A, 0x0D, 0x00, 0x1A, 0x0A};
    for (int i = 0; i < 512; ++i)
        data.push_back(static_cast<std::uint8_t>(i * 37));
    CFile out;
    ASSERT_TRUE(out.Open((dir / "bin").c_str(), CFile::modeCreate | CFile::modeWrite));
    out.Write(data.data(), static_cast<UINT>(data.size()));
    out.Sync();
    out.Close();
    EXPECT_EQ(ReadWholeFile(dir / "bin"), data);
    CFile in;
    ASSERT_TRUE(in.Open((dir / "bin").c_str(), CFile::modeRead));
    EXPECT_EQ(in.GetLength(), data.size());
    EXPECT_EQ(ReadAll(in), data);
}

TEST(DiskFile, SizesAndOffsetsPastFourGigabytes)
{
    TempDir dir;
    const std::uint64_t big = (std::uint64_t {1} << 32) + 10;
    CFile file;
    ASSERT_TRUE(file.Open((dir / "big").c_str(), CFile::modeCreate | CFile::modeWrite));
    file.Write("abc", 3);
    EXPECT_EQ(file.Seek(static_cast<std::int64_t>(big) - 4, CFile::begin), big - 4) << "a seek keeps 64 bits";
    EXPECT_EQ(file.Seek(0, CFile::current), big - 4);
    try {
        file.SetLength(big);
    } catch (const CFileException& e) {
        GTEST_SKIP() << "no sparse file of 4 GiB here: " << e.Describe();
    }
    EXPECT_EQ(file.Seek(0, CFile::current), big - 4) << "setting the length leaves the position";
    file.Write("xyz", 3);
    EXPECT_EQ(file.GetLength(), big);
    EXPECT_EQ(file.Seek(0, CFile::end), big);
    file.SetLength(3);
    EXPECT_EQ(file.GetLength(), 3u);
    file.Close();
    CFile in;
    ASSERT_TRUE(in.Open((dir / "big").c_str(), CFile::modeRead));
    EXPECT_EQ(ReadAll(in), (Bytes {'a', 'b', 'c'}));
}

TEST(DiskFile, NamesAreUtf8)
{
    TempDir dir;
    const std::string name = "Pr\xC3\xBC"
                             "fung-\xE6\x97\xA5\xE6\x9C\xAC-\xCE\xA9.hst";   // Prüfung-日本-Ω.hst
    CFile out;
    ASSERT_TRUE(out.Open((dir / name).c_str(), CFile::modeCreate | CFile::modeWrite));
    out.Write("\x0A\x0D", 2);
    out.Close();
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(
             std::u8string(reinterpret_cast<const char8_t*>(dir.Path().data()), dir.Path().size())))) {
        const std::u8string found = entry.path().filename().u8string();
        names.emplace_back(found.begin(), found.end());
    }
    EXPECT_EQ(names, std::vector<std::string> {name}) << "the folder holds the name as it was given";
    CFile in;
    ASSERT_TRUE(in.Open((dir / name).c_str(), CFile::modeRead));
    EXPECT_EQ(ReadAll(in), (Bytes {0x0A, 0x0D}));
}

TEST(DiskFile, ErrorsCarryTheirCause)
{
    TempDir dir;
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open((dir / "missing").c_str(), CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_EQ(error.m_lOsError, ENOENT);
    EXPECT_NE(error.Describe().find(dir / "missing"), std::string::npos) << error.Describe();
    EXPECT_FALSE(file.Open((dir / "missing").c_str(), CFile::modeWrite, &error)) << "writing needs a file";
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_FALSE(file.IsOpen());

    ASSERT_TRUE(file.Open((dir / "w").c_str(), CFile::modeCreate | CFile::modeWrite));
    char byte = 0;
    EXPECT_THROW(file.Read(&byte, 1), CFileException) << "a write-only file cannot be read";
    EXPECT_THROW(file.Seek(-1, CFile::begin), CFileException);
}

}   // namespace
