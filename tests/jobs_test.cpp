// The conversion jobs in-process: history names and date rules, the selection of
// files from one read of the folder, safe targets, the chunked conversion and
// the proof of a compressed twin.
#include "jobs/HistoryFolder.h"
#include "jobs/HistoryNames.h"
#include "jobs/HistorySteps.h"
#include "jobs/JobError.h"
#include "jobs/StreamCheck.h"
#include "jobs/TambleJobs.h"
#include "platform/DirSearch.h"
#include "platform/SafeTarget.h"
#include "platform/StringIds.h"
#include "platform/TimeUtil.h"
#include "streams/StreamFactory.h"
#include "tests/oracle/Oracle.h"
#include "tests/support/FolderSearch.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#ifdef _WIN32
#include "platform/FileLease.h"
#include "platform/Folder.h"
#include "platform/FolderLock.h"
#include "platform/System.h"
#include "platform/TempRegistry.h"

#include <filesystem>
#include <share.h>
#else
#include <sys/resource.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

#ifndef _WIN32   // Not on Windows: the C library of Windows takes no zone names from TZ.
// Runs a test in a zone with daylight saving (summer time 31 March to 27
// October 2024) and puts the previous zone back afterwards.
class BerlinTime : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_env.Set("TZ", "Europe/Berlin");
        tzset();
    }
    void TearDown() override { tzset(); }

private:
    ScopedEnv m_env;
};
#endif

// A view that keeps everything the job shows.
class CRecordingView : public IJobView {
public:
    void SetSourceName(const std::string&) override {}
    void SetTargetName(const std::string&) override {}
    void TransferTexts() override {}
    void SetFileRange(std::uint32_t upper) override { fileRange = upper; }
    void SetFilePos(std::uint32_t pos) override { filePositions.push_back(pos); }
    void RepaintFileBar() override {}
    void SetOverallRange(std::uint16_t upper) override { overallRange = upper; }
    void SetOverallPos(int pos) override { overallPositions.push_back(pos); }
    void RepaintOverallBar() override {}
    void Message(const std::string& text) override { messages.push_back(text); }
    void Log(const std::string& text) override { logs.push_back(text); }
    void EndJob(int result) override { endResults.push_back(result); }

    std::uint32_t fileRange = 0;
    std::vector<std::uint32_t> filePositions;
    std::uint16_t overallRange = 0;
    std::vector<int> overallPositions;
    std::vector<std::string> messages, logs;
    std::vector<int> endResults;
};

// Readings as a history file holds them: compressible, not trivially so.
Bytes HistoryLike(std::size_t size)
{
    Bytes data(size);
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        data[i] = static_cast<std::uint8_t>((i % 16 < 4) ? i / 16 : (state >> 28) + '0');
    }
    return data;
}

// Writes data with one WriteData call of the stream of method.
void WriteInOneCall(const std::string& path, int method, const Bytes& data)
{
    std::unique_ptr<CCompressedFile> stream(CreateCompressedFile(nullptr, nullptr, method));
    ASSERT_TRUE(stream->Open(path.c_str(), OPEN_CREATE));
    stream->WriteData(data.data(), static_cast<UINT>(data.size()));
    stream->Close();
}

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    for (const DirEntry& entry : ReadFolder(folder))
        names.push_back(entry.name);
    return names;
}

bool HasTemporaries(const std::string& folder)
{
    for (const std::string& name : Names(folder))
        if (name.find(".tamble-tmp.") != std::string::npos)
            return true;
    return false;
}

void Touch(const std::string& path, const std::string& text = "x")
{
    WriteWholeFile(path, Bytes(text.begin(), text.end()));
}

}   // namespace

// --- names and dates --------------------------------------------------------

TEST(HistoryNames, NamesPatternsAndTwins)
{
    EXPECT_EQ(GroupText(10), "0A");
    EXPECT_EQ(GroupText(255), "FF");
    EXPECT_EQ(GroupText(256), "100");
    EXPECT_EQ(CompressPattern(-1), "????????.hst");
    EXPECT_EQ(CompressPattern(10), "0A*.hst");
    EXPECT_EQ(CompressPattern(256), "100*.hst");
    EXPECT_EQ(DayPattern(-1, 2024, 12, 30), "??241230.hsz");
    EXPECT_EQ(DayPattern(10, 2025, 1, 1), "0A250101.hsz");
    EXPECT_EQ(DayPattern(-1, 2000, 1, 1), "??1000101.hsz");   // the year 2000 is written as 100
    EXPECT_EQ(DayPattern(-1, 1999, 12, 31), "??991231.hsz");

    EXPECT_EQ(NameDateStart(12), 2);
    EXPECT_EQ(NameDateStart(13), 3);
    EXPECT_EQ(NameDateStart(10), -1);
    EXPECT_EQ(NameDateStart(14), -1);

    EXPECT_EQ(TwinName("0A240305.hst", ".hsz"), "0A240305.hsz");
    EXPECT_EQ(TwinName("0A240305.HST", ".hsz"), "0A240305.hsz");   // never the source itself
    EXPECT_EQ(TwinName("0A240305.HsZ", ".hst"), "0A240305.hst");
}

TEST(HistoryNames, NumbersAreReadAsAtoiReadsThem)
{
    EXPECT_EQ(ReadNumber("24"), 24);
    EXPECT_EQ(ReadNumber(" 5"), 5);
    EXPECT_EQ(ReadNumber("5A"), 5);
    EXPECT_EQ(ReadNumber("AB"), 0);
    EXPECT_EQ(ReadNumber("-1"), -1);
    EXPECT_EQ(ReadNumber("+7"), 7);
    EXPECT_EQ(ReadNumber(""), 0);
    EXPECT_EQ(ReadNumber("99999999999"), INT_MAX);
    EXPECT_EQ(ReadNumber("-99999999999"), INT_MIN);

    const HistoryDate date = NameDate("0A240305.hst", 2);
    EXPECT_EQ(date.year, 2024);
    EXPECT_EQ(date.month, 3);
    EXPECT_EQ(date.day, 5);
    EXPECT_EQ(NameDate("100991231.hst", 3).year, 1999);
    EXPECT_EQ(NameDate("0A24AB01.hst", 2).month, 0);   // not a number: out of range later
}

