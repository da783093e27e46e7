// The built tamble binary on temporary folders: switches and exit statuses,
// single-file conversions of every method, history jobs by group and date, and
// what happens when something fails.
#include "app/Options.h"
#include "jobs/HistoryNames.h"
#include "jobs/StreamCheck.h"
#include "platform/DirSearch.h"
#include "platform/TimeUtil.h"
#include "streams/StreamFactory.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>
#ifdef _WIN32
#include "tests/support/TambleRun.h"

#include <chrono>
#include <filesystem>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;
using Args = std::vector<std::string>;

struct Result {
    int status = -1;
    std::string out, err;
};

#ifndef _WIN32
std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ReadText(const std::string& path)
{
    const Bytes bytes = ReadWholeFile(path);
    return {bytes.begin(), bytes.end()};
}
#endif

#ifdef _WIN32
// Runs tamble.exe with args (no shell on Windows, so nothing put before it).
Result Tamble(const Args& args)
{
    const TambleResult run = RunTamble(args);
    return {run.signal ? 128 + run.signal : run.status, run.out, run.err};
}

std::filesystem::path FsPath(const std::string& name)
{
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

void SetTime(const std::string& path, std::int64_t seconds)
{
    std::filesystem::last_write_time(FsPath(path), std::filesystem::file_time_type::clock::from_sys(
                                                       std::chrono::system_clock::from_time_t(seconds)));
}

struct _stat64 StatOf(const std::string& path)
{
    struct _stat64 st {};
    EXPECT_EQ(::_wstat64(FsPath(path).c_str(), &st), 0) << path;
    return st;
}

// Every entry of a folder, and the folder itself, with its bytes, attributes and
// times (Windows keeps no change time; st_ctime is the creation time): equal
// listings mean that nothing was written, created or removed.
std::map<std::string, std::string> Listing(const std::string& folder)
{
    std::map<std::string, std::string> listing;
    const auto describe = [](const std::string& path) {
        const struct _stat64 st = StatOf(path);
        std::error_code ec;
        const auto written = std::filesystem::last_write_time(FsPath(path), ec).time_since_epoch().count();
        return std::to_string(st.st_mode) + " " + std::to_string(written) + " " + std::to_string(st.st_ctime);
    };
    listing["."] = describe(folder);
    for (const DirEntry& entry : ReadFolder(folder)) {
        const Bytes bytes = ReadWholeFile(folder + "/" + entry.name);
        listing[entry.name] = describe(folder + "/" + entry.name) + " " + std::string(bytes.begin(), bytes.end());
    }
    return listing;
}
#else
// Runs tamble with args through the shell; shell is put before the command
// (variables, ulimit, setpriv).
Result Tamble(const Args& args, const std::string& shell = {})
{
    static TempDir capture;
    // Another user runs a copy that it can reach wherever the build lies.
    const std::string exe = shell.empty() ? std::string(TAMBLE_EXE) : ProgramAnyUserMayRun(TAMBLE_EXE);
    std::string command = shell + " env -u DISPLAY timeout 300 " + Quote(exe);
    for (const std::string& arg : args)
        command += " " + Quote(arg);
    command += " </dev/null >" + Quote(capture / "out") + " 2>" + Quote(capture / "err");
    const int rc = std::system(command.c_str());
    Result result;
    result.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : 128 + WTERMSIG(rc);
    result.out = ReadText(capture / "out");
    result.err = ReadText(capture / "err");
    return result;
}
#endif

#ifdef _WIN32
// The readings of the run support, with this file's default seed.
Bytes Readings(std::size_t size)
{
    return ::Readings(size, 7);
}
#else
Bytes Readings(std::size_t size, std::uint32_t seed = 7)
{
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        data[i] = static_cast<std::uint8_t>((i % 12 < 5) ? "2024;ch"[i % 7] : '0' + (seed >> 29));
    }
    return data;
}
#endif

Bytes Text(const std::string& text)
{
    return {text.begin(), text.end()};
}

void WriteCoded(const std::string& path, int method, const Bytes& data)
{
    std::unique_ptr<CCompressedFile> stream(CreateCompressedFile(nullptr, nullptr, method));
    ASSERT_TRUE(stream->Open(path.c_str(), OPEN_CREATE));
    stream->WriteData(data.data(), static_cast<UINT>(data.size()));
    stream->Close();
}

bool DecodesTo(const std::string& coded, const std::string& plain)
{
    std::string cause;
    return CompareDecoded(coded, plain, cause);
}

bool HasTemporaries(const std::string& folder)
{
    for (const DirEntry& entry : ReadFolder(folder))
        if (entry.name.find(".tamble-tmp.") != std::string::npos)
            return true;
    return false;
}

