// Where a run shows its progress.
//
//   Window    the progress dialog, when an X display can be opened
//   Terminal  a live two-bar display on stderr, redrawn in place
//   Lines     one plain line per file on stderr
//   Quiet     messages only, on stderr
//
// The hidden switch /H never shows the dialog and never connects to a display:
// its run writes lines on stderr (or the terminal display, when asked for with
// --progress=terminal).  Otherwise the dialog is shown where a display opens,
// the terminal display where stderr is a terminal, and lines elsewhere.  The
// option --progress=window|terminal|none overrides the choice; a window that
// cannot be had falls back as if no display were there.
#pragma once

#include <functional>
#include <string>

enum class ProgressDisplay { Window, Terminal, Lines, Quiet };
enum class ProgressRequest { Auto, Window, Terminal, Off };

// The value of --progress=; false for a value that is none of the three.
bool ParseProgressRequest(const std::string& value, ProgressRequest& request);

struct DisplayEnvironment {
    bool hidden = false;   // the /H switch
    bool stderrIsTerminal = false;
    // Tries to open the X display; true when it opened.  Called at most once,
    // and never for a hidden run or a run that does not want a window.
    std::function<bool()> openDisplay;
};

struct DisplayChoice {
    ProgressDisplay display = ProgressDisplay::Lines;
    bool windowUnavailable = false;   // a window was wanted but no display opened
};

DisplayChoice ChooseProgressDisplay(ProgressRequest request, const DisplayEnvironment& env);