#ifndef _WIN32   // Not on Windows: the dates are those of named zones (TZ), which the C library of Windows does not read.
TEST_F(BerlinTime, StartDateIsReadAtFixedPositions)
{
    struct Case {
        const char* text;
        int year, month, day;
    };
    const Case cases[] = {
        {"12/30/24", 2024, 12, 30},   {"03-05-2024", 2024, 3, 5},
        {"3/05/24", 2004, 3, 5},      // one-digit month: the fields stay where they are
        {"03/05/1969", 2069, 3, 5},   // a four-digit year before 1970 moves up too
        {"03/05/69", 2069, 3, 5},     {"03/05/70", 1970, 3, 5},
        {"2026-10-15", 2026, 10, 15}, {"1850-01-01", 1850, 1, 1},   // ISO: read as written
    };
    for (const Case& c : cases) {
        HistoryDate date;
        ASSERT_TRUE(ReadStartDate(c.text, date)) << c.text;
        EXPECT_EQ(date.year, c.year) << c.text;
        EXPECT_EQ(date.month, c.month) << c.text;
        EXPECT_EQ(date.day, c.day) << c.text;
    }
    HistoryDate date;
    EXPECT_FALSE(ReadStartDate("1/1/24", date));
    EXPECT_FALSE(ReadStartDate("", date));
    ASSERT_TRUE(ReadStartDate("2026-1-150", date));   // not ISO: the fixed positions
    EXPECT_EQ(date.month, 20);
}

TEST_F(BerlinTime, DatesAreCheckedAndFutureDatesMoveBackAYear)
{
    const std::int64_t now = MakeLocalMidnight(2026, 12, 7) + 3600;
    std::int64_t midnight = 0;

    ASSERT_EQ(ResolveDate({2026, 12, 7}, now, midnight), DateResult::Ok);
    EXPECT_EQ(midnight, MakeLocalMidnight(2026, 12, 7));
    ASSERT_EQ(ResolveDate({2026, 12, 31}, now, midnight), DateResult::Ok);
    EXPECT_EQ(midnight, MakeLocalMidnight(2025, 12, 31));
    ASSERT_EQ(ResolveDate({2069, 3, 5}, now, midnight), DateResult::Ok);
    EXPECT_EQ(midnight, MakeLocalMidnight(2068, 3, 5));
    ASSERT_EQ(ResolveDate({2025, 2, 29}, now, midnight), DateResult::Ok);   // the library's normalisation
    EXPECT_EQ(midnight, MakeLocalMidnight(2025, 3, 1));

    for (const HistoryDate& bad : {HistoryDate {2024, 13, 1}, HistoryDate {2024, 0, 1}, HistoryDate {2024, 1, 0},
                                   HistoryDate {2024, 1, 32}, HistoryDate {1899, 1, 1}})
        EXPECT_EQ(ResolveDate(bad, now, midnight), DateResult::OutOfRange) << bad.year << "-" << bad.month;
    EXPECT_EQ(DateFault({2024, 13, 1}), IDS_CAUSE_MONTH);
    EXPECT_EQ(DateFault({2024, 1, 32}), IDS_CAUSE_DAY);

    // Only midnights from 1 January 1970 to 31 December 3000 can be formed
    // (1 January 1970 in Berlin is before the epoch).
    EXPECT_EQ(ResolveDate({1970, 1, 1}, now, midnight), DateResult::Ok);
    EXPECT_EQ(ResolveDate({1969, 12, 31}, now, midnight), DateResult::Unconvertible);
    EXPECT_EQ(ResolveDate({1950, 6, 1}, now, midnight), DateResult::Unconvertible);
    EXPECT_EQ(ResolveDate({3000, 12, 31}, MakeLocalMidnight(3000, 12, 31), midnight), DateResult::Ok);
    EXPECT_EQ(ResolveDate({3000, 12, 32}, now, midnight), DateResult::OutOfRange);
    EXPECT_EQ(ResolveDate({3001, 1, 1}, now, midnight), DateResult::Unconvertible);
    EXPECT_EQ(DateFault({3001, 1, 1}), IDS_CAUSE_YEAR);
}

// --- selection from one read of the folder ----------------------------------

namespace {

// The entries the per-day searches of a window yield, day by day, stepping
// dates by the calendar.
std::vector<std::vector<std::string>> PerDaySearches(const std::string& folder, std::int64_t start, int days, int group)
{
    std::vector<std::vector<std::string>> result;
    for (int n = 0; n < days; ++n, start = NextLocalMidnight(start)) {
        HistoryDate d;
        LocalDate(start, d.year, d.month, d.day);
        std::vector<std::string> found;
        CDirSearch search;
        for (bool more = search.First(folder + DayPattern(group, d.year, d.month, d.day)); more; more = search.Next())
            found.push_back(search.Entry().name);
        if (!found.empty())
            result.push_back(found);
    }
    return result;
}

std::vector<std::vector<std::string>> WindowNames(const CHistoryFolder& folder, const ExtractWindow& window)
{
    std::vector<std::vector<std::string>> result;
    for (const ExtractDay& day : window.days) {
        result.emplace_back();
        for (std::size_t i : day.entries)
            result.back().push_back(folder.Entries()[i].name);
    }
    return result;
}

}   // namespace

