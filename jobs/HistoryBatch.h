// CHistoryBatch: a history job's files on several worker threads.
//
// Each file is one step (jobs/HistorySteps.h) that hands back what the file
// came to; the job's thread takes the outcomes in the order of the names, says
// their lines, adds their counts and status and hands their targets to the
// job's groups (jobs/GroupSettler.h), exactly as a run of one file after the
// other does.  Only the job's own thread touches the view: it waits for the
// files that are done and, between, shows the earliest file still in flight on
// the file bar (its position is posted by the worker into an atomic) and the
// finished files on the overall bar.
//
// The order (files begun in name order, a file on a path an earlier file names
// waiting for it, the stop at a file whose error stops the job) is the ordered
// batch's (jobs/OrderedBatch.h); this class gives it the job's files.
#pragma once

#include "jobs/Conversion.h"
#include "jobs/GroupSettler.h"
#include "jobs/JobOutcome.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CFolder;
class CJobRun;
class CSyncAhead;

// One file of a history job, for the workers: what the file bar shows while it
// is the earliest in flight, and the paths it reads and writes (a file waits
// for an earlier one that names one of them).
struct BatchFile {
    std::string shownSource, shownTarget;
    std::uint64_t size = 0;
    std::string source, target;
};

// The step of file index on a worker; bar takes its position, syncAhead (or
// null) the syncs of its targets.
using HistoryStep = std::function<FileOutcome(std::size_t index, const FilePosSink& bar, CSyncAhead* syncAhead)>;

class CHistoryBatch {
public:
    // plainFolder holds the job's sources (a compression's plain files),
    // targetFolder its targets.
    CHistoryBatch(CJobRun& run, const CFolder& plainFolder, const CFolder& targetFolder);
    ~CHistoryBatch();
    CHistoryBatch(const CHistoryBatch&) = delete;
    CHistoryBatch& operator=(const CHistoryBatch&) = delete;

    // Files a history job converts at once: the setting, or one per online CPU.
    static unsigned WorkerCount(int setting);

    // Runs step for every file on up to workers threads and takes the outcomes
    // in order.  False when an error stopped the job: it stops at that file,
    // and the files after it are not touched (those a worker converted already
    // are dropped, unsaid and uncounted).
    bool Run(const std::vector<BatchFile>& files, unsigned workers, const HistoryStep& step);
    // One warning for the plain files deleted without a write lease.
    void WarnUnleased() const;

private:
    struct FileRun;
    // Cuts workers to what the process may open and sets the group size;
    // returns how far past the earliest unreleased file a file may be begun.
    std::size_t PlanBatch(unsigned& workers);
    // On a worker: the file's step; true when its error stops the job.
    bool RunFile(FileRun& file, const HistoryStep& step, std::size_t index);
    // On the job's thread, in order: what the file said, its counts, its pending target.
    void ReleaseFile(FileRun& file, bool awaited);
    void ShowBatch(const BatchFile& earliest, bool newFile, std::size_t done, const FileRun* file);
    // Settles the files handed to the groups so far.
    void SettlePending();
    // Says and counts what became of settled files, in order.
    void EndSettled(const std::vector<SettledFile>& settled);

    CJobRun& m_run;
    const CFolder& m_plainFolder;
    const CFolder& m_targetFolder;
    std::size_t m_nGroupSize = CGroupSettler::GROUP_SIZE;
    std::unique_ptr<CGroupSettler> m_pSettler;   // the job's groups, while the batch runs
    // Plain files deleted without a write lease (leases refused), and why.
    std::uint64_t m_nUnleased = 0;
    int m_nUnleasedError = 0;
};
