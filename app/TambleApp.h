// CTambleApp: the life of one run.
//
//   1. read the command line into CTambleCmdLine (switches) and COptions
//      (GNU-style options); an unusable option ends the run with status 2
//   2. --help, --version, --test and --info do their work and end the run
//   3. otherwise run the one job the switches name through a job view and end
//      with the status the job earned (0 all done, 1 failures, 2 no job or an
//      unusable value)
//
// The view is chosen in CreateView; a window or a terminal display slots in
// there, and the language selection before step 1.
#pragma once

#include "app/Options.h"
#include "app/TambleCmdLine.h"
#include "jobs/JobView.h"
#include "jobs/TambleJobs.h"

#include <memory>

class CTambleApp {
public:
    CTambleApp() = default;
    virtual ~CTambleApp() = default;

    // Runs the program with its arguments; returns the exit status.
    int Run(int argc, char** argv);

protected:
    // The view the job reports to; for now always the standard-error view.
    virtual std::unique_ptr<IJobView> CreateView(const CTambleCmdLine& cmdLine, const COptions& options);

    // Runs the job of the settings; returns the exit status.
    virtual int RunJob(const CTambleCmdLine& cmdLine, const COptions& options);

    // Copies the job settings from the command-line record into the jobs.
    static void CopySettings(const CTambleCmdLine& cmdLine, const COptions& options, CTambleJobs& jobs);
};
