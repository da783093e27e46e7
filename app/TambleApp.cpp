#include "app/TambleApp.h"

#include "app/StderrView.h"
#include "platform/CommandLine.h"

#include <csignal>
#include <cstdio>

int CTambleApp::Run(int argc, char** argv)
{
    // A reader of our messages that goes away must not end the job half way:
    // writes to it then fail quietly instead.
    std::signal(SIGPIPE, SIG_IGN);

    CTambleCmdLine cmdLine;
    cmdLine.SetDefaults();
    ParseCommandLine(argc, argv, cmdLine);

    COptions options;
    std::string message;
    if (!ParseOptions(cmdLine.m_options, options, message)) {
        CStderrView::WriteLine(2, message);
        PrintShortUsage(stderr);
        return 2;
    }
    if (options.m_bHelp) {
        PrintHelp(stdout);
        return 0;
    }
    if (options.m_bVersion) {
        PrintVersion(stdout);
        return 0;
    }
    if (options.m_bTest || options.m_bInfo)
        return RunFileChecks(options, cmdLine.m_params, stdout);
    return RunJob(cmdLine, options);
}

std::unique_ptr<IJobView> CTambleApp::CreateView(const CTambleCmdLine&, const COptions&)
{
    return std::make_unique<CStderrView>();
}

int CTambleApp::RunJob(const CTambleCmdLine& cmdLine, const COptions& options)
{
    std::unique_ptr<IJobView> view = CreateView(cmdLine, options);
    CTambleJobs jobs(*view);
    CopySettings(cmdLine, options, jobs);
    jobs.RunJob();
    if (jobs.m_nZipMode != 1 && jobs.m_nZipMode != 2)
        PrintShortUsage(stderr);   // no job: say how to give one instead of waiting
    return jobs.ExitStatus();
}

void CTambleApp::CopySettings(const CTambleCmdLine& cmdLine, const COptions& options, CTambleJobs& jobs)
{
    jobs.m_nZipMode = cmdLine.m_nZipMode;
    jobs.m_nFileType = cmdLine.m_nFileType;
    jobs.m_nNumber = cmdLine.m_nNumber;
    jobs.m_nGroup = cmdLine.m_nGroup;
    jobs.m_szStartDate = cmdLine.m_szStartDate;
    jobs.m_szSource = cmdLine.m_szSource;
    jobs.m_szTarget = cmdLine.m_szTarget;
    jobs.m_bHidden = cmdLine.m_bHidden;
    jobs.m_nCompressMethod = options.m_nMethod;
}
