// CJobRun: one run of a job as its user sees it: the view it shows itself
// through, the messages and log lines said, the exit status earned, the tally
// of the files met and the summary that ends it, the file bar, and the lock of
// the folder it works in.  Only the job's own thread uses it.
#pragma once

#include "jobs/JobError.h"
#include "jobs/JobOutcome.h"
#include "jobs/JobSettings.h"
#include "jobs/JobView.h"
#include "platform/Types.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CFolderLock;

class CJobRun {
public:
    CJobRun(IJobView& view, JobSettings settings);
    virtual ~CJobRun();
    CJobRun(const CJobRun&) = delete;
    CJobRun& operator=(const CJobRun&) = delete;

    const JobSettings& Settings() const { return m_settings; }
    IJobView& View() const { return m_view; }

    // A message to the user; Fail also marks the run as failed (status 1),
    // Refuse as unusable (status 2).
    void Notice(UINT textId, const std::string& file, const std::string& cause = {});
    void Fail(UINT textId, const std::string& file, const std::string& cause = {});
    void Refuse(UINT textId, const std::string& value);
    void LogLine(UINT textId, const std::string& what);
    void RaiseStatus(int status);
    // Lines a step handed back, said in their order.
    void Say(const std::vector<JobLine>& lines);
    // A file's outcome: its lines, its counts and its status (its pending
    // target is the caller's).
    void Take(const FileOutcome& outcome);
    void Count(const JobTally& tally) { m_tally += tally; }

    // The process exit status the run earned so far: 0 all done, 1 a conversion
    // failed or the job stopped on an error, 2 no job / unusable settings.
    int ExitStatus() const { return m_nExitStatus; }
    // How often the run failed (status 1 or more) so far: a step's file failed
    // when this grew while the file was at hand.
    std::uint64_t Failures() const { return m_nFailures; }

    // The line that ends a job: files compressed (or extracted), passed over
    // and failed, bytes before and after (an extraction: written and read) with
    // the share saved, and the time taken.  Empty when no job ran (the settings
    // named none or were refused) or when it stopped on an error before it met
    // any file (its message said why).
    std::string SummaryLine() const;

    // The run begins: its clock starts.
    void Begin();
    // Its settings can run: the job has a summary.
    void Started() { m_bJobRan = true; }
    // Ends the job with result (1 a normal end) through the view, once.
    void EndJob(int result);
    bool Ended() const { return m_bEnded; }

    // Transfers the texts and repaints both bars at once.
    void ShowBars();
    // The file bar at pos, repainted when it moved since last shown.
    void ShowFilePos(UINT pos);

    // The folder's lock, held until the run lets it go.
    void HoldLock(std::unique_ptr<CFolderLock> lock);
    void ReleaseLock();

protected:
    const JobSettings m_settings;
    IJobView& m_view;

private:
    int m_nExitStatus = 0;
    std::uint64_t m_nFailures = 0;
    bool m_bJobRan = false;
    bool m_bEnded = false;
    JobTally m_tally;
    std::int64_t m_nStartedNs = 0;   // steady clock at the job's start
    UINT m_nShownFilePos = 0;        // file bar position last shown
    bool m_bFilePosShown = false;
    std::unique_ptr<CFolderLock> m_pLock;   // held while the job works in its folder
};
