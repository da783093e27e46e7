// The progress dialog driving the program's jobs, as the window module has it do:
// the settings the jobs need beside the dialog's own, the job run on the first tick.
#pragma once

#include "app/TambleDlg.h"
#include "app/WindowHost.h"

#include <memory>
#include <string>

class CJobDialog : public CTambleDlg {
public:
    CJobDialog()
    {
        m_runJob = [this] {
            JobSettings settings;
            settings.zipMode = m_nZipMode;
            settings.fileType = m_nFileType;
            settings.hidden = m_bHidden;
            settings.source = m_szSource;
            settings.target = m_szTarget;
            m_jobs = std::make_unique<CWindowJobs>(*this, settings);
            m_jobs->RunReporting();
        };
    }
    int ExitStatus() const { return m_jobs ? m_jobs->ExitStatus() : 0; }

    std::string m_szSource;
    std::string m_szTarget;

private:
    std::unique_ptr<CWindowJobs> m_jobs;
};
