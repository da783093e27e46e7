// The history jobs' files on several worker threads.
//
// Each file is converted by a jobs object of its own with a view that only
// records: its messages and log lines wait until every earlier file has been
// released, so the run says what it did in the order of the names, exactly as
// a run of one file after the other does, and its counts and status join the
// job's.  Only the job's own thread touches the real view: it waits on a
// condition variable, releases the files that are done and, between, shows the
// earliest file still in flight on the file bar (its position is posted by the
// worker into an atomic) and the finished files on the overall bar.
//
// Files are begun in name order.  A file that reads or writes a path an earlier
// file names (two names that differ only in case have one twin) waits until
// that file is done.  An error that stops the job stops it at that file, as one
// file after the other does: no further file is begun, the files before it are
// released and settled as usual, and those after it that were begun already are
// dropped once they end (their temporaries removed; nothing they queued is
// settled, nothing they said shown or counted).
#include "jobs/JobError.h"
#include "jobs/SyncAhead.h"
#include "jobs/TambleJobs.h"
#include "platform/TempRegistry.h"
#include "streams/CompressedFile.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <limits>
#include <mutex>
#include <optional>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace {

// A worker's view: keeps what the file says for later, and its bar position
// for the job's thread to read.
class CRecordView final : public IJobView {
public:
    std::vector<std::pair<bool, std::string>> m_lines;   // true: a message, false: a log line
    std::atomic<std::uint32_t> m_nFilePos {0};

    void SetSourceName(const std::string&) override {}
    void SetTargetName(const std::string&) override {}
    void TransferTexts() override {}
    void SetFileRange(std::uint32_t) override {}
    void SetFilePos(std::uint32_t pos) override { m_nFilePos.store(pos, std::memory_order_relaxed); }
    void RepaintFileBar() override {}
    void SetOverallRange(std::uint16_t) override {}
    void SetOverallPos(int) override {}
    void RepaintOverallBar() override {}
    void Message(const std::string& text) override { m_lines.emplace_back(true, text); }
    void Log(const std::string& text) override { m_lines.emplace_back(false, text); }
    void EndJob(int) override {}
};

constexpr std::size_t NO_FILE = std::numeric_limits<std::size_t>::max();
constexpr auto REPAINT_INTERVAL = std::chrono::milliseconds(100);
// Files begun past the earliest one whose messages are not out yet (at least).
// While the job's thread settles a group (its syncs wait on the disk for a few
// milliseconds) it releases no file: the workers go on only this far.  Small files
// that extract in a fraction of a millisecond need about a hundred of room.
constexpr std::size_t MIN_AHEAD = 128;
// Descriptors: a file being converted holds up to six (its source, temporary and
// folder, the proof's two readers, a lease), a file done but not settled two (its
// temporary and folder), a file of the group being settled three (with its lease);
// the rest of the job up to FDS_RESERVED.
constexpr std::size_t FDS_CONVERTING = 6;
constexpr std::size_t FDS_SETTLING = 3;
constexpr std::size_t FDS_STAGED = 2;
constexpr std::size_t FDS_RESERVED = 64;
// Threads that force finished targets to disk (several syncs in flight share a
// journal commit; their flushes mostly wait on the disk).
constexpr std::size_t SYNC_THREADS = 4;

// Descriptors the batch may use, from the process's limit.
std::size_t SpareDescriptors()
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<std::size_t>::max() / 2;
    return limit.rlim_cur > FDS_RESERVED ? static_cast<std::size_t>(limit.rlim_cur - FDS_RESERVED) : 0;
}

}   // namespace

unsigned CTambleJobs::WorkerCount() const
{
    if (m_nJobs > 0)
        return static_cast<unsigned>(m_nJobs);
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1;
}

void CTambleJobs::CopyJobSettings(const CTambleJobs& from)
{
    m_nZipMode = from.m_nZipMode;
    m_nFileType = from.m_nFileType;
    m_nNumber = from.m_nNumber;
    m_nGroup = from.m_nGroup;
    m_szStartDate = from.m_szStartDate;
    m_szSource = from.m_szSource;
    m_szTarget = from.m_szTarget;
    m_bHidden = from.m_bHidden;
    m_nCompressMethod = from.m_nCompressMethod;
    m_nLockWait = from.m_nLockWait;
    m_bDryRun = from.m_bDryRun;
    m_bKeep = from.m_bKeep;
    m_strOutputDir = from.m_strOutputDir;
    m_bGroupSync = from.m_bGroupSync;
    m_bStageTargets = from.m_bStageTargets;
    m_pSyncAhead = from.m_pSyncAhead;
    m_pFolder = from.m_pFolder;
    m_pTargetFolder = from.m_pTargetFolder;
    m_nJobs = 1;
}