TEST_F(BerlinTime, OneReadSelectsWhatThePerDaySearchesFind)
{
    TempDir dir;
    for (const char* name : {"0A991231.hsz", "0B991231.hsz", "0A1000101.hsz", "0a1000101.HSZ", "0A000101.hsz",
                             "1001000102.hsz", "100000102.hsz", "0A000102.hsz", "FF000102.hsz", "0A1000102.hst",
                             "0A991231.hst", "xx1000102.hsz", "0A1000103.hsz.bak", "A1000101.hsz"})
        Touch(dir / name);
    ::mkdir((dir / "0C1000102.hsz").c_str(), 0755);   // a folder is found as the searches find it

    const std::string folder = dir.Path() + "/";
    CHistoryFolder history;
    std::string cause;
    ASSERT_TRUE(history.Read(folder, cause)) << cause;
    const std::int64_t start = MakeLocalMidnight(1999, 12, 30);
    for (int group : {-1, 10, 256}) {
        ExtractWindow window;
        ASSERT_TRUE(history.Window(start, 5, group, window));
        EXPECT_EQ(WindowNames(history, window), PerDaySearches(folder, start, 5, group)) << "group " << group;
    }
    ExtractWindow all;
    ASSERT_TRUE(history.Window(start, 5, 10, all));
    EXPECT_EQ(all.countAllGroups, 6u);   // the range counts all groups whatever group is extracted

    for (const std::string& pattern : {CompressPattern(-1), CompressPattern(10), CompressPattern(256)}) {
        std::vector<std::string> expected, found;
        CDirSearch search;
        for (bool more = search.First(folder + pattern); more; more = search.Next())
            expected.push_back(search.Entry().name);
        for (std::size_t i : history.Matching(pattern))
            found.push_back(history.Entries()[i].name);
        EXPECT_EQ(found, expected) << pattern;
    }
}

TEST_F(BerlinTime, WindowVisitsEachDateOnceAcrossBothClockChanges)
{
    TempDir dir;
    for (int day = 24; day <= 31; ++day) {
        Touch(dir / ("0A2410" + std::to_string(day) + ".hsz"));
        Touch(dir / ("0B2410" + std::to_string(day) + ".hsz"));
    }
    for (const char* name : {"0A240329.hsz", "0A240330.hsz", "0A240331.hsz", "0A240401.hsz", "0A240402.hsz"})
        Touch(dir / name);
    CHistoryFolder history;
    std::string cause;
    ASSERT_TRUE(history.Read(dir.Path() + "/", cause)) << cause;

    // Autumn: 27 October has 25 hours; five dates from the 25th end on the 29th.
    ExtractWindow autumn;
    ASSERT_TRUE(history.Window(MakeLocalMidnight(2024, 10, 25), 5, -1, autumn));
    ASSERT_EQ(autumn.days.size(), 5u);
    for (std::size_t i = 0; i < autumn.days.size(); ++i) {
        EXPECT_EQ(autumn.days[i].date.day, 25 + static_cast<int>(i));
        EXPECT_EQ(autumn.days[i].entries.size(), 2u);
    }
    EXPECT_EQ(autumn.countAllGroups, 10u);

    // Spring: 31 March has 23 hours; no date is skipped.
    ExtractWindow spring;
    ASSERT_TRUE(history.Window(MakeLocalMidnight(2024, 3, 29), 5, 10, spring));
    ASSERT_EQ(spring.days.size(), 5u);
    EXPECT_EQ(spring.days[3].date.month, 4);
    EXPECT_EQ(spring.days[3].date.day, 1);
    EXPECT_EQ(spring.countAllGroups, 5u);
}

TEST(ExtractWindow, DatesStepAsTheLibraryStepsThemAndEndWithTheYear3000)
{
    // Zones with midnights the clock skips (São Paulo), a whole date skipped
    // (Apia, 30 December 2011) and half-hour changes (Lord Howe).
    for (const char* zone : {"America/Sao_Paulo", "Pacific/Apia", "Australia/Lord_Howe", "UTC"}) {
        ScopedEnv env;
        env.Set("TZ", zone);
        tzset();
        std::int64_t midnight = MakeLocalMidnight(1970, 1, 1);
        CLocalDates dates;
        ASSERT_TRUE(dates.Start(midnight));
        for (int n = 0; n < 60000; ++n) {
            midnight = NextLocalMidnight(midnight);
            ASSERT_TRUE(dates.Next());
            HistoryDate want;
            ASSERT_TRUE(LocalDate(midnight, want.year, want.month, want.day));
            ASSERT_EQ(dates.m_nYear * 10000 + dates.m_nMonth * 100 + dates.m_nDay,
                      want.year * 10000 + want.month * 100 + want.day)
                << zone << " after " << n << " steps";
        }
    }
    tzset();

    TempDir dir;
    for (const char* name : {"0A10001230.hsz", "0A10001231.hsz", "0B10001231.hsz", "0A700101.hsz"})
        Touch(dir / name);
    CHistoryFolder history;
    std::string cause;
    ASSERT_TRUE(history.Read(dir.Path() + "/", cause)) << cause;
    ExtractWindow window;
    const auto began = std::chrono::steady_clock::now();
    ASSERT_TRUE(history.Window(MakeLocalMidnight(3000, 12, 31), INT_MAX, 10, window));
    ASSERT_EQ(window.days.size(), 1u);
    EXPECT_EQ(history.Entries()[window.days[0].entries.at(0)].name, "0A10001231.hsz");
    EXPECT_EQ(window.countAllGroups, 2u);
    // From the first date on: every date to the end, the names of 1970 found twice (2070).
    ASSERT_TRUE(history.Window(MakeLocalMidnight(1970, 1, 1), INT_MAX, -1, window));
    EXPECT_EQ(window.days.size(), 4u);
    EXPECT_EQ(window.countAllGroups, 5u);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
}
#endif

