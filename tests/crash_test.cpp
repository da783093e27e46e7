// The tamble binary killed (SIGKILL) in the middle of a batch compress or extract,
// at a spread of moments: just before its N-th open, read, write, fsync, rename,
// unlink or close on the folder.  After each kill every day's data is still
// there (the plain file as it was, or a compressed file that decodes to exactly
// its bytes), and a second run finishes the job and leaves exactly what a run
// that was never interrupted leaves, removing the temporaries the killed run
// left.  Also: which temporaries a run removes, and which it leaves alone.
//
// TAMBLE_FAULT_SWEEP=full kills the run at every one of its calls.
#include "tests/support/TambleRun.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

class Crash : public ::testing::TestWithParam<std::tuple<bool, int>> {
protected:
    void SetUp() override
    {
        std::string why;
        if (!FaultInjectorUsable(&why))
            GTEST_SKIP() << why;
        m_bExtract = std::get<0>(GetParam());
        m_nJobs = std::get<1>(GetParam());
        m_clean = UndisturbedResult(m_bExtract);
        ASSERT_FALSE(m_clean.empty());
    }

    // Calls of every kind an undisturbed run makes on the folder.
    long CountCalls()
    {
        TempDir dir;
        WriteSampleFolder(dir.Path(), m_bExtract);
        const std::string report = m_reports.Path() + "/count";
        const TambleResult r = RunTamble(SampleJob(dir.Path(), m_bExtract, m_nJobs),
                                         FaultSetup({{"CALL", "any"}, {"PATH", dir.Path()}, {"REPORT", report}}));
        EXPECT_EQ(r.status, 0) << r.err;
        return ReadFaultReport(report).calls;
    }

    // Runs the job on dir and kills it before its nth call; checks that nothing is lost.
    void KillAt(const std::string& dir, long nth, const std::string& label, bool mayFinish = false)
    {
        const TambleResult r
            = RunTamble(SampleJob(dir, m_bExtract, m_nJobs),
                        FaultSetup({{"CALL", "any"}, {"PATH", dir}, {"NTH", std::to_string(nth)}, {"ACTION", "kill"}}));
        if (!mayFinish || r.signal != 0)
            EXPECT_EQ(r.signal, SIGKILL) << label << "\n" << r.err;
        else
            EXPECT_EQ(r.status, 0) << label << "\n" << r.err;
        m_nKills += r.signal == SIGKILL;
        EXPECT_EQ(SampleIntact(dir, m_bExtract, true), "") << label << " (after the kill)\n" << r.err;
    }

    // A run without faults completes the job as if nothing had happened.
    void Complete(const std::string& dir, const std::string& label)
    {
        const bool leftOver = !Temporaries(dir).empty();
        const TambleResult r = RunTamble(SampleJob(dir, m_bExtract, m_nJobs));
        EXPECT_EQ(r.status, 0) << label << "\n" << r.err;
        EXPECT_EQ(CompareSnapshots(m_clean, Snapshot(dir)), "") << label << "\n" << r.err;
        if (leftOver) {
            ++m_nCleaned;
            EXPECT_NE(r.err.find("Removed a temporary file left by an interrupted run: " + dir + "/."),
                      std::string::npos)
                << label << "\n"
                << r.err;
        }
    }

    void TearDown() override
    {
        if (m_nKills)
            std::cout << (m_bExtract ? "extract: " : "compress: ") << m_nKills << " kills survived, " << m_nCleaned
                      << " runs found temporaries to remove\n";
    }

    bool m_bExtract = false;
    int m_nJobs = 1;   // files converted at once
    std::map<std::string, FileState> m_clean;
    TempDir m_reports;
    long m_nKills = 0, m_nCleaned = 0;
};

TEST_P(Crash, KilledAnywhereThenRunAgain)
{
    const long calls = CountCalls();
    ASSERT_GT(calls, 20);
    for (long nth : Spread(calls, SweepSize(30))) {
        TempDir dir;
        WriteSampleFolder(dir.Path(), m_bExtract);
        const std::string label = "killed before call " + std::to_string(nth) + " of " + std::to_string(calls);
        KillAt(dir.Path(), nth, label);
        Complete(dir.Path(), label);
        if (HasFailure())
            return;
    }
}

