// The progress dialog on FLTK: template 102 built in dialog units, the texts,
// the two bars, the timer that starts the job, and the message boxes.
#include "app/TambleDlg.h"

#include "app/DialogIcon.h"
#include "app/DialogTemplate.h"
#include "app/MessageBox.h"
#include "app/ProgressBar.h"
#include "app/StderrView.h"
#include "app/TextLabel.h"
#include "app/UiStyle.h"
#include "app/X11Display.h"
#include "platform/ResourceLibrary.h"
#include "platform/StringIds.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>

#include <algorithm>
#include <map>

namespace {

// Fl::wait() without a time returns at once while no window is shown; with
// a time it also serves the timers of a hidden dialog.
constexpr double kWaitForever = 1e20;
constexpr char kDialogTitle[] = "Tamble";
constexpr char kAverageLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// A borderless window drops out of the taskbar in FLTK (it is marked
// _NET_WM_STATE_SKIP_TASKBAR); the dialog is the program's main window and
// belongs there.  Take the mark off the property, for a window manager that
// has not read it yet, and ask a running one to drop it.
void ShowInTaskbar(Fl_Window* window)
{
    Window xid = fl_xid(window);
    if (fl_display == nullptr || xid == 0)
        return;
    Atom state = XInternAtom(fl_display, "_NET_WM_STATE", False);
    Atom skip = XInternAtom(fl_display, "_NET_WM_STATE_SKIP_TASKBAR", False);

    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(fl_display, xid, state, 0, 64, False, XA_ATOM, &type, &format, &count, &after, &data)
            == Success
        && data != nullptr) {
        Atom* atoms = reinterpret_cast<Atom*>(data);
        unsigned long kept = 0;
        for (unsigned long i = 0; i < count; ++i)
            if (atoms[i] != skip)
                atoms[kept++] = atoms[i];
        if (kept != count)
            XChangeProperty(fl_display, xid, state, XA_ATOM, 32, PropModeReplace, data, static_cast<int>(kept));
        XFree(data);
    }

    XEvent event {};
    event.xclient.type = ClientMessage;
    event.xclient.window = xid;
    event.xclient.message_type = state;
    event.xclient.format = 32;
    event.xclient.data.l[0] = 0;   // _NET_WM_STATE_REMOVE
    event.xclient.data.l[1] = static_cast<long>(skip);
    event.xclient.data.l[2] = 0;
    event.xclient.data.l[3] = 1;   // from an application
    XSendEvent(fl_display, RootWindow(fl_display, fl_screen), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XFlush(fl_display);
}

// How a text control shows a text that is too wide: paths are shortened in
// the middle, the wait text at its end, captions run on into the free room
// beside them (a translation may be longer than the English text).
CTextLabel::Fit TextFit(int id)
{
    switch (id) {
    case IDC_SOURCE_NAME:
    case IDC_TARGET_NAME:
        return CTextLabel::Fit::ShortenPath;
    case IDC_MESSAGE:
        return CTextLabel::Fit::EndEllipsis;
    default:
        return CTextLabel::Fit::Caption;
    }
}

void WriteStderrLine(const std::string& text)
{
    CStderrView::WriteLine(2, text);
}

}   // namespace

// The dialog's window: paints through OnPaint and ignores requests to close,
// since the dialog ends only with its job.
class CTambleDlgWindow : public Fl_Double_Window {
public:
    CTambleDlgWindow(CTambleDlg& dlg, int x, int y, int w, int h)
        : Fl_Double_Window(x, y, w, h, kDialogTitle), m_dlg(dlg)
    {
        clear_border();
        xclass("tamble");
        callback([](Fl_Widget*, void*) {});
    }

    void draw() override { m_dlg.OnPaint(); }

    // The dialog's normal painting: the controls inside a thin border.
    void PaintDialog()
    {
        Fl_Double_Window::draw();
        fl_color(fl_rgb_color(0x9A, 0x99, 0x96));
        fl_rect(0, 0, w(), h());
    }

    std::map<int, Fl_Widget*> m_items;

private:
    CTambleDlg& m_dlg;
};

CTambleDlg::CTambleDlg() : m_pAppIcon(std::make_unique<CAppIcon>()) {}

CTambleDlg::~CTambleDlg()
{
    DestroyWindow();
}

bool CTambleDlg::OpenDisplay()
{
    if (fl_display != nullptr)
        return true;
    _XDisplay* display = OpenX11Display();
    if (display == nullptr)
        return false;
    fl_open_display(display);
    return true;
}