// --- safe targets -----------------------------------------------------------

#ifndef _WIN32   // Not on Windows: permission bits (the Windows test below checks the read-only attribute and the times).
TEST(SafeTarget, TemporaryIsRecognisableAndGoesOnFailure)
{
    TempDir dir;
    std::string cause;
    {
        CSafeTarget target;
        ASSERT_TRUE(target.Create(dir / "a.hsz", cause)) << cause;
        const std::string temp = target.TempPath().substr(dir.Path().size() + 1);
        EXPECT_EQ(temp.rfind(".a.hsz.tamble-tmp." + std::to_string(::getpid()) + ".", 0), 0u) << temp;
        struct stat st {};
        ASSERT_EQ(::lstat(target.TempPath().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }   // destroyed without Commit
    EXPECT_TRUE(Names(dir.Path()).empty());

    // A name at the folder's limit still gets a temporary (its name shortened).
    const std::string longName(NAME_MAX, 'n');
    CSafeTarget longTarget;
    EXPECT_TRUE(longTarget.Create(dir / longName, cause)) << cause;
    longTarget.Discard();

    CSafeTarget missing;
    EXPECT_FALSE(missing.Create(dir / "no-such-folder/a.hsz", cause));
    EXPECT_NE(cause.find("No such file"), std::string::npos) << cause;
    EXPECT_TRUE(Names(dir.Path()).empty());
}

TEST(SafeTarget, CommitCopiesPermissionsAndTimesAndRespectsAnExistingTarget)
{
    TempDir dir;
    Touch(dir / "source");
    ASSERT_EQ(::chmod((dir / "source").c_str(), 0640), 0);
    const struct timespec times[2] = {{1000000000, 0}, {1200000000, 5}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "source").c_str(), times, 0), 0);
    FileInfo source;
    ASSERT_TRUE(InfoOfPath(dir / "source", source));

    std::string cause;
    CSafeTarget target;
    ASSERT_TRUE(target.Create(dir / "made", cause));
    ASSERT_TRUE(target.Commit(source, false, cause)) << cause;
    struct stat made {};
    ASSERT_EQ(::stat((dir / "made").c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 07777, 0640u);
    EXPECT_EQ(made.st_mtim.tv_sec, 1200000000);

    // Without replace an existing target stays as it is and the temporary goes.
    Touch(dir / "taken", "keep me");
    CSafeTarget second;
    ASSERT_TRUE(second.Create(dir / "taken", cause));
    EXPECT_FALSE(second.Commit(source, false, cause));
    EXPECT_EQ(ReadWholeFile(dir / "taken"), Bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
    EXPECT_FALSE(HasTemporaries(dir.Path()));

    CSafeTarget third;
    ASSERT_TRUE(third.Create(dir / "taken", cause));
    EXPECT_TRUE(third.Commit(source, true, cause)) << cause;
    EXPECT_TRUE(ReadWholeFile(dir / "taken").empty());
}
#endif

// --- conversion -------------------------------------------------------------

TEST(ConvertFile, ChunkedConversionWritesWhatOneCallWritesAndTheBarFollowsTheSource)
{
    TempDir dir;
    const Bytes data = HistoryLike(JOB_CHUNK_SIZE * 2 + 12345);
    WriteWholeFile(dir / "plain", data);
    WriteInOneCall(dir / "expected.lzw", METHOD_LZW, data);

    CRecordingView view;
    CTambleJobs jobs(view);
    ASSERT_TRUE(jobs.ConvertFile(dir / "plain", dir / "chunked.lzw", METHOD_LZW));
    EXPECT_EQ(ReadWholeFile(dir / "chunked.lzw"), ReadWholeFile(dir / "expected.lzw"));

    const auto checkBar = [&](std::uint64_t sourceSize) {
        ASSERT_GE(view.filePositions.size(), 3u);
        EXPECT_EQ(view.filePositions.front(), 0u);
        EXPECT_EQ(view.filePositions.back(), sourceSize);
        for (std::size_t i = 1; i < view.filePositions.size(); ++i)
            EXPECT_LE(view.filePositions[i - 1], view.filePositions[i]);
        view.filePositions.clear();
    };
    checkBar(data.size());

    ASSERT_TRUE(jobs.ConvertFile(dir / "chunked.lzw", dir / "back", METHOD_NONE));
    EXPECT_EQ(ReadWholeFile(dir / "back"), data);
    checkBar(ReadWholeFile(dir / "chunked.lzw").size());

    // The LZSS writer takes its data in one block; the result is the same as one call.
    WriteInOneCall(dir / "expected.lzss", METHOD_LZSS, data);
    ASSERT_TRUE(jobs.ConvertFile(dir / "chunked.lzw", dir / "made.lzss", METHOD_LZSS));
    EXPECT_EQ(ReadWholeFile(dir / "made.lzss"), ReadWholeFile(dir / "expected.lzss"));
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(jobs.ExitStatus(), 0);
}

TEST(ConvertFile, DamagedSourceMakesNoTargetAndSaysWhy)
{
    TempDir dir;
    const Bytes data = HistoryLike(200000);
    WriteInOneCall(dir / "good.lzw", METHOD_LZW, data);
    Bytes coded = ReadWholeFile(dir / "good.lzw");

    Bytes truncated(coded.begin(), coded.end() - 1000);
    WriteWholeFile(dir / "truncated.lzw", truncated);
    Bytes overstated = coded;   // the header promises more than the payload holds
    overstated[10] ^= 0x10;
    WriteWholeFile(dir / "overstated.lzw", overstated);

    for (const char* name : {"truncated.lzw", "overstated.lzw"}) {
        CRecordingView view;
        CTambleJobs jobs(view);
        Touch(dir / "out", "earlier content");
        EXPECT_FALSE(jobs.ConvertFile(dir / name, dir / "out", METHOD_NONE)) << name;
        ASSERT_EQ(view.messages.size(), 1u) << name;
        EXPECT_EQ(view.messages[0].rfind("The file is damaged! " + (dir / name), 0), 0u) << view.messages[0];
        EXPECT_EQ(ReadWholeFile(dir / "out"),
                  Bytes({'e', 'a', 'r', 'l', 'i', 'e', 'r', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't'}));
        EXPECT_FALSE(HasTemporaries(dir.Path()));
        EXPECT_EQ(jobs.ExitStatus(), 1);
    }
}

#ifndef _WIN32   // Not on Windows: the peak memory is read with getrusage.
TEST(ConvertFile, TrailingBytesKeepTheTargetAndLyingSizesAllocateNothing)
{
    TempDir dir;
    const Bytes data = HistoryLike(3000);
    WriteInOneCall(dir / "good.lzw", METHOD_LZW, data);
    Bytes coded = ReadWholeFile(dir / "good.lzw");
    coded.insert(coded.end(), 12, 'x');
    WriteWholeFile(dir / "tail.lzw", coded);
    CRecordingView view;
    CTambleJobs jobs(view);
    EXPECT_TRUE(jobs.ConvertFile(dir / "tail.lzw", dir / "out", METHOD_NONE));
    EXPECT_EQ(ReadWholeFile(dir / "out"), data);
    EXPECT_EQ(view.messages, std::vector<std::string>({"The file is damaged! " + (dir / "tail.lzw")
                                                       + ": 12 bytes after the coded data; its data is complete in "
                                                       + (dir / "out")}));
    EXPECT_EQ(jobs.ExitStatus(), 1);

    // A header claiming 256 MiB over 2 KB of codes: the one-block LZSS writer's
    // buffer follows the data, not the claim.
    coded.resize(coded.size() - 12);
    coded[11] = 0x10;
    WriteWholeFile(dir / "claims.lzw", coded);
    struct rusage before {};
    struct rusage after {};
    ::getrusage(RUSAGE_SELF, &before);
    EXPECT_FALSE(jobs.ConvertFile(dir / "claims.lzw", dir / "claims.lzss", METHOD_LZSS));
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kB";
    EXPECT_EQ(view.messages.back(),
              "The file is damaged! " + (dir / "claims.lzw")
                  + ": its coded data runs out after 3000 of the 268438456 bytes its header gives");
}
#endif

// --- the full check of a coded file ------------------------------------------

TEST(StreamCheck, EveryCorrectWriterTestsIntact)
{
    TempDir dir;
    auto check = [&](const Bytes& file) {
        WriteWholeFile(dir / "f", file);
        StreamSummary summary;
        JobFault fault;
        return CheckFile(dir / "f", true, summary, fault) ? std::string("OK") : fault.cause;
    };
    // Lengths around every way a stream can end, and long enough for Huffman
    // halvings and LZW resets; the reference writers stand for any correct writer.
    for (int method : {METHOD_HUFFMAN, METHOD_LZSS, METHOD_LZW})
        for (std::size_t size : {0, 1, 2, 3, 7, 16, 17, 18, 19, 33, 100, 1000, 4097, 40000, 300000}) {
            Bytes file = oracle::Encode(method, HistoryLike(size)).file;
            EXPECT_EQ(check(file), "OK") << method << " " << size;
            // A writer that pads the end code's last byte and stores it.
            if (method != METHOD_HUFFMAN && file.size() % 2) {
                file.push_back(0);
                file[12] += 1;
                EXPECT_EQ(check(file), "OK") << method << " " << size << " padded";
            }
        }
    // An empty LZW stream of the end code alone.
    EXPECT_EQ(check(Bytes {'*', '*', '+', '+', 'L', 'Z', 'W', ' ', 0, 0, 0, 0, 1, 0, 0, 0, 0x80}), "OK");
}

TEST(StreamCheck, DamageIsNamedInWords)
{
    TempDir dir;
    auto check = [&](Bytes file, std::size_t at = 0, std::uint8_t value = 0) {
        if (at)
            file[at] = value;
        WriteWholeFile(dir / "f", file);
        StreamSummary summary;
        JobFault fault;
        return CheckFile(dir / "f", true, summary, fault) ? std::string("OK") : fault.cause;
    };
    // "abc" as LZW: codes 97, 98, 99, 256; the end code's last four bits unstored.
    const Bytes abc = {'*', '*', '+', '+', 'L', 'Z', 'W', ' ', 3, 0, 0, 0, 4, 0, 0, 0, 0x30, 0x98, 0x8C, 0x70};
    EXPECT_EQ(check(abc), "OK");
    EXPECT_EQ(check(abc, 8, 2), "data goes on past the 2 bytes its header gives");
    EXPECT_EQ(check(abc, 8, 4), "its coded data runs out after 3 of the 4 bytes its header gives");
    EXPECT_EQ(check(abc, 12, 6), "ends 2 bytes early");
    EXPECT_EQ(check(abc, 12, 3), "its header gives 3 bytes of coded data, it has 4 bytes");
    EXPECT_EQ(check(abc, 19, 0x60), "data goes on past the 3 bytes its header gives");
    EXPECT_EQ(check(Bytes(abc.begin(), abc.end() - 1)), "ends 1 byte early");
    Bytes tail = abc;
    tail.insert(tail.end(), 12, 0xFF);
    EXPECT_EQ(check(tail), "12 bytes after the coded data");
    for (auto [at, value] : {std::pair {7, '!'}, {4, 'X'}, {5, 'Y'}})
        EXPECT_EQ(check(abc, static_cast<std::size_t>(at), value), "not a known method: damaged magic");
    EXPECT_EQ(check(Bytes(abc.begin(), abc.begin() + 8)), "shorter than its 16-byte header (8 bytes)");
    // An LZSS header claiming 4 GiB over nothing stops at once.
    EXPECT_EQ(check({'*', '*', '+', '+', 'L', 'Z', 'S', 'S', 255, 255, 255, 255, 0, 0, 0, 0}),
              "its coded data runs out after 0 of the 4294967295 bytes its header gives");
}

#ifndef _WIN32   // Not on Windows: /proc/self/mem and the texts of Linux errors.
TEST(ConvertFile, SourceMayBeItsOwnTargetAndOpenFailuresNameTheFile)
{
    TempDir dir;
    const Bytes data = HistoryLike(5000);
    WriteWholeFile(dir / "same", data);
    CRecordingView view;
    CTambleJobs jobs(view);
    ASSERT_TRUE(jobs.ConvertFile(dir / "same", dir / "same", METHOD_LZW));
    ASSERT_TRUE(jobs.ConvertFile(dir / "same", dir / "same", METHOD_NONE));
    EXPECT_EQ(ReadWholeFile(dir / "same"), data);

    EXPECT_FALSE(jobs.ConvertFile(dir / "missing", dir / "out", METHOD_LZW));
    EXPECT_FALSE(jobs.ConvertFile(dir.Path(), dir / "out", METHOD_LZW));   // a folder is no source
    EXPECT_FALSE(jobs.ConvertFile(dir / "same", dir / "none/out", METHOD_LZW));
    // A regular file whose first read fails is no stored file without a magic.
    EXPECT_FALSE(jobs.ConvertFile("/proc/self/mem", dir / "out", METHOD_NONE));
    ASSERT_EQ(view.messages.size(), 4u);
    EXPECT_EQ(view.messages[0], "Couldn't open file! " + (dir / "missing") + ": No such file or directory");
    EXPECT_EQ(view.messages[1], "Couldn't open file! " + dir.Path() + ": not a regular file");
    EXPECT_EQ(view.messages[2], "Couldn't create! " + (dir / "none/out") + ": No such file or directory");
    EXPECT_EQ(view.messages[3], "Couldn't open file! /proc/self/mem: Input/output error");
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>({"same"}));
}
#endif

// --- proof of a compressed twin ---------------------------------------------

TEST(Proof, TwinMustDecodeToExactlyThePlainBytes)
{
    TempDir dir;
    const Bytes data = HistoryLike(70000);
    WriteWholeFile(dir / "plain", data);
    WriteInOneCall(dir / "twin", METHOD_LZW, data);
    std::string cause;
    EXPECT_TRUE(CompareDecoded(dir / "twin", dir / "plain", cause)) << cause;

    Bytes changed = data;
    changed[65000] ^= 1;
    WriteWholeFile(dir / "changed", changed);
    EXPECT_FALSE(CompareDecoded(dir / "twin", dir / "changed", cause));
    EXPECT_EQ(cause, "its content differs within bytes 0 to 70000");
    Bytes longer = data;
    longer.push_back('!');
    WriteWholeFile(dir / "longer", longer);
    EXPECT_FALSE(CompareDecoded(dir / "twin", dir / "longer", cause));
    EXPECT_EQ(cause, "it holds 70000 bytes, the plain file 70001");

    Bytes coded = ReadWholeFile(dir / "twin");
    coded.resize(coded.size() / 2);
    WriteWholeFile(dir / "half", coded);
    EXPECT_FALSE(CompareDecoded(dir / "half", dir / "plain", cause));
    EXPECT_NE(cause.find("early"), std::string::npos) << cause;
    EXPECT_FALSE(CompareDecoded(dir / "twin", dir / "gone", cause));
    EXPECT_EQ(cause, std::strerror(ENOENT));

    // A stored twin holds the plain bytes as they are.
    EXPECT_TRUE(CompareDecoded(dir / "plain", dir / "plain", cause)) << cause;
}

// A history step hands back what its file came to: said, counted and settled
// only by the job's thread, so a dropped outcome leaves the folder as it was.
TEST(HistoryStep, HandsBackLinesCountsAndThePendingTwin)
{
    TempDir dir;
    const Bytes data = HistoryLike(30000);
    WriteWholeFile(dir / "0A200305.hst", data);
    WriteWholeFile(dir / "0A201305.hst", data);   // month 13
    CFolder folder;
    int error = 0;
    ASSERT_TRUE(folder.Open(dir.Path(), false, error));
    JobSettings settings;
    settings.zipMode = ZIP_MODE_COMPRESS;
    settings.fileType = FILE_TYPE_HISTORY;
    const HistoryStepContext context {settings, folder, folder, Time64Now(), 30 * 86400};
    std::vector<UINT> bar;
    const FilePosSink sink = [&](UINT pos) { bar.push_back(pos); };

    FileOutcome made = CompressStep(context, "0A200305.hst", sink);
    EXPECT_TRUE(made.lines.empty());
    EXPECT_EQ(made.status, 0);
    ASSERT_TRUE(made.pending);
    EXPECT_EQ(made.pending->plainName, "0A200305.hst");
    EXPECT_EQ(made.pending->targetName, "0A200305.hsz");
    EXPECT_EQ(made.pending->fileIn, data.size());
    EXPECT_EQ(made.tally.converted + made.tally.passedOver + made.tally.failed, 0u);   // its group counts it
    ASSERT_FALSE(bar.empty());
    EXPECT_EQ(bar.back(), data.size());

    const FileOutcome bad = CompressStep(context, "0A201305.hst", sink);
    ASSERT_EQ(bad.lines.size(), 1u);
    EXPECT_TRUE(bad.lines[0].message);
    EXPECT_EQ(bad.status, 1);
    EXPECT_FALSE(bad.stopsJob);
    EXPECT_EQ(bad.tally.passedOver, 1u);
    EXPECT_EQ(bad.tally.badNames, 1u);
    EXPECT_FALSE(bad.pending);

    EXPECT_TRUE(HasTemporaries(dir.Path()));   // the twin waits for its group
    made = {};                                 // dropped: its twin's temporary goes, the plain file stays
    EXPECT_FALSE(HasTemporaries(dir.Path()));
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>({"0A200305.hst", "0A201305.hst"}));
}

