// History folders with strange things in them, and folders that are strange
// themselves: twins that are links to files elsewhere, entries named like history
// files that are folders, FIFOs, links or unreadable; names with blanks and bytes
// that are no ASCII, the longest names and paths; empty, missing and read-only
// folders; a plain file that someone writes to while it is compressed, or has
// open while it is deleted; and the permissions and ACLs of copies.  Each has its
// defined outcome, and no data is lost, written through a link or shown to more
// people.
//
// The tests run as root in CI, where permission bits bind nobody: unreadable
// files and read-only folders come from the fault injector (EACCES, EROFS) or
// from a run as the user nobody.
#include "tests/oracle/Oracle.h"
#include "tests/support/TambleRun.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

namespace {

const Bytes kVictim {'e', 'l', 's', 'e', 'w', 'h', 'e', 'r', 'e'};
constexpr long kNobody = 65534;

std::vector<std::string> Compress(const std::string& folder)
{
    return {"/Z:C", "/T:A", "/S:" + folder, "/N:30", "/H"};
}

std::vector<std::string> Extract(const std::string& folder)
{
    return {"/Z:E", "/T:A", "/S:" + folder, "/D:01/01/24", "/N:5", "/H"};
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string LinkTarget(const std::string& path)
{
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
    return n < 0 ? std::string() : std::string(target, static_cast<std::size_t>(n));
}

bool SkipWithoutInjector()
{
    return !FaultInjectorUsable();
}

TEST(HostileFolders, ATwinThatIsALinkElsewhereIsNeverWrittenThrough)
{
    TempDir dir, elsewhere;
    const Bytes data = Readings(4000, 9);
    WriteWholeFile(elsewhere / "victim", kVictim);
    // Compressing: the twins are links, one to a file elsewhere, one dangling.
    WriteWholeFile(dir / "0A240101.hst", data);
    WriteWholeFile(dir / "0A240102.hst", data);
    ASSERT_EQ(::symlink((elsewhere / "victim").c_str(), (dir / "0A240101.hsz").c_str()), 0);
    ASSERT_EQ(::symlink((elsewhere / "none").c_str(), (dir / "0A240102.hsz").c_str()), 0);
    TambleResult r = RunTamble(Compress(dir.Path()));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "both files kept! " + (dir / "0A240101.hst"))) << r.err;
    EXPECT_TRUE(Contains(r.err, "both files kept! " + (dir / "0A240102.hst"))) << r.err;
    EXPECT_EQ(ReadWholeFile(dir / "0A240101.hst"), data);
    EXPECT_EQ(ReadWholeFile(dir / "0A240102.hst"), data);
    EXPECT_EQ(LinkTarget(dir / "0A240101.hsz"), elsewhere / "victim");
    EXPECT_EQ(ReadWholeFile(elsewhere / "victim"), kVictim);
    EXPECT_FALSE(PathExists(elsewhere / "none"));

    // Extracting: the plain targets are links; they are passed over.
    TempDir hist;
    WriteWholeFile(hist / "0A240101.hsz", ReferenceLzw(data));
    WriteWholeFile(hist / "0A240102.hsz", ReferenceLzw(data));
    ASSERT_EQ(::symlink((elsewhere / "victim").c_str(), (hist / "0A240101.hst").c_str()), 0);
    ASSERT_EQ(::symlink((elsewhere / "none").c_str(), (hist / "0A240102.hst").c_str()), 0);
    r = RunTamble(Extract(hist.Path()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "Passed over, the target exists: " + (hist / "0A240102.hsz"))) << r.err;
    EXPECT_EQ(ReadWholeFile(elsewhere / "victim"), kVictim);
    EXPECT_FALSE(PathExists(elsewhere / "none"));
    EXPECT_EQ(LinkTarget(hist / "0A240102.hst"), elsewhere / "none");

