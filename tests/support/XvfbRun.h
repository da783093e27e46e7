// Window tests under a virtual X display, and child processes for them.
//
// A window test never uses the developer's display: it runs this test binary
// again, limited to itself, under `xvfb-run -a`, and passes when that run
// passes.  Inside the virtual display TAMBLE_TEST_XVFB is set and the test body
// runs.  Where xvfb-run is not installed the test is skipped.
//
//   TEST(Dialog, Shows) {
//       TAMBLE_RUN_UNDER_XVFB();
//       ... body, with DISPLAY set ...
//   }
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

// True inside the virtual display started for this test.
bool InsideTestDisplay();
// True when the named program is found in PATH.
bool ProgramInPath(const std::string& name);
// Runs the current test again under xvfb-run; returns that run's exit status.
int RunCurrentTestUnderXvfb();

#define TAMBLE_RUN_UNDER_XVFB()                                                      \
    do {                                                                             \
        if (!InsideTestDisplay()) {                                                  \
            if (!ProgramInPath("xvfb-run"))                                          \
                GTEST_SKIP() << "xvfb-run is not installed";                         \
            ASSERT_EQ(RunCurrentTestUnderXvfb(), 0) << "the test failed under Xvfb"; \
            return;                                                                  \
        }                                                                            \
    } while (0)

struct ProcessResult {
    int status = -1;   // exit status, or 128 + signal
    bool timedOut = false;
    std::string out;
    std::string err;
};

struct ProcessOptions {
    std::vector<std::pair<std::string, std::string>> setEnv;   // added or replaced
    std::vector<std::string> unsetEnv;
    std::string workDir;
    double timeoutSeconds = 60;
};

// Runs argv[0] (searched in PATH) with the arguments and waits for it, killing
// it after the timeout.  stdin is /dev/null.
ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// A process started in the background; killed and reaped when destroyed.
class BackgroundProcess {
public:
    BackgroundProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    // Waits for the end, at most `seconds`; returns the result (timedOut when
    // it is still running; it is then killed).
    ProcessResult Wait(double seconds);
    int Pid() const { return m_pid; }

private:
    int m_pid = -1;
    int m_outFd = -1;
    int m_errFd = -1;
};