// Reading ahead on a thread of its own: every chunk arrives once and in order, and a
// sink that fails or throws stops the reading thread, which is joined.
TEST(ReadAhead, ChunksInOrderAndStopsOnFailureOrThrow)
{
    TempDir dir;
    const Bytes data = HistoryLike((5 << 20) + 12345);
    WriteWholeFile(dir / "plain", data);
    for (int stopAt : {0, 2, 3}) {   // 0: take all; 2: fail at the second chunk; 3: throw at the third
        SCOPED_TRACE(stopAt);
        JobFault fault;
        CSourceStream stream = OpenReader(dir / "plain", fault);
        ASSERT_TRUE(stream) << fault.cause;
        Bytes seen;
        int chunks = 0;
        const auto take = [&](const std::uint8_t* bytes, UINT count, UINT delivered, JobFault& failed) {
            if (++chunks == 3 && stopAt == 3)
                throw std::runtime_error("sink");
            seen.insert(seen.end(), bytes, bytes + count);
            EXPECT_EQ(delivered, seen.size());
            failed.cause = "sink";
            return chunks != stopAt;
        };
        UINT delivered = 0;
        if (stopAt == 3) {
            EXPECT_THROW(ReadChunksAhead(*stream, IDS_ERR_READ, take, delivered, fault), std::runtime_error);
            continue;
        }
        const bool ok = ReadChunksAhead(*stream, IDS_ERR_READ, take, delivered, fault);
        EXPECT_EQ(ok, stopAt == 0);
        EXPECT_EQ(seen.size(), stopAt == 0 ? data.size() : std::size_t {2} << 20);
        EXPECT_TRUE(std::equal(seen.begin(), seen.end(), data.begin()));
    }
}