    // A single-file target that is a link: the link is replaced, its file stays.
    ASSERT_EQ(::symlink((elsewhere / "victim").c_str(), (hist / "out").c_str()), 0);
    r = RunTamble({"/Z:E", "/S:" + (hist / "0A240101.hsz"), "/R:" + (hist / "out")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(LinkTarget(hist / "out"), "");
    EXPECT_EQ(ReadWholeFile(hist / "out"), data);
    EXPECT_EQ(ReadWholeFile(elsewhere / "victim"), kVictim);
    EXPECT_TRUE(Temporaries(hist.Path()).empty());
}

TEST(HostileFolders, FoldersFifosAndLinksNamedLikeHistoryFilesArePassedOver)
{
    TempDir dir, elsewhere;
    const Bytes data = Readings(3000, 8);
    WriteWholeFile(elsewhere / "target", data);
    ASSERT_EQ(::mkdir((dir / "0A240101.hst").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo((dir / "0A240102.hst").c_str(), 0644), 0);
    ASSERT_EQ(::symlink((elsewhere / "target").c_str(), (dir / "0A240103.hst").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "0A240104.hsz").c_str(), 0644), 0);
    ASSERT_EQ(::mkdir((dir / "0A240101.hsz").c_str(), 0755), 0);
    WriteWholeFile(dir / "0A240105.hst", data);
    const auto before = Snapshot(dir.Path());

    // Nothing may block on a FIFO: the time limit would end the run.
    TambleSetup limited;
    limited.timeLimit = 60;
    TambleResult r = RunTamble(Compress(dir.Path()), limited);
    EXPECT_EQ(r.signal, 0) << r.err;
    for (const char* name : {"0A240101.hst", "0A240102.hst", "0A240103.hst"})
        EXPECT_TRUE(Contains(r.err, "Not a regular file, passed over! " + (dir / name))) << name << "\n" << r.err;
    EXPECT_TRUE(PathExists(dir / "0A240105.hsz"));
    EXPECT_EQ(ReadWholeFile(elsewhere / "target"), data);
    r = RunTamble(Extract(dir.Path()), limited);
    EXPECT_EQ(r.signal, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "Not a regular file, passed over! " + (dir / "0A240104.hsz"))) << r.err;
    auto after = Snapshot(dir.Path());
    for (const char* name : {"0A240101.hst", "0A240102.hst", "0A240103.hst", "0A240104.hsz", "0A240101.hsz"})
        EXPECT_EQ(after[name].mode, before.at(name).mode) << name;
    EXPECT_EQ(ReadWholeFile(dir / "0A240105.hst"), data);   // extracted again from its twin
    EXPECT_TRUE(Temporaries(dir.Path()).empty());

    // Named as the source of a single-file job, a FIFO or a folder is refused at once.
    for (const char* name : {"0A240102.hst", "0A240101.hst"}) {
        r = RunTamble({"/Z:C", "/S:" + (dir / name), "/R:" + (dir / "out")}, limited);
        EXPECT_EQ(r.status, 1) << name << "\n" << r.err;
        EXPECT_TRUE(Contains(r.err, "Couldn't open file! " + (dir / name))) << r.err;
        EXPECT_FALSE(PathExists(dir / "out"));
    }
}

TEST(HostileFolders, AnUnreadablePlainFileStaysAndTheOthersGoOn)
{
    if (SkipWithoutInjector())
        GTEST_SKIP() << "no fault injector";
    TempDir dir;
    WriteSampleFolder(dir.Path(), false);
    const TambleResult r = RunTamble(
        Compress(dir.Path()),
        FaultSetup({{"CALL", "open"}, {"PATH", "0A240102.hst"}, {"NTH", "1"}, {"TIMES", "0"}, {"ERRNO", "EACCES"}}));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "Couldn't open file! " + (dir / "0A240102.hst") + ": Permission denied")) << r.err;
    EXPECT_TRUE(PathExists(dir / "0A240102.hst"));
    EXPECT_FALSE(PathExists(dir / "0A240102.hsz"));
    for (const char* stem : {"0A240101", "0A240103", "0A240104", "0B240102"})
        EXPECT_FALSE(PathExists(dir / (std::string(stem) + ".hst"))) << stem;
    EXPECT_EQ(SampleIntact(dir.Path(), false), "");
}

TEST(HostileFolders, AFileOnlyRootMayReadStaysWhenNobodyRunsTheJob)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the job as another user";
    TempDir top;
    const std::string dir = top / "history";
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(top.Path().c_str(), 0755), 0);
    WriteSampleFolder(dir, false);
    ASSERT_EQ(::chown(dir.c_str(), kNobody, kNobody), 0);
    for (const HistoryDay& day : SampleDays()) {
        if (day.stem == "0A240103")
            continue;
        ASSERT_EQ(::chown((dir + "/" + day.stem + ".hst").c_str(), kNobody, kNobody), 0);
    }
    ASSERT_EQ(::chmod((dir + "/0A240103.hst").c_str(), 0600), 0);   // root's own
    TambleSetup nobody;
    nobody.runAs = kNobody;
    const TambleResult r = RunTamble(Compress(dir), nobody);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "Couldn't open file! " + dir + "/0A240103.hst: Permission denied")) << r.err;
    EXPECT_TRUE(PathExists(dir + "/0A240103.hst"));
    EXPECT_TRUE(PathExists(dir + "/0A240104.hsz"));
    EXPECT_EQ(SampleIntact(dir, false), "");
}

TEST(HostileFolders, BlanksOddBytesAndLongNamesAndPaths)
{
    TempDir top;
    // Blanks, UTF-8 and bytes that are no UTF-8 at all.
    const std::string odd = top / "my history \xc3\xa9t\xc3\xa9 \xff\xfe end";
    ASSERT_EQ(::mkdir(odd.c_str(), 0755), 0);
    for (bool extract : {false, true}) {
        const std::string folder = odd + (extract ? "/x" : "/c");
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
        WriteSampleFolder(folder, extract);
        const TambleResult r = RunTamble(SampleJob(folder, extract));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Contains(r.err, folder + "/0A240103.hs")) << r.err;
        EXPECT_EQ(SampleIntact(folder, extract), "");
    }

    // A target name of the longest length a name may have.
    const std::string longName(NAME_MAX, 'L');
    WriteWholeFile(odd + "/src", Readings(5000, 3));
    TambleResult r = RunTamble({"/Z:C", "/S:" + odd + "/src", "/R:" + odd + "/" + longName});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(PathExists(odd + "/" + longName));
    r = RunTamble({"/Z:C", "/S:" + odd + "/src", "/R:" + odd + "/" + longName + "x"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "File name too long")) << r.err;
    EXPECT_TRUE(Temporaries(odd).empty());

    // A history folder whose path is close to the system's limit works (with
    // room left for the names of the files and of their temporaries).
    const std::size_t want = PATH_MAX - 64;
    std::string deep = top.Path();
    while (deep.size() < want) {
        const std::size_t length = std::max<std::size_t>(1, std::min<std::size_t>(NAME_MAX, want - deep.size() - 1));
        deep += "/" + std::string(length, 'd');
        ASSERT_EQ(::mkdir(deep.c_str(), 0755), 0) << deep.size();
    }
    WriteWholeFile(deep + "/0A240101.hst", Readings(3000, 2));
    r = RunTamble(Compress(deep));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(DayIntact(deep, "0A240101", Readings(3000, 2)), "");
    EXPECT_FALSE(PathExists(deep + "/0A240101.hst"));

    // A target whose path just fits, where a temporary's path beside it would not.
    const std::string deeper = deep + "/" + std::string(PATH_MAX - 10 - deep.size(), 'e');
    ASSERT_EQ(::mkdir(deeper.c_str(), 0755), 0);
    for (bool replace : {false, true}) {
        r = RunTamble({"/Z:C", "/S:" + deep + "/0A240101.hsz", "/R:" + deeper + "/out"});
        EXPECT_EQ(r.status, 0) << replace << r.err;
        EXPECT_EQ(oracle::Decode(ReadWholeFile(deeper + "/out")), Readings(3000, 2));
    }
    EXPECT_TRUE(Temporaries(deeper).empty());
}

