// CJobError: an error that stops the whole job.  It carries the text for the
// user, already composed, and the error code of the failure (0x80004005 for a
// date out of range, 0x80070057 for a date the time library cannot convert, 0
// for a failed read or write of a file).  The job driver reports it and the run
// ends with status 1; files handled before it stay as they are.
#pragma once

#include "platform/PrintableText.h"

#include "platform/Types.h"

#include <initializer_list>
#include <stdexcept>
#include <string>

constexpr UINT JOB_E_FAIL = 0x80004005;        // a date out of range
constexpr UINT JOB_E_INVALIDARG = 0x80070057;  // a date the library cannot convert

class CJobError : public std::runtime_error {
public:
    CJobError(const std::string& text, UINT code) : std::runtime_error(text), m_nCode(code) {}

    UINT m_nCode;
};

// "<text> <file>: <cause>", the form of every message the jobs show: the fixed
// text first, then what it concerns and why.  Empty parts are left out.
std::string ComposeMessage(const std::string& text, const std::string& file, const std::string& cause);

// The text of a string id (translated when a language library has it) composed
// as above.
std::string ComposeMessage(UINT textId, const std::string& file, const std::string& cause);

// The text with "{0}", "{1}", ... replaced by the arguments of those numbers,
// so that a translation may put them in any order.
std::string FormatText(const std::string& text, std::initializer_list<std::string> args);
std::string FormatText(UINT textId, std::initializer_list<std::string> args);


// "0x80004005": a code as the messages show it.
std::string FormatErrorCode(UINT code);