#ifdef _WIN32
// --- Windows: handles held without sharing ----------------------------------

namespace {

std::filesystem::path FsPath(const std::string& name)
{
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

}   // namespace

// A history compression and its extraction: each plain file goes once its twin is
// proven, except the one another program holds open (kept, not a failure); the
// lock file and no temporary remain.  An extraction brings the bytes back.
TEST(WindowsHistory, PlainFilesGoOnlyWhenNobodyHasThemOpen)
{
    TempDir dir;
    const Bytes data = HistoryLike(70000);
    for (const char* name : {"0A200101.hst", "0A200102.hst", "0B200101.hst"})
        WriteWholeFile(dir / name, data);
    // A writer that lets others read but not write or delete.
    const int writer = _sopen((dir / "0B200101.hst").c_str(), _O_RDWR | _O_BINARY, _SH_DENYWR);
    ASSERT_GE(writer, 0);
    JobSettings settings;
    settings.zipMode = ZIP_MODE_COMPRESS;
    settings.fileType = FILE_TYPE_HISTORY;
    settings.source = dir.Path();
    settings.number = 30;
    settings.jobs = 2;
    CRecordingView view;
    CTambleJobs compress(view, settings);
    compress.RunJob();
    _close(writer);
    EXPECT_EQ(compress.ExitStatus(), 0) << ::testing::PrintToString(view.messages);
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>({"0A200101.hsz", "0A200102.hsz", "0B200101.hst"}));
    EXPECT_EQ(ReadWholeFile(dir / "0B200101.hst"), data);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_NE(view.messages[0].find("0B200101.hst"), std::string::npos) << view.messages[0];

