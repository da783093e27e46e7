#include "tests/support/XvfbRun.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <random>
#include <thread>

namespace {

constexpr char kInsideVar[] = "TAMBLE_TEST_XVFB";
constexpr char kMarkerVar[] = "TAMBLE_TEST_XVFB_MARKER";

std::string SelfPath()
{
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

int StartChild(const std::vector<std::string>& argv, const ProcessOptions& options, int& outFd, int& errFd)
{
    int out[2];
    int err[2];
    if (pipe(out) != 0)
        return -1;
    if (pipe(err) != 0) {
        close(out[0]);
        close(out[1]);
        return -1;
    }
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);   // its own group, so a timeout ends its children too
        for (const auto& [name, value] : options.setEnv)
            setenv(name.c_str(), value.c_str(), 1);
        for (const std::string& name : options.unsetEnv)
            unsetenv(name.c_str());
        if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0)
            _exit(126);
        int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(out[0]);
        close(err[0]);
        return -1;
    }
    outFd = out[0];
    errFd = err[0];
    return pid;
}

// Reads both pipes until they close or the deadline passes.
bool Drain(int outFd, int errFd, std::string& out, std::string& err, double seconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open = 2;
    while (open > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        if (poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR)
            return false;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
                continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    return true;
}

int Reap(int pid, bool kill)
{
    if (kill)
        ::kill(-pid, SIGKILL);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

}   // namespace

bool InsideTestDisplay()
{
    const char* inside = std::getenv(kInsideVar);
    if (inside == nullptr || std::strcmp(inside, "1") != 0)
        return false;
    if (const char* marker = std::getenv(kMarkerVar)) {
        int fd = open(marker, O_WRONLY | O_CREAT, 0600);
        if (fd >= 0)
            close(fd);
    }
    return true;
}

bool ProgramInPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

int RunCurrentTestUnderXvfb()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string(info->test_suite_name()) + "." + info->name();
    std::string marker = "/tmp/tamble-xvfb-" + std::to_string(getpid()) + "-" + info->name();
    std::mt19937 random(static_cast<unsigned>(getpid()));
    ProcessResult result;
    // Two xvfb-run -a started at the same moment may pick the same display
    // and one of them fails to start: try again after a moment.
    for (int attempt = 0; attempt < 4; ++attempt) {
        unlink(marker.c_str());
        ProcessOptions options;
        options.setEnv = {{kInsideVar, "1"}, {kMarkerVar, marker}};
        options.timeoutSeconds = 300;
        result = RunProcess(
            {"xvfb-run", "-a", "-s", "-screen 0 1280x800x24 -nolisten tcp", SelfPath(), "--gtest_filter=" + filter},
            options);
        bool started = access(marker.c_str(), F_OK) == 0;
        if (result.status == 0 || started)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(200 + random() % 800));
    }
    unlink(marker.c_str());
    std::cout << result.out;
    std::cerr << result.err;
    return result.timedOut ? -1 : result.status;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options)
{
    BackgroundProcess process(argv, options);
    return process.Wait(options.timeoutSeconds);
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv, const ProcessOptions& options)
{
    m_pid = StartChild(argv, options, m_outFd, m_errFd);
}

BackgroundProcess::~BackgroundProcess()
{
    if (m_pid > 0)
        Reap(m_pid, true);
    if (m_outFd >= 0)
        close(m_outFd);
    if (m_errFd >= 0)
        close(m_errFd);
}

ProcessResult BackgroundProcess::Wait(double seconds)
{
    ProcessResult result;
    if (m_pid <= 0)
        return result;
    bool finished = Drain(m_outFd, m_errFd, result.out, result.err, seconds);
    result.timedOut = !finished;
    result.status = Reap(m_pid, !finished);
    m_pid = -1;
    close(m_outFd);
    close(m_errFd);
    m_outFd = m_errFd = -1;
    return result;
}
