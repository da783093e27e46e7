// Local-time conversions over mktime and localtime_r.
#include "platform/TimeUtil.h"

#include <climits>
#include <ctime>

std::int64_t Time64Now()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::int64_t MakeLocalMidnight(int year, int month, int day)
{
    // tm_year and tm_mon are offsets; keep them inside int before mktime sees them.
    const long long tmYear = static_cast<long long>(year) - 1900;
    const long long tmMon = static_cast<long long>(month) - 1;
    if (tmYear < INT_MIN || tmYear > INT_MAX || tmMon < INT_MIN)
        return -1;

    std::tm tm {};
    tm.tm_year = static_cast<int>(tmYear);
    tm.tm_mon = static_cast<int>(tmMon);
    tm.tm_mday = day;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    return t == static_cast<std::time_t>(-1) ? -1 : static_cast<std::int64_t>(t);
}

bool LocalDate(std::int64_t t, int& year, int& month, int& day)
{
    const std::time_t tt = static_cast<std::time_t>(t);
    if (static_cast<std::int64_t>(tt) != t)
        return false;
    std::tm tm {};
    if (!localtime_r(&tt, &tm) || tm.tm_year > INT_MAX - 1900)
        return false;
    year = tm.tm_year + 1900;
    month = tm.tm_mon + 1;
    day = tm.tm_mday;
    return true;
}

std::int64_t NextLocalMidnight(std::int64_t midnight)
{
    int year = 0, month = 0, day = 0;
    if (!LocalDate(midnight, year, month, day))
        return -1;
    return MakeLocalMidnight(year, month, day + 1);
}

int YearFromTwoDigits(int yy)
{
    const int year = yy + 1900;
    return year < 1970 ? year + 100 : year;
}

int TwoDigitYear(int year)
{
    const int yy = year - 1900;
    return yy > 100 ? yy - 100 : yy;
}
