// CStderrView: the job view without a window.  Messages and the run's log go to
// standard error, one line each ("tamble: <text>"), and nothing ever waits for
// the user, so a hidden run (/H) can never block.  Also the view of runs whose
// standard error is not a terminal.  The bars and labels are not shown.
#pragma once

#include "jobs/JobView.h"

#include <string>

class CStderrView : public IJobView {
public:
    explicit CStderrView(int fd = 2) : m_nOutputFd(fd) {}

    void SetSourceName(const std::string&) override {}
    void SetTargetName(const std::string&) override {}
    void TransferTexts() override {}
    void SetFileRange(std::uint32_t) override {}
    void SetFilePos(std::uint32_t) override {}
    void RepaintFileBar() override {}
    void SetOverallRange(std::uint16_t) override {}
    void SetOverallPos(int) override {}
    void RepaintOverallBar() override {}

    void Message(const std::string& text) override { WriteLine(m_nOutputFd, text); }
    void Log(const std::string& text) override { WriteLine(m_nOutputFd, text); }
    void EndJob(int result) override { m_nResult = result; }

    // The result the job ended with (-1 before it ended).
    int Result() const { return m_nResult; }

    // Writes "tamble: <text>" and a line end in one write; control characters in
    // the text (a newline in a file name) become "?", so one message stays one line.
    static void WriteLine(int fd, const std::string& text);

private:
    int m_nOutputFd;   // where the lines go
    int m_nResult = -1;
};