    settings.zipMode = ZIP_MODE_EXTRACT;
    settings.startDate = "01/01/20";
    settings.number = 2;
    CTambleJobs extract(view, settings);
    extract.RunJob();
    EXPECT_EQ(extract.ExitStatus(), 0) << ::testing::PrintToString(view.messages);
    EXPECT_EQ(Names(dir.Path()).size(), 5u) << ::testing::PrintToString(Names(dir.Path()));
    for (const char* name : {"0A200101.hst", "0A200102.hst"})
        EXPECT_EQ(ReadWholeFile(dir / name), data) << name;
}

// What the stop handler does before the process ends: the temporary in flight goes
// (through its handle, which shares no deletion) and a plain file set aside under its
// lease's handle is put back under its name.
TEST(WindowsHistory, AStopRemovesTheTemporaryAndPutsASetAsideFileBack)
{
    // The death test's child runs this test again from its start: it works in the
    // parent's folder, which it finds in the environment.
    const char* given = std::getenv("TAMBLE_TEST_STOP_FOLDER");
    std::unique_ptr<TempDir> own;
    ScopedEnv env;
    if (!given) {
        own = std::make_unique<TempDir>();
        WriteWholeFile(*own / "0A200101.hst", Bytes(5, 'p'));
        env.Set("TAMBLE_TEST_STOP_FOLDER", own->Path());
    }
    const std::string path = given ? given : own->Path();
    const auto stopped = [&] {
        CFolder folder;
        int error = 0;
        std::string cause;
        CSafeTarget target;
        CFileLease lease;
        if (!folder.Open(path, false, error) || !target.Create(folder, "0A200101.hsz", cause)
            || lease.Take(folder.Handle(), "0A200101.hst", error) != CFileLease::Result::Held)
            std::_Exit(1);
        RegisterSetAsideAt(folder.Handle(), ".0A200101.hst.aside", "0A200101.hst");
        const int moved = folder.Rename("0A200101.hst", ".0A200101.hst.aside", false);
        CreationReturned();
        if (moved != 0 || PathExists(path + "/0A200101.hst") || !HasTemporaries(path))
            std::_Exit(2);
        RemoveRegisteredTemporaries();
        std::_Exit(7);   // as the handler ends the process: nothing else is cleaned up
    };
    EXPECT_EXIT(stopped(), ::testing::ExitedWithCode(7), "");
    EXPECT_EQ(Names(path), std::vector<std::string>({"0A200101.hst"}));
    EXPECT_EQ(ReadWholeFile(path + "/0A200101.hst"), Bytes(5, 'p'));
}