int CTambleDlg::DoModal()
{
    if (!OpenDisplay())
        return -1;
    ApplyUiStyle(DisplayScale(fl_display));
    CreateFromTemplate();
    m_bModalEnded = false;
    m_nResult = -1;
    m_bVisible = true;
    OnInitDialog();
    if (m_bVisible && !m_bModalEnded)
        ShowWindow();
    while (!m_bModalEnded)
        Fl::wait(kWaitForever);
    OnDestroy();
    DestroyWindow();
    return m_nResult;
}

void CTambleDlg::EndDialog(int result)
{
    m_nResult = result;
    m_bModalEnded = true;
    if (m_pWindow != nullptr)
        m_pWindow->hide();
}

void CTambleDlg::CreateFromTemplate()
{
    DestroyWindow();
    fl_font(FL_HELVETICA, UiFontSize());
    DialogBaseUnits base = BaseUnitsFromFont(fl_width(kAverageLetters), fl_height());
    m_base = base;

    DialogRect frame = MapDialogRect(kTemplateRect, base);
    m_pWindow = std::make_unique<CTambleDlgWindow>(*this, frame.x, frame.y, frame.width, frame.height);
    std::size_t count = 0;
    const TemplateControl* controls = TemplateControls(&count);
    for (std::size_t i = 0; i < count; ++i) {
        Fl_Widget* widget = CreateControl(controls[i], base);
        if (controls[i].id != IDC_STATIC)
            m_pWindow->m_items[controls[i].id] = widget;
    }
    m_pWindow->end();
}

Fl_Widget* CTambleDlg::CreateControl(const TemplateControl& control, DialogBaseUnits base)
{
    DialogRect r = MapDialogRect(control.rect, base);
    switch (control.kind) {
    case ControlKind::ProgressBar: {
        auto* bar = new CProgressBar(r.x, r.y, r.width, r.height);
        (control.id == IDC_FILE_PROGRESS ? m_ctlFileProgress : m_ctlOverallProgress).Attach(bar);
        return bar;
    }
    case ControlKind::Text: {
        auto* label = new CTextLabel(r.x, r.y, r.width, r.height, TextFit(control.id));
        label->labelfont(FL_HELVETICA);
        label->labelsize(UiFontSize());
        label->SetText(LoadResString(control.textId));
        return label;
    }
    case ControlKind::GroupBox:
        break;
    }
    // A group box without caption: its frame's top edge runs at half a line.
    int top = r.y + base.cy / 2;
    return new Fl_Box(FL_ENGRAVED_FRAME, r.x, top, r.width, r.height - (top - r.y), nullptr);
}

void CTambleDlg::DestroyWindow()
{
    if (m_pWindow == nullptr)
        return;
    m_ctlFileProgress.Attach(nullptr);
    m_ctlOverallProgress.Attach(nullptr);
    m_pWindow->hide();
    m_pWindow.reset();
}

void CTambleDlg::HideWindow()
{
    m_bVisible = false;
    if (m_pWindow != nullptr && m_pWindow->shown())
        m_pWindow->hide();
}

void CTambleDlg::ShowWindow()
{
    m_bVisible = true;
    m_pWindow->show();
    ShowInTaskbar(m_pWindow.get());
    Fl::flush();
}

BOOL CTambleDlg::UpdateData(BOOL saveAndValidate)
{
    if (saveAndValidate)
        return TRUE;
    SetLabel(IDC_MESSAGE, m_strMessage);
    SetLabel(IDC_SOURCE_LABEL, m_strSourceLabel);
    SetLabel(IDC_TARGET_LABEL, m_strTargetLabel);
    SetLabel(IDC_SOURCE_NAME, m_strSourceName);
    SetLabel(IDC_TARGET_NAME, m_strTargetName);
    SetLabel(IDC_OVERALL_LABEL, m_strOverallLabel);
    // The job processes no events: changed texts are painted now.
    if (IsWindowVisible())
        Fl::flush();
    return TRUE;
}

void CTambleDlg::FitCaptionColumn()
{
    auto* source = dynamic_cast<CTextLabel*>(GetDlgItem(IDC_SOURCE_LABEL));
    auto* target = dynamic_cast<CTextLabel*>(GetDlgItem(IDC_TARGET_LABEL));
    auto* sourceName = dynamic_cast<CTextLabel*>(GetDlgItem(IDC_SOURCE_NAME));
    auto* targetName = dynamic_cast<CTextLabel*>(GetDlgItem(IDC_TARGET_NAME));
    if (source == nullptr || target == nullptr || sourceName == nullptr || targetName == nullptr)
        return;
    // The template leaves 2 units between caption and value.
    int gap = MapDialogRect({0, 0, 2, 0}, m_base).width;
    auto textRight = [](const CTextLabel* label) {
        return label->x() + static_cast<int>(FlTextWidth(label->Text(), label->labelfont(), label->labelsize()) + 0.5);
    };
    int valueX = std::max(textRight(source), textRight(target)) + gap;
    if (valueX <= sourceName->x())
        return;
    for (CTextLabel* value : {sourceName, targetName}) {
        int right = value->x() + value->w();
        value->resize(valueX, value->y(), std::max(right - valueX, gap), value->h());
    }
}

