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
// The order (files begun in name order, a file on a path an earlier file names
// waiting for it, the stop at a file whose error stops the job) is the ordered
// batch's (jobs/OrderedBatch.h); this file gives it the job's files.
#include "jobs/JobError.h"
#include "jobs/OrderedBatch.h"
#include "jobs/SyncAhead.h"
#include "jobs/TambleJobs.h"
#include "platform/FileLease.h"
#include "platform/System.h"
#include "platform/TempRegistry.h"
#include "streams/CompressedFile.h"

#include <algorithm>
#include <atomic>
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

}   // namespace

unsigned CTambleJobs::WorkerCount() const
{
    if (m_settings.jobs > 0)
        return static_cast<unsigned>(m_settings.jobs);
    return OnlineProcessors();
}

void CTambleJobs::JoinBatch(const CTambleJobs& from)
{
    // The same settings (the worker was made with them); the batch's shared parts.
    m_pSyncAhead = from.m_pSyncAhead;
    m_pFolder = from.m_pFolder;
    m_pTargetFolder = from.m_pTargetFolder;
}

struct CTambleJobs::FileRun {
    explicit FileRun(const JobSettings& settings) : job(view, settings) {}
    CRecordView view;
    CTambleJobs job;
};

std::size_t CTambleJobs::PlanBatch(unsigned& workers)
{
    // Files done but not yet released keep their temporaries open and registered:
    // a file is begun only this far past the earliest one not released, so one
    // slow file cannot make the others pile up (descriptors, stop-signal slots).
    // Half the stop-signal registry at most (a bound the most workers allowed stay
    // within): the other half holds the group being settled and its set-aside files.
    // Group, workers and window are cut to the descriptors the process may open
    // (the group to a quarter of them at most), so that a low limit costs speed,
    // not files.
    std::size_t spare = SpareDescriptors(FDS_RESERVED);
    m_nGroupSize = std::clamp<std::size_t>(spare / 4 / FDS_SETTLING, 1, CGroupSettler::GROUP_SIZE);
    spare -= std::min(spare, m_nGroupSize * FDS_SETTLING);
    workers = static_cast<unsigned>(
        std::clamp<std::size_t>(spare / (FDS_CONVERTING + FDS_STAGED), 1, std::size_t {workers}));
    const std::size_t fitting = (spare - std::min(spare, workers * FDS_CONVERTING)) / FDS_STAGED;
    return std::max<std::size_t>(
        workers, std::min({std::max<std::size_t>(MIN_AHEAD, 2 * std::size_t {workers}), TEMPORARY_SLOTS / 2, fitting}));
}

bool CTambleJobs::RunFile(FileRun& run, const std::function<void(CTambleJobs& job, std::size_t index)>& work,
                          std::size_t index)
{
    run.job.JoinBatch(*this);
    run.job.m_bWorker = true;
    bool stopped = false;
    try {
        work(run.job, index);
    } catch (const std::exception& error) {
        // As RunJob does for a job that stops: reported, and the file failed.
        run.view.Message(error.what());
        run.job.RaiseStatus(1);
        stopped = true;
    }
    if (run.job.m_bInFile)
        run.job.EndFile(false);
    return stopped;
}

void CTambleJobs::ReleaseFile(FileRun& run, bool awaited)
{
    if (!run.view.m_lines.empty())
        SettlePending();   // the earlier files' deletions say their lines first
    for (const auto& [isMessage, text] : run.view.m_lines)
        isMessage ? m_view.Message(text) : m_view.Log(text);
    m_tally += run.job.m_tally;
    RaiseStatus(run.job.m_nExitStatus);
    TakePending(run.job);
    if (awaited)
        SettlePending();   // a later file on one of its paths finds its twin in place
}

bool CTambleJobs::RunBatch(const std::vector<BatchFile>& files, unsigned workers,
                           const std::function<void(CTambleJobs& job, std::size_t index)>& work)
{
    const std::size_t ahead = PlanBatch(workers);
    std::vector<std::vector<const std::string*>> paths;
    for (const BatchFile& file : files)
        paths.push_back({&file.source, &file.target});
    COrderedBatch batch(files.size(), Dependencies(paths), workers, ahead);

    // A lease break signal must not end the run while any worker holds a lease.
    const CLeaseSignalIgnored leaseSignal;
    // Finished targets are forced to disk on the settler's threads from the first
    // file on; the last group is settled (below) before they end.
    m_pSettler = std::make_unique<CGroupSettler>(*m_pFolder, *m_pTargetFolder,
                                                 m_settings.StagesTargets() ? SYNC_THREADS : 0, m_nGroupSize);
    m_pSyncAhead = m_pSettler->SyncAhead();
    struct SettlerOff {
        CTambleJobs& job;
        ~SettlerOff()
        {
            job.m_pSyncAhead = nullptr;
            job.m_pSettler.reset();
        }
    } settlerOff {*this};

    // Each file's run is made when a worker takes it and goes when it is
    // released; the runs of dropped files go when the batch is over.
    std::vector<std::unique_ptr<FileRun>> runs(files.size());
    std::size_t shown = NO_ITEM, shownDone = NO_ITEM;
    BatchCallbacks callbacks;
    callbacks.begin = [&](std::size_t i) { runs[i] = std::make_unique<FileRun>(m_settings); };
    callbacks.run = [&](std::size_t i) { return RunFile(*runs[i], work, i); };
    callbacks.release = [&](std::size_t i, bool awaited) {
        const std::unique_ptr<FileRun> run = std::move(runs[i]);
        ReleaseFile(*run, awaited);
    };
    callbacks.show = [&](std::size_t earliest, bool started, std::size_t done) {
        ShowBatch(files[earliest], earliest != shown, done != shownDone ? done : NO_ITEM,
                  started ? runs[earliest].get() : nullptr);
        shown = earliest;
        shownDone = done;
    };
    const bool finished = batch.Run(callbacks);
    runs.clear();   // the dropped files' temporaries remove themselves; their plain files stay
    SettlePending();
    return finished;
}

void CTambleJobs::ShowBatch(const BatchFile& earliest, bool newFile, std::size_t done, const FileRun* run)
{
    // The earliest file in flight on the file bar, the finished ones on the overall bar.
    if (newFile) {
        m_view.SetSourceName(earliest.shownSource);
        m_view.SetTargetName(earliest.shownTarget);
        m_view.SetFileRange(earliest.size > UINT32_MAX ? UINT32_MAX : static_cast<UINT>(earliest.size));
    }
    if (done != NO_ITEM)
        m_view.SetOverallPos(static_cast<int>(done > INT32_MAX - 1 ? INT32_MAX - 1 : done) + 1);
    m_view.SetFilePos(run ? run->view.m_nFilePos.load(std::memory_order_relaxed) : 0);
    ShowBars();
}
