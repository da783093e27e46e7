// Running the built tamble binary from a test: arguments passed as they are (no
// shell), extra environment variables, the fault injector preloaded, a file-size
// limit, and a time limit after which the run is killed.  Also the folder
// snapshots and checks the reliability tests compare runs with.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

struct TambleResult {
    int status = -1;   // exit status, or -1 when a signal ended the run
    int signal = 0;    // the signal that ended it
    std::string out, err;
};

struct TambleSetup {
    std::vector<std::pair<std::string, std::string>> env;   // set for the run
    bool faults = false;                                    // preload the fault injector
    long long fileSizeLimit = -1;                           // RLIMIT_FSIZE in bytes
    bool sizeSignalIgnored = true;                          // SIGXFSZ ignored with the limit, or left at its default
    unsigned timeLimit = 300;                               // seconds, then SIGALRM ends the run
    long runAs = -1;                                        // a user id (and group id) to run as, when root
    long openFileLimit = -1;                                // RLIMIT_NOFILE
    std::string program;                                    // a copy of the program to run instead of the build's
    bool errorsUnread = false;   // Windows: standard error a pipe whose reader has gone (Linux tests spawn one)
};

// The paths the test executables know from their build (TAMBLE_EXE, TAMBLE_BINARY_DIR).
void SetTamblePaths(const std::string& exe, const std::string& binaryDir);

// Starts tamble; its output goes to files that WaitTamble reads.
pid_t StartTamble(const std::vector<std::string>& args, const TambleSetup& setup = {});
TambleResult WaitTamble(pid_t pid);
TambleResult RunTamble(const std::vector<std::string>& args, const TambleSetup& setup = {});

// The fault injector's report of the last run: calls counted and faults fired.
struct FaultReport {
    long calls = -1, fired = -1;
};
FaultReport ReadFaultReport(const std::string& path);

// Whether the preload list can be made for this test build (under
// AddressSanitizer the sanitizer's runtime must be found to go first).
bool FaultInjectorUsable(std::string* why = nullptr);

// How many points of a run a sweep tries: `normal`, or every point when
// TAMBLE_FAULT_SWEEP=full is set.
long SweepSize(long normal);

// --- folders ------------------------------------------------------------------

using Bytes = std::vector<std::uint8_t>;

struct FileState {
    Bytes bytes;
    unsigned mode = 0;        // type and permission bits
    std::int64_t mtime = 0;   // seconds
    bool operator==(const FileState& other) const = default;
};

// Every entry of a folder (not recursive) by name.
std::map<std::string, FileState> Snapshot(const std::string& folder);
// "" when equal, else the first difference.
std::string CompareSnapshots(const std::map<std::string, FileState>& want, const std::map<std::string, FileState>& got);

// Names of temporaries (".<target>.tamble-tmp.<pid>.<n>") in a folder.
std::vector<std::string> Temporaries(const std::string& folder);

// "" when a day's data is intact: the plain file <stem>.hst holds exactly data,
// or the compressed <stem>.hsz decodes (by the reference decoder) to exactly
// data; else what is wrong.  With needTwin the compressed file must decode to
// data whatever the plain file holds (an extraction keeps it).
std::string DayIntact(const std::string& folder, const std::string& stem, const Bytes& data, bool needTwin = false);

// Data that compresses like history readings do; seed picks the sequence.
Bytes Readings(std::size_t size, std::uint32_t seed);
// The file image the reference LZW writer makes of data.
Bytes ReferenceLzw(const Bytes& data);

// The spread of n values over 1..count: all when count <= n, else evenly
// spaced values that include 1 and count.
std::vector<long> Spread(long count, long n);

// --- the sample history folder of the reliability tests ---------------------

struct HistoryDay {
    std::string stem;   // "0A240101"
    Bytes data;
};

// Five days of two groups: an empty file, readings of a few KB and of 70 KB
// (several transfer buffers), incompressible noise, and another group's day.
const std::vector<HistoryDay>& SampleDays();
// Writes each day as a plain file (extract false) or as an LZW file made by the
// reference writer (extract true), with permissions 0640 and a fixed time, and
// a file "notes.txt" that no job may touch.
void WriteSampleFolder(const std::string& folder, bool extract);
// The switches of the job over the sample folder: compress every day, or
// extract all of them; with jobs, converting that many files at once.
std::vector<std::string> SampleJob(const std::string& folder, bool extract, int jobs = 0);
// "" when every day of the sample folder is intact (an extraction must also keep
// every compressed file as it was), notes.txt is unchanged and no temporary is
// left; else what is wrong.
std::string SampleIntact(const std::string& folder, bool extract, bool allowTemporaries = false);

// What the sample job leaves when nothing disturbs it (empty on a failure).
std::map<std::string, FileState> UndisturbedResult(bool extract);
// A test name for the sample job: "Compress", "Extract3" (three workers).
std::string JobName(bool extract, int jobs);

// The fault injector's settings for a run: kinds, path filter, N and more
// (TAMBLE_FAULT_*), with the injector preloaded.
TambleSetup FaultSetup(const std::vector<std::pair<std::string, std::string>>& settings);

// What a started run has written to standard error so far.
std::string ErrorsSoFar(pid_t pid);
// Waits until path exists, at most seconds; whether it does.
bool AwaitFile(const std::string& path, int seconds);

#ifdef TAMBLE_EXE
// Registers the build's paths before the first test runs.
namespace tamble_run_detail {
inline const bool g_bPathsSet = (SetTamblePaths(TAMBLE_EXE, TAMBLE_BINARY_DIR), true);
}
#endif
