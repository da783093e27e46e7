#include "tests/support/TambleRun.h"

#include "tests/oracle/Oracle.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#ifdef _WIN32
#include <chrono>
#else
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#ifndef _WIN32   // Windows starts its runs in TambleRunWin32.cpp

namespace {

// Set from the test executables' static initialisers, so not globals of their own.
std::string& ExePath()
{
    static std::string path;
    return path;
}

std::string& BinaryDir()
{
    static std::string path;
    return path;
}

// Where a run's output goes: files, or pipes when a file-size limit would also
// cut the output files short.
struct Capture {
    std::string out, err;
    int outPipe = -1, errPipe = -1;
};
std::map<pid_t, Capture>& Captures()
{
    static std::map<pid_t, Capture> captures;
    return captures;
}

const TempDir& CaptureDir()
{
    static TempDir dir;
    return dir;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string InjectorPath()
{
    return BinaryDir() + "/tests/faultinject/libtamble_faultinject.so";
}

// The sanitizer runtime this test process runs with, which must lead the
// preload list of a sanitized tamble; "" when the tests are not sanitized.
std::string SanitizerRuntime(bool& missing)
{
    missing = false;
#if defined(__SANITIZE_ADDRESS__)
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        const std::size_t at = line.find('/');
        if (at != std::string::npos && line.find("/libasan.so", at) != std::string::npos)
            return line.substr(at);
    }
    missing = true;
#endif
    return {};
}

[[noreturn]] void ChildFail(const char* what)
{
    const std::string text = std::string("tamble test runner: ") + what + ": " + std::strerror(errno) + "\n";
    if (::write(2, text.data(), text.size()) < 0) {
        // nothing more to say
    }
    ::_exit(127);
}

}   // namespace

void SetTamblePaths(const std::string& exe, const std::string& binaryDir)
{
    ExePath() = exe;
    BinaryDir() = binaryDir;
}

bool FaultInjectorUsable(std::string* why)
{
    bool missing = false;
    SanitizerRuntime(missing);
    std::string reason;
    if (missing)
        reason = "the AddressSanitizer runtime of this build cannot be found to preload it first";
    else if (::access(InjectorPath().c_str(), R_OK) != 0)
        reason = "the fault injector " + InjectorPath() + " is not built";
    if (why)
        *why = reason;
    return reason.empty();
}

pid_t StartTamble(const std::vector<std::string>& args, const TambleSetup& setup)
{
    static int s_nRun = 0;
    const std::string stem = CaptureDir() / ("run" + std::to_string(++s_nRun));
    Capture capture {stem + ".out", stem + ".err"};
    int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
    if (setup.fileSizeLimit >= 0 && (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0))
        return -1;
    std::string preload;
    if (setup.faults) {
        bool missing = false;
        preload = SanitizerRuntime(missing);
        preload
            += (preload.empty() ? "" : ":") + (setup.runAs >= 0 ? FileAnyUserMayRun(InjectorPath()) : InjectorPath());
    }
    std::vector<std::string> argvText {!setup.program.empty() ? setup.program
                                       : setup.runAs >= 0     ? ProgramAnyUserMayRun(ExePath())
                                                              : ExePath()};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvText)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        // A run sees no display unless its test gives one: a run without /H
        // would otherwise open a window, and a message box would wait for a user.
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        for (const auto& [name, value] : setup.env)
            ::setenv(name.c_str(), value.c_str(), 1);
        if (!preload.empty())
            ::setenv("LD_PRELOAD", preload.c_str(), 1);
        if (setup.fileSizeLimit >= 0) {
            const rlimit limit {static_cast<rlim_t>(setup.fileSizeLimit), static_cast<rlim_t>(setup.fileSizeLimit)};
            std::signal(SIGXFSZ, setup.sizeSignalIgnored ? SIG_IGN : SIG_DFL);
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                ChildFail("setrlimit");
        }
        if (setup.openFileLimit >= 0) {
            const rlimit limit {static_cast<rlim_t>(setup.openFileLimit), static_cast<rlim_t>(setup.openFileLimit)};
            if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
                ChildFail("setrlimit");
        }
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = outPipe[1] >= 0 ? outPipe[1] : ::open(capture.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = errPipe[1] >= 0 ? errPipe[1] : ::open(capture.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0)
            ChildFail("redirect");
        if (setup.runAs >= 0) {
            const auto id = static_cast<uid_t>(setup.runAs);
            if (::setgroups(0, nullptr) != 0 || ::setgid(id) != 0 || ::setuid(id) != 0)
                ChildFail("setuid");
        }
        ::alarm(setup.timeLimit);
        ::execv(argv[0], argv.data());
        ChildFail("exec");
    }
    if (outPipe[0] >= 0) {
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        capture.outPipe = outPipe[0];
        capture.errPipe = errPipe[0];
    }
    Captures()[pid] = capture;
    return pid;
}

