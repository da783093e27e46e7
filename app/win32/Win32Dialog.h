// CWin32Dlg: the progress dialog of the Windows build, the program's only
// window there.
//
// It is dialog template 102 of the current language library (else of the
// program), with icon 128, run modally with DialogBoxIndirectParamW.  Its
// texts come from the string table (129..135).  WM_INITDIALOG starts timer 1
// with a period of one second; the first tick runs the job (the job driver),
// which reports to the dialog as its IJobView and ends it with its result.
// The job runs inside that tick: the dialog transfers texts and repaints its
// bars at once when told, and lets the system's queue through at most every
// 100 ms meanwhile, so that the window is never taken for a hung one; a later
// tick only keeps a hidden dialog hidden.  When the job did not end the
// dialog itself (no job, an early return, an error), the dialog ends after
// the user has acknowledged the message.
//
// Messages go to standard error, as on Linux, and into a message box that
// waits for the user; the run's log goes to standard error only.
#pragma once

#include "jobs/JobKind.h"
#include "jobs/JobView.h"
#include "platform/Types.h"

#include <cstdint>
#include <functional>
#include <string>

class CWin32Dlg : public IJobView {
public:
    CWin32Dlg() = default;
    ~CWin32Dlg() override = default;
    CWin32Dlg(const CWin32Dlg&) = delete;
    CWin32Dlg& operator=(const CWin32Dlg&) = delete;

    // Whether a window can be seen at all: false in a service's or a
    // scheduled task's window station, where a message box would wait for a
    // user who is not there.
    static bool CanShow();

    // Creates the window from the template and runs it until the job ends
    // it; returns its result, or -1 when the window could not be created and
    // the job has not run.
    int DoModal();

    // The job settings the window reads: operation and kind choose the wait
    // text; a hidden dialog is never shown.
    int m_nZipMode = ZIP_MODE_NONE;
    int m_nFileType = FILE_TYPE_NONE;
    BOOL m_bHidden = FALSE;
    bool m_bQuiet = false;            // --quiet: no log lines
    unsigned m_nTimerPeriod = 1000;   // timer 1, in milliseconds
    // The job, run once on the first tick; it reports to this dialog and ends
    // it through EndJob, and never throws.
    std::function<void()> m_runJob;

    // The window while it exists (an HWND), for the tests.
    void* Window() const { return m_hWnd; }

    void SetWaitText(const std::string& text) override;
    void SetSourceName(const std::string& text) override;
    void SetTargetName(const std::string& text) override;
    void TransferTexts() override;
    void SetFileRange(std::uint32_t upper) override;
    void SetFilePos(std::uint32_t pos) override;
    void RepaintFileBar() override;
    void SetOverallRange(std::uint16_t upper) override;
    void SetOverallPos(int pos) override;
    void RepaintOverallBar() override;
    void Message(const std::string& text) override;
    void Log(const std::string& text) override;
    void EndJob(int result) override;

    // Window procedure's steps (public for the procedure, a free function).
    BOOL OnInitDialog(void* window);
    void OnTimer();
    void OnDestroy();

private:
    void FitCaptionColumn();
    void PumpWhileBusy();

    void* m_hWnd = nullptr;
    void* m_hIconLarge = nullptr;
    void* m_hIconSmall = nullptr;
    BOOL m_bStarted = FALSE;
    bool m_bEnded = false;
    int m_nResult = -1;
    std::uint64_t m_nLastPump = 0;

    std::string m_strMessage;
    std::string m_strSourceLabel;
    std::string m_strTargetLabel;
    std::string m_strSourceName;
    std::string m_strTargetName;
    std::string m_strOverallLabel;
    // The file bar's range is 32 bits unsigned; the control's is signed: sizes
    // from 2 GiB are shown shifted right by this many bits.
    unsigned m_nFileShift = 0;
    std::uint16_t m_nOverallUpper = 100;
};
