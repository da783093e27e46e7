// Faults injected into the real tamble binary while it compresses and extracts a
// small history folder: the N-th open, read, write, fsync, rename, unlink, close or
// lease fails with ENOSPC, EIO, EACCES or EINTR, for a spread of N over every such
// call of the job; a disk that stays full; and a file-size limit.  After every run each
// day's data is intact, no temporary is left, the exit status is 1 with a message
// that names the file and the cause -- or, for a fault the program retries (EINTR
// always) or may pass over, status 0 and exactly what an undisturbed run leaves.
//
// TAMBLE_FAULT_SWEEP=full tries every N instead of a spread of them.
//
// On Windows the runs are made by tamble-faults.exe, whose fault injector sits in
// the table of Win32 file calls (tests/faultinject/win32/); EINTR and the file-size
// limit have no counterpart there.
#include "tests/support/TambleRun.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <tuple>

namespace {

const char* const kKinds[] = {"open", "read", "write", "fsync", "rename", "unlink", "close", "lease"};
const struct {
    const char* name;
    int value;
} kErrnos[] = {{"ENOSPC", ENOSPC},
               {"EIO", EIO},
               {"EACCES", EACCES},
#ifndef _WIN32   // no Windows call is interrupted: EINTR has no counterpart there
               {"EINTR", EINTR}
#endif
};

class Faults : public ::testing::TestWithParam<std::tuple<bool, int>> {
protected:
    void SetUp() override
    {
        std::string why;
        if (!FaultInjectorUsable(&why))
            GTEST_SKIP() << why;
        m_bExtract = std::get<0>(GetParam());
        m_nJobs = std::get<1>(GetParam());
        // What an undisturbed run leaves.
        TempDir clean;
        WriteSampleFolder(clean.Path(), m_bExtract);
        const TambleResult r = RunTamble(SampleJob(clean.Path(), m_bExtract, 1));
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(SampleIntact(clean.Path(), m_bExtract), "");
        m_clean = Snapshot(clean.Path());
    }

    // Calls of one kind an undisturbed run makes on the folder.
    long CountCalls(const char* kind)
    {
        TempDir dir;
        WriteSampleFolder(dir.Path(), m_bExtract);
        const std::string report = m_report.Path() + "/count";
        const TambleResult r
            = RunTamble(SampleJob(dir.Path(), m_bExtract, m_nJobs), Injector(kind, dir.Path(), 0, "EIO", report));
        EXPECT_EQ(r.status, 0) << r.err;
        return ReadFaultReport(report).calls;
    }

    TambleSetup Injector(const std::string& kind, const std::string& folder, long nth, const std::string& err,
                         const std::string& report, long times = 1)
    {
        TambleSetup setup;
        setup.faults = true;
        setup.env = {{"TAMBLE_FAULT_CALL", kind},
                     {"TAMBLE_FAULT_PATH", folder},
                     {"TAMBLE_FAULT_NTH", std::to_string(nth)},
                     {"TAMBLE_FAULT_ERRNO", err},
                     {"TAMBLE_FAULT_TIMES", std::to_string(times)},
                     {"TAMBLE_FAULT_REPORT", report}};
        return setup;
    }

    // One run with a fault; checks what it left and counts the fault.
    void RunWithFault(const std::string& kind, long nth, const char* errName, int err, long times = 1)
    {
        TempDir dir;
        WriteSampleFolder(dir.Path(), m_bExtract);
        const std::string report = m_report.Path() + "/fault";
        const std::string label = kind + " #" + std::to_string(nth) + " " + errName;
        const TambleResult r = RunTamble(SampleJob(dir.Path(), m_bExtract, m_nJobs),
                                         Injector(kind, dir.Path(), nth, errName, report, times));
        const FaultReport fired = ReadFaultReport(report);
        EXPECT_GE(fired.fired, 1) << label;
        m_nInjected += fired.fired > 0 ? fired.fired : 0;
        ++m_nRuns;
        EXPECT_EQ(SampleIntact(dir.Path(), m_bExtract), "") << label << "\n" << r.err;
        // A fault the program retried, or one it may pass over (a folder it may
        // not open to sync), must leave exactly what an undisturbed run leaves.
        if (err == EINTR || r.status == 0) {
            EXPECT_EQ(r.status, 0) << label << "\n" << r.err;
            auto after = Snapshot(dir.Path());
            if (kind == "unlink")
                after.erase(".tamble-lock");   // an empty lock file that could not go: the next run takes it
            EXPECT_EQ(CompareSnapshots(m_clean, after), "") << label << "\n" << r.err;
            if (err != EINTR) {
                ++m_nAbsorbed;
                std::cout << "absorbed: " << label << "\n";
            }
            return;
        }
        EXPECT_EQ(r.status, 1) << label << "\n" << r.err;
        EXPECT_NE(r.err.find(std::strerror(err)), std::string::npos) << label << "\n" << r.err;
        EXPECT_NE(r.err.find(dir.Path() + "/"), std::string::npos) << label << "\n" << r.err;
    }