TEST(HostileFolders, AFolderPathBeyondTheSystemsLimitIsRefused)
{
    TempDir top;
    // Built step by step from descriptors, since no single path may name it.
    std::vector<int> fds {::open(top.Path().c_str(), O_RDONLY | O_DIRECTORY)};
    std::string deep = top.Path();
    const std::string part(200, 'p');
    while (deep.size() < PATH_MAX + 300) {
        ASSERT_EQ(::mkdirat(fds.back(), part.c_str(), 0755), 0);
        fds.push_back(::openat(fds.back(), part.c_str(), O_RDONLY | O_DIRECTORY));
        ASSERT_GE(fds.back(), 0);
        deep += "/" + part;
    }
    const int file = ::openat(fds.back(), "0A240101.hst", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, "readings", 8), 8);
    ::close(file);

    const TambleResult r = RunTamble(Compress(deep));
    EXPECT_EQ(r.status, 1) << r.err.substr(0, 300);
    EXPECT_TRUE(Contains(r.err, "Couldn't read folder! " + deep + "/: File name too long"));
    struct stat st {};
    EXPECT_EQ(::fstatat(fds.back(), "0A240101.hst", &st, 0), 0);
    EXPECT_NE(::fstatat(fds.back(), "0A240101.hsz", &st, 0), 0);

    // Taken down the same way: the temporary folder's own removal cannot.
    EXPECT_EQ(::unlinkat(fds.back(), "0A240101.hst", 0), 0);
    for (std::size_t i = fds.size() - 1; i > 0; --i) {
        ::close(fds[i]);
        EXPECT_EQ(::unlinkat(fds[i - 1], part.c_str(), AT_REMOVEDIR), 0);
    }
    ::close(fds[0]);
}

TEST(HostileFolders, EmptyMissingAndReadOnlyFolders)
{
    TempDir dir;
    for (bool extract : {false, true}) {
        const TambleResult r = RunTamble(extract ? Extract(dir.Path()) : Compress(dir.Path()));
        EXPECT_EQ(r.status, 0) << r.err;
    }
    EXPECT_TRUE(Snapshot(dir.Path()).empty());   // not even a lock file

    const std::string missing = dir / "missing";
    for (bool extract : {false, true}) {
        const TambleResult r = RunTamble(extract ? Extract(missing) : Compress(missing));
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(Contains(r.err, "Couldn't read folder! " + missing + "/: No such file or directory")) << r.err;
    }
    EXPECT_FALSE(PathExists(missing));

    if (SkipWithoutInjector())
        GTEST_SKIP() << "no fault injector";
    // A folder on a read-only file system: nothing can be created in it.
    for (bool extract : {false, true}) {
        TempDir hist;
        WriteSampleFolder(hist.Path(), extract);
        const auto before = Snapshot(hist.Path());
        const TambleResult r = RunTamble(
            SampleJob(hist.Path(), extract),
            FaultSetup({{"CALL", "open"}, {"PATH", ".tamble-tmp."}, {"NTH", "1"}, {"TIMES", "0"}, {"ERRNO", "EROFS"}}));
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(Contains(r.err, "Couldn't create! " + hist.Path() + "/0A240101.hs")) << r.err;
        EXPECT_TRUE(Contains(r.err, "Read-only file system")) << r.err;
        EXPECT_EQ(CompareSnapshots(before, Snapshot(hist.Path())), "");
    }
}

