// The live progress display on a terminal.
#include "app/TerminalView.h"

#include "platform/PrintableText.h"
#include "platform/SysCall.h"

#include "app/DialogTemplate.h"
#include "app/PathShorten.h"
#include "app/StderrView.h"
#include "jobs/JobError.h"
#include "platform/ResourceLibrary.h"
#include "platform/StringIds.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kIndent = 2;
constexpr int kMaxBarWidth = 50;

bool NamesUtf8(const char* value)
{
    if (value == nullptr)
        return false;
    std::string text(value);
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text.find("utf-8") != std::string::npos || text.find("utf8") != std::string::npos;
}

// The first code points of `text` that fill at most `columns` columns.
std::string CutToColumns(const std::string& text, int columns)
{
    int used = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue;
        if (used == columns)
            return text.substr(0, i);
        ++used;
    }
    return text;
}

std::string PadRight(const std::string& text, int columns)
{
    int width = static_cast<int>(CodePointWidth(text));
    return width >= columns ? text : text + std::string(static_cast<std::size_t>(columns - width), ' ');
}

}   // namespace

bool TerminalMovesCursor(const char* term)
{
    if (term == nullptr)
        return false;
    // The kind is the name up to its first variant ("xterm-256color", "screen.xterm").
    const std::string name(term);
    const std::string kind = name.substr(0, name.find_first_of("-."));
    static const char* const kKnown[]
        = {"xterm",   "screen", "tmux",  "rxvt",    "linux",  "vt100",     "vt102", "vt220",     "vt320",
           "ansi",    "cygwin", "putty", "konsole", "gnome",  "alacritty", "kitty", "foot",      "st",
           "wezterm", "eterm",  "iterm", "iterm2",  "mintty", "contour",   "vte",   "terminator"};
    for (const char* known : kKnown)
        if (kind == known)
            return true;
    return false;
}

bool LocaleIsUtf8()
{
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return NamesUtf8(value);
    }
    return false;
}

double CTerminalView::Bar::Fraction() const
{
    if (upper <= 0)
        return 0;
    return std::clamp(static_cast<double>(pos) / static_cast<double>(upper), 0.0, 1.0);
}

CTerminalView::CTerminalView(int fd, int zipMode, int fileType, int columns)
    : m_bUnicode(LocaleIsUtf8()),
      m_bMovesCursor(TerminalMovesCursor(std::getenv("TERM"))),
      m_fd(fd),
      m_nColumns(columns)
{
    if (UINT waitText = WaitTextId(zipMode, fileType))
        m_strMessage = LoadResString(waitText);
    m_strSourceLabel = LoadResString(IDS_SOURCE_LABEL);
    m_strTargetLabel = LoadResString(IDS_TARGET_LABEL);
    m_strOverallLabel = LoadResString(IDS_OVERALL_LABEL);
}

CTerminalView::~CTerminalView()
{
    if (m_nDrawnLines > 0)
        Write("\n");
}

