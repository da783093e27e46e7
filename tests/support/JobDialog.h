// The progress dialog driving the program's jobs, as the window module has it do:
// the settings the jobs need beside the dialog's own, the job run on the first tick.
#pragma once

#include "app/TambleDlg.h"
#include "app/WindowHost.h"

#include <string>

class CJobDialog : public CTambleDlg {
public:
    CJobDialog()
    {
        m_runJob = [this] {
            m_jobs.m_nZipMode = m_nZipMode;
            m_jobs.m_nFileType = m_nFileType;
            m_jobs.m_bHidden = m_bHidden;
            m_jobs.m_szSource = m_szSource;
            m_jobs.m_szTarget = m_szTarget;
            m_jobs.RunReporting();
        };
    }
    int ExitStatus() const { return m_jobs.ExitStatus(); }

    std::string m_szSource;
    std::string m_szTarget;

private:
    CWindowJobs m_jobs {*this};
};