TEST(HostileFolders, APlainFileWrittenToWhileItIsCompressedIsKept)
{
    if (SkipWithoutInjector())
        GTEST_SKIP() << "no fault injector";
    const Bytes& data = SampleDays()[1].data;   // 0A240102
    Bytes grown = data;
    grown.push_back('!');

    // Written to after its twin was written, before the twin is proven.
    {
        TempDir dir;
        WriteSampleFolder(dir.Path(), false);
        const TambleResult r = RunTamble(Compress(dir.Path()), FaultSetup({{"CALL", "close"},
                                                                           {"PATH", "0A240102.hsz.tamble-tmp."},
                                                                           {"NTH", "1"},
                                                                           {"ACTION", "append"},
                                                                           {"ARG", dir / "0A240102.hst"}}));
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(Contains(r.err, "the plain file is kept! " + (dir / "0A240102.hst"))) << r.err;
        EXPECT_EQ(ReadWholeFile(dir / "0A240102.hst"), grown);
        EXPECT_FALSE(PathExists(dir / "0A240102.hsz"));
        EXPECT_TRUE(PathExists(dir / "0A240103.hsz"));   // the job went on
    }

    // Written to after the proof, just before the plain file would go.
    TempDir probe;
    WriteSampleFolder(probe.Path(), false);
    const std::string report = probe / "report";
    ASSERT_EQ(
        RunTamble(Compress(probe.Path()), FaultSetup({{"CALL", "close"}, {"PATH", "0A240102.hst"}, {"REPORT", report}}))
            .status,
        0);
    // The last close is of the descriptor that held the file while it went; the
    // one before it ends the proof.
    const long closes = ReadFaultReport(report).calls - 1;
    ASSERT_GT(closes, 0);
    TempDir dir;
    WriteSampleFolder(dir.Path(), false);
    const TambleResult r = RunTamble(Compress(dir.Path()), FaultSetup({{"CALL", "close"},
                                                                       {"PATH", "0A240102.hst"},
                                                                       {"NTH", std::to_string(closes)},
                                                                       {"ACTION", "append"},
                                                                       {"ARG", dir / "0A240102.hst"}}));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(
        Contains(r.err, "The plain file changed while it was compressed, it is kept! " + (dir / "0A240102.hst")))
        << r.err;
    EXPECT_EQ(ReadWholeFile(dir / "0A240102.hst"), grown);
    EXPECT_FALSE(PathExists(dir / "0A240102.hsz"));
    EXPECT_TRUE(Temporaries(dir.Path()).empty());
}

// Whether the kernel gives write leases on files in folder.
bool LeasesWork(const std::string& folder)
{
    const int fd = ::open((folder + "/lease-probe").c_str(), O_RDONLY | O_CREAT, 0600);
    const bool works = fd >= 0 && ::fcntl(fd, F_SETLEASE, F_WRLCK) == 0;
    ::close(fd);
    ::unlink((folder + "/lease-probe").c_str());
    return works;
}

TEST(HostileFolders, APlainFileSomeoneHasOpenIsKeptForALaterRun)
{
    TempDir dir;
    if (!LeasesWork(dir.Path()))
        GTEST_SKIP() << "no leases on this file system";
    WriteSampleFolder(dir.Path(), false);
    const std::string busy = dir / "0A240102.hst";
    const int writer = ::open(busy.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(writer, 0);
    TambleResult r = RunTamble(Compress(dir.Path()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "in use by another program, it is kept for a later run! " + busy)) << r.err;
    EXPECT_FALSE(PathExists(dir / "0A240102.hsz"));
    EXPECT_FALSE(PathExists(dir / "0A240103.hst"));   // the others went on
    // What the writer appends afterwards is not lost; the next run compresses it.
    ASSERT_EQ(::write(writer, "late", 4), 4);
    ::close(writer);
    r = RunTamble(Compress(dir.Path()));
    EXPECT_EQ(r.status, 0) << r.err;
    Bytes grown = SampleDays()[1].data;
    grown.insert(grown.end(), {'l', 'a', 't', 'e'});
    EXPECT_EQ(DayIntact(dir.Path(), "0A240102", grown, true), "");
    EXPECT_FALSE(PathExists(busy));
}

TEST(HostileFolders, ALoggerAppendingDuringTheJobNeverLosesARecord)
{
    // A logger opens, appends one record and closes, round the files, while the
    // job deletes them.
    TempDir dir;
    if (!LeasesWork(dir.Path()))
        GTEST_SKIP() << "no leases on this file system";
    std::vector<std::string> names;
    for (int day = 1; day <= 24; ++day) {
        char name[16];
        std::snprintf(name, sizeof name, "0A2401%02d.hst", day);
        names.push_back(name);
        WriteWholeFile(dir / name, Readings(2000, static_cast<std::uint32_t>(day)));
    }
    std::atomic<bool> stop {false};
    int records = 0;
    std::thread logger([&] {
        for (; !stop; ::usleep(50)) {
            const std::string record = "<" + std::to_string(records) + ">";
            const std::string path = dir / names[records % names.size()];
            const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
            ::usleep(20);   // a logger that takes its time between open and write
            records += ::write(fd, record.data(), record.size()) == static_cast<ssize_t>(record.size());
            ::close(fd);
        }
    });
    const TambleResult r = RunTamble(Compress(dir.Path()));
    stop = true;
    logger.join();
    std::string all;
    for (const auto& [name, state] : Snapshot(dir.Path())) {
        const Bytes data = name.back() == 'z' ? oracle::Decode(state.bytes) : state.bytes;
        all.append(data.begin(), data.end());
    }
    int lost = 0;
    for (int i = 0; i < records; ++i)
        lost += !Contains(all, "<" + std::to_string(i) + ">");
    EXPECT_EQ(lost, 0) << "of " << records << "\n" << r.err;
}

TEST(HostileFolders, WithoutALeaseAWriteJustBeforeTheDeletionKeepsTheFile)
{
    if (::geteuid() != 0 || SkipWithoutInjector())
        GTEST_SKIP() << "needs root and the fault injector";
    // Run as nobody, who gets no lease on root's file; the job is held just
    // before the file goes while another program appends to it.
    TempDir dir, control;
    WriteSampleFolder(dir.Path(), false);
    for (const std::string& folder : {dir.Path(), control.Path()})
        ASSERT_EQ(::chown(folder.c_str(), kNobody, kNobody), 0);
    TambleSetup setup = FaultSetup({{"CALL", "rename"},
                                    {"PATH", "0A240101.hst.tamble-old."},
                                    {"NTH", "1"},
                                    {"ACTION", "pause"},
                                    {"ARG", control / "resume"}});
    setup.runAs = kNobody;
    for (const HistoryDay& day : SampleDays())
        ASSERT_EQ(::chown((dir / (day.stem + ".hst")).c_str(), day.stem == "0A240101" ? 0 : kNobody, 0), 0);
    ASSERT_EQ(::chmod((dir / "0A240101.hst").c_str(), 0644), 0);
    const pid_t run = StartTamble(Compress(dir.Path()), setup);
    ASSERT_TRUE(AwaitFile(control / "resume.reached", 60));
    const int writer = ::open((dir / "0A240101.hst").c_str(), O_WRONLY | O_APPEND);
    ASSERT_EQ(::write(writer, "late", 4), 4);
    ::close(writer);
    WriteWholeFile(control / "resume", {});
    const TambleResult r = WaitTamble(run);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "changed while it was compressed, it is kept! " + (dir / "0A240101.hst"))) << r.err;
    Bytes grown = SampleDays()[0].data;
    grown.insert(grown.end(), {'l', 'a', 't', 'e'});
    EXPECT_EQ(ReadWholeFile(dir / "0A240101.hst"), grown);
    EXPECT_FALSE(PathExists(dir / "0A240101.hsz"));
}

