#include "jobs/HistoryNames.h"

#include "jobs/JobError.h"
#include "platform/ResourceLibrary.h"
#include "platform/StringIds.h"
#include "platform/TimeUtil.h"

#include <climits>
#include <cstdio>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Range checks of a date before its midnight is formed.
bool InRange(const HistoryDate& date)
{
    return date.year >= 1900 && date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= 31;
}

DateResult Midnight(const HistoryDate& date, std::int64_t& midnight)
{
    if (!InRange(date))
        return DateResult::OutOfRange;
    midnight = MakeLocalMidnight(date.year, date.month, date.day);
    int year = 0, month = 0, day = 0;
    if (midnight == -1 || !LocalDate(midnight, year, month, day) || year < HISTORY_FIRST_YEAR
        || year > HISTORY_LAST_YEAR)
        return DateResult::Unconvertible;
    return DateResult::Ok;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "YYYY-MM-DD", digits exactly where the form has them.
bool IsIsoDate(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (!IsDigit(text[i]))
            return false;
    return true;
}

}   // namespace

std::string GroupText(int group)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(group));
    return text;
}

std::string DateText(int year, int month, int day)
{
    char text[40];
    std::snprintf(text, sizeof text, "%02d%02d%02d", TwoDigitYear(year), month, day);
    return text;
}

std::string CompressPattern(int group)
{
    return group < 0 ? std::string("????????.hst") : GroupText(group) + "*.hst";
}

std::string DayPattern(int group, int year, int month, int day)
{
    return (group < 0 ? std::string("??") : GroupText(group)) + DateText(year, month, day) + ".hsz";
}

int NameDateStart(std::size_t length)
{
    return length == 12 ? 2 : length == 13 ? 3 : -1;
}

std::string TwinName(const std::string& name, const char* ext)
{
    return name.substr(0, name.size() >= 4 ? name.size() - 4 : 0) + ext;
}

int ReadNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value <= static_cast<long long>(INT_MAX) + 1)
            value = value * 10 + (text[i] - '0');
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

HistoryDate NameDate(std::string_view name, int start)
{
    HistoryDate date;
    const auto field = [&](int offset) {
        const std::size_t at = static_cast<std::size_t>(start + offset);
        return at < name.size() ? ReadNumber(name.substr(at, 2)) : 0;
    };
    date.year = YearFromTwoDigits(field(0));
    date.month = field(2);
    date.day = field(4);
    return date;
}

bool ReadStartDate(std::string_view text, HistoryDate& date)
{
    if (text.size() < 7)
        return false;
    if (IsIsoDate(text)) {
        date.year = ReadNumber(text.substr(0, 4));
        date.month = ReadNumber(text.substr(5, 2));
        date.day = ReadNumber(text.substr(8, 2));
        return true;
    }
    long long year = ReadNumber(text.substr(6));
    if (year < 100)
        year += 1900;
    if (year < 1970)
        year += 100;
    date.year = year > INT_MAX ? INT_MAX : static_cast<int>(year);
    date.day = ReadNumber(text.substr(3, 2));
    date.month = ReadNumber(text.substr(0, 2));
    return true;
}

bool IsIsoStartDate(std::string_view text)
{
    return IsIsoDate(text);
}

UINT DateFault(const HistoryDate& date)
{
    if (date.month < 1 || date.month > 12)
        return IDS_CAUSE_MONTH;
    if (date.day < 1 || date.day > 31)
        return IDS_CAUSE_DAY;
    return IDS_CAUSE_YEAR;
}

DateResult ResolveDate(const HistoryDate& date, std::int64_t now, std::int64_t& midnight)
{
    DateResult result = Midnight(date, midnight);
    if (result != DateResult::Ok || midnight <= now)
        return result;
    HistoryDate earlier = date;
    --earlier.year;
    return Midnight(earlier, midnight);
}

std::string ErrorCodeCause(UINT code)
{
    return LoadResString(IDS_CAUSE_ERROR) + " " + FormatErrorCode(code);
}

std::string DateCause(const HistoryDate& date, UINT code)
{
    return LoadResString(DateFault(date)) + ", " + ErrorCodeCause(code);
}
