// CTambleDlg: the progress dialog, the program's only window.
//
// A small window without caption or buttons, laid out from template 102: the
// wait text, the source and target of the file at hand, a bar for that file
// and one for the whole batch.  It shows what the job reports (it is the
// jobs' view); the job itself is a function that the dialog runs and that
// knows the dialog only as an IJobView.
//
// DoModal builds the window, runs OnInitDialog and waits for events until the
// dialog is ended.  OnInitDialog starts a one-second timer; its first tick runs
// the job (OnTimer, the job driver), which ends the dialog when it is done.
// The job runs inside that tick without processing events, so every change is
// painted at once.  When the job could not end the dialog itself (no job, an
// early return, an error), the dialog ends after the user has acknowledged the
// message, so that no window is left that nobody can close.
//
// The window manager draws the icon of a minimised window and while it is
// dragged; the dialog only hands it the icon.
#pragma once

#include "app/DialogTemplate.h"
#include "app/ProgressCtrl.h"
#include "jobs/JobKind.h"
#include "jobs/JobView.h"
#include "platform/Types.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CAppIcon;
class CTambleDlgWindow;
class CTextLabel;
class Fl_Widget;
class Fl_Window;

class CTambleDlg : public IJobView {
public:
    CTambleDlg();
    ~CTambleDlg() override;
    CTambleDlg(const CTambleDlg&) = delete;
    CTambleDlg& operator=(const CTambleDlg&) = delete;

    // Opens the X display for the window, checked with Xlib first so that a
    // display that is not there is a false result, not the end of the program.
    static bool OpenDisplay();

    // Creates the window, runs it until EndDialog and returns EndDialog's
    // result (-1 when there is no display to show it on).
    int DoModal();
    void EndDialog(int result);

    // Transfers the texts into the controls (FALSE); the labels are never
    // read back, so TRUE does nothing.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    BOOL OnInitDialog();
    void OnTimer(std::uintptr_t timerId);
    void OnPaint();
    void OnDestroy();

    // IJobView.  The jobs' progress callback reaches the file bar through
    // SetFilePos, TransferTexts and RepaintFileBar.
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

    // The window and its controls while the dialog runs (null otherwise).
    Fl_Window* GetWindow() const;
    Fl_Widget* GetDlgItem(int id) const;
    bool IsWindowVisible() const;
    bool IsEnded() const { return m_bModalEnded; }
    int Result() const { return m_nResult; }

    // Period of timer 1 in milliseconds (1000; tests may shorten it).
    int m_nTimerPeriod = 1000;

    // The job settings the window reads: operation and kind choose the wait
    // text; a hidden dialog never shows.
    int m_nZipMode = ZIP_MODE_NONE;
    int m_nFileType = FILE_TYPE_NONE;
    BOOL m_bHidden = FALSE;
    // The job, run once on the first tick with this dialog as its view; it
    // ends the dialog when it is done and reports its errors, never throws.
    std::function<void()> m_runJob;

    BOOL m_bStarted = FALSE;
    std::unique_ptr<CAppIcon> m_pAppIcon;   // icon 128 for the window and its message boxes
    std::string m_strMessage;
    std::string m_strSourceLabel;
    std::string m_strTargetLabel;
    std::string m_strSourceName;
    std::string m_strTargetName;
    CProgressCtrl m_ctlFileProgress;
    CProgressCtrl m_ctlOverallProgress;
    std::string m_strOverallLabel;

private:
    friend class CTambleDlgWindow;

    void CreateFromTemplate();
    Fl_Widget* CreateControl(const TemplateControl& control, DialogBaseUnits base);
    // Translated captions may be wider than the template's 38 units: the
    // source and target values beside them move right to make room.
    void FitCaptionColumn();
    void DestroyWindow();
    void HideWindow();
    void ShowWindow();
    void SetLabel(int id, const std::string& text);
    static void TimerProc(void* dlg);
    static void DeferredHide(void* dlg);

    std::unique_ptr<CTambleDlgWindow> m_pWindow;
    DialogBaseUnits m_base {1, 1};
    bool m_bVisible = true;   // the template is visible; hiding clears it
    bool m_bModalEnded = false;
    int m_nResult = -1;
};