TEST_P(Crash, KilledAgainWhileRecovering)
{
    const long calls = CountCalls();
    for (long nth : Spread(calls, 6)) {
        TempDir dir;
        WriteSampleFolder(dir.Path(), m_bExtract);
        const std::string label = "killed twice, before call " + std::to_string(nth);
        KillAt(dir.Path(), nth, label);
        // The second run has less to do and may finish before the moment comes.
        KillAt(dir.Path(), 1 + nth / 4, label + " (second run)", true);
        Complete(dir.Path(), label);
        if (HasFailure())
            return;
    }
}

TEST_P(Crash, StoppedBySignalAnywhereThenRunAgain)
{
    // SIGTERM, SIGINT or SIGHUP arriving before any call of the job: the run
    // dies of that signal, its temporary goes with it, nothing else is touched.
    const int signals[] = {SIGTERM, SIGINT, SIGHUP};
    const long calls = CountCalls();
    int i = 0;
    for (long nth : Spread(calls, SweepSize(12))) {
        const int sig = signals[i++ % 3];
        TempDir dir;
        WriteSampleFolder(dir.Path(), m_bExtract);
        const std::string label = std::string(strsignal(sig)) + " before call " + std::to_string(nth);
        const TambleResult r
            = RunTamble(SampleJob(dir.Path(), m_bExtract, m_nJobs), FaultSetup({{"CALL", "any"},
                                                                                {"PATH", dir.Path()},
                                                                                {"NTH", std::to_string(nth)},
                                                                                {"ACTION", "signal"},
                                                                                {"ARG", std::to_string(sig)}}));
        EXPECT_EQ(r.signal, sig) << label << "\n" << r.err;
        EXPECT_EQ(SampleIntact(dir.Path(), m_bExtract), "") << label << "\n" << r.err;
        Complete(dir.Path(), label);
        if (HasFailure())
            return;
    }
}

// Every sweep is also made with three workers; the rerun must end as a run of one does.
INSTANTIATE_TEST_SUITE_P(Jobs, Crash, ::testing::Combine(::testing::Bool(), ::testing::Values(1, 3)),
                         [](const auto& info) { return JobName(std::get<0>(info.param), std::get<1>(info.param)); });

// The large file comes after one small file, or after 84 of them: the temporaries
// of the files settled before it must have made room for its own.
TEST(StopSignals, InTheMiddleOfALargeConversion)
{
    const Bytes big = Readings(24 << 20, 11), small = Readings(3000, 12);
    for (int before : {1, 84}) {
        for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
            SCOPED_TRACE(std::to_string(before) + " before, " + strsignal(sig));
            TempDir dir;
            std::vector<std::string> smalls;
            for (int k = 0; k < before; ++k) {
                char name[16];
                std::snprintf(name, sizeof name, "0A23%02d%02d", 1 + k / 28, 1 + k % 28);
                smalls.push_back(name);
                WriteWholeFile(dir / (smalls.back() + ".hst"), small);
            }
            WriteWholeFile(dir / "0A240102.hst", big);
            WriteWholeFile(dir / "0A240103.hst", small);
            const pid_t pid = StartTamble({"/Z:C", "/T:A", "/S:" + dir.Path(), "/N:30", "/H"});
            ASSERT_GT(pid, 0);
            bool writing = false;
            for (int wait = 0; wait < 20000 && !writing; ++wait) {
                for (const std::string& temp : Temporaries(dir.Path()))
                    writing = writing || temp.find("0A240102.hsz.tamble-tmp") != std::string::npos;
                if (!writing)
                    ::usleep(1000);
            }
            if (writing)
                ::kill(pid, sig);
            const TambleResult r = WaitTamble(pid);
            ASSERT_TRUE(writing) << "no conversion of the large file was seen\n" << r.err;
            EXPECT_EQ(r.signal, sig) << r.err;
            EXPECT_TRUE(Temporaries(dir.Path()).empty());
            for (const std::string& day : smalls)
                EXPECT_EQ(DayIntact(dir.Path(), day, small), "");
            EXPECT_EQ(DayIntact(dir.Path(), "0A240102", big), "");
            EXPECT_EQ(ReadWholeFile(dir / "0A240103.hst"), small);
        }
    }
}

