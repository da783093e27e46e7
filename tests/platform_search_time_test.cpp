// The directory search (wildcards, order, entry types, unreadable folders) and
// the local-time functions around daylight-saving changes.
#include "platform/DirSearch.h"
#include "platform/TimeUtil.h"
#include "tests/support/FolderSearch.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const std::vector<DirEntry>& entries)
{
    std::vector<std::string> names;
    for (const DirEntry& e : entries)
        names.push_back(e.name);
    return names;
}

// A fresh folder under the temporary directory, removed with its content.
class TempFolder {
public:
    TempFolder()
    {
#ifdef _WIN32
        // No mkdtemp: a name of the clock's ticks, created exclusively.
        for (long long n = fs::file_time_type::clock::now().time_since_epoch().count();; ++n) {
            const fs::path path = fs::temp_directory_path() / ("tamble-search-" + std::to_string(n));
            if (fs::create_directory(path)) {
                m_path = path.string() + "/";
                break;
            }
        }
#else
        std::string tmpl = (fs::temp_directory_path() / "tamble-search-XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = tmpl + "/";
#endif
    }
    ~TempFolder()
    {
        fs::remove_all(m_path);
    }
    const std::string& Path() const
    {
        return m_path;
    }

    void AddFile(const std::string& name, const std::string& content = "") const
    {
        // By a path of UTF-8 bytes, which Windows' C library would take in its code page.
        const std::string path = m_path + name;
        std::ofstream out(fs::path(std::u8string(path.begin(), path.end())), std::ios::binary);
        ASSERT_TRUE(out.write(content.data(), static_cast<std::streamsize>(content.size()))) << name;
    }

private:
    std::string m_path;
};

}   // namespace

