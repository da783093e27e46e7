// CTambleApp: the life of one run.
//
//   1. choose the language: the CultureName of "Program Settings.ini" in the
//      product's per-user data folder, else the user's locale; load its
//      resource library and make it the source of every text
//   2. read the command line into CTambleCmdLine (switches) and COptions
//      (GNU-style options); an unusable option ends the run with status 2
//   3. --help, --version, --test and --info do their work and end the run
//   4. otherwise run the one job the switches name where its progress is
//      shown: the progress dialog, the terminal display or lines on stderr
//      (app/DisplayChoice.h), and end with the status the job earned (0 all
//      done, 1 failures, 2 no job or an unusable value)
//   5. free the resource library
#pragma once

#include "app/DisplayChoice.h"
#include "app/Options.h"
#include "app/TambleCmdLine.h"
#include "app/WindowHost.h"
#include "jobs/JobView.h"
#include "jobs/TambleJobs.h"
#include "platform/ResourceLibrary.h"

#include <memory>

class CTambleApp {
public:
    CTambleApp() = default;
    virtual ~CTambleApp();

    // Runs the program with its arguments; returns the exit status.
    int Run(int argc, char** argv);

    // The resource library in use: a loaded language library, or the
    // program's own instance (English); null before and after the run.
    HINSTANCE m_hResDll = nullptr;

    // Copies the job settings from the command-line record into the jobs.
    static JobSettings MakeSettings(const CTambleCmdLine& cmdLine, const COptions& options);

protected:
    // Steps 1 and 5.
    void LoadLanguage();
    void FreeLanguage();

    // Steps 2 to 4; returns the exit status.
    int RunCommandLine(int argc, char** argv);

    // Where the job's progress is shown; loads the window module and opens
    // the X display for a window.
    virtual DisplayChoice ChooseDisplay(const CTambleCmdLine& cmdLine, const COptions& options);

    // The view the job reports to when it runs without the window.
    virtual std::unique_ptr<IJobView> CreateView(const CTambleCmdLine& cmdLine, const COptions& options,
                                                 ProgressDisplay display);

    // Runs the job in the progress dialog; returns the exit status, or -1
    // when the dialog could not be shown and the job has not run.
    virtual int RunDialog(const CTambleCmdLine& cmdLine, const COptions& options);

    // Loads the window module and opens the display through it.  Without a
    // display name the module is not even loaded; a module that cannot be
    // loaded is said in one warning line (m_bWindowWarned).
    bool OpenWindowDisplay();

    CWindowModule m_window;
    bool m_bWindowWarned = false;

    // Runs the job of the settings; returns the exit status.
    virtual int RunJob(const CTambleCmdLine& cmdLine, const COptions& options);

    // The summary line that ends a job, on stderr (not with --quiet).
    static void PrintSummary(const CTambleJobs& jobs, const COptions& options);
};