TEST(HostileFolders, AFailedDeletionIsReportedWithoutAProgressDisplay)
{
    if (SkipWithoutInjector())
        GTEST_SKIP() << "no fault injector";
    TempDir dir;
    WriteSampleFolder(dir.Path(), false);
    std::vector<std::string> args = Compress(dir.Path());
    args.back() = "--progress=none";
    const TambleResult r
        = RunTamble(args, FaultSetup({{"CALL", "unlink"}, {"PATH", "0A240102.hst"}, {"NTH", "1"}, {"TIMES", "0"}}));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "Couldn't delete file! " + (dir / "0A240102.hst") + ": Input/output error")) << r.err;
    EXPECT_EQ(SampleIntact(dir.Path(), false), "");
}

// A sync that failed once stays failed: a second fsync may succeed after the
// data was lost, so the file fails and nothing is taken from its source.
TEST(HostileFolders, AFailedSyncIsNotTriedAgainIntoASuccess)
{
    if (SkipWithoutInjector())
        GTEST_SKIP() << "no fault injector";
    for (const bool extract : {false, true}) {
        SCOPED_TRACE(extract ? "extract" : "compress");
        TempDir dir;
        WriteSampleFolder(dir.Path(), extract);
        const TambleResult r = RunTamble(SampleJob(dir.Path(), extract, 2),
                                         FaultSetup({{"CALL", "fsync"}, {"PATH", ".tamble-tmp."}, {"NTH", "1"}}));
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(Contains(r.err, "Input/output error")) << r.err;
        EXPECT_EQ(SampleIntact(dir.Path(), extract), "");
    }
}

