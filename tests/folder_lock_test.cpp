// Two tamble runs on one folder: the second waits for the first (a bounded time)
// or refuses with a message and status 1, touching nothing; the two never work
// on the same file, and the lock leaves nothing behind in the folder.
//
// The first run is held inside the job (paused at its first write by the fault
// injector) so that the runs overlap without any guess at timing.
#include "tests/support/TambleRun.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <filesystem>
#include <unistd.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

const char kRefused[] = "Another tamble run is working in this folder, nothing done! ";
const char kWaiting[] = "Waiting for another tamble run to finish in: ";

// Holds the folder's lock the way a running tamble does.
#ifdef _WIN32
class CHeldLock {
public:
    explicit CHeldLock(const std::string& folder)
        : m_hFile(
            ::CreateFileW((std::filesystem::path(std::u8string(folder.begin(), folder.end())) / ".tamble-lock").c_str(),
                          GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
        OVERLAPPED at {};
        m_bHeld = m_hFile != INVALID_HANDLE_VALUE
                  && ::LockFileEx(m_hFile, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at);
    }
    ~CHeldLock()
    {
        if (m_hFile != INVALID_HANDLE_VALUE) {
            FILE_DISPOSITION_INFO gone {TRUE};
            ::SetFileInformationByHandle(m_hFile, FileDispositionInfo, &gone, sizeof gone);
            ::CloseHandle(m_hFile);
        }
    }
    CHeldLock(const CHeldLock&) = delete;
    CHeldLock& operator=(const CHeldLock&) = delete;
    bool Held() const { return m_bHeld; }

private:
    HANDLE m_hFile;
    bool m_bHeld = false;
};
#else
class CHeldLock {
public:
    explicit CHeldLock(const std::string& folder)
        : m_path(folder + "/.tamble-lock"), m_fd(::open(m_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW, 0600))
    {
        m_bHeld = m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
    }
    ~CHeldLock()
    {
        ::unlink(m_path.c_str());
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CHeldLock(const CHeldLock&) = delete;
    CHeldLock& operator=(const CHeldLock&) = delete;
    bool Held() const { return m_bHeld; }

private:
    std::string m_path;
    int m_fd;
    bool m_bHeld = false;
};
#endif

TambleSetup NoWait()
{
    TambleSetup setup;
    setup.env = {{"TAMBLE_LOCK_WAIT", "0"}};
    return setup;
}

TEST(FolderLock, ARunRefusesAFolderInUseAndTouchesNothing)
{
    for (bool extract : {false, true}) {
        TempDir dir;
        WriteSampleFolder(dir.Path(), extract);
        CHeldLock lock(dir.Path());
        ASSERT_TRUE(lock.Held());
        const auto before = Snapshot(dir.Path());
        const TambleResult r = RunTamble(SampleJob(dir.Path(), extract), NoWait());
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(kRefused + dir.Path() + "/"), std::string::npos) << r.err;
        EXPECT_EQ(CompareSnapshots(before, Snapshot(dir.Path())), "");
    }

    // A single-file job into a folder in use is refused too; elsewhere it runs.
    TempDir dir, other;
    WriteWholeFile(dir / "a", Readings(2000, 4));
    CHeldLock lock(dir.Path());
    const TambleResult r = RunTamble({"/Z:C", "/S:" + (dir / "a"), "/R:" + (dir / "a.lzw")}, NoWait());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(kRefused + dir.Path() + "/"), std::string::npos) << r.err;
    EXPECT_FALSE(PathExists(dir / "a.lzw"));
    EXPECT_EQ(RunTamble({"/Z:C", "/S:" + (dir / "a"), "/R:" + (other / "a.lzw")}, NoWait()).status, 0);
}

TEST(FolderLock, OverlappingRunsWaitOrRefuseAndEndAsOneRunWould)
{
    std::string why;
    if (!FaultInjectorUsable(&why))
        GTEST_SKIP() << why;
    for (bool extract : {false, true}) {
        const auto clean = UndisturbedResult(extract);
        ASSERT_FALSE(clean.empty());
        TempDir dir, control;
        WriteSampleFolder(dir.Path(), extract);
        const std::string resume = control / "resume";

        // The first run stops inside its first write, holding the lock.
        const pid_t first = StartTamble(
            SampleJob(dir.Path(), extract),
            FaultSetup({{"CALL", "write"}, {"PATH", dir.Path()}, {"NTH", "1"}, {"ACTION", "pause"}, {"ARG", resume}}));
        ASSERT_GT(first, 0);
        ASSERT_TRUE(AwaitFile(resume + ".reached", 60));

        // A run that may not wait refuses; one that may, waits.
        const TambleResult refused = RunTamble(SampleJob(dir.Path(), extract), NoWait());
        EXPECT_EQ(refused.status, 1) << refused.err;
        EXPECT_NE(refused.err.find(kRefused), std::string::npos) << refused.err;
        TambleSetup patient;
        patient.env = {{"TAMBLE_LOCK_WAIT", "120"}};
        const pid_t second = StartTamble(SampleJob(dir.Path(), extract), patient);
        ASSERT_GT(second, 0);
        bool waiting = false;
        for (int i = 0; i < 600 && !waiting; ++i) {
            waiting = ErrorsSoFar(second).find(kWaiting + dir.Path() + "/") != std::string::npos;
            if (!waiting)
                ::usleep(100 * 1000);
        }
        EXPECT_TRUE(waiting) << ErrorsSoFar(second);

        WriteWholeFile(resume, {});
        const TambleResult one = WaitTamble(first);
        const TambleResult two = WaitTamble(second);
        EXPECT_EQ(one.status, 0) << one.err;
        EXPECT_EQ(two.status, 0) << two.err;
        // The waiting run found the work done: it converted nothing.
        EXPECT_EQ(two.err.find(extract ? "Extracted:" : "Compressed:"), std::string::npos) << two.err;
        // Nothing in the folder but what a single run leaves: no lock file either.
        EXPECT_EQ(CompareSnapshots(clean, Snapshot(dir.Path())), "");
    }
}

}   // namespace
