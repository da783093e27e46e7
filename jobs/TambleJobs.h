// CTambleJobs: the program's jobs.  One run performs one job, chosen by the
// operation and the kind of file the command line gave:
//   compress + history set   CompressHistory   plain history files older than N days
//   compress + one file      CompressFile      source -> target, LZW
//   extract  + history set   ExtractHistory    compressed history files of N days
//   extract  + one file      ExtractFile       source -> target, plain bytes
// The jobs show what they do through an IJobView and know nothing of any toolkit;
// what to do comes as a JobSettings value, which no job changes.  What a run
// said, earned and counted is its CJobRun's (jobs/JobRun.h); the history jobs
// are jobs/HistoryJobs.h, one conversion jobs/Conversion.h.
//
// What the jobs guarantee: a target appears complete or not at all (written to
// a temporary, forced to disk and renamed); a conversion succeeds only when its
// source delivered exactly its original size without damage; a plain history
// file is deleted only after its compressed twin has been decoded and found to
// hold exactly its bytes, and only if nobody changed it meanwhile; one run at a
// time works in a folder (the others wait a bounded time, then refuse), and it
// first removes the temporaries that interrupted runs left there.
#pragma once

#include "jobs/JobKind.h"
#include "jobs/JobOutcome.h"
#include "jobs/JobRun.h"
#include "jobs/JobSettings.h"
#include "jobs/JobView.h"
#include "platform/Types.h"

#include <string>

class CFolder;

class CTambleJobs : public CJobRun {
public:
    explicit CTambleJobs(IJobView& view, JobSettings settings = {});

    bool HasJob() const { return m_settings.HasJob(); }

    // The job driver's table: checks the settings, runs the job they name and
    // reports an error that stops it; returns the job's result (0 when no job
    // ran or the job returned early).  The view's EndJob is called exactly once.
    int RunJob();

    // Whether the settings name a job that can run; reports why not (status 2).
    BOOL CheckJobSettings();

    int CompressFile();
    int ExtractFile();
    int CompressHistory();
    int ExtractHistory();

    // Converts source into target, written with method; 1 converted, 0 failed
    // (the user has been told why, and no target was created or changed).  With
    // replaceTarget false an existing target is never overwritten.  A read or
    // write error of a file stops the whole job: CJobError.  The file bar
    // follows the source.
    BOOL ConvertFile(const std::string& source, const std::string& target, int method, bool replaceTarget = true);

private:
    // Single-file jobs.
    int ConvertNamedFile(int method, UINT logId);
    // A dry run's check of the named file; folder is null when it could not be opened.
    bool DryConvertNamedFile(int method, const CFolder* folder, int folderError);
};
