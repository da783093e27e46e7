#include "jobs/HistoryBatch.h"

#include "jobs/JobError.h"
#include "jobs/JobRun.h"
#include "jobs/OrderedBatch.h"
#include "platform/FileLease.h"
#include "platform/ResourceLibrary.h"
#include "platform/StringIds.h"
#include "platform/System.h"
#include "platform/TempRegistry.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <utility>

namespace {

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

// One file on its worker: its bar position for the job's thread to read, and
// what it came to.
struct CHistoryBatch::FileRun {
    std::atomic<std::uint32_t> filePos {0};
    FileOutcome outcome;
};

CHistoryBatch::CHistoryBatch(CJobRun& run, const CFolder& plainFolder, const CFolder& targetFolder)
    : m_run(run), m_plainFolder(plainFolder), m_targetFolder(targetFolder)
{}

CHistoryBatch::~CHistoryBatch() = default;

unsigned CHistoryBatch::WorkerCount(int setting)
{
    if (setting > 0)
        return static_cast<unsigned>(setting);
    return OnlineProcessors();
}

std::size_t CHistoryBatch::PlanBatch(unsigned& workers)
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

bool CHistoryBatch::RunFile(FileRun& file, const HistoryStep& step, std::size_t index)
{
    const FilePosSink bar = [&file](UINT pos) { file.filePos.store(pos, std::memory_order_relaxed); };
    try {
        file.outcome = step(index, bar, m_pSettler->SyncAhead());
    } catch (const std::exception& error) {
        // As the job driver does for a job that stops: reported, and the file failed.
        CFileRecord record;
        record.Stop(error.what());
        file.outcome = record.End(false);
    }
    return file.outcome.stopsJob;
}

void CHistoryBatch::ReleaseFile(FileRun& file, bool awaited)
{
    FileOutcome& outcome = file.outcome;
    if (!outcome.lines.empty())
        SettlePending();   // the earlier files' deletions say their lines first
    m_run.Take(outcome);
    if (outcome.pending) {
        std::vector<SettledFile> settled;
        m_pSettler->Add(std::move(*outcome.pending), settled);
        outcome.pending.reset();
        EndSettled(settled);
    }
    if (awaited)
        SettlePending();   // a later file on one of its paths finds its twin in place
}

bool CHistoryBatch::Run(const std::vector<BatchFile>& files, unsigned workers, const HistoryStep& step)
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
    m_pSettler = std::make_unique<CGroupSettler>(m_plainFolder, m_targetFolder,
                                                 m_run.Settings().StagesTargets() ? SYNC_THREADS : 0, m_nGroupSize);
    struct SettlerOff {
        std::unique_ptr<CGroupSettler>& settler;
        ~SettlerOff() { settler.reset(); }
    } settlerOff {m_pSettler};

    // Each file's run is made when a worker takes it and goes when it is
    // released; the runs of dropped files go when the batch is over.
    std::vector<std::unique_ptr<FileRun>> runs(files.size());
    std::size_t shown = NO_ITEM, shownDone = NO_ITEM;
    BatchCallbacks callbacks;
    callbacks.begin = [&](std::size_t i) { runs[i] = std::make_unique<FileRun>(); };
    callbacks.run = [&](std::size_t i) { return RunFile(*runs[i], step, i); };
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

void CHistoryBatch::ShowBatch(const BatchFile& earliest, bool newFile, std::size_t done, const FileRun* file)
{
    // The earliest file in flight on the file bar, the finished ones on the overall bar.
    IJobView& view = m_run.View();
    if (newFile) {
        view.SetSourceName(earliest.shownSource);
        view.SetTargetName(earliest.shownTarget);
        view.SetFileRange(earliest.size > UINT32_MAX ? UINT32_MAX : static_cast<UINT>(earliest.size));
    }
    if (done != NO_ITEM)
        view.SetOverallPos(static_cast<int>(done > INT32_MAX - 1 ? INT32_MAX - 1 : done) + 1);
    view.SetFilePos(file ? file->filePos.load(std::memory_order_relaxed) : 0);
    m_run.ShowBars();
}

void CHistoryBatch::SettlePending()
{
    std::vector<SettledFile> settled;
    if (m_pSettler)
        m_pSettler->Settle(settled);
    EndSettled(settled);
}

void CHistoryBatch::EndSettled(const std::vector<SettledFile>& settled)
{
    for (const SettledFile& file : settled) {
        m_run.Say(file.lines);
        if (file.failed)
            m_run.RaiseStatus(1);
        if (file.leaseError) {   // deleted under the weaker check: said once at the end
            ++m_nUnleased;
            m_nUnleasedError = file.leaseError;
        }
        m_run.Count(JobTally::OneFile(file.failed, file.converted, file.fileIn, file.fileOut));
    }
}

void CHistoryBatch::WarnUnleased() const
{
    if (m_nUnleased == 0)
        return;
    m_run.View().Message(ComposeMessage(FormatText(IDS_WARN_NO_LEASE, {std::to_string(m_nUnleased)}),
                                        m_plainFolder.Shown(), std::strerror(m_nUnleasedError)));
}
