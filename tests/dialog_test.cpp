// The progress dialog and its pieces: wait texts, layout in dialog units, path
// shortening, bar ranges, the choice of display, the icon, the terminal
// display, and the job driver's run-once rule.  Tests that need a window run
// under a virtual X display.
#include "app/DialogIcon.h"
#include "app/DialogTemplate.h"
#include "app/DisplayChoice.h"
#include "app/MessageBox.h"
#include "app/PathShorten.h"
#include "app/ProgressCtrl.h"
#include "app/TambleDlg.h"
#include "app/TerminalView.h"
#include "app/TextLabel.h"
#include "app/X11Display.h"
#include "platform/ResourceLibrary.h"
#include "platform/StringIds.h"
#include "tests/support/JobDialog.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"
#include "tests/support/TemplateLookup.h"
#include "tests/support/XvfbRun.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

std::string Text(UINT id)
{
    return EnglishString(id);
}

bool ValidUtf8(const std::string& text)
{
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

bool Contains(const DialogRect& outer, const DialogRect& inner)
{
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width
           && inner.y + inner.height <= outer.y + outer.height;
}

bool Overlap(const DialogRect& a, const DialogRect& b)
{
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

}   // namespace

// --- texts and layout ------------------------------------------------------

TEST(DialogTexts, WaitTextFollowsOperationAndKind)
{
    EXPECT_EQ(WaitTextId(1, 2), IDS_WAIT_COMPRESS_HISTORY);
    EXPECT_EQ(WaitTextId(1, 1), IDS_WAIT_COMPRESS_FILE);
    EXPECT_EQ(WaitTextId(1, 0), IDS_WAIT_COMPRESS_FILE);   // no /T: is one named file
    EXPECT_EQ(WaitTextId(1, 7), IDS_WAIT_COMPRESS_FILE);
    EXPECT_EQ(WaitTextId(2, 2), IDS_WAIT_EXTRACT_HISTORY);
    EXPECT_EQ(WaitTextId(2, 0), IDS_WAIT_EXTRACT_FILE);
    EXPECT_EQ(WaitTextId(0, 2), 0u);
    EXPECT_EQ(WaitTextId(3, 1), 0u);
    EXPECT_EQ(WaitTextId(-1, 2), 0u);
    // The product's own spelling stays.
    EXPECT_EQ(Text(IDS_WAIT_COMPRESS_FILE), "Pleae wait while the files are compressed.");
    EXPECT_EQ(Text(IDS_WAIT_EXTRACT_HISTORY), "Please wait while the history files are extracted.");
}

TEST(DialogLayout, BaseUnitsComeFromTheFont)
{
    // 52 letters 6 pixels wide on average and 13 pixels high: 6 x 13.
    DialogBaseUnits base = BaseUnitsFromFont(6 * 52, 13);
    EXPECT_EQ(base.cx, 6);
    EXPECT_EQ(base.cy, 13);
    // The average is rounded: 5.5 pixels a letter gives 6, 5.4 gives 5.
    EXPECT_EQ(BaseUnitsFromFont(5.5 * 52, 13).cx, 6);
    EXPECT_EQ(BaseUnitsFromFont(5.4 * 52, 13).cx, 5);
    // A degenerate font never gives zero units.
    EXPECT_EQ(BaseUnitsFromFont(0, 0).cx, 1);
    EXPECT_EQ(BaseUnitsFromFont(0, 0).cy, 1);
}

TEST(DialogLayout, DialogUnitsMapToPixels)
{
    DialogBaseUnits base {6, 13};
    DialogRect dialog = MapDialogRect(kTemplateRect, base);
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_EQ(dialog.width, 321);    // 214 * 6 / 4
    EXPECT_EQ(dialog.height, 148);   // 91 * 13 / 8 = 147.9
    // The file bar: 19, 49, 176 x 9 rounds to the nearest pixel.
    DialogRect bar = MapDialogRect(FindTemplateControl(IDC_FILE_PROGRESS)->rect, base);
    EXPECT_EQ(bar.x, 29);   // 28.5
    EXPECT_EQ(bar.y, 80);   // 79.6
    EXPECT_EQ(bar.width, 264);
    EXPECT_EQ(bar.height, 15);   // 14.6
    // A font twice the size gives a dialog twice the size.
    DialogRect big = MapDialogRect(kTemplateRect, {12, 26});
    EXPECT_EQ(big.width, 642);
    EXPECT_EQ(big.height, 296);
}

TEST(DialogLayout, TemplateHoldsItsControlsInsideTheFrame)
{
    std::size_t count = 0;
    const TemplateControl* controls = TemplateControls(&count);
    ASSERT_EQ(count, 9u);
    std::vector<int> ids;
    for (std::size_t i = 0; i < count; ++i)
        ids.push_back(controls[i].id);
    EXPECT_EQ(ids, (std::vector<int> {1000, 1001, IDC_STATIC, 1002, 1003, 1004, 1005, 1006, 1007}));

    const DialogRect frame = controls[2].rect;
    EXPECT_EQ(controls[2].kind, ControlKind::GroupBox);
    EXPECT_TRUE(Contains(kTemplateRect, frame));
    for (std::size_t i = 0; i < count; ++i) {
        if (controls[i].kind == ControlKind::GroupBox)
            continue;
        EXPECT_TRUE(Contains(frame, controls[i].rect)) << controls[i].id;
        for (std::size_t k = i + 1; k < count; ++k) {
            if (controls[k].kind == ControlKind::GroupBox)
                continue;
            EXPECT_FALSE(Overlap(controls[i].rect, controls[k].rect)) << controls[i].id << " " << controls[k].id;
        }
    }
    EXPECT_EQ(FindTemplateControl(IDC_MESSAGE)->textId, IDT_MESSAGE);
    EXPECT_EQ(Text(FindTemplateControl(IDC_SOURCE_NAME)->textId), "...");
    EXPECT_EQ(FindTemplateControl(4242), nullptr);
}

// --- path shortening -------------------------------------------------------

TEST(PathShorten, FittingTextStaysAsItIs)
{
    EXPECT_EQ(ShortenPathMiddle("/srv/a.hst", 10, CodePointWidth), "/srv/a.hst");
    EXPECT_EQ(ShortenPathMiddle("", 0, CodePointWidth), "");
}

TEST(PathShorten, KeepsTheFileNameAndBothEnds)
{
    const std::string path = "/srv/keldo/projects/plant-7/history/archive/0A240305.hst";
    for (int width : {20, 30, 40, 55}) {
        std::string shown = ShortenPathMiddle(path, width, CodePointWidth);
        EXPECT_LE(CodePointWidth(shown), width) << shown;
        EXPECT_LT(CodePointWidth(shown), CodePointWidth(path));
        std::size_t cut = shown.find(kPathEllipsis);
        ASSERT_NE(cut, std::string::npos) << shown;
        std::string head = shown.substr(0, cut);
        std::string tail = shown.substr(cut + std::strlen(kPathEllipsis));
        EXPECT_EQ(path.compare(0, head.size(), head), 0) << shown;
        EXPECT_EQ(path.compare(path.size() - tail.size(), tail.size(), tail), 0) << shown;
        EXPECT_NE(tail.find("/0A240305.hst"), std::string::npos) << shown;
        // The width is used, not wasted: one more character would not fit.
        EXPECT_GE(CodePointWidth(shown), width - 1) << shown;
    }
}

TEST(PathShorten, LongNamesAndNarrowLabels)
{
    // A name that does not fit on its own is cut in the middle like any text.
    std::string name = "/x/" + std::string(40, 'n') + ".hst";
    std::string shown = ShortenPathMiddle(name, 12, CodePointWidth);
    EXPECT_EQ(CodePointWidth(shown), 12);
    EXPECT_EQ(shown.rfind(".hst"), shown.size() - 4);
    EXPECT_EQ(shown.compare(0, 3, "/x/"), 0);
    // Room for the ellipsis only, and not even for that.
    EXPECT_EQ(ShortenPathMiddle(name, 1, CodePointWidth), kPathEllipsis);
    EXPECT_EQ(ShortenPathMiddle(name, 0.5, CodePointWidth), "");
}

TEST(PathShorten, NeverSplitsACharacter)
{
    // Two-byte umlauts and a three-byte sign around the cut.
    std::string path = "/Messdaten/Grüße/Überwachung/Ölkühler-€-Ünterverzeichnis/0A240305.hst";
    for (int width = 2; width < 60; ++width) {
        std::string shown = ShortenPathMiddle(path, width, CodePointWidth);
        EXPECT_TRUE(ValidUtf8(shown)) << width;
        EXPECT_LE(CodePointWidth(shown), width);
    }
    // A measure in pixels that is not the same for every character.
    auto pixels = [](const std::string& text) {
        double width = 0;
        for (char c : text)
            width += (c == 'm' || c == 'W') ? 9 : ((static_cast<unsigned char>(c) & 0xC0) == 0x80 ? 0 : 5);
        return width;
    };
    std::string shown = ShortenPathMiddle("/mmmm/WWWW/mmmm/WWWW/file.hst", 100, pixels);
    EXPECT_LE(pixels(shown), 100);
    EXPECT_NE(shown.find("/file.hst"), std::string::npos);
}

TEST(PathShorten, LongTextsEndWithAnEllipsisAfterAWord)
{
    const std::string wait = "Bitte warten Sie, während die Verlaufsdateien komprimiert werden.";
    EXPECT_EQ(ShortenTextEnd(wait, 100, CodePointWidth), wait);
    std::string shown = ShortenTextEnd(wait, 50, CodePointWidth);
    EXPECT_EQ(shown, std::string("Bitte warten Sie, während die Verlaufsdateien") + kPathEllipsis);
    // A single long word is cut inside it rather than lost.
    shown = ShortenTextEnd("Verlaufsdateienkomprimierung", 10, CodePointWidth);
    EXPECT_EQ(shown, std::string("Verlaufsd") + kPathEllipsis);
    for (int width = 1; width < 70; ++width)
        EXPECT_TRUE(ValidUtf8(ShortenTextEnd(wait, width, CodePointWidth))) << width;
    EXPECT_EQ(ShortenTextEnd(wait, 0.5, CodePointWidth), "");
}

// --- bars --------------------------------------------------------------------

TEST(ProgressCtrl, FileBarTakesAFull32BitRange)
{
    CProgressCtrl bar;
    EXPECT_DOUBLE_EQ(bar.Fraction(), 0);
    bar.SetRange32(0, 4000000000u);   // a file of almost 4 GB
    bar.SetPos(3000000000u);
    EXPECT_DOUBLE_EQ(bar.Fraction(), 0.75);
    bar.SetPos(5000000000LL);   // beyond the range: clamped
    EXPECT_EQ(bar.GetPos(), 4000000000LL);
    bar.SetPos(-5);
    EXPECT_EQ(bar.GetPos(), 0);
    // A smaller range clamps the position it already holds.
    bar.SetPos(900);
    bar.SetRange32(0, 100);
    EXPECT_EQ(bar.GetPos(), 100);
    EXPECT_DOUBLE_EQ(bar.Fraction(), 1);
    // An empty file: an empty range shows nothing rather than dividing by zero.
    bar.SetRange32(0, 0);
    EXPECT_DOUBLE_EQ(bar.Fraction(), 0);
}

TEST(ProgressCtrl, OverallBarTakesA16BitRange)
{
    CProgressCtrl bar;
    bar.SetRange(0, 65535);
    bar.SetPos(65535);
    EXPECT_DOUBLE_EQ(bar.Fraction(), 1);
    bar.SetRange(0, 7);
    bar.SetPos(9);   // the batch counter may run past the count
    EXPECT_EQ(bar.GetPos(), 7);
    std::int64_t lower = -1, upper = -1;
    bar.GetRange(lower, upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 7);
}

// --- where progress is shown ---------------------------------------------------

TEST(DisplayChoice, ChoosesWindowTerminalOrLines)
{
    struct Case {
        ProgressRequest request;
        bool hidden;
        bool tty;
        bool displayOpens;
        ProgressDisplay expected;
        bool probed;
        bool unavailable;
    };
    using R = ProgressRequest;
    using D = ProgressDisplay;
    const Case cases[] = {
        {R::Auto, false, false, true, D::Window, true, false},
        {R::Auto, false, true, true, D::Window, true, false},
        {R::Auto, false, true, false, D::Terminal, true, false},
        {R::Auto, false, false, false, D::Lines, true, false},
        // /H never connects to a display, whatever is asked for.
        {R::Auto, true, true, true, D::Lines, false, false},
        {R::Window, true, true, true, D::Lines, false, false},
        {R::Terminal, true, true, true, D::Terminal, false, false},
        {R::Off, true, true, true, D::Quiet, false, false},
        // Explicit choices.
        {R::Window, false, true, false, D::Terminal, true, true},
        {R::Window, false, false, false, D::Lines, true, true},
        {R::Terminal, false, true, true, D::Terminal, false, false},
        {R::Terminal, false, false, true, D::Lines, false, false},
        {R::Off, false, true, true, D::Quiet, false, false},
    };
    for (const Case& c : cases) {
        int probes = 0;
        DisplayEnvironment env;
        env.hidden = c.hidden;
        env.stderrIsTerminal = c.tty;
        env.openDisplay = [&] {
            ++probes;
            return c.displayOpens;
        };
        DisplayChoice choice = ChooseProgressDisplay(c.request, env);
        SCOPED_TRACE(testing::Message() << "request " << static_cast<int>(c.request) << " hidden " << c.hidden
                                        << " tty " << c.tty << " display " << c.displayOpens);
        EXPECT_EQ(choice.display, c.expected);
        EXPECT_EQ(probes, c.probed ? 1 : 0);
        EXPECT_EQ(choice.windowUnavailable, c.unavailable);
    }
}

TEST(DisplayChoice, UnusableDisplayIsNoDisplay)
{
    ScopedEnv env;
    env.Unset("DISPLAY");
    EXPECT_EQ(OpenX11Display(), nullptr);
    env.Set("DISPLAY", "");
    EXPECT_EQ(OpenX11Display(), nullptr);
    // A display number where no server listens: no connection, no exit.
    env.Set("DISPLAY", ":4097");
    EXPECT_EQ(OpenX11Display(), nullptr);
}

TEST(DisplayChoice, ScaleFromXftDpi)
{
    EXPECT_DOUBLE_EQ(ScaleFromDpiText(nullptr), 1);
    EXPECT_DOUBLE_EQ(ScaleFromDpiText("144"), 1.5);
    EXPECT_DOUBLE_EQ(ScaleFromDpiText("72"), 1);   // never smaller than designed
    EXPECT_DOUBLE_EQ(ScaleFromDpiText("9600"), 4);
    EXPECT_DOUBLE_EQ(ScaleFromDpiText("high"), 1);
}

// --- icon ------------------------------------------------------------------------

TEST(DialogIcon, DrawnAtEachSize)
{
    for (int size : kAppIconSizes) {
        std::vector<std::uint8_t> pixels = RenderAppIcon(size);
        ASSERT_EQ(pixels.size(), static_cast<std::size_t>(size * size * 4));
        auto at = [&](int x, int y) { return &pixels[(static_cast<std::size_t>(y) * size + x) * 4]; };
        // Rounded corners are transparent, the middle is opaque.
        EXPECT_EQ(at(0, 0)[3], 0) << size;
        EXPECT_EQ(at(size - 1, size - 1)[3], 0) << size;
        EXPECT_EQ(at(size / 2, size / 2)[3], 255) << size;
        // The tile's edge is blue, the page above the strap white.
        const std::uint8_t* edge = at(size / 10 + 1, size * 3 / 10);
        EXPECT_GT(edge[2], edge[0] + 60) << size;
        const std::uint8_t* page = at(size * 3 / 10, size * 2 / 10);
        EXPECT_GT(std::min({page[0], page[1], page[2]}), 200) << size;
        // Some pixels are only partly covered: the edges are smoothed.
        bool smooth = false;
        for (int i = 0; i < size * size; ++i)
            smooth |= pixels[i * 4 + 3] > 0 && pixels[i * 4 + 3] < 255;
        EXPECT_TRUE(smooth) << size;
    }
    EXPECT_TRUE(RenderAppIcon(0).empty());
}

// --- terminal display --------------------------------------------------------------

namespace {

// Reads what a view wrote into a temporary file.
class CapturedFd {
public:
    CapturedFd()
    {
        char name[] = "/tmp/tamble-term-XXXXXX";
        m_fd = mkstemp(name);
        unlink(name);
    }
    ~CapturedFd() { close(m_fd); }
    int Fd() const { return m_fd; }
    std::string Read() const
    {
        std::string text;
        char buffer[4096];
        ssize_t n;
        off_t offset = 0;
        while ((n = pread(m_fd, buffer, sizeof buffer, offset)) > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
            offset += n;
        }
        return text;
    }

private:
    int m_fd = -1;
};

std::size_t CountOf(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

}   // namespace

TEST(TerminalView, DrawsFiveLinesThatNeverWrap)
{
    ScopedEnv env;
    env.Set("LC_ALL", "C.UTF-8");
    CTerminalView view(-1, 1, 2, 0);
    view.SetSourceName("/srv/keldo/projects/plant-7/history/archive/0A240305.hst");
    view.SetTargetName("/srv/keldo/projects/plant-7/history/archive/0A240305.hsz");
    view.TransferTexts();
    view.SetFileRange(200);
    view.SetFilePos(50);
    view.SetOverallRange(4);
    view.SetOverallPos(3);
    for (int columns : {30, 60, 80, 200}) {
        std::vector<std::string> lines = view.RenderLines(columns);
        ASSERT_EQ(lines.size(), 5u);
        for (const std::string& line : lines) {
            EXPECT_LT(CodePointWidth(line), columns) << columns << ": " << line;
            EXPECT_TRUE(ValidUtf8(line));
        }
    }
    std::vector<std::string> lines = view.RenderLines(80);
    EXPECT_EQ(lines[0], Text(IDS_WAIT_COMPRESS_HISTORY));
    EXPECT_EQ(lines[1].find("  Source File: "), 0u);
    EXPECT_NE(lines[1].find("0A240305.hst"), std::string::npos);
    EXPECT_EQ(lines[1].find(kPathEllipsis), std::string::npos);   // 61 characters fit in 80 columns
    EXPECT_NE(view.RenderLines(60)[1].find(kPathEllipsis), std::string::npos);
    EXPECT_NE(lines[3].find(" 25%"), std::string::npos);
    EXPECT_EQ(lines[4].find("  Overall:"), 0u);
    EXPECT_NE(lines[4].find(" 75%"), std::string::npos);
    // The bars line up under the values.
    EXPECT_EQ(lines[3].find('['), lines[4].find('['));
    EXPECT_EQ(lines[3].find('['), lines[1].find('/'));
}

TEST(TerminalView, BarsWithoutUnicode)
{
    ScopedEnv env;
    env.Set("LC_ALL", "C");
    CTerminalView view(-1, 2, 1, 0);
    EXPECT_FALSE(view.m_bUnicode);
    view.SetFileRange(0);   // an empty file
    std::vector<std::string> lines = view.RenderLines(40);
    EXPECT_EQ(view.RenderLines(80)[0], Text(IDS_WAIT_EXTRACT_FILE));
    EXPECT_EQ(lines[0], Text(IDS_WAIT_EXTRACT_FILE).substr(0, 39));
    EXPECT_NE(lines[3].find("[---"), std::string::npos);
    EXPECT_NE(lines[3].find("  0%"), std::string::npos);
    view.SetFileRange(10);
    view.SetFilePos(10);
    EXPECT_NE(view.RenderLines(40)[3].find("###] 100%"), std::string::npos);
    // No operation: no wait text.
    CTerminalView none(-1, 0, 0, 0);
    EXPECT_EQ(none.RenderLines(40)[0], "");
}

TEST(TerminalView, RedrawsInPlaceAndOnlyWhenSomethingChanged)
{
    ScopedEnv env;
    env.Set("LC_ALL", "C");
    env.Set("TERM", "xterm-256color");
    CapturedFd out;
    {
        CTerminalView view(out.Fd(), 1, 1, 60);
        view.SetSourceName("a\x1b"
                           "c.txt");   // ESC c would reset the terminal
        view.SetTargetName("a.lzw");
        view.TransferTexts();
        view.SetFileRange(1000000);
        // A thousand reports within one percent draw nothing new.
        for (std::uint32_t pos = 0; pos < 1000; ++pos) {
            view.SetFilePos(pos);
            view.TransferTexts();
            view.RepaintFileBar();
        }
        std::string first = out.Read();
        EXPECT_EQ(CountOf(first, "Source File:"), 1u);
        EXPECT_EQ(first.find("\x1b["), std::string::npos);   // nothing redrawn yet

        view.SetFilePos(500000);
        view.RepaintFileBar();
        std::string second = out.Read().substr(first.size());
        // Back to the first line of the block, cleared, drawn again.
        EXPECT_EQ(second.find("\r\x1b[4A\x1b[J"), 0u);
        EXPECT_NE(second.find(" 50%"), std::string::npos);

        // A message goes above the block, which is drawn again under it.
        view.Message("Couldn't open file! a.txt: No such file or directory");
        std::string third = out.Read().substr(first.size() + second.size());
        std::size_t message = third.find("tamble: Couldn't open file! a.txt");
        ASSERT_NE(message, std::string::npos);
        EXPECT_LT(message, third.find("Source File:"));
        view.EndJob(1);
        // After the end, messages are plain lines under the last state, which
        // is drawn once more without the wait line.
        std::size_t before = out.Read().size();
        EXPECT_EQ(out.Read().substr(out.Read().rfind("\x1b[J") + 3).find("Pleae wait"), std::string::npos);
        view.Log("done");
        EXPECT_EQ(out.Read().substr(before), "tamble: done\n");
    }
    // The block ends with a line end, so the shell prompt starts on a new line.
    std::string all = out.Read();
    EXPECT_EQ(CountOf(all, "\x1b[4A"), 3u);
    EXPECT_EQ(all.back(), '\n');
    EXPECT_EQ(all.find("\x1b"
                       "c"),
              std::string::npos);
    EXPECT_NE(all.find("a?c.txt"), std::string::npos);

    // A terminal that cannot move the cursor gets the wait text and plain lines.
    for (const char* term : {"dumb", "", "vt52"}) {
        env.Set("TERM", term);
        CapturedFd plain;
        CTerminalView view(plain.Fd(), 1, 1, 60);
        view.SetSourceName("a.txt");
        view.TransferTexts();
        view.SetFilePos(50);
        view.RepaintFileBar();
        view.Log("done");
        view.EndJob(1);
        EXPECT_EQ(plain.Read(), Text(IDS_WAIT_COMPRESS_FILE) + "\ntamble: done\n") << term;
    }
}

// The last frame shows the finished job: the last names set, both bars full
// (a single file never sets the overall range), and --quiet drops log lines.
TEST(TerminalView, LastFrameShowsTheFinishedJob)
{
    ScopedEnv env;
    env.Set("LC_ALL", "C");
    env.Set("TERM", "xterm");
    CapturedFd out;
    {
        CTerminalView view(out.Fd(), 1, 1, 60);
        view.m_bShowLog = false;
        view.SetSourceName("a.txt");
        view.TransferTexts();
        view.SetFileRange(300);
        view.SetFilePos(200);
        view.RepaintFileBar();
        view.SetSourceName("b.txt");   // set, never transferred
        view.Log("Compressed: a.txt -> a.lzw");
        view.EndJob(1);
    }
    const std::string all = out.Read();
    const std::string last = all.substr(all.rfind("\x1b[J"));
    EXPECT_EQ(CountOf(last, "100%"), 2u) << last;
    EXPECT_NE(last.find("b.txt"), std::string::npos) << last;
    EXPECT_EQ(all.find("Compressed:"), std::string::npos);
}

// --- the dialog and its job driver ------------------------------------------------

namespace {

void WriteText(const std::string& path, const std::string& text)
{
    WriteWholeFile(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

}   // namespace

TEST(JobDriver, FirstTickRunsTheJobOnce)
{
    TempDir dir;
    WriteText(dir / "a.txt", std::string(5000, 'x'));
    CJobDialog dlg;   // no window: the driver alone
    dlg.m_nZipMode = 1;
    dlg.m_nFileType = 1;
    dlg.m_szSource = dir / "a.txt";
    dlg.m_szTarget = dir / "a.lzw";
    EXPECT_FALSE(dlg.m_bStarted);
    dlg.OnTimer(1);
    EXPECT_TRUE(dlg.m_bStarted);
    EXPECT_TRUE(PathExists(dir / "a.lzw"));
    EXPECT_TRUE(dlg.IsEnded());
    EXPECT_EQ(dlg.Result(), 1);
    EXPECT_EQ(dlg.ExitStatus(), 0);
    // Every later tick starts nothing.
    ASSERT_EQ(unlink((dir / "a.lzw").c_str()), 0);
    dlg.OnTimer(1);
    dlg.OnTimer(1);
    EXPECT_FALSE(PathExists(dir / "a.lzw"));
    EXPECT_TRUE(dlg.m_bStarted);
}

TEST(JobDriver, NoJobEndsTheDialogInsteadOfWaiting)
{
    CJobDialog dlg;
    dlg.OnTimer(1);
    EXPECT_TRUE(dlg.m_bStarted);
    EXPECT_TRUE(dlg.IsEnded());
    EXPECT_EQ(dlg.Result(), 0);
    EXPECT_EQ(dlg.ExitStatus(), 2);
}

TEST(JobDriver, FailedJobEndsWithStatusOne)
{
    TempDir dir;
    CJobDialog dlg;
    dlg.m_nZipMode = 2;
    dlg.m_nFileType = 1;
    dlg.m_szSource = dir / "missing.lzw";
    dlg.m_szTarget = dir / "out.txt";
    dlg.OnTimer(1);
    EXPECT_TRUE(dlg.IsEnded());
    EXPECT_EQ(dlg.ExitStatus(), 1);
    EXPECT_FALSE(PathExists(dir / "out.txt"));
}

// --- the dialog on a display --------------------------------------------------------

namespace {

// Runs `probe` once, `delay` seconds into the event loop.
struct Probe {
    std::function<void()> body;
    static void Run(void* self) { static_cast<Probe*>(self)->body(); }
};

bool SkipsTaskbar(Fl_Window* window)
{
    Atom state = XInternAtom(fl_display, "_NET_WM_STATE", False);
    Atom skip = XInternAtom(fl_display, "_NET_WM_STATE_SKIP_TASKBAR", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(fl_display, fl_xid(window), state, 0, 64, False, XA_ATOM, &type, &format, &count, &after,
                           &data)
            == Success
        && data != nullptr) {
        for (unsigned long i = 0; i < count; ++i)
            found |= reinterpret_cast<Atom*>(data)[i] == skip;
        XFree(data);
    }
    return found;
}

bool HasWindowIcon(Fl_Window* window)
{
    Atom icon = XInternAtom(fl_display, "_NET_WM_ICON", False);
    Atom type;
    int format;
    unsigned long count = 0, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(fl_display, fl_xid(window), icon, 0, 1 << 16, False, AnyPropertyType, &type, &format, &count,
                           &after, &data)
        != Success)
        return false;
    if (data != nullptr)
        XFree(data);
    // 48x48, 32x32 and 16x16 with their sizes: 3 * 2 + 2304 + 1024 + 256.
    return count == 3590;
}

Fl_Window* FindMessageBox()
{
    for (Fl_Window* window = Fl::first_window(); window != nullptr; window = Fl::next_window(window))
        if (window->xclass() != nullptr && std::strcmp(window->xclass(), "tamble-message") == 0)
            return window;
    return nullptr;
}

void PressOk(Fl_Window* box)
{
    for (int i = 0; i < box->children(); ++i)
        if (auto* button = dynamic_cast<Fl_Button*>(box->child(i)))
            button->do_callback();
}

}   // namespace

TEST(DialogWindow, ShowsTheTemplateThenRunsTheJobOnTheFirstTick)
{
    TAMBLE_RUN_UNDER_XVFB();
    TempDir dir;
    const std::string source = dir.Path() + "/" + std::string(60, 'd') + "/a.txt";
    ASSERT_EQ(mkdir((dir.Path() + "/" + std::string(60, 'd')).c_str(), 0700), 0);
    WriteText(source, std::string(300000, 'y'));
    CJobDialog dlg;
    dlg.m_nZipMode = 1;
    dlg.m_nFileType = 0;
    dlg.m_szSource = source;
    dlg.m_szTarget = dir / "a.lzw";
    dlg.m_nTimerPeriod = 300;

    bool checked = false;
    Probe before {[&] {
        checked = true;
        EXPECT_FALSE(dlg.m_bStarted);
        ASSERT_TRUE(dlg.IsWindowVisible());
        Fl_Window* window = dlg.GetWindow();
        EXPECT_EQ(window->x(), 0);
        EXPECT_EQ(window->y(), 0);
        EXPECT_FALSE(window->border());
        EXPECT_FALSE(SkipsTaskbar(window));
        EXPECT_TRUE(HasWindowIcon(window));
        // The size follows the font: 214 x 91 dialog units.
        EXPECT_GT(window->w(), 214);
        EXPECT_GT(window->h(), 91);
        auto* message = dynamic_cast<CTextLabel*>(dlg.GetDlgItem(IDC_MESSAGE));
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->Text(), Text(IDS_WAIT_COMPRESS_FILE));
        EXPECT_EQ(dynamic_cast<CTextLabel*>(dlg.GetDlgItem(IDC_SOURCE_LABEL))->Text(), "Source File:");
        EXPECT_EQ(dynamic_cast<CTextLabel*>(dlg.GetDlgItem(IDC_OVERALL_LABEL))->Text(), "Overall:");
        // The fields replace the template's "..." before the job starts.
        EXPECT_EQ(dynamic_cast<CTextLabel*>(dlg.GetDlgItem(IDC_SOURCE_NAME))->Text(), "");
        // The bars lie inside the window, the file bar above the overall one.
        Fl_Widget* file = dlg.GetDlgItem(IDC_FILE_PROGRESS);
        Fl_Widget* overall = dlg.GetDlgItem(IDC_OVERALL_PROGRESS);
        EXPECT_LT(file->y() + file->h(), overall->y());
        EXPECT_LE(overall->x() + overall->w(), window->w());
        EXPECT_LE(overall->y() + overall->h(), window->h());
    }};
    Fl::add_timeout(0.15, Probe::Run, &before);
    EXPECT_EQ(dlg.DoModal(), 1);
    EXPECT_TRUE(checked);
    EXPECT_EQ(dlg.ExitStatus(), 0);
    EXPECT_TRUE(PathExists(dir / "a.lzw"));
    EXPECT_FALSE(dlg.IsWindowVisible());
    // The file bar ended full, on the scale of the source's size.
    EXPECT_DOUBLE_EQ(dlg.m_ctlFileProgress.Fraction(), 1);
}

TEST(DialogWindow, LongPathsAreShortenedToTheirLabel)
{
    TAMBLE_RUN_UNDER_XVFB();
    CJobDialog dlg;
    dlg.m_nTimerPeriod = 60000;
    std::string path = "/srv/keldo/" + std::string(200, 'p') + "/history/0A240305.hst";
    Probe probe {[&] {
        dlg.SetSourceName(path);
        dlg.SetTargetName("short.hsz");
        dlg.TransferTexts();
        auto* source = dynamic_cast<CTextLabel*>(dlg.GetDlgItem(IDC_SOURCE_NAME));
        auto* target = dynamic_cast<CTextLabel*>(dlg.GetDlgItem(IDC_TARGET_NAME));
        EXPECT_EQ(source->Text(), path);
        EXPECT_NE(source->ShownText(), path);
        EXPECT_LE(FlTextWidth(source->ShownText(), source->labelfont(), source->labelsize()), source->w());
        EXPECT_NE(source->ShownText().find("/0A240305.hst"), std::string::npos);
        EXPECT_EQ(source->ShownText().compare(0, 11, "/srv/keldo/"), 0);
        EXPECT_EQ(target->ShownText(), "short.hsz");
        dlg.EndDialog(7);
    }};
    Fl::add_timeout(0.1, Probe::Run, &probe);
    EXPECT_EQ(dlg.DoModal(), 7);
}

TEST(DialogWindow, LongerTranslationsStayReadable)
{
    TAMBLE_RUN_UNDER_XVFB();
    HMODULE french = LoadLibraryA(TAMBLE_BINARY_DIR "/app/fr/tamble-mui.dll");
    ASSERT_NE(french, nullptr);
    AfxSetResourceHandle(french);
    CJobDialog dlg;
    dlg.m_nZipMode = 1;
    dlg.m_nFileType = 2;
    dlg.m_nTimerPeriod = 60000;
    Probe probe {[&] {
        auto label = [&](int id) { return dynamic_cast<CTextLabel*>(dlg.GetDlgItem(id)); };
        auto right = [](CTextLabel* l) { return l->x() + FlTextWidth(l->ShownText(), l->labelfont(), l->labelsize()); };
        // A caption wider than its 38 units would push the values right.
        EXPECT_EQ(label(IDC_SOURCE_LABEL)->Text(), LoadResString(IDS_SOURCE_LABEL));
        EXPECT_LT(right(label(IDC_SOURCE_LABEL)), label(IDC_SOURCE_NAME)->x());
        EXPECT_LT(right(label(IDC_TARGET_LABEL)), label(IDC_TARGET_NAME)->x());
        // Both values keep their right edge and line up.
        EXPECT_EQ(label(IDC_SOURCE_NAME)->x(), label(IDC_TARGET_NAME)->x());
        EXPECT_EQ(label(IDC_SOURCE_NAME)->w(), label(IDC_TARGET_NAME)->w());
        // A wait text too long for its label ends with an ellipsis inside it.
        dlg.SetWaitText("Veuillez patienter pendant la compression des fichiers d'historique.");
        dlg.UpdateData(FALSE);
        CTextLabel* message = label(IDC_MESSAGE);
        EXPECT_NE(message->ShownText(), message->Text());
        EXPECT_EQ(message->ShownText().rfind(kPathEllipsis), message->ShownText().size() - std::strlen(kPathEllipsis));
        EXPECT_LE(right(message), message->x() + message->w());
        dlg.EndDialog(1);
    }};
    Fl::add_timeout(0.1, Probe::Run, &probe);
    EXPECT_EQ(dlg.DoModal(), 1);
    AfxSetResourceHandle(nullptr);
    FreeLibrary(french);
}

TEST(DialogWindow, HighDpiScreenScalesFontAndLayout)
{
    TAMBLE_RUN_UNDER_XVFB();
    // The screen says 192 DPI, as a desktop does on a high-DPI monitor.
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const std::string resources = "Xft.dpi:\t192\n";
    XChangeProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources.data()), static_cast<int>(resources.size()));
    XSync(display, False);   // kept open: the server forgets it all when its last client goes

    CJobDialog dlg;
    dlg.m_nTimerPeriod = 60000;
    Probe probe {[&] {
        auto* message = dynamic_cast<CTextLabel*>(dlg.GetDlgItem(IDC_MESSAGE));
        EXPECT_EQ(message->labelsize(), 21);   // 8 points at 192 DPI
        // Twice the pixels of the same dialog at 96 DPI (about 375 x 159).
        EXPECT_GT(dlg.GetWindow()->w(), 640);
        EXPECT_GT(dlg.GetWindow()->h(), 270);
        dlg.EndDialog(1);
    }};
    Fl::add_timeout(0.1, Probe::Run, &probe);
    EXPECT_EQ(dlg.DoModal(), 1);
    XCloseDisplay(display);
}