TEST(Wildcard, MatchTable)
{
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        // Case is folded both ways, for ASCII letters only.
        {"0A*.hst", "0a240101.HST", true},
        {"0a*.HST", "0A240101.hst", true},
        {"\xC3\xA4*", "\xC3\x84x", false},
        // "?" is exactly one character.
        {"????????.hst", "0A240101.hst", true},
        {"????????.hst", "0A2401.hst", false},
        {"????????.hst", "100240101.hst", false},
        {"??241230.hsz", "0A241230.hsz", true},
        {"??241230.hsz", "0A241230.hst", false},
        {"??1000101.hsz", "FF1000101.hsz", true},
        {"a?c", "ac", false},
        // "*" takes any run, also an empty one, and gives back what a later part needs.
        {"0A*.hst", "0A.hst", true},
        {"0A*.hst", "0B240101.hst", false},
        {"100*.hst", "100240101.hst", true},
        {"*.hst", "x.hst.bak", false},
        {"*.hst", "a.hst.b.hst", true},
        {"*a*b", "xaxb", true},
        {"*ab*ab", "aab_ab", true},
        {"*ab*ab", "aab_a", false},
        {"a**b", "ab", true},
        {"*?", "", false},
        {"*", "", true},
        {"", "", true},
        {"", "a", false},
        {"abc", "abcd", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchWildcard(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
}

TEST(DirSearch, SortedByteOrderWithoutDotEntries)
{
    TempFolder dir;
    for (const char* name :
         {"\xC3\xA4.hst", "0a240102.hst", "0B240101.hst", "0A240101.hst", "100240101.hst", "0A2401.hst", ".hidden"})
        dir.AddFile(name);

    // Plain unsigned byte order: "." before digits, upper case before lower case,
    // bytes above 0x7F last.
    const std::vector<std::string> all {".hidden",      "0A2401.hst",    "0A240101.hst", "0B240101.hst",
                                        "0a240102.hst", "100240101.hst", "\xC3\xA4.hst"};
    int err = -1;
    EXPECT_EQ(Names(ReadFolder(dir.Path(), &err)), all);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(Names(ListMatching(dir.Path(), "*")), all);
    EXPECT_EQ(Names(ListMatching(dir.Path(), ".*")), (std::vector<std::string> {".hidden"}));
    EXPECT_EQ(Names(ListMatching(dir.Path(), "0A*.hst")),
              (std::vector<std::string> {"0A2401.hst", "0A240101.hst", "0a240102.hst"}));
    EXPECT_EQ(Names(ListMatching(dir.Path(), "????????.HST")),
              (std::vector<std::string> {"0A240101.hst", "0B240101.hst", "0a240102.hst"}));

    // The search object yields the same run, and again after a restart.
    CDirSearch search;
    for (int round = 0; round < 2; ++round) {
        std::vector<std::string> seen;
        for (bool more = search.First(dir.Path() + "0A*.hst"); more; more = search.Next())
            seen.push_back(search.Entry().name);
        EXPECT_EQ(seen, (std::vector<std::string> {"0A2401.hst", "0A240101.hst", "0a240102.hst"}));
        EXPECT_FALSE(search.Next());
        EXPECT_EQ(search.Folder(), dir.Path());
        EXPECT_EQ(search.Error(), 0);
    }
    ASSERT_TRUE(search.First(dir.Path() + "*.hst"));
    search.Close();
    EXPECT_FALSE(search.Next());
    EXPECT_FALSE(search.First(dir.Path() + "*.hsz"));
    EXPECT_EQ(search.Error(), 0);   // nothing matched, but the folder was there
}

TEST(DirSearch, PatternWithoutFolderSearchesTheCurrentFolder)
{
    TempFolder dir;
    dir.AddFile("0A240101.hsz");
    const fs::path before = fs::current_path();
    fs::current_path(dir.Path());
    CDirSearch search;
    const bool found = search.First("??240101.HSZ");
    const std::string name = found ? search.Entry().name : "";
    fs::current_path(before);
    EXPECT_TRUE(found);
    EXPECT_EQ(name, "0A240101.hsz");
}

#ifndef _WIN32   // Not on Windows: FIFOs, and links only with a privilege.
TEST(DirSearch, SizesAndTypesWithoutFollowingLinks)
{
    TempFolder dir;
    dir.AddFile("plain.hst", "12345");
    dir.AddFile("huge.hsz");
    ASSERT_EQ(truncate((dir.Path() + "huge.hsz").c_str(), 5LL << 30), 0);   // sparse, beyond 32 bits
    fs::create_directory(dir.Path() + "folder.hst");
    fs::create_symlink(dir.Path() + "folder.hst", dir.Path() + "linkdir.hst");
    fs::create_symlink("nowhere", dir.Path() + "dangling.hst");
    ASSERT_EQ(mkfifo((dir.Path() + "pipe.hst").c_str(), 0644), 0);

    const std::vector<DirEntry> entries = ReadFolder(dir.Path());
    ASSERT_EQ(Names(entries), (std::vector<std::string> {"dangling.hst", "folder.hst", "huge.hsz", "linkdir.hst",
                                                         "pipe.hst", "plain.hst"}));
    EXPECT_EQ(entries[0].type, DirEntryType::Symlink);
    EXPECT_EQ(entries[0].size, 7u);   // the link's own length ("nowhere")
    EXPECT_EQ(entries[1].type, DirEntryType::Directory);
    EXPECT_EQ(entries[2].type, DirEntryType::File);
    EXPECT_EQ(entries[2].size, 5ULL << 30);
    EXPECT_EQ(entries[3].type, DirEntryType::Symlink);
    EXPECT_EQ(entries[4].type, DirEntryType::Other);
    EXPECT_EQ(entries[5].type, DirEntryType::File);
    EXPECT_EQ(entries[5].size, 5u);
}
#endif

TEST(DirSearch, UnreadableFolderFindsNothingAndTellsWhy)
{
    TempFolder dir;
    dir.AddFile("file");

    int err = 0;
    EXPECT_TRUE(ReadFolder(dir.Path() + "missing/", &err).empty());
    EXPECT_EQ(err, ENOENT);
    EXPECT_TRUE(ListMatching(dir.Path() + "file", "*", &err).empty());
    EXPECT_EQ(err, ENOTDIR);

    CDirSearch search;
    EXPECT_FALSE(search.First(dir.Path() + "missing/*.hst"));
    EXPECT_EQ(search.Error(), ENOENT);
    EXPECT_FALSE(search.Next());
    // A later search in a good folder clears the error.
    EXPECT_TRUE(search.First(dir.Path() + "f*"));
    EXPECT_EQ(search.Error(), 0);
}

#ifndef _WIN32   // Not on Windows: the C library of Windows takes no zone names from TZ.
namespace {

// Runs a test in a fixed time zone and puts the previous one back afterwards.
class LocalTime : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* tz = std::getenv("TZ"))
            m_saved = tz;
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override
    {
        if (m_saved)
            setenv("TZ", m_saved->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> m_saved;
};

struct Date {
    int year, month, day;
    bool operator==(const Date&) const = default;
};

Date DateOf(std::int64_t t)
{
    Date d {0, 0, 0};
    EXPECT_TRUE(LocalDate(t, d.year, d.month, d.day)) << t;
    return d;
}

}   // namespace

TEST_F(LocalTime, MidnightsAroundBothChanges)
{
    // Summer time starts 31 March 2024 at 02:00 and ends 27 October 2024 at 03:00.
    EXPECT_EQ(MakeLocalMidnight(2024, 3, 30), 1711753200);
    EXPECT_EQ(MakeLocalMidnight(2024, 3, 31), 1711839600);
    EXPECT_EQ(MakeLocalMidnight(2024, 4, 1), 1711922400);   // 23 hours later
    EXPECT_EQ(MakeLocalMidnight(2024, 10, 26), 1729893600);
    EXPECT_EQ(MakeLocalMidnight(2024, 10, 27), 1729980000);
    EXPECT_EQ(MakeLocalMidnight(2024, 10, 28), 1730070000);   // 25 hours later

    EXPECT_EQ(DateOf(1711922400), (Date {2024, 4, 1}));
    EXPECT_EQ(DateOf(1730070000 - 1), (Date {2024, 10, 27}));
}

TEST_F(LocalTime, LibraryNormalisesDates)
{
    EXPECT_EQ(MakeLocalMidnight(2025, 2, 29), MakeLocalMidnight(2025, 3, 1));
    EXPECT_EQ(MakeLocalMidnight(2024, 4, 31), MakeLocalMidnight(2024, 5, 1));
    EXPECT_EQ(MakeLocalMidnight(2024, 12, 32), MakeLocalMidnight(2025, 1, 1));
    EXPECT_EQ(MakeLocalMidnight(2024, 13, 1), MakeLocalMidnight(2025, 1, 1));
    EXPECT_EQ(MakeLocalMidnight(1970, 1, 1), -3600);   // before the epoch is not a failure
}

TEST_F(LocalTime, UnconvertibleValuesFail)
{
    // The result's year no longer fits the calendar structure.
    EXPECT_EQ(MakeLocalMidnight(INT_MAX, INT_MAX, 1), -1);
    EXPECT_EQ(MakeLocalMidnight(INT_MAX, 12, INT_MAX), -1);
    // The year or month offset itself does not fit.
    EXPECT_EQ(MakeLocalMidnight(INT_MIN, 1, 1), -1);
    EXPECT_EQ(MakeLocalMidnight(2024, INT_MIN, 1), -1);
    int y = 0, m = 0, d = 0;
    EXPECT_FALSE(LocalDate(INT64_MAX, y, m, d));
    EXPECT_FALSE(LocalDate(INT64_MIN, y, m, d));
    EXPECT_EQ(NextLocalMidnight(INT64_MAX), -1);
}

TEST_F(LocalTime, NextMidnightVisitsEachDateOnce)
{
    for (const Date& start : {Date {2024, 3, 29}, Date {2024, 10, 25}}) {
        std::int64_t t = MakeLocalMidnight(start.year, start.month, start.day);
        std::vector<Date> visited;
        for (int i = 0; i < 5; ++i, t = NextLocalMidnight(t))
            visited.push_back(DateOf(t));
        const std::vector<Date> expected
            = start.month == 3
                  ? std::vector<Date> {{2024, 3, 29}, {2024, 3, 30}, {2024, 3, 31}, {2024, 4, 1}, {2024, 4, 2}}
                  : std::vector<Date> {{2024, 10, 25}, {2024, 10, 26}, {2024, 10, 27}, {2024, 10, 28}, {2024, 10, 29}};
        EXPECT_EQ(visited, expected);
    }
    // Year and month ends roll over.
    EXPECT_EQ(DateOf(NextLocalMidnight(MakeLocalMidnight(2024, 12, 31))), (Date {2025, 1, 1}));
    EXPECT_EQ(DateOf(NextLocalMidnight(MakeLocalMidnight(2024, 2, 28))), (Date {2024, 2, 29}));

    // Stepping by 86400 seconds instead would see 27 October twice.
    EXPECT_EQ(DateOf(MakeLocalMidnight(2024, 10, 27) + 86400), (Date {2024, 10, 27}));
}

#endif

TEST(HistoryYears, ReadAndWrittenForms)
{
    EXPECT_EQ(YearFromTwoDigits(0), 2000);
    EXPECT_EQ(YearFromTwoDigits(24), 2024);
    EXPECT_EQ(YearFromTwoDigits(69), 2069);
    EXPECT_EQ(YearFromTwoDigits(70), 1970);
    EXPECT_EQ(YearFromTwoDigits(99), 1999);

    EXPECT_EQ(TwoDigitYear(1970), 70);
    EXPECT_EQ(TwoDigitYear(1999), 99);
    EXPECT_EQ(TwoDigitYear(2000), 100);   // written as the three characters 100
    EXPECT_EQ(TwoDigitYear(2001), 1);
    EXPECT_EQ(TwoDigitYear(2024), 24);
    EXPECT_EQ(TwoDigitYear(2069), 69);
}