// The id of a process that has ended.
pid_t GonePid()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

TEST(LeftOverTemporaries, OnlyThoseOfEndedRunsInTheJobsFolderGo)
{
    TempDir dir, elsewhere;
    WriteSampleFolder(dir.Path(), false);
    const std::string gone = std::to_string(GonePid());
    const std::string alive = std::to_string(::getpid());
    const Bytes junk {'p', 'a', 'r', 't'};
    const std::string stale = ".0A240102.hsz.tamble-tmp." + gone + ".0";
    WriteWholeFile(dir / stale, junk);
    // Kept: a running process's, a folder, names that are not ours, another folder's.
    const std::vector<std::string> kept {".0A240103.hsz.tamble-tmp." + alive + ".3", "x.tamble-tmp." + gone + ".1",
                                         ".y.tamble-tmp." + gone + ".z", ".tamble-tmp." + gone + ".2"};
    for (const std::string& name : kept)
        WriteWholeFile(dir / name, junk);
    ASSERT_EQ(::mkdir((dir / (".d.tamble-tmp." + gone + ".4")).c_str(), 0755), 0);
    WriteWholeFile(elsewhere / stale, junk);

    const TambleResult r = RunTamble(SampleJob(dir.Path(), false));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(PathExists(dir / stale));
    EXPECT_NE(r.err.find("Removed a temporary file left by an interrupted run: " + (dir / stale)), std::string::npos)
        << r.err;
    for (const std::string& name : kept)
        EXPECT_TRUE(PathExists(dir / name)) << name;
    EXPECT_TRUE(PathExists(dir / (".d.tamble-tmp." + gone + ".4")));
    EXPECT_TRUE(PathExists(elsewhere / stale));
    EXPECT_EQ(SampleIntact(dir.Path(), false, true), "");

    // A single-file job removes only its own target's left-overs.
    const std::string mine = ".out.lzw.tamble-tmp." + gone + ".0";
    const std::string other = ".other.lzw.tamble-tmp." + gone + ".0";
    WriteWholeFile(elsewhere / mine, junk);
    WriteWholeFile(elsewhere / other, junk);
    const TambleResult single = RunTamble({"/Z:C", "/S:" + (dir / "notes.txt"), "/R:" + (elsewhere / "out.lzw")});
    EXPECT_EQ(single.status, 0) << single.err;
    EXPECT_FALSE(PathExists(elsewhere / mine));
    EXPECT_TRUE(PathExists(elsewhere / other));
    EXPECT_TRUE(PathExists(elsewhere / stale));
}

TEST(LeftOverTemporaries, ALongTargetNamesItsShortenedTemporary)
{
    TempDir dir;
    const std::string name(250, 'n');
    WriteWholeFile(dir / "source", Readings(1000, 5));
    // The temporary of a 250-byte name is cut to fit the 255-byte limit.
    const std::string gone = std::to_string(GonePid());
    const std::string suffix = ".tamble-tmp." + gone + ".7";
    const std::string stale = "." + name.substr(0, 255 - 1 - suffix.size()) + suffix;
    ASSERT_EQ(stale.size(), 255u);
    WriteWholeFile(dir / stale, {'x'});
    const TambleResult r = RunTamble({"/Z:C", "/S:" + (dir / "source"), "/R:" + (dir / name)});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(PathExists(dir / stale));
    EXPECT_TRUE(PathExists(dir / name));
    EXPECT_TRUE(Temporaries(dir.Path()).empty());
}

}   // namespace
