// Running the built tamble.exe from a test on Windows: CreateProcessW with the
// arguments quoted as CommandLineToArgvW splits them, extra environment variables,
// standard input from NUL and the output into files, and a time limit after which
// the run is ended.  The runs are made on a window station of their own that no
// user sees, so that a run without /H shows no dialog and no message box waits,
// as a Linux run without a display does.
#ifdef _WIN32
#include "tests/support/TambleRun.h"

#include "tests/support/TempDir.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace {

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

// The test-only program with the fault injector (tests/faultinject/win32/).
std::string FaultProgram()
{
    return BinaryDir() + "/tests/windows/tamble-faults.exe";
}

struct Run {
    HANDLE process = nullptr;
    unsigned timeLimit = 300;
    std::string out, err;
    std::wstring program, command, environment;
    bool errorsUnread = false;
};

// Why the last run could not be started, for the result that says so.
std::string& StartFailure()
{
    static std::string why;
    return why;
}
std::map<pid_t, Run>& Runs()
{
    static std::map<pid_t, Run> runs;
    return runs;
}

const TempDir& CaptureDir()
{
    static TempDir dir;
    return dir;
}

std::wstring Wide(const std::string& text)
{
    if (text.empty())
        return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(std::filesystem::path(Wide(path)), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A path of the build (a Linux path where Wine runs the tests) as Windows names it.
std::wstring WindowsPath(const std::string& path)
{
    std::wstring wide = Wide(path.size() > 1 && path[0] == '/' && path[1] != '/' ? "Z:" + path : path);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return wide;
}

// One argument as CommandLineToArgvW reads it back: quoted where it holds a blank or
// a quote (or is empty), backslashes doubled only before a quote.
std::wstring QuoteArgument(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

// This process's environment with the run's variables set over it (names compared
// without case, as Windows does), in the block CreateProcessW takes.
std::wstring EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& extra)
{
    const auto key = [](std::wstring name) {
        std::transform(name.begin(), name.end(), name.begin(), [](wchar_t c) { return std::towupper(c); });
        return name;
    };
    std::map<std::wstring, std::wstring> vars;
    if (wchar_t* block = ::GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += std::wcslen(entry) + 1) {
            const std::wstring text = entry;
            const std::size_t eq = text.find(L'=', 1);   // "=C:=C:\..." entries start with '='
            if (eq != std::wstring::npos)
                vars[key(text.substr(0, eq))] = text;
        }
        ::FreeEnvironmentStringsW(block);
    }
    for (const auto& [name, value] : extra)
        vars[key(Wide(name))] = Wide(name) + L"=" + Wide(value);
    std::wstring result;
    for (const auto& entry : vars)
        result += entry.second + L'\0';
    return result + L'\0';
}

HANDLE InheritableFile(const std::wstring& path, bool write)
{
    SECURITY_ATTRIBUTES inherit {sizeof inherit, nullptr, TRUE};
    return ::CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         &inherit, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The desktop of a window station no user sees ("" when one cannot be made: the
// runs then share the test's desktop).
const std::wstring& HiddenDesktop()
{
    static const std::wstring name = [] {
        SECURITY_ATTRIBUTES inherit {sizeof inherit, nullptr, FALSE};
        // A station of this test program's own: one shared with another test
        // program running at the same time would end with whichever ends first.
        const std::wstring stationName = L"TambleTestRuns" + std::to_wstring(::GetCurrentProcessId());
        HWINSTA station = ::CreateWindowStationW(stationName.c_str(), 0, WINSTA_ALL_ACCESS, &inherit);
        if (station == nullptr)
            return std::wstring();
        HWINSTA own = ::GetProcessWindowStation();
        std::wstring desktop;
        if (::SetProcessWindowStation(station)) {
            if (::CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr) != nullptr)
                desktop = stationName + L"\\Default";
            ::SetProcessWindowStation(own);
        }
        return desktop;   // the station and desktop stay open for the test's life
    }();
    return name;
}

// Starts the run's process with its output into the run's files; false (and why)
// when it could not be made.
bool Launch(Run& run, std::string& why)
{
    HANDLE in = InheritableFile(L"NUL", false);
    HANDLE out = InheritableFile(Wide(run.out), true);
    HANDLE err = INVALID_HANDLE_VALUE;
    if (run.errorsUnread) {
        // Every message then meets ERROR_NO_DATA, as one to a closed pipe meets EPIPE.
        SECURITY_ATTRIBUTES inherit {sizeof inherit, nullptr, TRUE};
        HANDLE reader = nullptr;
        if (::CreatePipe(&reader, &err, &inherit, 0))
            ::CloseHandle(reader);
        else
            err = INVALID_HANDLE_VALUE;
    } else {
        err = InheritableFile(Wide(run.err), true);
    }
    STARTUPINFOW start {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = in;
    start.hStdOutput = out;
    start.hStdError = err;
    std::wstring desktop = HiddenDesktop();
    if (!desktop.empty())
        start.lpDesktop = desktop.data();
    PROCESS_INFORMATION info {};
    bool started = false;
    DWORD error = ::GetLastError();
    if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE) {
        // A process that could not be made has done nothing yet: a busy Wine is
        // given a few more tries before the run counts as failed.
        for (int attempt = 0; attempt < 5 && !started; ++attempt) {
            if (attempt > 0)
                ::Sleep(200);
            started = ::CreateProcessW(run.program.c_str(), run.command.data(), nullptr, nullptr, TRUE,
                                       CREATE_UNICODE_ENVIRONMENT, run.environment.data(), nullptr, &start, &info);
            error = ::GetLastError();
        }
    }
    for (HANDLE handle : {in, out, err})
        if (handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
    if (!started) {
        why = "the program was not started (Windows error " + std::to_string(error) + ")";
        return false;
    }
    ::CloseHandle(info.hThread);
    run.process = info.hProcess;
    return true;
}

// Waits for the run's process; its exit status, or -1 and why.
int Await(const Run& run, std::string& failure, int& signal)
{
    const DWORD waited = ::WaitForSingleObject(run.process, run.timeLimit * 1000);
    if (waited == WAIT_FAILED) {
        failure = "waiting failed (Windows error " + std::to_string(::GetLastError()) + ")";
        ::TerminateProcess(run.process, 255);
        return -1;
    }
    if (waited != WAIT_OBJECT_0) {
        // Over its time: ended as SIGALRM ends the Linux run.
        ::TerminateProcess(run.process, 255);
        ::WaitForSingleObject(run.process, INFINITE);
        signal = 14;
        return -1;
    }
    DWORD code = 0;
    if (!::GetExitCodeProcess(run.process, &code)) {
        failure = "no exit code (Windows error " + std::to_string(::GetLastError()) + ")";
        return -1;
    }
    if (code == 0xFFFFFFFF) {   // no status of ours: Wine ended it before it ran
        failure = "the process ended with 0xFFFFFFFF";
        return -1;
    }
    return static_cast<int>(code);
}

}   // namespace

void SetTamblePaths(const std::string& exe, const std::string& binaryDir)
{
    ExePath() = exe;
    BinaryDir() = binaryDir;
}

bool FaultInjectorUsable(std::string* why)
{
    const DWORD attributes = ::GetFileAttributesW(WindowsPath(FaultProgram()).c_str());
    const bool there = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (why)
        *why = there ? std::string() : "the fault injector's program " + FaultProgram() + " is not built";
    return there;
}

pid_t StartTamble(const std::vector<std::string>& args, const TambleSetup& setup)
{
    static int s_nRun = 0;
    const pid_t id = ++s_nRun;
    const std::string stem = CaptureDir() / ("run" + std::to_string(id));
    Run run;
    run.timeLimit = setup.timeLimit;
    run.out = stem + ".out";
    run.err = stem + ".err";
    // The fault injector's runs are made by the program that carries it.
    run.program = WindowsPath(!setup.program.empty() ? setup.program : setup.faults ? FaultProgram() : ExePath());
    run.command = QuoteArgument(run.program);
    for (const std::string& arg : args)
        run.command += L" " + QuoteArgument(Wide(arg));
    run.environment = EnvironmentBlock(setup.env);
    run.errorsUnread = setup.errorsUnread;
    if (!Launch(run, StartFailure()))
        return -1;
    Runs()[id] = run;
    return id;
}

TambleResult WaitTamble(pid_t pid)
{
    TambleResult result;
    const auto it = Runs().find(pid);
    if (it == Runs().end())
        return result;
    Run run = it->second;
    Runs().erase(it);
    std::string failure;
    result.status = Await(run, failure, result.signal);
    // Now and then Wine ends a new process before its first instruction of ours
    // (a few times in some thousand starts on a busy machine); such a run wrote
    // nothing and did nothing, and is made again.
    for (int again = 0; again < 3 && result.status == -1 && result.signal == 0 && ReadText(run.out).empty()
                        && ReadText(run.err).empty() && !failure.empty();
         ++again) {
        ::CloseHandle(run.process);
        run.process = nullptr;
        failure.clear();
        if (!Launch(run, failure))
            break;
        result.status = Await(run, failure, result.signal);
    }
    if (run.process != nullptr)
        ::CloseHandle(run.process);
    result.out = ReadText(run.out);
    result.err = ReadText(run.err);
    if (!failure.empty())
        result.err += "[test runner: " + failure + "]\n";
    ::DeleteFileW(Wide(run.out).c_str());
    ::DeleteFileW(Wide(run.err).c_str());
    return result;
}

TambleResult RunTamble(const std::vector<std::string>& args, const TambleSetup& setup)
{
    const pid_t pid = StartTamble(args, setup);
    if (pid < 0) {
        TambleResult failed;
        failed.err = "[test runner: " + StartFailure() + "]\n";
        return failed;
    }
    return WaitTamble(pid);
}

std::string ErrorsSoFar(pid_t pid)
{
    const auto it = Runs().find(pid);
    return it == Runs().end() ? std::string() : ReadText(it->second.err);
}

bool AwaitFile(const std::string& path, int seconds)
{
    for (int i = 0; i < seconds * 20 && !PathExists(path); ++i)
        ::Sleep(50);
    return PathExists(path);
}
#endif
