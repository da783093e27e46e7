// The command-line switches of a run and the GNU-style options beside them.
#include "app/TambleCmdLine.h"

#include "app/Options.h"
#include "platform/StringIds.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string AsciiUpper(std::string text)
{
    for (char& c : text)
        c = AsciiUpper(c);
    return text;
}

// One trailing blank goes (a quoted argument may carry it); a second one stays.
std::string TrimOneBlank(std::string value)
{
    if (!value.empty() && value.back() == ' ')
        value.pop_back();
    return value;
}

// atoi's reading (blanks, sign, decimal digits), saturated at the int range
// instead of overflowing.
int ReadInt(const std::string& text)
{
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

// Whether atoi's reading takes the whole value: blanks, a sign and digits, at
// most trailing blanks after them, and a number inside the int range.
bool NumberReadWhole(const std::string& text)
{
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos)
        return true;
    if (text[i] == '+' || text[i] == '-')
        ++i;
    const std::size_t digits = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    if (i == digits || text.find_first_not_of(" \t", i) != std::string::npos)
        return false;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return value >= INT_MIN && value <= INT_MAX && errno != ERANGE;
}

bool IsHexDigits(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

// The value of a switch starts at index 2, after the letter and its ":".
std::string ValueOf(const std::string& text)
{
    return text.size() > 2 ? text.substr(2) : std::string();
}

char CharAt2(const std::string& text)
{
    return text.size() > 2 ? text[2] : '\0';
}

}   // namespace

CTambleCmdLine::~CTambleCmdLine() = default;

void CTambleCmdLine::SetDefaults()
{
    m_nZipMode = ZIP_MODE_NONE;
    m_nFileType = FILE_TYPE_NONE;
    m_nNumber = 0;
    m_nGroup = -1;
    m_szStartDate.clear();
    m_szSource.clear();
    m_szTarget.clear();
    m_bHidden = FALSE;
}

bool CTambleCmdLine::HasOption(const std::string& name) const
{
    for (const std::string& option : m_options)
        if (option.compare(0, option.find('='), name) == 0)
            return true;
    return false;
}

void CTambleCmdLine::ParseParam(const char* param, BOOL flag, BOOL last)
{
    const std::string text = param ? param : "";
    if (m_nValueFor >= 0) {
        // "--jobs 2": the argument after an option that takes a value is that
        // value, also one that begins with "-" (only "-" marks it meanwhile).
        m_options[static_cast<std::size_t>(m_nValueFor)] += "=" + (flag ? "-" + text : text);
        m_nValueFor = -1;
        return;
    }
    if (flag && !text.empty() && text[0] == '-') {
        // "--name" arrives as "-name": a GNU-style option for the application.
        m_options.push_back(text.substr(1));
        if (m_options.back().find('=') == std::string::npos && OptionTakesValue(m_options.back()))
            m_nValueFor = static_cast<int>(m_options.size() - 1);
        if (HasOption("test") || HasOption("info") || HasOption("cat"))
            m_bFileList = true;   // what follows are files, "/" starts a path
        return;
    }
    if (flag && text.empty() && m_bFileList) {
        CCommandLineInfo::ParseParam("-", FALSE, last);   // "-": standard input
        return;
    }
    if (flag && (text == "k" || text == "K")) {
        m_options.push_back("keep");   // gzip's -k; no switch of the product begins with K
        return;
    }
    if (flag && ParseSwitch(text))
        return;
    if (flag)
        Warn(IDS_WARN_UNKNOWN_SWITCH, text);
    CCommandLineInfo::ParseParam(param, flag, last);
}

void CTambleCmdLine::Warn(UINT textId, const std::string& text, const std::string& readAs)
{
    m_warnings.push_back({textId, "/" + text, readAs});
}

// Applies one of the eight switches; false when the first letter is none of them.
bool CTambleCmdLine::ParseSwitch(const std::string& text)
{
    const std::string upper = AsciiUpper(text);
    const char letter = upper.empty() ? '\0' : upper[0];
    // The character after the letter is not looked at: anything but ":" there
    // is a character ignored.
    const bool oddColon = upper.size() > 1 && upper[1] != ':';
    const std::string taken = std::string("/") + letter + ":";
    switch (letter) {
    case 'Z':
    case 'T': {
        const char* letters = letter == 'Z' ? "CE" : "AN";
        const char at2 = CharAt2(upper);
        if (at2 == '\0' || (at2 != letters[0] && at2 != letters[1])) {
            Warn(IDS_WARN_NO_VALUE, text);
            return true;
        }
        if (letter == 'Z')
            m_nZipMode = at2 == 'C' ? ZIP_MODE_COMPRESS : ZIP_MODE_EXTRACT;
        else
            m_nFileType = at2 == 'A' ? FILE_TYPE_HISTORY : FILE_TYPE_NAMED;
        if (oddColon || upper.size() > 3)
            Warn(IDS_WARN_PARTLY_READ, text, taken + at2);
        return true;
    }
    case 'D':
    case 'S':
    case 'R': {
        // Paths keep their case; the date is taken in upper case.
        std::string value = TrimOneBlank(ValueOf(letter == 'D' ? upper : text));
        if (oddColon)
            Warn(IDS_WARN_PARTLY_READ, text, taken + value);
        (letter == 'D' ? m_szStartDate : letter == 'S' ? m_szSource : m_szTarget) = std::move(value);
        return true;
    }
    case 'N':
    case 'G': {
        const std::string value = ValueOf(upper);
        const int number = ReadInt(value);
        (letter == 'N' ? m_nNumber : m_nGroup) = number;
        if (oddColon || !NumberReadWhole(value)) {
            Warn(IDS_WARN_PARTLY_READ, text, taken + std::to_string(number));
            // "0A" as the names show group 10: say that groups are decimal.
            m_warnings.back().decimalHint = letter == 'G' && IsHexDigits(value);
        }
        return true;
    }
    case 'H':
        m_bHidden = TRUE;
        if (upper.size() > 1)
            Warn(IDS_WARN_PARTLY_READ, text, "/H");
        return true;
    default:
        return false;
    }
}