bool CTambleJobs::RunBatch(const std::vector<BatchFile>& files, unsigned workers,
                           const std::function<void(CTambleJobs& job, std::size_t index)>& work)
{
    struct FileRun {
        CRecordView view;
        CTambleJobs job {view};
    };
    struct Slot {
        bool started = false, done = false;
        bool settled = false;          // released, its twin renamed and its plain file deleted (or kept)
        bool awaited = false;          // a later file names one of its paths
        bool stopped = false;          // an error in it stopped the job
        std::size_t after = NO_FILE;   // an earlier file on one of its paths
        std::unique_ptr<FileRun> run;
    };
    const std::size_t count = files.size();
    std::vector<Slot> slots(count);
    {
        std::unordered_map<std::string, std::size_t> lastUser;
        for (std::size_t i = 0; i < count; ++i) {
            for (const std::string* path : {&files[i].source, &files[i].target}) {
                auto [at, fresh] = lastUser.try_emplace(*path, i);
                if (!fresh) {
                    if (slots[i].after == NO_FILE || at->second > slots[i].after)
                        slots[i].after = at->second;
                    slots[at->second].awaited = true;
                    at->second = i;
                }
            }
        }
    }
    std::mutex lock;
    std::condition_variable changed;
    std::size_t next = 0, finished = 0;
    bool stop = false;                // no further file is begun
    bool jobError = false;            // an error stopped the job
    bool noThreads = false;           // no worker thread: the files run here before any is released
    std::size_t released = 0;         // files whose messages are out, in order
    std::size_t dropFrom = NO_FILE;   // files from here on are after the one that stopped the job
    // Files done but not yet released keep their temporaries open and registered:
    // a file is begun only this far past the earliest one not released, so one
    // slow file cannot make the others pile up (descriptors, stop-signal slots).
    // Half the stop-signal registry at most (a bound the most workers allowed stay
    // within): the other half holds the group being settled and its set-aside files.
    // Group, workers and window are cut to the descriptors the process may open
    // (the group to a quarter of them at most), so that a low limit costs speed,
    // not files.
    std::size_t spare = SpareDescriptors();
    m_nGroupSize = std::clamp<std::size_t>(spare / 4 / FDS_SETTLING, 1, GROUP_SIZE);
    spare -= std::min(spare, m_nGroupSize * FDS_SETTLING);
    workers = static_cast<unsigned>(
        std::clamp<std::size_t>(spare / (FDS_CONVERTING + FDS_STAGED), 1, std::size_t {workers}));
    const std::size_t fitting = (spare - std::min(spare, workers * FDS_CONVERTING)) / FDS_STAGED;
    const std::size_t ahead = std::max<std::size_t>(
        workers, std::min({std::max<std::size_t>(MIN_AHEAD, 2 * std::size_t {workers}), TEMPORARY_SLOTS / 2, fitting}));

    auto worker = [&] {
        for (;;) {
            std::size_t i;
            FileRun* run;
            {
                std::unique_lock<std::mutex> hold(lock);
                changed.wait(hold, [&] { return stop || next >= count || next < released + ahead || noThreads; });
                if (stop || next >= count)
                    return;
                i = next++;
                slots[i].started = true;
                slots[i].run = std::make_unique<FileRun>();
                run = slots[i].run.get();
                // The file it waits for has finished its twin and its plain file only
                // once it is settled, which this thread cannot wait for when it runs
                // the files itself.  A file after the one that stopped the job is
                // not converted (the file it waits for may be dropped, never settled).
                changed.wait(hold, [&] {
                    const std::size_t a = slots[i].after;
                    return a == NO_FILE || slots[a].settled || (noThreads && slots[a].done) || i >= dropFrom;
                });
                if (i >= dropFrom) {
                    slots[i].done = true;
                    ++finished;
                    continue;
                }
            }
            run->job.CopyJobSettings(*this);
            run->job.m_bWorker = true;
            bool stopped = false;
            try {
                work(run->job, i);
            } catch (const std::exception& error) {
                // As RunJob does for a job that stops: reported, and the file failed.
                run->view.Message(error.what());
                run->job.RaiseStatus(1);
                stopped = true;
            }
            if (run->job.m_bInFile)
                run->job.EndFile(false);
            {
                std::lock_guard<std::mutex> hold(lock);
                slots[i].done = true;
                slots[i].stopped = stopped;
                ++finished;
                stop = stop || stopped;
                jobError = jobError || stopped;
            }
            changed.notify_all();
        }
    };

    // A lease break signal must not end the run while any worker holds a lease:
    // each lease restores the action it found, which is this one throughout.
    struct sigaction ignore {};
    struct sigaction saved {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    const bool signalSaved = ::sigaction(SIGIO, &ignore, &saved) == 0;

    // Finished targets are forced to disk on threads of their own from the first
    // file on; the last group is settled (below) before they end.
    std::optional<CSyncAhead> syncAhead;
    if (m_bStageTargets)
        m_pSyncAhead = &syncAhead.emplace(SYNC_THREADS);
    struct SyncAheadOff {
        CSyncAhead*& pointer;
        ~SyncAheadOff() { pointer = nullptr; }
    } syncAheadOff {m_pSyncAhead};

    std::vector<std::thread> threads;
    struct Joiner {
        std::vector<std::thread>& threads;
        std::mutex& lock;
        std::condition_variable& changed;
        bool& stop;
        ~Joiner()
        {
            {
                std::lock_guard<std::mutex> hold(lock);
                stop = true;
            }
            changed.notify_all();
            for (std::thread& thread : threads)
                thread.join();
        }
    };
    bool stopped = false;
    {
        Joiner joiner {threads, lock, changed, stop};
        try {
            for (unsigned w = 0; w < workers && w < count; ++w)
                threads.emplace_back(worker);
        } catch (const std::system_error&) {
            if (threads.empty()) {
                noThreads = true;
                worker();   // no thread to be had: the files one after the other here
            }
        }

        std::size_t shown = NO_FILE, shownFinished = NO_FILE;
        std::unique_lock<std::mutex> hold(lock);
        while (released < count) {
            Slot& slot = slots[released];
            if (slot.done) {
                const std::unique_ptr<FileRun> run = std::move(slot.run);
                ++released;
                hold.unlock();
                if (!run->view.m_lines.empty())
                    SettlePending();   // the earlier files' deletions say their lines first
                for (const auto& [isMessage, text] : run->view.m_lines)
                    isMessage ? m_view.Message(text) : m_view.Log(text);
                m_nConverted += run->job.m_nConverted;
                m_nPassedOver += run->job.m_nPassedOver;
                m_nFailed += run->job.m_nFailed;
                m_nBadNames += run->job.m_nBadNames;
                m_nBytesBefore += run->job.m_nBytesBefore;
                m_nBytesAfter += run->job.m_nBytesAfter;
                RaiseStatus(run->job.m_nExitStatus);
                TakePending(run->job);
                if (slot.awaited)
                    SettlePending();   // a later file on one of its paths finds its twin in place
                hold.lock();
                slot.settled = true;
                if (slot.stopped) {
                    // The job stops at this file: the files after it are dropped,
                    // also those a worker has already converted.
                    dropFrom = released;
                    stop = true;
                    changed.notify_all();
                    break;
                }
                changed.notify_all();
                continue;
            }
            if (!slot.started && stop)
                break;   // this file and those after it are not touched
            // The earliest file in flight and the finished ones, then wait.
            const std::size_t done = finished;
            const FileRun* current = slot.started ? slot.run.get() : nullptr;
            hold.unlock();
            if (released != shown) {
                shown = released;
                m_view.SetSourceName(files[released].shownSource);
                m_view.SetTargetName(files[released].shownTarget);
                m_view.SetFileRange(files[released].size > UINT32_MAX ? UINT32_MAX
                                                                      : static_cast<UINT>(files[released].size));
            }
            if (done != shownFinished) {
                shownFinished = done;
                m_view.SetOverallPos(static_cast<int>(done > INT32_MAX - 1 ? INT32_MAX - 1 : done) + 1);
            }
            m_view.SetFilePos(current ? current->view.m_nFilePos.load(std::memory_order_relaxed) : 0);
            ShowBars();
            hold.lock();
            changed.wait_for(hold, REPAINT_INTERVAL, [&] { return slot.done || finished != done; });
        }
        stopped = jobError;
    }
    // The workers are gone: what the dropped files hold goes now (their staged
    // temporaries remove themselves, their plain files stay as they are).
    for (std::size_t i = released; i < count; ++i)
        slots[i].run.reset();
    SettlePending();
    if (signalSaved)
        ::sigaction(SIGIO, &saved, nullptr);
    return !stopped;
}