// A folder is held so that it cannot be renamed; a target made from a read-only
// source is read-only, has its times, and replaces nothing unasked; a name that
// leaves the folder is refused.
TEST(WindowsFolder, HeldFolderTargetsAndNamesStayInside)
{
    namespace fs = std::filesystem;
    TempDir dir;
    WriteWholeFile(dir / "source", Bytes(10, 'x'));
    CFolder folder;
    int error = 0;
    ASSERT_TRUE(folder.Open(dir.Path(), false, error)) << error;
    std::error_code ec;
    fs::rename(FsPath(dir.Path()), FsPath(dir.Path() + "-moved"), ec);
    EXPECT_TRUE(ec) << "a held folder was renamed";
    EXPECT_EQ(folder.OpenRegular("..\\source", nullptr, error), -1);
    EXPECT_EQ(error, EINVAL);
    EXPECT_EQ(folder.CreateExclusive("c:source", 0600), -1);
    EXPECT_EQ(folder.OpenRegular("", nullptr, error), -1);
    for (const char* device : {"CON", "NUL", "\\\\.\\COM1"}) {   // paths the caller gives, never opened
        EXPECT_EQ(CFolder::Current().OpenRegular(device, nullptr, error), -1) << device;
        EXPECT_EQ(error, EINVAL) << device;
    }
    CFolder root;   // a volume's root: its path ends with the separator
    ASSERT_TRUE(root.Open("C:\\", false, error)) << error;
    FileInfo windows;
    EXPECT_TRUE(root.Stat("Windows", windows));
    EXPECT_FALSE(windows.regular);
    EXPECT_FALSE(root.List(false, error).empty()) << error;

    const auto old = fs::last_write_time(FsPath(dir / "source")) - std::chrono::hours(24 * 365 * 20);
    fs::last_write_time(FsPath(dir / "source"), old);
    fs::permissions(FsPath(dir / "source"), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    FileInfo info;
    ASSERT_TRUE(folder.Stat("source", info));
    EXPECT_EQ(info.mode, 0444u);
    std::string cause;
    CSafeTarget made;
    ASSERT_TRUE(made.Create(folder, "made", cause)) << cause;
    EXPECT_TRUE(HasTemporaries(dir.Path()));
    ASSERT_TRUE(made.Commit(info, false, cause)) << cause;
    FileInfo madeInfo;
    ASSERT_TRUE(folder.Stat("made", madeInfo));
    EXPECT_EQ(madeInfo.mode, 0444u);
    EXPECT_EQ(madeInfo.modified, info.modified);
    CSafeTarget again;
    EXPECT_FALSE(again.Create(folder, "source", cause));   // read-only: not ours to replace
    EXPECT_FALSE(HasTemporaries(dir.Path())) << ::testing::PrintToString(Names(dir.Path()));
    WriteWholeFile(dir / "taken", Bytes(3, 'k'));
    CSafeTarget third;
    ASSERT_TRUE(third.Create(folder, "taken", cause)) << cause;
    EXPECT_FALSE(third.Commit(info, false, cause));
    EXPECT_EQ(ReadWholeFile(dir / "taken"), Bytes(3, 'k'));
    EXPECT_FALSE(HasTemporaries(dir.Path())) << ::testing::PrintToString(Names(dir.Path()));
    for (const char* name : {"source", "made"})
        fs::permissions(FsPath(dir / name), fs::perms::owner_write, fs::perm_options::add);

    // A left-over temporary goes once its process is gone, ours stays.
    const std::string ours = ".taken.tamble-tmp." + std::to_string(CurrentProcessId()) + ".7";
    WriteWholeFile(dir / ours, Bytes(1, 'x'));
    WriteWholeFile(dir / ".taken.tamble-tmp.999999.7", Bytes(1, 'x'));
    std::vector<std::string> removed, failed;
    CSafeTarget::RemoveStale(folder, "", removed, failed);
    EXPECT_EQ(removed, std::vector<std::string>({folder.Shown(".taken.tamble-tmp.999999.7")}));
    EXPECT_TRUE(failed.empty());
    EXPECT_TRUE(PathExists(dir / ours));

    // One run at a time: a second lock on the folder is refused, and the lock
    // file goes with the lock.
    CFolderLock first, second;
    ASSERT_EQ(first.Acquire(folder, 0, {}, error), CFolderLock::Result::Held);
    EXPECT_EQ(second.Acquire(folder, 0, {}, error), CFolderLock::Result::Busy);
    first.Release();
    EXPECT_FALSE(PathExists(dir / LOCK_FILE_NAME));
    EXPECT_EQ(second.Acquire(folder, 0, {}, error), CFolderLock::Result::Held);
}
#endif