    void TearDown() override
    {
        if (m_nRuns)
            std::cout << (m_bExtract ? "extract: " : "compress: ") << m_nInjected << " faults injected in " << m_nRuns
                      << " runs, " << m_nAbsorbed << " of the failures (not EINTR) absorbed harmlessly\n";
    }

    long m_nInjected = 0, m_nRuns = 0, m_nAbsorbed = 0;
    bool m_bExtract = false;
    int m_nJobs = 1;   // files converted at once
    std::map<std::string, FileState> m_clean;
    TempDir m_report;
};

TEST_P(Faults, EveryKindOfCallFailingAnywhereLosesNothing)
{
    int kinds = 0;
    for (const char* kind : kKinds) {
        const long calls = CountCalls(kind);
        if (calls == 0)
            continue;   // an extraction deletes nothing
        ++kinds;
        for (const auto& e : kErrnos) {
            [[maybe_unused]] std::size_t point = 0;   // Windows: which errno this point meets
            for (long nth : Spread(calls, SweepSize(5))) {
#ifdef _WIN32
                // A run under Wine costs a few tenths of a second: each point meets one of
                // the errnos, in turn (all of them at every point with TAMBLE_FAULT_SWEEP=full).
                const std::size_t turn = (point++ + kinds) % std::size(kErrnos);
                if (SweepSize(1) == 1 && turn != static_cast<std::size_t>(&e - kErrnos))
                    continue;
#endif
                RunWithFault(kind, nth, e.name, e.value);
                if (HasFailure())
                    return;
            }
        }
    }
    EXPECT_GE(kinds, 6);
}

TEST_P(Faults, DiskThatStaysFull)
{
    const long calls = CountCalls("write");
    for (long nth : Spread(calls, SweepSize(5) + 2)) {
        RunWithFault("write", nth, "ENOSPC", ENOSPC, 0);
        if (HasFailure())
            return;
    }
}

TEST_P(Faults, FileSizeLimitAnywhere)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no file-size limit of a process (RLIMIT_FSIZE); a file too large is the EFBIG fault";
#endif
    // Limits from nothing at all to more than the largest file the job writes.
    std::size_t largest = 0;
    for (const auto& entry : m_clean)
        largest = std::max(largest, entry.second.bytes.size());
    std::vector<long long> limits {0, 1, 15, 16, 17, 100, 4096, 32000, 32001};
    for (long step : Spread(static_cast<long>(largest) + 2, std::min<long>(SweepSize(5) + 3, 200)))
        limits.push_back(step - 1);
    for (std::size_t i = 0; i < limits.size(); ++i) {
        const long long limit = limits[i];
        TempDir dir;
        WriteSampleFolder(dir.Path(), m_bExtract);
        TambleSetup setup;
        setup.fileSizeLimit = limit;
        // Half the runs with SIGXFSZ at its default, as a service manager leaves it.
        setup.sizeSignalIgnored = i % 2 == 0;
        const TambleResult r = RunTamble(SampleJob(dir.Path(), m_bExtract, m_nJobs), setup);
        const std::string label
            = "limit " + std::to_string(limit) + (setup.sizeSignalIgnored ? "" : ", SIGXFSZ at its default");
        EXPECT_EQ(SampleIntact(dir.Path(), m_bExtract), "") << label << "\n" << r.err;
        if (static_cast<std::size_t>(limit) >= largest) {
            EXPECT_EQ(r.status, 0) << label << "\n" << r.err;
            EXPECT_EQ(CompareSnapshots(m_clean, Snapshot(dir.Path())), "") << label;
        } else {
            EXPECT_EQ(r.status, 1) << label << "\n" << r.err;
            EXPECT_NE(r.err.find(std::strerror(EFBIG)), std::string::npos) << label << "\n" << r.err;
        }
        if (HasFailure())
            return;
    }
}

// Every run is also made with three workers, and compared with a run of one.
INSTANTIATE_TEST_SUITE_P(Jobs, Faults, ::testing::Combine(::testing::Bool(), ::testing::Values(1, 3)),
                         [](const auto& info) { return JobName(std::get<0>(info.param), std::get<1>(info.param)); });

}   // namespace
