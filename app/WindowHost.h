// The program's side of the window module (app/WindowAbi.h): loading the module
// from beside the executable and running a job in its dialog.
#pragma once

#include "app/WindowAbi.h"
#include "jobs/JobView.h"
#include "jobs/TambleJobs.h"
#include "platform/ResourceLibrary.h"

#include <string>

// The view the jobs talk to while the module's dialog runs them: each call goes
// to the dialog through the module's table; without a table it does nothing.
class CWindowView : public IJobView {
public:
    void SetWaitText(const std::string& text) override { Call(m_pTable->setWaitText, text.c_str()); }
    void SetSourceName(const std::string& text) override { Call(m_pTable->setSourceName, text.c_str()); }
    void SetTargetName(const std::string& text) override { Call(m_pTable->setTargetName, text.c_str()); }
    void TransferTexts() override { Call(m_pTable->transferTexts); }
    void SetFileRange(std::uint32_t upper) override { Call(m_pTable->setFileRange, upper); }
    void SetFilePos(std::uint32_t pos) override { Call(m_pTable->setFilePos, pos); }
    void RepaintFileBar() override { Call(m_pTable->repaintFileBar); }
    void SetOverallRange(std::uint16_t upper) override { Call(m_pTable->setOverallRange, upper); }
    void SetOverallPos(int pos) override { Call(m_pTable->setOverallPos, pos); }
    void RepaintOverallBar() override { Call(m_pTable->repaintOverallBar); }
    void Message(const std::string& text) override { Call(m_pTable->message, text.c_str()); }
    void Log(const std::string& text) override
    {
        if (!m_bQuiet)
            Call(m_pTable->log, text.c_str());
    }
    void EndJob(int result) override { Call(m_pTable->endJob, result); }

    const TambleWindowView* m_pTable = nullptr;
    bool m_bQuiet = false;   // --quiet: no line per file

private:
    template <typename Function, typename... Args>
    void Call(Function function, Args... args)
    {
        if (m_pTable != nullptr && function != nullptr)
            function(m_pTable->dialog, args...);
    }
};

// The jobs of a run that a dialog drives: an error that escapes the job is
// reported to the view and the run ends with status 1.
class CWindowJobs : public CTambleJobs {
public:
    using CTambleJobs::CTambleJobs;
    void RunReporting();
};

class CWindowModule {
public:
    CWindowModule() = default;
    CWindowModule(const CWindowModule&) = delete;
    CWindowModule& operator=(const CWindowModule&) = delete;

    // The module's path: tamble-window.so in the executable's folder.
    static std::string DefaultPath();

    // Loads the module once; false when it is missing, cannot be loaded or
    // is of another version, with the reason in Error().  A loaded module
    // stays loaded: FLTK and the X libraries register handlers run at exit.
    bool Load(const std::string& path = DefaultPath());
    const std::string& Error() const { return m_strError; }

    // Opens the X display through the loaded module.
    bool OpenDisplay();

    // Runs the jobs' job in the module's dialog, the jobs reporting to view;
    // false when the dialog could not be shown and the job did not run.
    bool Run(CWindowJobs& jobs, CWindowView& view);

private:
    HMODULE m_hModule = nullptr;
    std::string m_strError;
    TambleWindowOpenDisplayProc m_pfnOpenDisplay = nullptr;
    TambleWindowRunProc m_pfnRun = nullptr;
};
