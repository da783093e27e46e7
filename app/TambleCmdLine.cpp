// The command-line switches of a run and the GNU-style options beside them.
#include "app/TambleCmdLine.h"

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

// The value of a switch starts at index 2, after the letter and its ":".
std::string ValueOf(const std::string& text)
{
    return text.size() > 2 ? text.substr(2) : std::string();
}

char CharAt2(const std::string& text)
{
    return text.size() > 2 ? text[2] : '\0';
}

} // namespace

CTambleCmdLine::~CTambleCmdLine() = default;

void CTambleCmdLine::SetDefaults()
{
    m_nZipMode = 0;
    m_nFileType = 0;
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
    if (flag && !text.empty() && text[0] == '-') {
        // "--name" arrives as "-name": a GNU-style option for the application.
        m_options.push_back(text.substr(1));
        if (HasOption("test") || HasOption("info"))
            m_bFileList = true;  // what follows are files, "/" starts a path
        return;
    }
    if (flag && ParseSwitch(text))
        return;
    CCommandLineInfo::ParseParam(param, flag, last);
}

// Applies one of the eight switches; false when the first letter is none of them.
bool CTambleCmdLine::ParseSwitch(const std::string& text)
{
    const std::string upper = AsciiUpper(text);
    switch (upper.empty() ? '\0' : upper[0]) {
    case 'Z':
        if (CharAt2(upper) == 'C')
            m_nZipMode = 1;
        else if (CharAt2(upper) == 'E')
            m_nZipMode = 2;
        return true;
    case 'T':
        if (CharAt2(upper) == 'A')
            m_nFileType = 2;
        else if (CharAt2(upper) == 'N')
            m_nFileType = 1;
        return true;
    case 'D':
        m_szStartDate = TrimOneBlank(ValueOf(upper));
        return true;
    case 'N':
        m_nNumber = ReadInt(ValueOf(upper));
        return true;
    case 'G':
        m_nGroup = ReadInt(ValueOf(upper));
        return true;
    case 'S':
        m_szSource = TrimOneBlank(ValueOf(text));  // paths keep their case
        return true;
    case 'R':
        m_szTarget = TrimOneBlank(ValueOf(text));
        return true;
    case 'H':
        m_bHidden = TRUE;
        return true;
    default:
        return false;
    }
}