TEST(HostileFolders, PermissionsOfACopyAreNeverWider)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the job as another user";
    // The source's group (staff) may not read it: "other" may not either, once the
    // copy's group is not staff.
    TempDir top;
    ASSERT_EQ(::chmod(top.Path().c_str(), 0755), 0);
    ASSERT_EQ(::chown(top.Path().c_str(), kNobody, kNobody), 0);
    WriteWholeFile(top / "src", Readings(3000, 4));
    ASSERT_EQ(::chown((top / "src").c_str(), 0, 50), 0);
    ASSERT_EQ(::chmod((top / "src").c_str(), 0604), 0);
    TambleSetup nobody;
    nobody.runAs = kNobody;
    TambleResult r = RunTamble({"/Z:C", "/S:" + (top / "src"), "/R:" + (top / "out")}, nobody);
    ASSERT_EQ(r.status, 0) << r.err;
    struct stat st {};
    ASSERT_EQ(::stat((top / "out").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A folder's default ACL grants nobody more than the source did: the copy
    // carries the source's own access ACL, or none.
    auto acl = [](const std::string& path) {
        char list[256];
        const ssize_t size = ::getxattr(path.c_str(), "system.posix_acl_access", list, sizeof list);
        return size < 0 ? std::string("none") : std::string(list, static_cast<std::size_t>(size));
    };
    const std::string folder = top / "acl";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    if (std::system(("setfacl -d -m u:nobody:r '" + folder + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "no ACLs here (setfacl missing or the file system has none)";
    for (const char* own : {"", " && setfacl -m u:daemon:r "}) {
        const std::string src = folder + "/src" + std::to_string(*own != 0);
        WriteWholeFile(src, Readings(3000, 5));
        ASSERT_EQ(std::system(("setfacl -b " + src + (*own ? own + src : "") + " && chmod 640 " + src).c_str()), 0);
        r = RunTamble({"/Z:C", "/S:" + src, "/R:" + src + ".out"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(acl(src + ".out"), acl(src)) << src;
    }
}

}   // namespace

TEST(HostileFolders, ASlowFirstFileDoesNotPileUpTheFilesAfterIt)
{
    // While one worker codes a large first file, the other must not finish and
    // hold open the temporaries of every file after it.
    TempDir dir;
    WriteWholeFile(dir / "0A240101.hst", Readings(12 << 20, 1));
    for (int day = 1; day <= 28; ++day)
        for (int month = 2; month <= 7; ++month) {
            char name[16];
            std::snprintf(name, sizeof name, "0A24%02d%02d.hst", month, day);
            WriteWholeFile(dir / name, Readings(2000, static_cast<std::uint32_t>(day * month)));
        }
    TambleSetup setup;
    setup.openFileLimit = 100;
    const TambleResult r = RunTamble({"/Z:C", "/T:A", "/S:" + dir.Path(), "/N:1", "/H", "--jobs=2"}, setup);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "169 files compressed, 0 passed over, 0 failed")) << r.err;
    // More workers than the limit leaves descriptors for: fewer run, none fails.
    const TambleResult many
        = RunTamble({"/Z:E", "/T:A", "/S:" + dir.Path(), "/D:2024-01-01", "/N:250", "/H", "--jobs=64"}, setup);
    EXPECT_EQ(many.status, 0) << many.err;
    EXPECT_TRUE(Contains(many.err, "169 files extracted, 0 passed over, 0 failed")) << many.err;
}

// A single file's conversion reads ahead on a thread of its own: a read or a write
// failing in the middle of a large file still ends it with its message and no target.
TEST(HostileFolders, AFailureInTheMiddleOfALargeFileLeavesNoTarget)
{
    if (SkipWithoutInjector())
        GTEST_SKIP() << "no fault injector";
    TempDir dir;
    const std::string plain = dir / "plain", coded = dir / "coded", out = dir / "out";
    WriteWholeFile(plain, Readings(5 << 20, 3));
    ASSERT_EQ(RunTamble({"/Z:C", "/S:" + plain, "/R:" + coded, "/H"}).status, 0);
    for (const std::string mode : {"/Z:C", "/Z:E"}) {
        const std::string& source = mode == "/Z:C" ? plain : coded;
        for (const std::string call : {"read", "write"}) {
            SCOPED_TRACE(mode + " " + call);
            const bool read = call == "read";
            // A megabyte or so in: plain bytes move a chunk a call (after the two
            // reads that look for a magic), coded ones 32000 bytes a call.
            const bool plainSide = read == (mode == "/Z:C");
            const std::string nth = plainSide ? (read ? "4" : "2") : "30";
            const TambleResult r = RunTamble({mode, "/S:" + source, "/R:" + out, "/H"},
                                             FaultSetup({{"CALL", call},
                                                         {"PATH", read ? source : ".tamble-tmp."},
                                                         {"NTH", nth},
                                                         {"TIMES", "0"},
                                                         {"ERRNO", read ? "EIO" : "ENOSPC"}}));
            EXPECT_EQ(r.status, 1) << r.err;
            EXPECT_TRUE(Contains(r.err, read ? "Couldn't read file! " + source + ": Input/output error"
                                             : "Couldn't write file! " + out + ": No space left on device"))
                << r.err;
            EXPECT_FALSE(PathExists(out));
            EXPECT_EQ(Temporaries(dir.Path()).size(), 0u);
        }
    }
}

// The user who owns the folder above the history folder swaps the history
// folder for a link to another folder, over and over, while root runs the job:
// with a dead run's set-aside name planted, a twin there and plain files to
// pack.  Whatever the timing, the other folder keeps exactly what it held.
TEST(HostileFolders, AFolderSwappedForALinkNeverTurnsARootRunElsewhere)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    TempDir top, elsewhere;
    const std::string data = top / "data", history = data + "/history", aside = data + "/real";
    ASSERT_EQ(::chmod(top.Path().c_str(), 0755), 0);   // the attacker reaches the folder it owns
    ASSERT_EQ(::mkdir(data.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(history.c_str(), 0755), 0);
    const Bytes day = Readings(3000, 5);
    // In the other folder: the only copy of a day, and a name the job would put back.
    WriteWholeFile(elsewhere / "0A240101.hsz", ReferenceLzw(day));
    WriteWholeFile(elsewhere / "victim", kVictim);
    for (int i = 1; i <= 6; ++i)
        WriteWholeFile(history + "/0A24010" + std::to_string(i) + ".hst", day);
    WriteWholeFile(history + "/0A240101.hsz", ReferenceLzw(day));
    WriteWholeFile(history + "/.victim.tamble-old.999999999", kVictim);
    for (const std::string& path : {data, history})
        ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
    const auto before = Snapshot(elsewhere.Path());

    const pid_t attacker = ::fork();
    ASSERT_GE(attacker, 0);
    if (attacker == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(2);
        for (unsigned n = 0;; ++n) {   // ended by the test
            if (::rename(history.c_str(), aside.c_str()) == 0) {
                ::symlink(elsewhere.Path().c_str(), history.c_str());
                ::usleep(n % 4 * 20);
                ::unlink(history.c_str());
                ::rename(aside.c_str(), history.c_str());
            }
            ::usleep(150 + n % 5 * 100);   // mostly the real folder, so that runs get going
        }
    }
    TambleSetup limited;
    limited.timeLimit = 60;
    for (int run = 0; run < 60; ++run) {
        const TambleResult r = RunTamble(run % 2 ? Extract(history) : Compress(history), limited);
        EXPECT_EQ(r.signal, 0) << r.err;
    }
    ::kill(attacker, SIGKILL);
    ::waitpid(attacker, nullptr, 0);
    if (!LinkTarget(history).empty() || !PathExists(history)) {
        ::unlink(history.c_str());
        ASSERT_EQ(::rename(aside.c_str(), history.c_str()), 0);
    }
    EXPECT_EQ(CompareSnapshots(before, Snapshot(elsewhere.Path())), "");
    for (int i = 1; i <= 6; ++i)
        EXPECT_EQ(DayIntact(history, "0A24010" + std::to_string(i), day), "") << i;
}

// Nobody who cannot write the folder can hold its lock, nor can anyone through
// a lock file they planted.
TEST(HostileFolders, NoReaderOrPlantedFileCanHoldTheFolderLock)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    TempDir dir;
    WriteSampleFolder(dir.Path(), false);
    const int folder = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(folder, LOCK_EX | LOCK_NB), 0);   // a reader's hold on the folder itself
    const std::string lock = dir / ".tamble-lock";
    const int planted = ::open(lock.c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_EQ(::fchown(planted, kNobody, kNobody), 0);
    ASSERT_EQ(::flock(planted, LOCK_EX | LOCK_NB), 0);
    TambleSetup noWait;
    noWait.env = {{"TAMBLE_LOCK_WAIT", "0"}};
    const TambleResult r = RunTamble(SampleJob(dir.Path(), false), noWait);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(SampleIntact(dir.Path(), false), "");
    EXPECT_TRUE(PathExists(dir / "0A240101.hsz"));
    EXPECT_FALSE(PathExists(lock));   // the run's own lock file went with the run
    ::close(planted);
    ::close(folder);
}

// Plain files of unusual shape: two names of one file (and a third name that is
// no history file), and contents that begin like a magic without being one.
TEST(HostileFolders, LinkedNamesAndMagicLikeContentsArePacked)
{
    TempDir dir;
    const Bytes data = Readings(5000, 3);
    WriteWholeFile(dir / "0A240101.hst", data);
    ASSERT_EQ(::link((dir / "0A240101.hst").c_str(), (dir / "0A240102.hst").c_str()), 0);
    ASSERT_EQ(::link((dir / "0A240101.hst").c_str(), (dir / "keep.dat").c_str()), 0);
    Bytes nearMagic(data);
    const char* lookalike = "**++LZWx";   // a magic with its blank changed
    std::copy(lookalike, lookalike + 8, nearMagic.begin());
    WriteWholeFile(dir / "0A240103.hst", nearMagic);
    for (int run = 0; run < 2; ++run)   // a name our own work has open waits for the next run
        RunTamble(Compress(dir.Path()));
    EXPECT_EQ(DayIntact(dir.Path(), "0A240101", data, true), "");
    EXPECT_EQ(DayIntact(dir.Path(), "0A240102", data, true), "");
    EXPECT_EQ(DayIntact(dir.Path(), "0A240103", nearMagic, true), "");
    for (const char* name : {"0A240101.hst", "0A240102.hst", "0A240103.hst"})
        EXPECT_FALSE(PathExists(dir / name)) << name;
    EXPECT_EQ(ReadWholeFile(dir / "keep.dat"), data);
    // Where coded data is expected, such bytes are still a damaged magic.
    WriteWholeFile(dir / "0A240104.hsz", nearMagic);
    EXPECT_EQ(RunTamble({"--test", dir / "0A240104.hsz"}).status, 1);
}

// An existing twin is forced to disk before its plain file goes (a failing sync
// keeps the plain file); plain files deleted without a lease are said once.
TEST(HostileFolders, AnExistingTwinIsSyncedAndDeletionsWithoutALeaseAreSaid)
{
    if (SkipWithoutInjector())
        GTEST_SKIP() << "no fault injector";
    TempDir dir, report;
    const Bytes data = Readings(4000, 7);
    WriteWholeFile(dir / "0A240101.hst", data);
    WriteWholeFile(dir / "0A240101.hsz", ReferenceLzw(data));
    TambleResult r = RunTamble(Compress(dir.Path()), FaultSetup({{"CALL", "fsync"},
                                                                 {"PATH", "0A240101.hsz"},
                                                                 {"NTH", "1"},
                                                                 {"ERRNO", "EIO"},
                                                                 {"REPORT", report / "fsync"}}));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, (dir / "0A240101.hsz") + ": ")) << r.err;
    EXPECT_EQ(ReadWholeFile(dir / "0A240101.hst"), data);
    EXPECT_EQ(ReadFaultReport(report / "fsync").fired, 1);

    WriteWholeFile(dir / "0A240102.hst", data);
    r = RunTamble(Compress(dir.Path()),
                  FaultSetup({{"CALL", "lease"}, {"NTH", "1"}, {"TIMES", "0"}, {"ERRNO", "EINVAL"}}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "Warning: 2 plain files deleted without a write lease")) << r.err;
    EXPECT_FALSE(PathExists(dir / "0A240101.hst"));
    EXPECT_FALSE(PathExists(dir / "0A240102.hst"));
}