// Name of a plain history file of group 0A for the date `days` days from today.
std::string DayName(int days, const char* ext = ".hst")
{
    std::int64_t t = Time64Now();
    int year = 0, month = 0, day = 0;
    LocalDate(t, year, month, day);
    LocalDate(MakeLocalMidnight(year, month, day + days) + 3600, year, month, day);
    return "0A" + DateText(year, month, day) + ext;
}

#ifndef _WIN32
struct stat StatOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

// Every entry of a folder, and the folder itself, with its bytes, mode and the
// nanoseconds of its modification and change times: equal listings mean that
// nothing was written, renamed, created or removed.
std::map<std::string, std::string> Listing(const std::string& folder)
{
    std::map<std::string, std::string> listing;
    const auto describe = [](const std::string& path) {
        const struct stat st = StatOf(path);
        return std::to_string(st.st_mode) + " " + std::to_string(st.st_mtim.tv_sec) + "."
               + std::to_string(st.st_mtim.tv_nsec) + " " + std::to_string(st.st_ctim.tv_sec) + "."
               + std::to_string(st.st_ctim.tv_nsec);
    };
    listing["."] = describe(folder);
    for (const DirEntry& entry : ReadFolder(folder)) {
        const Bytes bytes = ReadWholeFile(folder + "/" + entry.name);
        listing[entry.name] = describe(folder + "/" + entry.name) + " " + std::string(bytes.begin(), bytes.end());
    }
    return listing;
}
#endif

}   // namespace