TEST(DialogWindow, HiddenDialogNeverShowsAndStillRunsItsJob)
{
    TAMBLE_RUN_UNDER_XVFB();
    TempDir dir;
    WriteText(dir / "a.txt", "hidden");
    CJobDialog dlg;
    dlg.m_nZipMode = 1;
    dlg.m_szSource = dir / "a.txt";
    dlg.m_szTarget = dir / "a.lzw";
    dlg.m_bHidden = TRUE;
    dlg.m_nTimerPeriod = 200;
    int samples = 0;
    bool everVisible = false;
    Probe watch {[&] {
        ++samples;
        everVisible |= dlg.IsWindowVisible();
        if (!dlg.IsEnded())
            Fl::repeat_timeout(0.02, Probe::Run, &watch);
    }};
    Fl::add_timeout(0.0, Probe::Run, &watch);
    EXPECT_EQ(dlg.DoModal(), 1);
    Fl::remove_timeout(Probe::Run, &watch);
    EXPECT_GT(samples, 3);
    EXPECT_FALSE(everVisible);
    EXPECT_TRUE(PathExists(dir / "a.lzw"));
}

TEST(DialogWindow, MessageBoxIsCentredAndTicksDuringItStartNoSecondJob)
{
    TAMBLE_RUN_UNDER_XVFB();
    TempDir dir;
    CJobDialog dlg;
    dlg.m_nZipMode = 2;
    dlg.m_szSource = dir / "missing.lzw";
    dlg.m_szTarget = dir / "out.txt";
    dlg.m_nTimerPeriod = 50;
    int boxes = 0;
    int ticksWhileOpen = 0;
    double openedAt = 0;
    Probe watch {[&] {
        // Away from the screen's corner, so that the box can be centred.
        if (!dlg.m_bStarted)
            dlg.GetWindow()->position(400, 300);
        Fl_Window* box = FindMessageBox();
        if (box != nullptr && box->shown()) {
            if (openedAt == 0) {
                ++boxes;
                openedAt = 1;
                Fl_Window* owner = dlg.GetWindow();
                // Centred on the dialog, within a pixel of rounding.
                EXPECT_NEAR(box->x() + box->w() / 2.0, owner->x() + owner->w() / 2.0, 1.0);
                EXPECT_NEAR(box->y() + box->h() / 2.0, owner->y() + owner->h() / 2.0, 1.0);
                EXPECT_TRUE(box->modal());
                EXPECT_STREQ(box->label(), kMessageBoxTitle);
            }
            // Let several timer ticks pass while the box waits.
            if (++ticksWhileOpen == 15) {
                PressOk(box);
                openedAt = 0;
            }
        }
        if (!dlg.IsEnded())
            Fl::repeat_timeout(0.02, Probe::Run, &watch);
    }};
    Fl::add_timeout(0.0, Probe::Run, &watch);
    EXPECT_EQ(dlg.DoModal(), 1);   // a single-file job ends normally, also when it failed
    Fl::remove_timeout(Probe::Run, &watch);
    EXPECT_EQ(boxes, 1);
    EXPECT_GE(ticksWhileOpen, 15);
    EXPECT_EQ(dlg.ExitStatus(), 1);
    EXPECT_FALSE(PathExists(dir / "out.txt"));
}
