// The progress dialog on Win32: template 102, two msctls_progress32 bars,
// texts from the string table, timer 1 and the job in its first tick.
#include "app/win32/Win32Dialog.h"

#include "app/DialogTemplate.h"
#include "app/StderrView.h"
#include "platform/ResourceText.h"
#include "platform/StringIds.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <climits>

namespace {

constexpr UINT_PTR TIMER_ID = 1;
constexpr ULONGLONG PUMP_INTERVAL_MS = 100;

std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

HWND Hwnd(void* window)
{
    return static_cast<HWND>(window);
}

// The library the window's resources come from: the language library in use,
// else the program.
HMODULE Resources()
{
    void* resources = AfxGetResourceHandle();
    return static_cast<HMODULE>(resources != nullptr ? resources : AfxGetInstanceHandle());
}

// Template 102 of the language library, else the program's own.
const DLGTEMPLATE* FindTemplate()
{
    for (HMODULE module : {Resources(), static_cast<HMODULE>(AfxGetInstanceHandle())}) {
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(102), MAKEINTRESOURCEW(5));
        HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
        if (const void* data = loaded != nullptr ? LockResource(loaded) : nullptr)
            return static_cast<const DLGTEMPLATE*>(data);
    }
    return nullptr;
}

// Icon 128 at the system's size for large or small icons.
HICON LoadAppIcon(bool small)
{
    const int cx = GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON);
    const int cy = GetSystemMetrics(small ? SM_CYSMICON : SM_CYICON);
    for (HMODULE module : {Resources(), static_cast<HMODULE>(AfxGetInstanceHandle())})
        if (HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, cx, cy, 0))
            return static_cast<HICON>(icon);
    return nullptr;
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        return reinterpret_cast<CWin32Dlg*>(lParam)->OnInitDialog(window);
    }
    auto* dialog = reinterpret_cast<CWin32Dlg*>(GetWindowLongPtrW(window, DWLP_USER));
    if (dialog == nullptr)
        return FALSE;
    switch (message) {
    case WM_TIMER:
        if (wParam == TIMER_ID)
            dialog->OnTimer();
        return TRUE;
    case WM_WINDOWPOSCHANGING:
        // A hidden dialog is never shown, whoever asks for it.
        if (GetPropW(window, L"TambleHidden") != nullptr)
            reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
        return FALSE;
    case WM_COMMAND:
        // A dialog without buttons: Escape and Alt+F4 do not end the job's window.
        return LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK;
    case WM_DESTROY:
        dialog->OnDestroy();
        return FALSE;
    default:
        return FALSE;
    }
}

}   // namespace

bool CWin32Dlg::CanShow()
{
    USEROBJECTFLAGS flags {};
    HWINSTA station = GetProcessWindowStation();
    if (station == nullptr || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr))
        return true;   // nothing known against it
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

int CWin32Dlg::DoModal()
{
    INITCOMMONCONTROLSEX controls {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    const DLGTEMPLATE* dialogTemplate = FindTemplate();
    if (dialogTemplate == nullptr)
        return -1;
    const INT_PTR result = DialogBoxIndirectParamW(static_cast<HINSTANCE>(AfxGetInstanceHandle()), dialogTemplate,
                                                   nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
    if (m_hIconLarge != nullptr)
        DestroyIcon(static_cast<HICON>(m_hIconLarge));
    if (m_hIconSmall != nullptr)
        DestroyIcon(static_cast<HICON>(m_hIconSmall));
    m_hIconLarge = m_hIconSmall = nullptr;
    if (result == -1 && !m_bStarted)
        return -1;
    return m_bEnded ? m_nResult : static_cast<int>(result);
}

BOOL CWin32Dlg::OnInitDialog(void* window)
{
    m_hWnd = window;
    HWND hwnd = Hwnd(window);
    m_strSourceLabel = LoadResString(IDS_SOURCE_LABEL);
    m_strTargetLabel = LoadResString(IDS_TARGET_LABEL);
    m_strOverallLabel = LoadResString(IDS_OVERALL_LABEL);
    if (UINT waitText = WaitTextId(m_nZipMode, m_nFileType))
        m_strMessage = LoadResString(waitText);

    if (m_bHidden) {
        SetPropW(hwnd, L"TambleHidden", reinterpret_cast<HANDLE>(1));
        ShowWindow(hwnd, SW_HIDE);
    }
    TransferTexts();
    FitCaptionColumn();
    SendDlgItemMessageW(hwnd, IDC_FILE_PROGRESS, PBM_SETRANGE32, 0, 100);
    SendDlgItemMessageW(hwnd, IDC_OVERALL_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, m_nOverallUpper));

    m_hIconLarge = LoadAppIcon(false);
    m_hIconSmall = LoadAppIcon(true);
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIconLarge));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIconSmall));
    SetTimer(hwnd, TIMER_ID, m_nTimerPeriod, nullptr);
    return TRUE;
}

