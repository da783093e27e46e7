// Local-time conversions over mktime and localtime_r (on Windows localtime_s,
// whose 64-bit time reaches 31 December 3000; its struct tm carries no offset
// from UTC, which is then taken from _mkgmtime of the local time).
#include "platform/TimeUtil.h"

#include <climits>
#include <ctime>

namespace {

bool ToLocal(std::time_t t, std::tm& tm)
{
#ifdef _WIN32
    return localtime_s(&tm, &t) == 0;
#else
    return localtime_r(&t, &tm) != nullptr;
#endif
}

// Seconds east of UTC of the local time local, which is t.
long OffsetOf(std::time_t t, const std::tm& local)
{
#ifdef _WIN32
    std::tm copy = local;
    return static_cast<long>(_mkgmtime(&copy) - t);
#else
    (void)t;
    return local.tm_gmtoff;
#endif
}

}   // namespace

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
    if (!ToLocal(tt, tm) || tm.tm_year > INT_MAX - 1900)
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

namespace {

// Days from 1 January 1970 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

}   // namespace

bool CLocalDates::Take(std::int64_t midnight)
{
    const std::time_t t = static_cast<std::time_t>(midnight);
    std::tm tm {};
    if (static_cast<std::int64_t>(t) != midnight || !ToLocal(t, tm) || tm.tm_year > INT_MAX - 1900)
        return false;
    Keep(midnight, tm);
    return true;
}

void CLocalDates::Keep(std::int64_t midnight, const struct tm& local)
{
    m_nMidnight = midnight;
    m_nOffset = OffsetOf(static_cast<std::time_t>(midnight), local);
    m_nYear = local.tm_year + 1900;
    m_nMonth = local.tm_mon + 1;
    m_nDay = local.tm_mday;
}

bool CLocalDates::Start(std::int64_t midnight)
{
    return Take(midnight);
}

bool CLocalDates::Next()
{
    const std::int64_t days = DaysFromCivil(m_nYear, static_cast<unsigned>(m_nMonth), static_cast<unsigned>(m_nDay));
    const std::time_t guess = static_cast<std::time_t>((days + 1) * 86400 - m_nOffset);
    std::tm tm {};
    if (ToLocal(guess, tm) && tm.tm_hour == 0 && tm.tm_min == 0 && tm.tm_sec == 0
        && DaysFromCivil(std::int64_t {tm.tm_year} + 1900, static_cast<unsigned>(tm.tm_mon + 1),
                         static_cast<unsigned>(tm.tm_mday))
               == days + 1) {
        Keep(guess, tm);
        return true;
    }
    const std::int64_t next = NextLocalMidnight(m_nMidnight);
    return next != -1 && Take(next);
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