TEST(Cli, ExitStatusesUsageAndUnusableValues)
{
    TempDir dir;
    WriteWholeFile(dir / "0A240101.hsz", Text("x"));

    Result r = Tamble({});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("No job given"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Usage: tamble"), std::string::npos) << r.err;

    r = Tamble({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Exit status"), std::string::npos);
    EXPECT_EQ(Tamble({"--version"}).status, 0);

    r = Tamble({"--bogus", "/Z:C", "/S:" + (dir / "a"), "/R:" + (dir / "b")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Unknown option! --bogus"), std::string::npos) << r.err;
    EXPECT_EQ(Tamble({"--method=zip", "/Z:C", "/S:a", "/R:b"}).status, 2);
    for (const char* jobs : {"--jobs=0", "--jobs=257", "--jobs=2x", "--jobs="})
        EXPECT_EQ(Tamble({jobs, "/Z:C", "/S:a", "/R:b"}).status, 2) << jobs;
    EXPECT_EQ(Tamble({"--test"}).status, 2);

    const struct {
        Args args;
        const char* message;
    } refused[] = {
        {{"/Z:E", "/T:A", "/S:" + dir.Path(), "/D:01/01/24", "/N:-1"}, "must not be negative"},
        {{"/Z:C", "/T:A", "/N:30"}, "No history folder given"},
        {{"/Z:C", "/T:A", "/S:" + dir.Path()}, "No number of days"},
        {{"/Z:E", "/T:A", "/S:" + dir.Path(), "/N:3"}, "start date"},
    };
    for (const auto& c : refused) {
        r = Tamble(c.args);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(PathExists(dir / "0A240101.hst"));
}

TEST(Cli, SingleFilesOfEveryMethodRoundTrip)
{
    TempDir dir;
    const Bytes data = Readings(300000);
    WriteWholeFile(dir / "data", data);
#ifdef _WIN32
    SetTime(dir / "data", 1500000000);
#else
    ASSERT_EQ(::chmod((dir / "data").c_str(), 0640), 0);
    const struct timespec times[2] = {{1500000000, 0}, {1500000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "data").c_str(), times, 0), 0);
#endif

    for (const std::string method : {"lzw", "lzss", "huffman", "stored"}) {   // NOLINT(performance-for-range-copy)
        const std::string packed = dir / ("data." + method);
        Result r = Tamble({"--method=" + method, "/Z:C", "/S:" + (dir / "data"), "/R:" + packed});
        ASSERT_EQ(r.status, 0) << method << ": " << r.err;
#ifdef _WIN32
        EXPECT_EQ(StatOf(packed).st_mtime, 1500000000) << method;
#else
        EXPECT_EQ(StatOf(packed).st_mode & 0777, 0640u) << method;
        EXPECT_EQ(StatOf(packed).st_mtim.tv_sec, 1500000000) << method;
#endif
        r = Tamble({"--info", packed});
        EXPECT_NE(r.out.find("method " + method + ", original 300000 bytes"), std::string::npos) << r.out;

        ASSERT_EQ(Tamble({"/Z:E", "/S:" + packed, "/R:" + (dir / "back")}).status, 0) << method;
        EXPECT_EQ(ReadWholeFile(dir / "back"), data) << method;
        // Compressing a file of any method gives LZW of its content.
        ASSERT_EQ(Tamble({"/Z:C", "/S:" + packed, "/R:" + (dir / "again")}).status, 0) << method;
        EXPECT_EQ(DetectMethod((dir / "again").c_str()), METHOD_LZW);
        EXPECT_TRUE(DecodesTo(dir / "again", dir / "data")) << method;
    }
    Result r = Tamble({"--test", dir / "data.lzw", dir / "data.lzss", dir / "data.huffman"});
    EXPECT_EQ(r.status, 0) << r.out;
#ifndef _WIN32   // Not on Windows: no file name holds a control character there.
    // Names show as the job messages show them: no control character reaches the terminal.
    WriteCoded(dir / "a\033cb", METHOD_LZW, Text("x"));
    for (const char* option : {"--test", "--info"}) {
        r = Tamble({option, dir / "a\033cb"});
        EXPECT_NE(r.out.find("a?cb: "), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find('\033'), std::string::npos) << option;
    }
#endif

    WriteWholeFile(dir / "empty", {});
    ASSERT_EQ(Tamble({"/Z:C", "/S:" + (dir / "empty"), "/R:" + (dir / "empty.lzw")}).status, 0);
    const Bytes header = ReadWholeFile(dir / "empty.lzw");
    ASSERT_GE(header.size(), 16u);
    EXPECT_EQ(Bytes(header.begin() + 8, header.begin() + 12), Bytes(4, 0));
    ASSERT_EQ(Tamble({"/Z:E", "/S:" + (dir / "empty.lzw"), "/R:" + (dir / "empty.out")}).status, 0);
    EXPECT_TRUE(ReadWholeFile(dir / "empty.out").empty());
}

TEST(Cli, FailedConversionsNameTheFileAndLeaveNoTarget)
{
    TempDir dir;
    WriteCoded(dir / "good.lzw", METHOD_LZW, Readings(100000));
    Bytes coded = ReadWholeFile(dir / "good.lzw");
    coded.resize(coded.size() - 300);
    WriteWholeFile(dir / "cut.lzw", coded);

    Result r = Tamble({"/Z:E", "/S:" + (dir / "cut.lzw"), "/R:" + (dir / "out")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("The file is damaged! " + (dir / "cut.lzw") + ": ends 300 bytes early"), std::string::npos)
        << r.err;
    EXPECT_FALSE(PathExists(dir / "out"));

    r = Tamble({"/Z:C", "/S:" + (dir / "good.lzw"), "/R:" + (dir / "none/out")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Couldn't create! " + (dir / "none/out")), std::string::npos) << r.err;

    r = Tamble({"/Z:C", "/R:" + (dir / "out")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("No source file given (/S:)!"), std::string::npos) << r.err;
    r = Tamble({"/Z:E", "/S:" + (dir / "good.lzw")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("No target file given (/R:)!"), std::string::npos) << r.err;

    r = Tamble({"--test", dir / "good.lzw", dir / "cut.lzw"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("tamble: " + dir / "cut.lzw" + ": damaged"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("cut.lzw"), std::string::npos) << r.out;
    EXPECT_FALSE(HasTemporaries(dir.Path()));
    r = Tamble({"--cat", dir / "good.lzw", dir / "cut.lzw"});
    EXPECT_EQ(r.status, 1);
    const Bytes good = Readings(100000);
    EXPECT_EQ(r.out.substr(0, 100000), std::string(good.begin(), good.end()));
    EXPECT_NE(r.err.find("The file is damaged! " + (dir / "cut.lzw")), std::string::npos) << r.err;
#ifndef _WIN32   // Not on Windows: a pseudo-terminal (the console's check is the platform's own)
    // Coded or not, --cat never writes to a terminal.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master) | ::unlockpt(master), 0);
    const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    EXPECT_EQ(RunCat({dir / "good.lzw"}, terminal), 2);
    ::close(terminal);
    ::close(master);
#endif
}

#ifndef _WIN32   // Not on Windows: the write fails by a file-size limit (ulimit -f)
TEST(Cli, WriteErrorMidwayStopsTheJobAndKeepsTheOldTarget)
{
    TempDir dir;
    Bytes noise(3 << 20);
    std::uint32_t seed = 99;
    for (std::uint8_t& b : noise)
        b = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    WriteWholeFile(dir / "noise", noise);
    WriteWholeFile(dir / "out", Text("old"));

    // The file size limit makes a write fail part way (EFBIG), as a full disk would.
    const Result r = Tamble({"/Z:C", "/S:" + (dir / "noise"), "/R:" + (dir / "out")}, "trap '' XFSZ; ulimit -f 2048;");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Couldn't write file! " + (dir / "out") + ": File too large"), std::string::npos) << r.err;
    EXPECT_EQ(ReadWholeFile(dir / "out"), Text("old"));
    EXPECT_FALSE(HasTemporaries(dir.Path()));
}

#endif

TEST(Cli, CompressHistoryByGroupAndAge)
{
    TempDir dir;
    const Bytes old = Readings(20000, 1);
    WriteWholeFile(dir / "0A240101.hst", old);
    WriteWholeFile(dir / "0A2401.hst", Text("short name"));
    WriteWholeFile(dir / "0B240101.hst", Text("other group"));
    for (int days : {0, -1, 1})
        WriteWholeFile(dir / DayName(days), Readings(3000, static_cast<std::uint32_t>(days + 5)));
    const std::string folder = "/S:" + dir.Path();

    // Two days: today and yesterday are too young; tomorrow's name means last year.
    Result r = Tamble({"/Z:C", "/T:A", folder, "/N:2", "/G:10"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(PathExists(dir / "0A240101.hst"));
    WriteWholeFile(dir / "check", old);
    EXPECT_TRUE(DecodesTo(dir / "0A240101.hsz", dir / "check"));
    EXPECT_TRUE(PathExists(dir / "0A2401.hst"));
    EXPECT_TRUE(PathExists(dir / "0B240101.hst"));
    EXPECT_FALSE(PathExists(dir / "0B240101.hsz"));
    EXPECT_TRUE(PathExists(dir / DayName(0)));
    EXPECT_TRUE(PathExists(dir / DayName(-1)));
    EXPECT_TRUE(PathExists(dir / DayName(1, ".hsz")));
    EXPECT_FALSE(PathExists(dir / DayName(1)));

    ASSERT_EQ(Tamble({"/Z:C", "/T:A", folder, "/N:1", "/G:10"}).status, 0);
    EXPECT_TRUE(PathExists(dir / DayName(0)));
    EXPECT_TRUE(PathExists(dir / DayName(-1, ".hsz")));

    // A negative age limit takes today's file as well.
    ASSERT_EQ(Tamble({"/Z:C", "/T:A", folder, "/N:-1"}).status, 0);
    EXPECT_TRUE(PathExists(dir / DayName(0, ".hsz")));
    EXPECT_TRUE(PathExists(dir / "0B240101.hsz"));
    EXPECT_FALSE(HasTemporaries(dir.Path()));
}

#ifndef _WIN32   // Not on Windows: symbolic links and permission bits
TEST(Cli, CompressHistoryProvesTwinsAndPassesOverOddEntries)
{
    TempDir dir;
    const Bytes same = Readings(5000, 2), plain = Readings(5000, 3);
    WriteWholeFile(dir / "0A240305.hst", same);
    WriteCoded(dir / "0A240305.hsz", METHOD_LZW, same);
    const struct timespec times[2] = {{1400000000, 0}, {1400000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "0A240305.hsz").c_str(), times, 0), 0);
    const Bytes twinBefore = ReadWholeFile(dir / "0A240305.hsz");
    WriteWholeFile(dir / "0A240306.hst", plain);
    WriteCoded(dir / "0A240306.hsz", METHOD_LZW, Readings(5000, 4));
    WriteWholeFile(dir / "0A240307.HST", plain);
    ASSERT_EQ(::symlink((dir / "0A240307.HST").c_str(), (dir / "0A240308.hst").c_str()), 0);
    WriteWholeFile(dir / "0A240309.hst", plain);
    ASSERT_EQ(::chmod((dir / "0A240309.hst").c_str(), 0604), 0);
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "0A240309.hst").c_str(), times, 0), 0);

    const Result r = Tamble({"/Z:C", "/T:A", "/S:" + dir.Path() + "/", "/N:30", "/G:10", "/H"});
    EXPECT_EQ(r.status, 1) << r.err;

    // An identical twin: the plain file goes, the twin stays as it was.
    EXPECT_FALSE(PathExists(dir / "0A240305.hst"));
    EXPECT_EQ(ReadWholeFile(dir / "0A240305.hsz"), twinBefore);
    EXPECT_EQ(StatOf(dir / "0A240305.hsz").st_mtim.tv_sec, 1400000000);
    // A twin with other bytes: both stay, and the user is told.
    EXPECT_EQ(ReadWholeFile(dir / "0A240306.hst"), plain);
    EXPECT_NE(r.err.find("both files kept! " + (dir / "0A240306.hst")), std::string::npos) << r.err;
    // An upper-case extension gets the lower-case twin.
    EXPECT_FALSE(PathExists(dir / "0A240307.HST"));
    EXPECT_TRUE(PathExists(dir / "0A240307.hsz"));
    // A link is no history file of its own.
    EXPECT_TRUE(S_ISLNK(StatOf(dir / "0A240308.hst").st_mode));
    EXPECT_FALSE(PathExists(dir / "0A240308.hsz"));
    EXPECT_NE(r.err.find("Not a regular file, passed over! " + (dir / "0A240308.hst")), std::string::npos);
    // The twin takes the permissions and time of its plain file.
    EXPECT_EQ(StatOf(dir / "0A240309.hsz").st_mode & 0777, 0604u);
    EXPECT_EQ(StatOf(dir / "0A240309.hsz").st_mtim.tv_sec, 1400000000);
}

#endif

TEST(Cli, HistoryJobsOnSeveralWorkersDoWhatOneDoes)
{
    // Twins, extracted files, messages in their order, counts and status of
    // three workers are those of one, on a folder of every kind of entry.
    TempDir one, three;
    for (const TempDir* dir : {&one, &three}) {
        for (int day = 1; day <= 9; ++day)
            WriteWholeFile(*dir / ("0A24030" + std::to_string(day) + ".hst"),
                           Readings((10 - day) * (10 - day) * 3000, day));
        WriteWholeFile(*dir / "0A240310.hst", {});
        WriteWholeFile(*dir / "0A240305.HST", Readings(700, 1));   // the twin of 0A240305.hst
        WriteCoded(*dir / "0A240311.hsz", METHOD_LZW, Readings(900, 2));
        WriteWholeFile(*dir / "0A240311.hst", Readings(900, 3));   // a twin with other bytes
        WriteWholeFile(*dir / "0A24AB01.hst", Text("stray"));
#ifndef _WIN32   // links only with a privilege on Windows
        ASSERT_EQ(::symlink("0A240301.hst", (*dir / "0A240312.hst").c_str()), 0);
#endif
    }
    const auto run = [](const TempDir& dir, const Args& job, const char* jobs) {
        Args args = job;
        args.insert(args.begin(), jobs);
        args.push_back("/S:" + dir.Path() + "/");
        Result r = Tamble(args);
        for (std::size_t at; (at = r.err.find(dir.Path())) != std::string::npos;)
            r.err.replace(at, dir.Path().size(), "DIR");
        return std::to_string(r.status) + "\n" + r.err.substr(0, r.err.rfind("; "));   // not the time taken
    };
    const auto contents = [](const TempDir& dir) {
        std::map<std::string, Bytes> files;
        for (const DirEntry& entry : ReadFolder(dir.Path()))
            files[entry.name] = entry.type == DirEntryType::File ? ReadWholeFile(dir / entry.name) : Bytes {};
        return files;
    };
    for (const Args& job :
         {Args {"/Z:C", "/T:A", "/N:30", "/H"}, Args {"/Z:E", "/T:A", "/D:03/01/24", "/N:12", "/H"}}) {
        EXPECT_EQ(run(one, job, "--jobs=1"), run(three, job, "--jobs=3"));
        EXPECT_EQ(contents(one), contents(three));
    }
#ifdef _WIN32
    EXPECT_EQ(contents(three).size(), 23u);   // no link
#else
    EXPECT_EQ(contents(three).size(), 24u);
#endif
}

#ifndef _WIN32
TEST(Cli, HiddenRunFinishesWhenNobodyReadsItsMessages)
{
    TempDir dir;
    for (const char* name : {"0A240101.hst", "0A240102.hst", "0A240103.hst"})
        WriteWholeFile(dir / name, Text(name));
    // Standard error is a pipe whose reader has gone: every message meets EPIPE.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    const std::string source = "/S:" + dir.Path();
    const char* argv[] = {TAMBLE_EXE, "/Z:C", "/T:A", source.c_str(), "/N:30", "/H", nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, TAMBLE_EXE, &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    for (const char* name : {"0A240101.hsz", "0A240102.hsz", "0A240103.hsz"})
        EXPECT_TRUE(PathExists(dir / name)) << name;
}

#else
TEST(Cli, HiddenRunFinishesWhenNobodyReadsItsMessages)
{
    TempDir dir;
    for (const char* name : {"0A240101.hst", "0A240102.hst", "0A240103.hst"})
        WriteWholeFile(dir / name, Text(name));
    TambleSetup setup;
    setup.errorsUnread = true;
    EXPECT_EQ(RunTamble({"/Z:C", "/T:A", "/S:" + dir.Path(), "/N:30", "/H"}, setup).status, 0);
    for (const char* name : {"0A240101.hsz", "0A240102.hsz", "0A240103.hsz"})
        EXPECT_TRUE(PathExists(dir / name)) << name;
}
#endif

TEST(Cli, StrayNamesArePassedOverAndBadStartDatesStopTheJob)
{
    TempDir dir;
    for (const char* name : {"0A240101.hst", "0A24AB01.hst", "0A241232.hst", "0A250101.hst"})
        WriteWholeFile(dir / name, Text(name));
    Result r = Tamble({"/Z:C", "/T:A", "/S:" + dir.Path(), "/N:30", "/G:10"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Date out of range in the file name, passed over! " + (dir / "0A24AB01.hst")
                         + ": the month is not 01 to 12, error 0x80004005"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find((dir / "0A241232.hst") + ": the day is not 01 to 31"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Done: 2 files compressed, 2 passed over (2 with a bad date in the name), 0 failed; 24 bytes "
                         "before, "),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(PathExists(dir / "0A24AB01.hst"));
    EXPECT_TRUE(PathExists(dir / "0A240101.hsz"));
    EXPECT_TRUE(PathExists(dir / "0A250101.hsz"));   // the names after the stray one are still done

    // The caller's own start date still stops the job, also outside 1970 to 3000.
    for (const auto& [date, message] : {std::pair {"13/01/24", "Start date out of range! 13/01/24: the month"},
                                        {"01/01/1850", "cannot be converted! 01/01/1850: the year is not 1970"},
                                        {"3001-01-01", "cannot be converted! 3001-01-01: the year"}}) {
        r = Tamble({"/Z:E", "/T:A", "/S:" + dir.Path(), std::string("/D:") + date, "/N:3"});
        EXPECT_EQ(r.status, 1) << date;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(PathExists(dir / "0A240101.hst"));

    r = Tamble({"/Z:E", "/T:A", "/S:" + dir.Path(), "/D:2025-01-01", "/N:1", "--quiet"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(ReadWholeFile(dir / "0A250101.hst"), Text("0A250101.hst"));
    EXPECT_EQ(r.err, "");
}

TEST(Cli, DryRunChangesNothingAndSaysWhatTheJobWould)
{
    TempDir dir;
    WriteWholeFile(dir / "0A240101.hst", Readings(5000, 1));
    WriteWholeFile(dir / "0A240102.hst", Readings(5000, 2));
    WriteCoded(dir / "0A240102.hsz", METHOD_LZW, Readings(5000, 2));
    WriteWholeFile(dir / "0A2401.hst", Text("short name"));
    WriteWholeFile(dir / "0A24AB01.hst", Text("stray"));
    WriteWholeFile(dir / DayName(0), Text("today"));
    WriteCoded(dir / "0A240103.hsz", METHOD_LZW, Readings(3000, 3));
    WriteWholeFile(dir / ".0A240104.hsz.tamble-tmp.1.1", Text("left by a killed run"));
    const auto before = Listing(dir.Path());

    Result r = Tamble({"/Z:C", "/T:A", "/S:" + dir.Path(), "/N:30", "--dry-run"});
    EXPECT_EQ(r.status, 1);   // as the job would: the stray name
    for (const std::string& line :
         {"Would compress, then delete the plain file once its twin is proven: " + (dir / "0A240101.hst"),
          "Would delete, its compressed twin holds the same bytes: " + (dir / "0A240102.hst"),
          "Would pass over, too young: " + (dir / DayName(0)),
          "Date out of range in the file name, passed over! " + (dir / "0A24AB01.hst"),
          std::string("Dry run, nothing changed: 2 files would be compressed, 2 passed over (1 with a bad date in the "
                      "name), 0 failed")})
        EXPECT_NE(r.err.find(line), std::string::npos) << line << "\n" << r.err;

    r = Tamble({"/Z:E", "/T:A", "/S:" + dir.Path(), "/D:01/01/24", "/N:5", "--dry-run"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Would extract: " + (dir / "0A240103.hsz")), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Dates taken: 2024-01-01 to 2024-01-05 (5 days from /D:01/01/24)"), std::string::npos);
    EXPECT_NE(r.err.find("Would pass over, the target exists: " + (dir / "0A240102.hsz")), std::string::npos);
    EXPECT_EQ(Tamble({"/Z:E", "/S:" + (dir / "0A240103.hsz"), "/R:" + (dir / "x"), "--dry-run"}).status, 0);
    EXPECT_EQ(Listing(dir.Path()), before);
}

// What a gzip user types: values after a space, -k, a mistyped option, "-" for
// standard input, a folder for --cat, a reader that goes away; and the
// summaries and warnings an operator reads.
TEST(Cli, GnuHabitsAndWhatTheSummariesSay)
{
    TempDir dir, out;
    WriteWholeFile(dir / "0A240101.hst", Readings(3000, 1));
    WriteWholeFile(dir / "0A240102.hst", Readings(3000, 2));
    Result r = Tamble({"/Z:C", "/T:A", "/S:" + dir.Path(), "/N:30", "--jobs", "2", "-k"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Done: 2 files compressed, 0 passed over, 0 failed; 6000 bytes before, "), std::string::npos)
        << r.err;
    for (const char* day : {"0A240101", "0A240102"})
        EXPECT_TRUE(DecodesTo(dir / (day + std::string(".hsz")), dir / (day + std::string(".hst")))) << day;

    r = Tamble({"/Z:E", "/T:A", "/S:" + dir.Path(), "/D:01/01/24", "/N:1", "--output-dir", out.Path()});
    EXPECT_NE(r.err.find("Dates taken: 2024-01-01 to 2024-01-01 (1 day from /D:01/01/24)"), std::string::npos);
    EXPECT_NE(r.err.find("Done: 1 file extracted, 0 passed over, 0 failed; 3000 bytes written, "), std::string::npos)
        << r.err;
    r = Tamble({"/Z:E", "/T:A", "/S:" + dir.Path(), "/D:01012024", "/N:1", "--dry-run"});
    EXPECT_NE(r.err.find("digits where its separators go: /D:01012024: taken as 2024-01-12"), std::string::npos)
        << r.err;
    r = Tamble({"/Z:C", "/T:A", "/S:" + (dir / "missing"), "/N:30"});   // never started: its message, no summary
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.find("Done:"), std::string::npos) << r.err;
    r = Tamble({"/Z:C", "/T:A", "/S:" + dir.Path(), "/N:30", "--jbos=2"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Unknown option! --jbos=2: did you mean --jobs?"), std::string::npos) << r.err;
    r = Tamble({"/Z:C", "/T:A", "/S:" + dir.Path(), "/N:30", "--quiet"});   // the twins prove, the plain files go
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(PathExists(dir / "0A240101.hst"));

#ifndef _WIN32   // Not on Windows: pipelines through the shell
    // Standard input (a pipe) for --test, --info and --cat; --cat of a folder; `| head`.
    const std::string exe = Quote(TAMBLE_EXE), twin = Quote(dir / "0A240101.hsz");
    auto shell = [](const std::string& command) {
        const int rc = std::system(("{ " + command + "; } >" + Quote("/dev/null") + " 2>&1").c_str());
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    };
    EXPECT_EQ(shell("cat " + twin + " | " + exe + " --test - | grep -qx '(standard input): OK'"), 0);
    EXPECT_EQ(shell("cat " + twin + " | " + exe + " --info - | grep -q 'Total: 1 file, original 3000 bytes'"), 0);
    EXPECT_EQ(shell("cat " + twin + " | " + exe + " --cat - | cmp -s - " + Quote(out / "0A240101.hst")), 0);
    EXPECT_EQ(shell(exe + " --cat " + Quote(dir.Path()) + " | wc -c | grep -qx 6000"), 0);   // its two .hsz
    WriteCoded(dir / "big.hsz", METHOD_LZW, Readings(4 << 20));
    EXPECT_EQ(shell(exe + " --cat " + Quote(dir / "big.hsz") + " 2>" + Quote(out / "err") + " | head -c 1"), 0);
    EXPECT_EQ(ReadText(out / "err"), "");
#endif
}

TEST(Cli, FoldersForTestAndInfoAndExtractionToAnotherFolder)
{
    TempDir dir, out;
    WriteCoded(dir / "0A240101.hsz", METHOD_LZW, Readings(4000, 1));
    WriteCoded(dir / "0A240102.hsz", METHOD_HUFFMAN, Readings(4000, 2));
    WriteWholeFile(dir / "0A240103.hst", Readings(1000, 3));
    WriteWholeFile(dir / "notes.txt", Text("not history"));
    Result r = Tamble({"--info", dir.Path()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("notes.txt"), std::string::npos) << r.out;
    EXPECT_LT(r.out.find("0A240101.hsz"), r.out.find("0A240103.hst"));
    EXPECT_NE(r.out.find("Total: 3 files, original 9000 bytes, compressed "), std::string::npos) << r.out;
    r = Tamble({"--test", "--quiet", dir.Path()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");

    const auto history = Listing(dir.Path());
    r = Tamble({"/Z:E", "/T:A", "/S:" + dir.Path(), "/D:2024-01-01", "/N:3", "--output-dir=" + out.Path()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadWholeFile(out / "0A240101.hst"), Readings(4000, 1));
    EXPECT_EQ(ReadWholeFile(out / "0A240102.hst"), Readings(4000, 2));
    EXPECT_EQ(Listing(dir.Path()), history);
    EXPECT_EQ(Tamble({"/Z:C", "/T:A", "/S:" + dir.Path(), "/N:3", "--output-dir=" + out.Path()}).status, 2);
}

TEST(Cli, ExtractHistoryWindowByGroup)
{
    TempDir dir;
    for (const char* group : {"0A", "0B"})
        for (const char* day : {"241229", "241230", "241231", "250101", "250102"})
            WriteCoded(dir / (std::string(group) + day + ".hsz"), METHOD_LZW, Text(std::string(group) + day));
    WriteWholeFile(dir / "0A241231.hst", Text("mine"));

    Result r = Tamble({"/Z:E", "/T:A", "/S:" + dir.Path(), "/D:12/30/24", "/N:3", "/G:10"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadWholeFile(dir / "0A241230.hst"), Text("0A241230"));
    EXPECT_EQ(ReadWholeFile(dir / "0A250101.hst"), Text("0A250101"));
    EXPECT_EQ(ReadWholeFile(dir / "0A241231.hst"), Text("mine"));   // an existing plain file stays
    EXPECT_FALSE(PathExists(dir / "0A241229.hst"));
    EXPECT_FALSE(PathExists(dir / "0A250102.hst"));
    EXPECT_FALSE(PathExists(dir / "0B241230.hst"));
    EXPECT_TRUE(PathExists(dir / "0A241230.hsz"));   // compressed files are kept

    r = Tamble({"/Z:E", "/T:A", "/S:" + dir.Path(), "/D:12/30/2024", "/N:3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadWholeFile(dir / "0B241231.hst"), Text("0B241231"));
    EXPECT_FALSE(PathExists(dir / "0B250102.hst"));
}

#ifndef _WIN32   // Not on Windows: the C library of Windows takes no zone names from TZ.
TEST(Cli, ExtractionWindowIsConsecutiveDatesWhenTheClockFallsBack)
{
    TempDir dir;
    for (const char* day : {"241026", "241027", "241028", "241029"})
        WriteCoded(dir / (std::string("0A") + day + ".hsz"), METHOD_LZW, Text(day));
    // 27 October 2024 has 25 hours in Berlin.
    const Result r = Tamble({"/Z:E", "/T:A", "/S:" + dir.Path(), "/D:10/26/24", "/N:3"}, "TZ=Europe/Berlin");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(PathExists(dir / "0A241026.hst"));
    EXPECT_TRUE(PathExists(dir / "0A241027.hst"));
    EXPECT_TRUE(PathExists(dir / "0A241028.hst"));
    EXPECT_FALSE(PathExists(dir / "0A241029.hst"));
}

// Not on Windows either: permission bits, and a run as another user.
TEST(Cli, ReadOnlyFolderKeepsEveryFile)
{
    TempDir dir;
    const std::string folder = dir / "history";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    WriteWholeFile(folder + "/0A240101.hst", Readings(4000));
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    // Permissions do not bind root: run as nobody then.
    const std::string as = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
    const Result r = Tamble({"/Z:C", "/T:A", "/S:" + folder, "/N:30"}, as);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Couldn't create! " + folder + "/0A240101.hsz: Permission denied"), std::string::npos)
        << r.err;
    EXPECT_TRUE(PathExists(folder + "/0A240101.hst"));
    EXPECT_FALSE(PathExists(folder + "/0A240101.hsz"));
    EXPECT_FALSE(HasTemporaries(folder));

    // A target we may not write is not replaced behind its back, even in a folder we may write.
    const std::string open = dir / "open";
    ASSERT_EQ(::mkdir(open.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    WriteWholeFile(open + "/source", Readings(1000));
    WriteWholeFile(open + "/locked", Text("locked"));
    ASSERT_EQ(::chmod((open + "/locked").c_str(), 0444), 0);
    const Result locked = Tamble({"/Z:C", "/S:" + open + "/source", "/R:" + open + "/locked"}, as);
    EXPECT_EQ(locked.status, 1);
    EXPECT_NE(locked.err.find("Couldn't create! " + open + "/locked: Permission denied"), std::string::npos)
        << locked.err;
    EXPECT_EQ(ReadWholeFile(open + "/locked"), Text("locked"));
    EXPECT_FALSE(HasTemporaries(open));
}
#endif