void CWin32Dlg::OnTimer()
{
    HWND hwnd = Hwnd(m_hWnd);
    if (m_bHidden)
        ShowWindow(hwnd, SW_HIDE);
    if (m_bStarted)
        return;
    // Set before the job starts: a tick that arrives while a message box of
    // the job is open must not start a second job.
    m_bStarted = TRUE;
    if (m_runJob)
        m_runJob();
    if (!m_bEnded) {
        m_bEnded = true;
        m_nResult = 0;
        EndDialog(hwnd, 0);
    }
}

void CWin32Dlg::OnDestroy()
{
    KillTimer(Hwnd(m_hWnd), TIMER_ID);
    RemovePropW(Hwnd(m_hWnd), L"TambleHidden");
    m_hWnd = nullptr;
}

void CWin32Dlg::FitCaptionColumn()
{
    // A translated caption wider than the template's column moves the source
    // and target values to its right, as far as they keep some room.
    HWND hwnd = Hwnd(m_hWnd);
    HDC dc = GetDC(hwnd);
    if (dc == nullptr)
        return;
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
    int widest = 0;
    for (int id : {IDC_SOURCE_LABEL, IDC_TARGET_LABEL}) {
        const std::wstring text = Wide(id == IDC_SOURCE_LABEL ? m_strSourceLabel : m_strTargetLabel);
        SIZE size {};
        if (GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size))
            widest = std::max(widest, static_cast<int>(size.cx));
    }
    SelectObject(dc, previous);
    ReleaseDC(hwnd, dc);

    RECT caption {};
    RECT value {};
    GetWindowRect(GetDlgItem(hwnd, IDC_SOURCE_LABEL), &caption);
    GetWindowRect(GetDlgItem(hwnd, IDC_SOURCE_NAME), &value);
    MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&caption), 2);
    MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&value), 2);
    const int need = widest - (caption.right - caption.left);
    if (need <= 0)
        return;
    const int move = std::min(need, static_cast<int>(value.right - value.left) / 2);
    for (int id : {IDC_SOURCE_LABEL, IDC_TARGET_LABEL, IDC_SOURCE_NAME, IDC_TARGET_NAME}) {
        HWND item = GetDlgItem(hwnd, id);
        RECT rect {};
        GetWindowRect(item, &rect);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&rect), 2);
        const bool isCaption = id == IDC_SOURCE_LABEL || id == IDC_TARGET_LABEL;
        const int left = isCaption ? rect.left : rect.left + move;
        const int width = isCaption ? rect.right - rect.left + move : rect.right - rect.left - move;
        MoveWindow(item, left, rect.top, width, rect.bottom - rect.top, FALSE);
    }
}

