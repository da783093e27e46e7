#include "app/TambleApp.h"

#include "app/Language.h"
#include "app/StderrView.h"
#include "app/TerminalView.h"
#include "jobs/HistoryNames.h"
#include "jobs/JobError.h"
#include "platform/CommandLine.h"
#include "platform/ResourceLibrary.h"
#include "platform/StartupFile.h"
#include "platform/StringIds.h"
#include "platform/TempRegistry.h"
#include "platform/TimeUtil.h"

#ifdef _WIN32
#include "app/win32/Win32Dialog.h"
#endif

#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

// --progress=none or --quiet: messages only, no line per file.
class CQuietView : public CStderrView {
public:
    void Log(const std::string&) override {}
};

// One line for each parameter the command line ignored or read only in part;
// bare parameters mean nothing to a job.
void PrintWarnings(const CTambleCmdLine& cmdLine, bool job)
{
    for (const CmdLineWarning& warning : cmdLine.m_warnings) {
        std::string readAs = warning.readAs;
        if (!readAs.empty())
            readAs = LoadResString(IDS_WARN_TAKEN_AS) + " " + readAs;
        if (warning.decimalHint)   // the group as the names show it, in decimal
            readAs += " (" + LoadResString(IDS_WARN_GROUP_DECIMAL) + ", "
                      + "/G:" + std::to_string(std::strtol(warning.param.c_str() + 3, nullptr, 16)) + ")";
        CStderrView::WriteLine(2, ComposeMessage(warning.textId, warning.param, readAs));
    }
    if (job)
        for (const std::string& param : cmdLine.m_params)
            CStderrView::WriteLine(2, ComposeMessage(IDS_WARN_PARAM_IGNORED, param, {}));
    // An extraction's start date is read at fixed places: "12302024" is 2
    // December 2024, its third and sixth characters taken for separators.
    const std::string& date = cmdLine.m_szStartDate;
    if (job && cmdLine.m_nZipMode == ZIP_MODE_EXTRACT && date.size() >= 7 && !IsIsoStartDate(date)
        && (std::isdigit(static_cast<unsigned char>(date[2])) || std::isdigit(static_cast<unsigned char>(date[5])))) {
        HistoryDate read;
        std::int64_t midnight = 0;
        int year = 0, month = 0, day = 0;
        std::string taken;
        if (ReadStartDate(date, read) && ResolveDate(read, Time64Now(), midnight) == DateResult::Ok
            && LocalDate(midnight, year, month, day)) {
            char iso[32];
            std::snprintf(iso, sizeof iso, "%04d-%02d-%02d", year, month, day);
            taken = LoadResString(IDS_WARN_TAKEN_AS) + " " + iso;
        }
        CStderrView::WriteLine(2, ComposeMessage(IDS_WARN_DATE_DIGITS, "/D:" + date, taken));
    }
}

}   // namespace

void CWindowJobs::RunReporting()
{
    try {
        RunJob();
    } catch (const std::exception& error) {
        RaiseStatus(1);
        m_view.Message(error.what());
    } catch (...) {
        // Nothing may unwind into the window's frames.
        RaiseStatus(1);
    }
}

CTambleApp::~CTambleApp()
{
    FreeLanguage();
}

int CTambleApp::Run(int argc, char** argv)
{
    // A reader of our messages that goes away must not end the job half way:
    // writes to it then fail quietly instead.
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // A file-size limit is a write error; a stop signal removes the temporary
    // in flight before the process ends by it.
    InstallStopSignals();

    LoadLanguage();
    int status = RunCommandLine(argc, argv);
    FreeLanguage();
    return status;
}

void CTambleApp::LoadLanguage()
{
    HINSTANCE instance = AfxGetInstanceHandle();
    // The per-user data folder's "Program Settings.ini", section Language, key
    // CultureName; else the culture of the user's locale.
    std::string culture = ChooseCultureName(instance);
    LoadResourceDll(culture.c_str(), instance, m_hResDll);
    AfxSetResourceHandle(m_hResDll);
    // A settings file or language library that was there but refused counts
    // as absent: one line for each, in the language now chosen.
    for (const RefusedFile& refused : TakeRefusedFiles())
        CStderrView::WriteLine(2, ComposeMessage(refused.kind == RefusedKind::Settings ? IDS_WARN_SETTINGS_REFUSED
                                                                                       : IDS_WARN_LANGUAGE_REFUSED,
                                                 refused.path, refused.why));
}

void CTambleApp::FreeLanguage()
{
    if (m_hResDll == nullptr)
        return;
    HINSTANCE instance = AfxGetInstanceHandle();
    FreeResourceDll(m_hResDll, instance);
    AfxSetResourceHandle(instance);
}

int CTambleApp::RunCommandLine(int argc, char** argv)
{
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
    const bool fileList = options.m_bTest || options.m_bInfo || options.m_bCat;
    PrintWarnings(cmdLine, !fileList);
    if (options.m_bCat)
        return RunCat(cmdLine.m_params, 1);
    if (fileList)
        return RunFileChecks(options, cmdLine.m_params, stdout);
    return RunJob(cmdLine, options);
}