int CTerminalView::Columns() const
{
    if (m_nColumns > 0)
        return m_nColumns;
    winsize size {};
    if (ioctl(m_fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

std::string CTerminalView::RenderBar(const Bar& bar, int width) const
{
    double fraction = bar.Fraction();
    int filled = static_cast<int>(fraction * width);
    std::string text = "[";
    for (int i = 0; i < width; ++i)
        text += i < filled ? (m_bUnicode ? "\xE2\x96\x88" : "#") : (m_bUnicode ? "\xE2\x96\x91" : "-");
    // The share as the language writes it ("62%", "62 %"), right-aligned.
    const std::string percent = FormatPercent(static_cast<int>(fraction * 100), 0);
    const int room = static_cast<int>(CodePointWidth(FormatPercent(100, 0)));
    const int used = static_cast<int>(CodePointWidth(percent));
    return text + "] " + std::string(static_cast<std::size_t>(std::max(room - used, 0)), ' ') + percent;
}

std::vector<std::string> CTerminalView::RenderLines(int columns) const
{
    // One column stays free: writing into the last one makes some terminals
    // wrap, and the block would no longer redraw in place.
    int usable = std::max(columns - 1, 8);
    int labelWidth = static_cast<int>(std::max(
        {CodePointWidth(m_strSourceLabel), CodePointWidth(m_strTargetLabel), CodePointWidth(m_strOverallLabel)}));
    int valueColumn = kIndent + labelWidth + 1;
    int valueWidth = std::max(usable - valueColumn, 1);
    // The bar, its brackets, a blank and "100%".
    int barWidth
        = std::clamp(valueWidth - 3 - static_cast<int>(CodePointWidth(FormatPercent(100, 0))), 1, kMaxBarWidth);

    std::string indent(kIndent, ' ');
    auto labelled = [&](const std::string& label, const std::string& value) {
        return CutToColumns(indent + PadRight(label, labelWidth) + " " + value, usable);
    };
    auto path = [&](const std::string& text) { return ShortenPathMiddle(text, valueWidth, CodePointWidth); };
    return {
        CutToColumns(m_strMessage, usable),
        labelled(m_strSourceLabel, path(m_strSourceShown)),
        labelled(m_strTargetLabel, path(m_strTargetShown)),
        CutToColumns(std::string(static_cast<std::size_t>(valueColumn), ' ') + RenderBar(m_file, barWidth), usable),
        labelled(m_strOverallLabel, RenderBar(m_overall, barWidth)),
    };
}

void CTerminalView::Write(const std::string& text)
{
    WriteAll(m_fd, text.data(), text.size());   // a terminal that is gone shows nothing more
}

void CTerminalView::Erase()
{
    if (m_nDrawnLines == 0)
        return;
    std::string text = "\r";
    if (m_nDrawnLines > 1)
        text += "\x1b[" + std::to_string(m_nDrawnLines - 1) + "A";
    text += "\x1b[J";
    Write(text);
    m_nDrawnLines = 0;
}

void CTerminalView::Redraw()
{
    if (!m_bMovesCursor) {
        // Plain lines: only the wait text, once.
        if (!m_bWaitWritten && !m_strMessage.empty())
            Write(m_strMessage + "\n");
        m_bWaitWritten = true;
        return;
    }
    std::vector<std::string> lines = RenderLines(Columns());
    std::string frame;
    for (std::size_t i = 0; i < lines.size(); ++i)
        frame += (i > 0 ? "\n" : "") + lines[i];
    if (frame == m_lastFrame && m_nDrawnLines > 0)
        return;
    Erase();
    Write(frame);
    m_lastFrame = frame;
    m_nDrawnLines = static_cast<int>(lines.size());
}

void CTerminalView::WriteAbove(const std::string& text)
{
    bool redraw = m_nDrawnLines > 0;
    Erase();
    CStderrView::WriteLine(m_fd, text);
    if (redraw) {
        m_lastFrame.clear();
        Redraw();
    }
}

void CTerminalView::SetWaitText(const std::string& text)
{
    m_strMessage = text;
}

void CTerminalView::SetSourceName(const std::string& text)
{
    m_strSourceName = text;
}

void CTerminalView::SetTargetName(const std::string& text)
{
    m_strTargetName = text;
}

void CTerminalView::TransferTexts()
{
    m_strSourceShown = PrintableText(m_strSourceName);
    m_strTargetShown = PrintableText(m_strTargetName);
    if (!m_bEnded)
        Redraw();
}

void CTerminalView::SetFileRange(std::uint32_t upper)
{
    m_file.upper = upper;
}

void CTerminalView::SetFilePos(std::uint32_t pos)
{
    m_file.pos = pos;
}

void CTerminalView::RepaintFileBar()
{
    if (!m_bEnded)
        Redraw();
}

void CTerminalView::SetOverallRange(std::uint16_t upper)
{
    m_overall.upper = upper;
}

void CTerminalView::SetOverallPos(int pos)
{
    m_overall.pos = pos;
}

void CTerminalView::RepaintOverallBar()
{
    if (!m_bEnded)
        Redraw();
}

void CTerminalView::Message(const std::string& text)
{
    WriteAbove(text);
}

void CTerminalView::Log(const std::string& text)
{
    if (m_bShowLog)
        WriteAbove(text);
}

void CTerminalView::EndJob(int result)
{
    // The last frame shows how the job ended, whatever the job last repainted:
    // the names last set, and a job done in full with both bars at the end.
    m_strSourceShown = PrintableText(m_strSourceName);
    m_strTargetShown = PrintableText(m_strTargetName);
    if (result == 1)
        m_file = m_overall = Bar {1, 1};
    if (m_nDrawnLines > 0) {
        // The last state stays; the wait line goes, as the wait is over.
        std::vector<std::string> lines = RenderLines(Columns());
        std::string frame;
        for (std::size_t i = 1; i < lines.size(); ++i)
            frame += lines[i] + "\n";
        Erase();
        Write(frame);
    }
    m_bEnded = true;
}