void CWin32Dlg::PumpWhileBusy()
{
    // The job runs inside a tick: let the queue through now and then (paints,
    // the window manager's questions), so the window never looks hung.  The
    // run-once flag keeps a tick from starting a second job.
    const ULONGLONG now = GetTickCount64();
    if (now - m_nLastPump < PUMP_INTERVAL_MS)
        return;
    m_nLastPump = now;
    MSG message;
    while (m_hWnd != nullptr && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (!IsDialogMessageW(Hwnd(m_hWnd), &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

void CWin32Dlg::SetWaitText(const std::string& text)
{
    m_strMessage = text;
}

void CWin32Dlg::SetSourceName(const std::string& text)
{
    m_strSourceName = text;
}

void CWin32Dlg::SetTargetName(const std::string& text)
{
    m_strTargetName = text;
}

void CWin32Dlg::TransferTexts()
{
    HWND hwnd = Hwnd(m_hWnd);
    if (hwnd == nullptr)
        return;
    const std::pair<int, const std::string*> texts[] = {
        {IDC_MESSAGE, &m_strMessage},          {IDC_SOURCE_LABEL, &m_strSourceLabel},
        {IDC_TARGET_LABEL, &m_strTargetLabel}, {IDC_SOURCE_NAME, &m_strSourceName},
        {IDC_TARGET_NAME, &m_strTargetName},   {IDC_OVERALL_LABEL, &m_strOverallLabel},
    };
    for (const auto& [id, text] : texts)
        SetDlgItemTextW(hwnd, id, Wide(*text).c_str());
}

void CWin32Dlg::SetFileRange(std::uint32_t upper)
{
    m_nFileShift = 0;
    while ((upper >> m_nFileShift) > static_cast<std::uint32_t>(INT_MAX))
        ++m_nFileShift;
    if (m_hWnd != nullptr)
        SendDlgItemMessageW(Hwnd(m_hWnd), IDC_FILE_PROGRESS, PBM_SETRANGE32, 0,
                            static_cast<LPARAM>(upper >> m_nFileShift));
}

void CWin32Dlg::SetFilePos(std::uint32_t pos)
{
    if (m_hWnd != nullptr)
        SendDlgItemMessageW(Hwnd(m_hWnd), IDC_FILE_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(pos >> m_nFileShift), 0);
}

void CWin32Dlg::RepaintFileBar()
{
    if (m_hWnd == nullptr)
        return;
    UpdateWindow(GetDlgItem(Hwnd(m_hWnd), IDC_FILE_PROGRESS));
    PumpWhileBusy();
}

void CWin32Dlg::SetOverallRange(std::uint16_t upper)
{
    m_nOverallUpper = upper;
    if (m_hWnd != nullptr)
        SendDlgItemMessageW(Hwnd(m_hWnd), IDC_OVERALL_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, upper));
}

void CWin32Dlg::SetOverallPos(int pos)
{
    pos = std::clamp(pos, 0, static_cast<int>(m_nOverallUpper));
    if (m_hWnd != nullptr)
        SendDlgItemMessageW(Hwnd(m_hWnd), IDC_OVERALL_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
}

void CWin32Dlg::RepaintOverallBar()
{
    if (m_hWnd == nullptr)
        return;
    UpdateWindow(GetDlgItem(Hwnd(m_hWnd), IDC_OVERALL_PROGRESS));
    PumpWhileBusy();
}

void CWin32Dlg::Message(const std::string& text)
{
    CStderrView::WriteLine(2, text);
    if (m_hWnd == nullptr || m_bHidden)
        return;
    MessageBoxW(Hwnd(m_hWnd), Wide(text).c_str(), L"Tamble", MB_OK | MB_ICONEXCLAMATION);
}

void CWin32Dlg::Log(const std::string& text)
{
    if (!m_bQuiet)
        CStderrView::WriteLine(2, text);
}

void CWin32Dlg::EndJob(int result)
{
    if (m_bEnded)
        return;
    m_bEnded = true;
    m_nResult = result;
    if (m_hWnd != nullptr)
        EndDialog(Hwnd(m_hWnd), result);
}