DisplayChoice CTambleApp::ChooseDisplay(const CTambleCmdLine& cmdLine, const COptions& options)
{
    DisplayEnvironment env;
    env.hidden = cmdLine.m_bHidden;
    // Quiet: no progress of any kind unless it was asked for by name.
    if (options.m_bQuiet && options.m_progress == ProgressRequest::Auto)
        return ChooseProgressDisplay(ProgressRequest::Off, env);
    env.stderrIsTerminal = isatty(2) != 0;
    env.openDisplay = [this] { return OpenWindowDisplay(); };
    return ChooseProgressDisplay(options.m_progress, env);
}

std::unique_ptr<IJobView> CTambleApp::CreateView(const CTambleCmdLine& cmdLine, const COptions& options,
                                                 ProgressDisplay display)
{
    switch (display) {
#ifndef _WIN32
    case ProgressDisplay::Terminal: {
        auto view = std::make_unique<CTerminalView>(2, cmdLine.m_nZipMode, cmdLine.m_nFileType);
        view->m_bShowLog = !options.m_bQuiet;   // --quiet: the bars, but no line per file
        return view;
    }
#else
    case ProgressDisplay::Terminal:   // no terminal display on Windows: a line per file
        (void)cmdLine;
        break;
#endif
    case ProgressDisplay::Quiet:
        return std::make_unique<CQuietView>();
    case ProgressDisplay::Window:
    case ProgressDisplay::Lines:
        break;
    }
    if (options.m_bQuiet)
        return std::make_unique<CQuietView>();
    return std::make_unique<CStderrView>();
}

bool CTambleApp::OpenWindowDisplay()
{
#ifdef _WIN32
    // The dialog is part of the program; it needs a desktop a user can see.
    return CWin32Dlg::CanShow();
#else
    // A build without the window module never looks for one.
    if (!TAMBLE_HAS_WINDOW)
        return false;
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0')
        return false;
    if (!m_window.Load()) {
        CStderrView::WriteLine(
            2, ComposeMessage(IDS_ERR_NO_WINDOW_MODULE, CWindowModule::DefaultPath(), m_window.Error()));
        m_bWindowWarned = true;
        return false;
    }
    return m_window.OpenDisplay();
#endif
}

int CTambleApp::RunDialog(const CTambleCmdLine& cmdLine, const COptions& options)
{
#ifdef _WIN32
    CWin32Dlg dialog;
    dialog.m_nZipMode = cmdLine.m_nZipMode;
    dialog.m_nFileType = cmdLine.m_nFileType;
    dialog.m_bHidden = cmdLine.m_bHidden;
    dialog.m_bQuiet = options.m_bQuiet;
    CWindowJobs jobs(dialog, MakeSettings(cmdLine, options));
    bool ran = false;
    dialog.m_runJob = [&] {
        ran = true;
        jobs.RunReporting();
    };
    dialog.DoModal();
    if (!ran)
        return -1;
#else
    CWindowView view;
    view.m_bQuiet = options.m_bQuiet;
    CWindowJobs jobs(view, MakeSettings(cmdLine, options));
    if (!m_window.Run(jobs, view))
        return -1;
#endif
    if (!jobs.HasJob())
        PrintShortUsage(stderr);
    PrintSummary(jobs, options);
    return jobs.ExitStatus();
}

int CTambleApp::RunJob(const CTambleCmdLine& cmdLine, const COptions& options)
{
    DisplayChoice choice = ChooseDisplay(cmdLine, options);
    if (choice.windowUnavailable && !m_bWindowWarned) {
        const char* display = std::getenv("DISPLAY");
        CStderrView::WriteLine(2, ComposeMessage(IDS_ERR_NO_DISPLAY, display != nullptr ? display : "", {}));
    }
    if (choice.display == ProgressDisplay::Window) {
        int status = RunDialog(cmdLine, options);
        if (status >= 0)
            return status;
        choice.display = ProgressDisplay::Lines;
    }

    std::unique_ptr<IJobView> view = CreateView(cmdLine, options, choice.display);
    CTambleJobs jobs(*view, MakeSettings(cmdLine, options));
    jobs.RunJob();
    if (!jobs.HasJob())
        PrintShortUsage(stderr);   // no job: say how to give one instead of waiting
    PrintSummary(jobs, options);
    return jobs.ExitStatus();
}

void CTambleApp::PrintSummary(const CTambleJobs& jobs, const COptions& options)
{
    const std::string line = jobs.SummaryLine();
    if (!line.empty() && !options.m_bQuiet)
        CStderrView::WriteLine(2, line);
}

JobSettings CTambleApp::MakeSettings(const CTambleCmdLine& cmdLine, const COptions& options)
{
    JobSettings settings;
    settings.zipMode = cmdLine.m_nZipMode;
    settings.fileType = cmdLine.m_nFileType;
    settings.number = cmdLine.m_nNumber;
    settings.group = cmdLine.m_nGroup;
    settings.startDate = cmdLine.m_szStartDate;
    settings.source = cmdLine.m_szSource;
    settings.target = cmdLine.m_szTarget;
    settings.hidden = cmdLine.m_bHidden;
    settings.compressMethod = options.m_nMethod;
    settings.dryRun = options.m_bDryRun;
    settings.keep = options.m_bKeep;
    settings.outputDir = options.m_strOutputDir;
    settings.jobs = options.m_nJobs;
    return settings;
}
