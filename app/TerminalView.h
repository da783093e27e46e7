// CTerminalView: the progress dialog's contents drawn on a terminal.
//
//   Please wait while the history files are compressed.
//     Source File: /srv/keldo/history/0A240305.hst
//     Target File: /srv/keldo/history/0A240305.hsz
//                  [██████████████████░░░░░░░░░░░░]  62%
//     Overall:     [██████░░░░░░░░░░░░░░░░░░░░░░░░]  20%
//
// The block is redrawn in place (cursor up, clear to the end of the screen)
// whenever what it shows changes; messages and log lines are written above it
// and the block is drawn again below them.  Lines are kept shorter than the
// terminal is wide, long paths shortened in the middle, so that nothing wraps
// and the redraw stays in place.  When the job ends the last state stays on
// the screen without the wait line, showing the finished state: the last
// file's names and, for a job that ended normally, both bars full.  File names are shown as messages show
// them, control characters made "?", so a name cannot steer the terminal.
//
// A terminal that cannot move the cursor (TERM unset, "dumb", or not one of the
// kinds known to take the cursor moves used here) gets plain lines instead:
// the wait text once, then the messages and log lines, and no bars.
#pragma once

#include "jobs/JobView.h"

#include <cstdint>
#include <string>
#include <vector>

class CTerminalView : public IJobView {
public:
    // Draws on the terminal `fd`; the wait text is chosen from the job's
    // operation and kind as the dialog chooses it.  `columns` fixes the width
    // (0: ask the terminal, 80 when it cannot say).
    CTerminalView(int fd, int zipMode, int fileType, int columns = 0);
    ~CTerminalView() override;
    CTerminalView(const CTerminalView&) = delete;
    CTerminalView& operator=(const CTerminalView&) = delete;

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

    // The lines of the block for a terminal `columns` wide.
    std::vector<std::string> RenderLines(int columns) const;

    // Bar characters: block characters on a UTF-8 terminal, else '#' and '-'.
    bool m_bUnicode;
    // The block is redrawn in place; else plain lines (from TERM).
    bool m_bMovesCursor;
    // Log lines are written above the block (not with --quiet).
    bool m_bShowLog = true;

private:
    struct Bar {
        std::int64_t upper = 100;
        std::int64_t pos = 0;
        double Fraction() const;
    };

    int Columns() const;
    std::string RenderBar(const Bar& bar, int width) const;
    void Redraw();
    void Erase();
    void WriteAbove(const std::string& text);
    void Write(const std::string& text);

    int m_fd;
    int m_nColumns;
    std::string m_strMessage;
    std::string m_strSourceLabel;
    std::string m_strTargetLabel;
    std::string m_strOverallLabel;
    std::string m_strSourceName;   // as the job set it
    std::string m_strTargetName;
    std::string m_strSourceShown;   // as transferred to the screen
    std::string m_strTargetShown;
    Bar m_file;
    Bar m_overall;
    std::string m_lastFrame;
    int m_nDrawnLines = 0;
    bool m_bEnded = false;
    bool m_bWaitWritten = false;   // plain lines: the wait text is out
};

// Whether a terminal of this TERM takes the cursor moves and erasing the view
// uses (xterm and the terminals that follow it, the Linux console, screen, tmux
// and the like).  False for no TERM, "dumb" and kinds not known here.
bool TerminalMovesCursor(const char* term);

// True when the locale settings (LC_ALL, LC_CTYPE, LANG) name UTF-8.
bool LocaleIsUtf8();