TambleResult WaitTamble(pid_t pid)
{
    TambleResult result;
    const Capture capture = Captures()[pid];
    if (capture.outPipe >= 0) {
        // Both pipes are drained together, so that neither can fill and stall the run.
        pollfd fds[2] = {{capture.outPipe, POLLIN, 0}, {capture.errPipe, POLLIN, 0}};
        std::string* texts[2] = {&result.out, &result.err};
        int open = 2;
        while (open > 0 && ::poll(fds, 2, -1) >= 0) {
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || !fds[i].revents)
                    continue;
                char buffer[4096];
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    texts[i]->append(buffer, static_cast<std::size_t>(n));
                } else if (n == 0 || errno != EINTR) {
                    ::close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return result;
    }
    if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    Captures().erase(pid);
    if (capture.outPipe >= 0)
        return result;
    result.out = ReadText(capture.out);
    result.err = ReadText(capture.err);
    std::remove(capture.out.c_str());
    std::remove(capture.err.c_str());
    return result;
}

TambleResult RunTamble(const std::vector<std::string>& args, const TambleSetup& setup)
{
    const pid_t pid = StartTamble(args, setup);
    if (pid < 0)
        return {};
    return WaitTamble(pid);
}

std::string ErrorsSoFar(pid_t pid)
{
    const auto it = Captures().find(pid);
    return it == Captures().end() ? std::string() : ReadText(it->second.err);
}

bool AwaitFile(const std::string& path, int seconds)
{
    for (int i = 0; i < seconds * 20; ++i) {
        if (::access(path.c_str(), F_OK) == 0)
            return true;
        ::usleep(50 * 1000);
    }
    return ::access(path.c_str(), F_OK) == 0;
}
#endif

FaultReport ReadFaultReport(const std::string& path)
{
    FaultReport report;
    std::ifstream in(path, std::ios::binary);
    const std::string text {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (std::sscanf(text.c_str(), "calls=%ld fired=%ld", &report.calls, &report.fired) != 2)
        report = {};
    return report;
}

// --- folders ------------------------------------------------------------------

#ifdef _WIN32
namespace {

// A UTF-8 name as the file system takes it, and back.
std::filesystem::path FsPath(const std::string& name)
{
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::string Utf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// The type and permission bits and the time of a file; false when it is not there.
bool StatOf(const std::string& path, unsigned& mode, std::int64_t& mtime)
{
    struct _stat64 st {};
    if (::_wstat64(FsPath(path).c_str(), &st) != 0)
        return false;
    mode = st.st_mode;
    mtime = st.st_mtime;
    return true;
}

}   // namespace

std::map<std::string, FileState> Snapshot(const std::string& folder)
{
    std::map<std::string, FileState> states;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(FsPath(folder), ec)) {
        const std::string name = Utf8(entry.path().filename());
        FileState state;
        if (!StatOf(folder + "/" + name, state.mode, state.mtime))
            continue;
        if (entry.is_regular_file(ec))
            state.bytes = ReadWholeFile(folder + "/" + name);
        states[name] = std::move(state);
    }
    return states;
}
#else
std::map<std::string, FileState> Snapshot(const std::string& folder)
{
    std::map<std::string, FileState> states;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return states;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0)
            continue;
        FileState state;
        state.mode = st.st_mode;
        state.mtime = st.st_mtim.tv_sec;
        if (S_ISREG(st.st_mode)) {
            state.bytes = ReadWholeFile(path);
        } else if (S_ISLNK(st.st_mode)) {
            char target[4096];
            const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
            state.bytes.assign(target, target + (n > 0 ? n : 0));
        }
        states[name] = std::move(state);
    }
    return states;
}
#endif

