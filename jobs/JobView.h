// IJobView: what a running job shows to the user.  The jobs know nothing of any
// toolkit; the progress dialog, the terminal display and the hidden (log-only)
// view implement this interface.
//
// The calls mirror a small dialog: two text fields (source and target), a file
// bar with a 32-bit range, an overall bar with a 16-bit range, an explicit
// "transfer the texts into the controls" step and immediate repaints, because a
// job runs without pumping any event loop.
#pragma once

#include <cstdint>
#include <string>

class IJobView {
public:
    virtual ~IJobView() = default;

    // The wait text of the job ("Please wait while ..."), set once before it runs;
    // shown after TransferTexts().
    virtual void SetWaitText(const std::string& /*text*/) {}

    // Texts of the source and target labels; shown after TransferTexts().
    virtual void SetSourceName(const std::string& text) = 0;
    virtual void SetTargetName(const std::string& text) = 0;
    virtual void TransferTexts() = 0;

    // File bar: 32-bit range 0..upper and a position within it.
    virtual void SetFileRange(std::uint32_t upper) = 0;
    virtual void SetFilePos(std::uint32_t pos) = 0;
    virtual void RepaintFileBar() = 0;

    // Overall bar: 16-bit range 0..upper; positions beyond it are clamped.
    virtual void SetOverallRange(std::uint16_t upper) = 0;
    virtual void SetOverallPos(int pos) = 0;
    virtual void RepaintOverallBar() = 0;

    // A message for the user (error or notice).  Every view writes it to stderr
    // as one line; a visible view also shows it in a modal box and returns when
    // the user has acknowledged it.  A hidden view never blocks.
    virtual void Message(const std::string& text) = 0;

    // One line of the run's log (what was converted, passed over or deleted).
    virtual void Log(const std::string& text) = 0;

    // The job is over; result 1 is a normal end.
    virtual void EndJob(int result) = 0;
};
