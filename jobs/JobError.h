// Failures in jobs/ follow one idiom.
//
// A function that can fail returns false (a null pointer when it makes an
// object) and says why in the JobFault it is given -- or, where it can fail in
// one way only, in a cause string.  The fault is described where it happens:
// its kind is the text its message begins with (a read error is made a read
// error where the read fails, a write error where the write fails), and the
// function shows nothing itself.  Errors of the file layer (CFileException) and
// of the allocator (std::bad_alloc) become faults in one place, FileStep
// (jobs/StreamCheck.h), around the calls into the streams.
//
// The job step that owns a file reports the fault (the run ends with status 1
// and the job goes on); a fault the job cannot go on after (stopsJob) stops it.
// A history step hands both back in its outcome (jobs/JobOutcome.h); on the
// job's thread such a fault is thrown as CJobError, the one exception of the
// jobs, which the job driver reports before it ends the job.
#pragma once

#include "platform/PrintableText.h"
#include "platform/ResourceLibrary.h"

#include "platform/Types.h"

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>

constexpr UINT JOB_E_FAIL = 0x80004005;         // a date out of range
constexpr UINT JOB_E_INVALIDARG = 0x80070057;   // a date the library cannot convert

// "<text> <file>: <cause>", the form of every message the jobs show: the fixed
// text first, then what it concerns and why.  Empty parts are left out.
std::string ComposeMessage(const std::string& text, const std::string& file, const std::string& cause);

// The text of a string id (translated when a language library has it) composed
// as above.
std::string ComposeMessage(UINT textId, const std::string& file, const std::string& cause);

// A line a job has to say: a message for the user, or a line of the log.
struct JobLine {
    bool message;   // a message (else a log line)
    std::string text;
};

// What failed, and why.
struct JobFault {
    UINT textId = 0;         // the message's fixed text: IDS_ERR_READ, IDS_ERR_WRITE, IDS_ERR_DAMAGED, ...
    std::string file;        // what it concerns
    std::string cause;       // why, without the file's name
    bool stopsJob = false;   // a read or write error of a file, after which a job does not go on

    std::string Message() const { return ComposeMessage(textId, file, cause); }
};

// A failure that stops the whole job.  It carries the text for the user, already
// composed, and the error code of the failure (0x80004005 for a date out of
// range, 0x80070057 for a date the time library cannot convert, 0 otherwise).
// The job driver reports it and the run ends with status 1; files handled
// before it stay as they are.
class CJobError : public std::runtime_error {
public:
    CJobError(const std::string& text, UINT code) : std::runtime_error(text), m_nCode(code) {}
    explicit CJobError(const JobFault& fault) : CJobError(fault.Message(), 0) {}

    UINT m_nCode;
};

// "0x80004005": a code as the messages show it.
std::string FormatErrorCode(UINT code);

// Numbers as the language writes them: a decimal number with the language's
// decimal point ("4.12", "4,12"), a share in per cent ("78.0%", "78,0 %"), and
// a count with its noun in the singular for 1, else in the plural ("1 file",
// "3 files"; the ids are of "{0} file" and "{0} files").
std::string FormatDecimal(double value, int decimals);
std::string FormatPercent(double percent, int decimals = 1);
std::string CountText(std::uint64_t count, UINT singularId, UINT pluralId);