std::string CompareSnapshots(const std::map<std::string, FileState>& want, const std::map<std::string, FileState>& got)
{
    for (const auto& [name, state] : want) {
        const auto it = got.find(name);
        if (it == got.end())
            return name + " is missing";
        if (it->second.bytes != state.bytes)
            return name + " holds other bytes";
        if (it->second.mode != state.mode)
            return name + " has other permissions or type";
        if (it->second.mtime != state.mtime)
            return name + " has another modification time";
    }
    for (const auto& entry : got)
        if (!want.count(entry.first))
            return entry.first + " should not be there";
    return {};
}

std::vector<std::string> Temporaries(const std::string& folder)
{
    // Names only: a test may look while a large file is being written.
    std::vector<std::string> names;
#ifdef _WIN32
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(FsPath(folder), ec))
        if (Utf8(entry.path().filename()).find(".tamble-tmp.") != std::string::npos)
            names.push_back(Utf8(entry.path().filename()));
#else
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (std::strstr(entry->d_name, ".tamble-tmp.") != nullptr)
                names.push_back(entry->d_name);
        ::closedir(dir);
    }
#endif
    std::sort(names.begin(), names.end());
    return names;
}

std::string DayIntact(const std::string& folder, const std::string& stem, const Bytes& data, bool needTwin)
{
    const std::string plain = folder + "/" + stem + ".hst";
    const std::string twin = folder + "/" + stem + ".hsz";
#ifdef _WIN32
    struct {
        unsigned st_mode = 0;
        std::int64_t mtime = 0;
    } st;
    const auto lstat = [&st](const std::string& path) { return StatOf(path, st.st_mode, st.mtime) ? 0 : -1; };
    const bool hasPlain = lstat(plain) == 0;
    if (hasPlain && (!S_ISREG(st.st_mode) || ReadWholeFile(plain) != data))
        return stem + ".hst does not hold its bytes";
    const bool hasTwin = lstat(twin) == 0;
#else
    struct stat st {};
    const bool hasPlain = ::lstat(plain.c_str(), &st) == 0;
    if (hasPlain && (!S_ISREG(st.st_mode) || ReadWholeFile(plain) != data))
        return stem + ".hst does not hold its bytes";
    const bool hasTwin = ::lstat(twin.c_str(), &st) == 0;
#endif
    if (!hasTwin)
        return hasPlain && !needTwin ? std::string() : stem + ": neither file is there";
    // Whatever compressed file stands must be complete and hold the day's bytes.
    const Bytes image = ReadWholeFile(twin);
    static const char kMagic[] = "**++LZW ";
    if (!S_ISREG(st.st_mode) || image.size() < 16 || std::memcmp(image.data(), kMagic, 8) != 0)
        return stem + ".hsz is no LZW file";
    bool damaged = false;
    const std::uint32_t original
        = image[8] | image[9] << 8 | image[10] << 16 | static_cast<std::uint32_t>(image[11]) << 24;
    if (original != data.size() || oracle::Decode(image, {original}, &damaged) != data || damaged)
        return stem + ".hsz does not decode to its bytes";
    return {};
}

Bytes Readings(std::size_t size, std::uint32_t seed)
{
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        data[i] = static_cast<std::uint8_t>((i % 12 < 5) ? "2024;ch"[i % 7] : '0' + (seed >> 29));
    }
    return data;
}

Bytes ReferenceLzw(const Bytes& data)
{
    return oracle::Encode(2, data).file;
}

std::vector<long> Spread(long count, long n)
{
    std::vector<long> values;
    if (count <= 0)
        return values;
    if (count <= n || n < 2) {
        for (long i = 1; i <= count; ++i)
            values.push_back(i);
        return values;
    }
    for (long i = 0; i < n; ++i) {
        const long value = 1 + i * (count - 1) / (n - 1);
        if (values.empty() || values.back() != value)
            values.push_back(value);
    }
    return values;
}