void CTambleDlg::SetLabel(int id, const std::string& text)
{
    if (auto* label = dynamic_cast<CTextLabel*>(GetDlgItem(id)))
        label->SetText(text);
}

BOOL CTambleDlg::OnInitDialog()
{
    m_strSourceLabel = LoadResString(IDS_SOURCE_LABEL);
    m_strTargetLabel = LoadResString(IDS_TARGET_LABEL);
    m_strOverallLabel = LoadResString(IDS_OVERALL_LABEL);
    if (UINT waitText = WaitTextId(m_nZipMode, m_nFileType))
        m_strMessage = LoadResString(waitText);

    if (m_bHidden)
        HideWindow();
    UpdateData(FALSE);
    FitCaptionColumn();
    if (m_bHidden)
        HideWindow();

    if (m_pWindow != nullptr)
        m_pWindow->icons(m_pAppIcon->Images(), m_pAppIcon->Count());
    Fl::add_timeout(m_nTimerPeriod / 1000.0, TimerProc, this);
    return TRUE;
}

void CTambleDlg::TimerProc(void* dlg)
{
    auto* self = static_cast<CTambleDlg*>(dlg);
    Fl::repeat_timeout(self->m_nTimerPeriod / 1000.0, TimerProc, dlg);
    self->OnTimer(1);
}

void CTambleDlg::OnTimer(std::uintptr_t)
{
    if (m_bHidden)
        HideWindow();
    if (m_bStarted)
        return;
    // Set before the job starts: a tick that arrives while a message box of
    // the job is open must not start a second job.
    m_bStarted = TRUE;
    if (m_runJob)
        m_runJob();
    // No job, an early return or an error: the user has seen the message, and
    // a dialog without buttons is not left standing.
    if (!m_bModalEnded)
        EndDialog(0);
}

void CTambleDlg::DeferredHide(void* dlg)
{
    static_cast<CTambleDlg*>(dlg)->HideWindow();
}

void CTambleDlg::OnPaint()
{
    if (m_bHidden) {
        // Not from inside the paint: hide once painting is over.
        Fl::add_timeout(0.0, DeferredHide, this);
        return;
    }
    if (m_pWindow != nullptr)
        m_pWindow->PaintDialog();
}

void CTambleDlg::OnDestroy()
{
    Fl::remove_timeout(TimerProc, this);
    Fl::remove_timeout(DeferredHide, this);
}

void CTambleDlg::SetWaitText(const std::string& text)
{
    m_strMessage = text;
}

void CTambleDlg::SetSourceName(const std::string& text)
{
    m_strSourceName = text;
}

void CTambleDlg::SetTargetName(const std::string& text)
{
    m_strTargetName = text;
}

void CTambleDlg::TransferTexts()
{
    UpdateData(FALSE);
}

void CTambleDlg::SetFileRange(std::uint32_t upper)
{
    m_ctlFileProgress.SetRange32(0, upper);
}

void CTambleDlg::SetFilePos(std::uint32_t pos)
{
    m_ctlFileProgress.SetPos(pos);
}

void CTambleDlg::RepaintFileBar()
{
    m_ctlFileProgress.UpdateWindow();
}

void CTambleDlg::SetOverallRange(std::uint16_t upper)
{
    m_ctlOverallProgress.SetRange(0, upper);
}

void CTambleDlg::SetOverallPos(int pos)
{
    m_ctlOverallProgress.SetPos(pos);
}

void CTambleDlg::RepaintOverallBar()
{
    m_ctlOverallProgress.UpdateWindow();
}

void CTambleDlg::Message(const std::string& text)
{
    WriteStderrLine(text);
    if (m_pWindow == nullptr || m_bHidden)
        return;
    MessageBoxOptions options;
    options.owner = m_pWindow.get();
    options.icon = m_pAppIcon->Nearest(32);
    ShowMessageBox(text, options);
}

void CTambleDlg::Log(const std::string& text)
{
    WriteStderrLine(text);
}

void CTambleDlg::EndJob(int result)
{
    EndDialog(result);
}

Fl_Window* CTambleDlg::GetWindow() const
{
    return m_pWindow.get();
}

Fl_Widget* CTambleDlg::GetDlgItem(int id) const
{
    if (m_pWindow == nullptr)
        return nullptr;
    auto found = m_pWindow->m_items.find(id);
    return found != m_pWindow->m_items.end() ? found->second : nullptr;
}

bool CTambleDlg::IsWindowVisible() const
{
    return m_pWindow != nullptr && m_pWindow->shown() && m_pWindow->visible();
}