// A read error stops the job at its file whatever the number of workers: files
// after it that other workers converted already are dropped, those before it are
// settled, so folder, messages, summary and status are those of one worker.
TEST(HostileFolders, AReadErrorStopsEveryWorkerCountAtItsFile)
{
    if (SkipWithoutInjector())
        GTEST_SKIP() << "no fault injector";
    TempDir top;
    for (const bool extract : {false, true}) {
        for (const int failing : {2, 39}) {   // in the first group of files, and after it
            std::string oneErr;
            std::map<std::string, FileState> oneFolder;
            for (const int jobs : {1, 2, 4}) {
                SCOPED_TRACE((extract ? "extract, file " : "compress, file ") + std::to_string(failing) + ", jobs "
                             + std::to_string(jobs));
                const std::string folder
                    = top / (std::to_string(extract) + "-" + std::to_string(failing) + "-" + std::to_string(jobs));
                ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
                std::string failName;
                for (int i = 0; i < 100; ++i) {
                    char stem[16];
                    std::snprintf(stem, sizeof stem, "0A24%02d%02d", i / 25 + 1, i % 25 + 1);
                    const Bytes data = Readings(2000 + 37 * i, static_cast<std::uint32_t>(i));
                    std::vector<std::string> names {stem + std::string(extract ? ".hsz" : ".hst")};
                    // Right after it two names that share a twin: the second waits
                    // for the first, which is dropped.
                    if (i == failing + 1)
                        names.push_back(stem + std::string(extract ? ".HSZ" : ".HST"));
                    for (const std::string& name : names) {
                        WriteWholeFile(folder + "/" + name, extract ? ReferenceLzw(data) : data);
                        const struct timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
                        ASSERT_EQ(::utimensat(AT_FDCWD, (folder + "/" + name).c_str(), times, 0), 0);
                    }
                    if (i == failing)
                        failName = "/" + names.front();
                }
                // The third read of the file is in the middle of its conversion.
                TambleSetup setup = FaultSetup({{"CALL", "read"}, {"PATH", failName}, {"NTH", "3"}, {"ERRNO", "EIO"}});
                setup.timeLimit = 30;
                setup.env.insert(setup.env.end(), {{"XDG_DATA_HOME", top.Path()}, {"LC_ALL", "C"}});   // in English
                const TambleResult r = RunTamble({extract ? "/Z:E" : "/Z:C", "/T:A", "/S:" + folder, "/D:2024-01-01",
                                                  extract ? "/N:120" : "/N:1", "/H", "--jobs=" + std::to_string(jobs)},
                                                 setup);
                std::string err = r.err.substr(0, r.err.rfind("; "));   // not the time taken
                for (std::size_t at; (at = err.find(folder)) != std::string::npos;)
                    err.replace(at, folder.size(), "DIR");
                err = std::to_string(r.status) + "\n" + err;
                if (jobs == 1) {
                    ASSERT_EQ(r.status, 1) << err;
                    ASSERT_TRUE(Contains(err, "Couldn't read file! DIR" + failName + ": Input/output error")) << err;
                    ASSERT_TRUE(Contains(err, std::to_string(failing) + " files "
                                                  + (extract ? "extracted" : "compressed")
                                                  + ", 0 passed over, 1 failed"))
                        << err;
                    oneErr = err;
                    oneFolder = Snapshot(folder);
                    continue;
                }
                EXPECT_EQ(err, oneErr);
                EXPECT_EQ(CompareSnapshots(oneFolder, Snapshot(folder)), "");
            }
        }
    }
}

