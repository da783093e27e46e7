// The Win32 progress dialog on a display (Xvfb under Wine): template 102 from
// the program's resources or a language library's, its texts from the string
// table, the bars' ranges, the job in the first tick and only there.  Skipped
// where there is no display.  With TAMBLE_SCREENSHOT set to a path, the first
// test saves the window there as a BMP file.
#include "app/win32/Win32Dialog.h"
#include "jobs/JobKind.h"
#include "platform/ResourceText.h"
#include "platform/StringIds.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool HasDisplay()
{
    char name[256];
    return GetEnvironmentVariableA("DISPLAY", name, sizeof name) != 0;
}

std::string Text(void* window, int id)
{
    wchar_t text[512] = L"";
    GetDlgItemTextW(static_cast<HWND>(window), id, text, 512);
    char utf8[1024] = "";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    return utf8;
}

LRESULT Bar(void* window, int id, UINT message, WPARAM wParam = 0)
{
    return SendDlgItemMessageW(static_cast<HWND>(window), id, message, wParam, 0);
}

// The window as the screen shows it, as a 24-bit BMP file.
void SaveWindow(HWND window, const char* path)
{
    RECT rect {};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    const DWORD rowSize = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
    BITMAPFILEHEADER file {0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    file.bfSize = file.bfOffBits + rowSize * height;
    if (FILE* out = std::fopen(path, "wb")) {
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
        std::fwrite(bits, rowSize, height, out);
        std::fclose(out);
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

class Win32DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HasDisplay())
            GTEST_SKIP() << "no display";
        m_dlg.m_nTimerPeriod = 50;
    }
    void TearDown() override { AfxSetResourceHandle(nullptr); }

    CWin32Dlg m_dlg;
    int m_runs = 0;
};

TEST_F(Win32DialogTest, TemplateTextsAndBarsOfTheProgramsOwnResources)
{
    m_dlg.m_nZipMode = ZIP_MODE_COMPRESS;
    m_dlg.m_nFileType = FILE_TYPE_HISTORY;
    m_dlg.m_runJob = [&] {
        ++m_runs;
        void* window = m_dlg.Window();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(IsWindowVisible(static_cast<HWND>(window)));
        EXPECT_EQ(Text(window, 1001), "Please wait while the history files are compressed.");
        EXPECT_EQ(Text(window, 1002), "Source File:");
        EXPECT_EQ(Text(window, 1003), "Target File:");
        EXPECT_EQ(Text(window, 1007), "Overall:");
        EXPECT_EQ(Text(window, 1004), "");   // the template's "..." is replaced
        wchar_t className[64] = L"";
        GetClassNameW(GetDlgItem(static_cast<HWND>(window), 1006), className, 64);
        EXPECT_STREQ(className, L"msctls_progress32");

        m_dlg.SetSourceName("C:\\Keldo\\History\\0A240305.hst");
        m_dlg.SetTargetName("C:\\Keldo\\History\\0A240305.hsz");
        m_dlg.TransferTexts();
        EXPECT_EQ(Text(window, 1004), "C:\\Keldo\\History\\0A240305.hst");
        // A file of 3 GB: the bar's signed range holds it halved, at the same share.
        m_dlg.SetFileRange(3000000000u);
        m_dlg.SetFilePos(1800000000u);
        m_dlg.RepaintFileBar();
        EXPECT_EQ(Bar(window, 1000, PBM_GETRANGE, FALSE) * 3, Bar(window, 1000, PBM_GETPOS) * 5);
        m_dlg.SetOverallRange(5);
        m_dlg.SetOverallPos(9);   // beyond the range: at its end
        EXPECT_EQ(Bar(window, 1006, PBM_GETPOS), 5);
        m_dlg.SetOverallPos(2);
        m_dlg.RepaintOverallBar();
        EXPECT_EQ(Bar(window, 1006, PBM_GETPOS), 2);
        char path[512];
        if (GetEnvironmentVariableA("TAMBLE_SCREENSHOT", path, sizeof path) != 0) {
            // Wine shows what was painted once the queue has been through.
            for (int round = 0; round < 5; ++round) {
                MSG message;
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                    DispatchMessageW(&message);
                Sleep(60);
            }
            SaveWindow(static_cast<HWND>(window), path);
        }
        m_dlg.EndJob(1);
    };
    EXPECT_EQ(m_dlg.DoModal(), 1);
    EXPECT_EQ(m_runs, 1);
    EXPECT_EQ(m_dlg.Window(), nullptr);
}

TEST_F(Win32DialogTest, LanguageLibraryGivesTheTexts)
{
    const std::string library = std::string(TAMBLE_BINARY_DIR) + "/app/de/tamble-EXE-mui.dll";
    HMODULE german = LoadLibraryExA(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(german, nullptr) << library;
    AfxSetResourceHandle(german);
    m_dlg.m_nZipMode = ZIP_MODE_EXTRACT;
    m_dlg.m_nFileType = FILE_TYPE_NAMED;
    m_dlg.m_runJob = [&] {
        ++m_runs;
        EXPECT_EQ(Text(m_dlg.Window(), 1001), LoadResString(IDS_WAIT_EXTRACT_FILE));
        EXPECT_EQ(Text(m_dlg.Window(), 1002), "Quelldatei:");
        EXPECT_NE(LoadResString(IDS_WAIT_EXTRACT_FILE), EnglishString(IDS_WAIT_EXTRACT_FILE));
        m_dlg.EndJob(1);
    };
    EXPECT_EQ(m_dlg.DoModal(), 1);
    EXPECT_EQ(m_runs, 1);
    AfxSetResourceHandle(nullptr);
    FreeLibrary(german);
}

TEST_F(Win32DialogTest, JobThatDoesNotEndItAndHiddenDialog)
{
    // A job that returns without ending the dialog (no job, an early return):
    // the dialog ends itself, and a second tick starts nothing.
    m_dlg.m_bHidden = TRUE;
    m_dlg.m_runJob = [&] {
        ++m_runs;
        EXPECT_FALSE(IsWindowVisible(static_cast<HWND>(m_dlg.Window())));
        EXPECT_EQ(Text(m_dlg.Window(), 1001), "");   // no operation: no wait text
        Sleep(120);                                  // ticks pile up meanwhile
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    };
    EXPECT_EQ(m_dlg.DoModal(), 0);
    EXPECT_EQ(m_runs, 1);
}

}   // namespace