// --- the sample history folder --------------------------------------------------

namespace {

constexpr std::int64_t kSampleTime = 1700000000;
const Bytes kNotes = {'k', 'e', 'e', 'p', '\n'};

void SetModeAndTime(const std::string& path)
{
#ifdef _WIN32
    // No permission bits on Windows: the time only.
    const auto time = std::chrono::system_clock::from_time_t(kSampleTime);
    std::error_code ec;
    std::filesystem::last_write_time(FsPath(path), std::filesystem::file_time_type::clock::from_sys(time), ec);
#else
    ::chmod(path.c_str(), 0640);
    const struct timespec times[2] = {{kSampleTime, 0}, {kSampleTime, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
#endif
}

}   // namespace

const std::vector<HistoryDay>& SampleDays()
{
    static const std::vector<HistoryDay> days = [] {
        Bytes noise(20000);
        std::uint32_t seed = 77;
        for (std::uint8_t& b : noise)
            b = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
        return std::vector<HistoryDay> {{"0A240101", {}},
                                        {"0A240102", Readings(3000, 1)},
                                        {"0A240103", Readings(70000, 2)},
                                        {"0A240104", noise},
                                        {"0B240102", Readings(5000, 3)}};
    }();
    return days;
}

void WriteSampleFolder(const std::string& folder, bool extract)
{
    for (const HistoryDay& day : SampleDays()) {
        const std::string path = folder + "/" + day.stem + (extract ? ".hsz" : ".hst");
        WriteWholeFile(path, extract ? ReferenceLzw(day.data) : day.data);
        SetModeAndTime(path);
    }
    WriteWholeFile(folder + "/notes.txt", kNotes);
    SetModeAndTime(folder + "/notes.txt");
}

std::vector<std::string> SampleJob(const std::string& folder, bool extract, int jobs)
{
    std::vector<std::string> args {"/Z:C", "/T:A", "/S:" + folder, "/N:30", "/H"};
    if (extract)
        args = {"/Z:E", "/T:A", "/S:" + folder, "/D:01/01/24", "/N:4", "/H"};
    if (jobs > 0)
        args.push_back("--jobs=" + std::to_string(jobs));
    return args;
}

std::string SampleIntact(const std::string& folder, bool extract, bool allowTemporaries)
{
    for (const HistoryDay& day : SampleDays()) {
        std::string problem = DayIntact(folder, day.stem, day.data, extract);
        if (!problem.empty())
            return problem;
        if (extract && ReadWholeFile(folder + "/" + day.stem + ".hsz") != ReferenceLzw(day.data))
            return day.stem + ".hsz was changed";
    }
    if (!PathExists(folder + "/notes.txt") || ReadWholeFile(folder + "/notes.txt") != kNotes)
        return "notes.txt was changed";
    const std::vector<std::string> temporaries = Temporaries(folder);
    if (!allowTemporaries && !temporaries.empty())
        return "a temporary is left: " + temporaries.front();
    return {};
}

std::map<std::string, FileState> UndisturbedResult(bool extract)
{
    TempDir clean;
    WriteSampleFolder(clean.Path(), extract);
    const TambleResult r = RunTamble(SampleJob(clean.Path(), extract, 1));
    if (r.status != 0 || !SampleIntact(clean.Path(), extract).empty())
        return {};
    return Snapshot(clean.Path());
}

std::string JobName(bool extract, int jobs)
{
    return (extract ? "Extract" : "Compress") + (jobs > 1 ? std::to_string(jobs) : std::string());
}

TambleSetup FaultSetup(const std::vector<std::pair<std::string, std::string>>& settings)
{
    TambleSetup setup;
    setup.faults = true;
    for (const auto& [name, value] : settings)
        setup.env.emplace_back("TAMBLE_FAULT_" + name, value);
    return setup;
}

long SweepSize(long normal)
{
    const char* sweep = std::getenv("TAMBLE_FAULT_SWEEP");
    return sweep && std::strcmp(sweep, "full") == 0 ? 1000000 : normal;
}