// A name swapped at the worst moment: for a link to a file only root may read,
// just before the source is opened; for a FIFO while the file is compressed,
// before the proof opens it again.  Neither is followed or waited on.
TEST(HostileFolders, ANameSwappedDuringTheJobIsNeitherFollowedNorWaitedOn)
{
    if (SkipWithoutInjector())
        GTEST_SKIP() << "no fault injector";
    TempDir dir, secretDir, control;
    ASSERT_EQ(::chmod(secretDir.Path().c_str(), 0700), 0);
    const Bytes secret = Readings(2000, 11), data = Readings(2000, 12);
    WriteWholeFile(secretDir / "secret", secret);
    ASSERT_EQ(::chmod((secretDir / "secret").c_str(), 0644), 0);
    TambleSetup limited;
    limited.timeLimit = 60;
    for (const char* swap : {"link", "fifo"}) {
        const bool link = std::string(swap) == "link";
        WriteWholeFile(dir / "0A240101.hst", data);
        const std::string resume = control / swap;
        TambleSetup setup = FaultSetup({{"CALL", link ? "open" : "read"},
                                        {"PATH", "0A240101.hst"},
                                        {"NTH", "1"},
                                        {"ACTION", "pause"},
                                        {"ARG", resume}});
        setup.timeLimit = 60;
        const pid_t run = StartTamble(Compress(dir.Path()), setup);
        ASSERT_TRUE(AwaitFile(resume + ".reached", 60)) << swap;
        const std::string planted = dir / "planted";
        ASSERT_EQ(link ? ::symlink((secretDir / "secret").c_str(), planted.c_str()) : ::mkfifo(planted.c_str(), 0644),
                  0);
        ASSERT_EQ(::rename(planted.c_str(), (dir / "0A240101.hst").c_str()), 0);
        WriteWholeFile(resume, {});
        const TambleResult r = WaitTamble(run);
        EXPECT_EQ(r.signal, 0) << swap << "\n" << r.err;
        EXPECT_EQ(r.status, 1) << swap << "\n" << r.err;
        EXPECT_FALSE(PathExists(dir / "0A240101.hsz")) << swap << "\n" << r.err;
        EXPECT_TRUE(Temporaries(dir.Path()).empty()) << swap;
        ::unlink((dir / "0A240101.hst").c_str());
    }
    EXPECT_EQ(ReadWholeFile(secretDir / "secret"), secret);
}
