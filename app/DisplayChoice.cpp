// The choice of the progress display; it knows no toolkit and no display.
#include "app/DisplayChoice.h"

bool ParseProgressRequest(const std::string& value, ProgressRequest& request)
{
    if (value == "window")
        request = ProgressRequest::Window;
    else if (value == "terminal")
        request = ProgressRequest::Terminal;
    else if (value == "none")
        request = ProgressRequest::Off;
    else
        return false;
    return true;
}

namespace {

ProgressDisplay WithoutWindow(bool stderrIsTerminal)
{
    return stderrIsTerminal ? ProgressDisplay::Terminal : ProgressDisplay::Lines;
}

}   // namespace

DisplayChoice ChooseProgressDisplay(ProgressRequest request, const DisplayEnvironment& env)
{
    DisplayChoice choice;
    switch (request) {
    case ProgressRequest::Off:
        choice.display = ProgressDisplay::Quiet;
        return choice;
    case ProgressRequest::Terminal:
        choice.display = WithoutWindow(env.stderrIsTerminal);
        return choice;
    case ProgressRequest::Window:
    case ProgressRequest::Auto:
        break;
    }
    if (env.hidden) {
        choice.display = ProgressDisplay::Lines;
        return choice;
    }
    if (env.openDisplay && env.openDisplay()) {
        choice.display = ProgressDisplay::Window;
        return choice;
    }
    choice.display = WithoutWindow(env.stderrIsTerminal);
    choice.windowUnavailable = request == ProgressRequest::Window;
    return choice;
}
