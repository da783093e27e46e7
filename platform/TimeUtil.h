// 64-bit time in seconds since the epoch, local calendar dates and the year
// rules of the history file names.
//
// A date's timestamp is its local midnight as mktime gives it for hour, minute
// and second 0 with daylight saving left to the library (tm_isdst -1); the
// library normalises out-of-range fields (31 April is 1 May).
#pragma once

#include <cstdint>

// The current time.
std::int64_t Time64Now();

// Local midnight at the start of year-month-day; -1 when the library cannot
// convert it (or the fields do not fit the library's calendar structure).
std::int64_t MakeLocalMidnight(int year, int month, int day);

// The local calendar date of t; false when t has no local date.
bool LocalDate(std::int64_t t, int& year, int& month, int& day);

// The local midnight of the calendar date after the one that holds midnight.
// Steps by dates, not by 86400 seconds, so days of 23 or 25 hours around a
// daylight-saving change are each visited once.  -1 on failure.
std::int64_t NextLocalMidnight(std::int64_t midnight);

// Consecutive local dates from the date of a local midnight, each the date of
// the one before it as NextLocalMidnight steps them.  A step costs one
// localtime_r: the next midnight is guessed from the offset from UTC of the
// last one and mktime is asked only where the guess does not hold (a change of
// the offset, a midnight the clock skips).
class CLocalDates {
public:
    // Starts at the local date of midnight; false when it has none.
    bool Start(std::int64_t midnight);
    // Moves to the next date; false when the library cannot form it.
    bool Next();

    int m_nYear = 0, m_nMonth = 0, m_nDay = 0;

private:
    bool Take(std::int64_t midnight);
    void Keep(std::int64_t midnight, const struct tm& local);

    std::int64_t m_nMidnight = 0;
    long m_nOffset = 0;   // seconds east of UTC at m_nMidnight
};

// Year from the two digits of a history name: 00-69 are 2000-2069, 70-99 are
// 1970-1999.
int YearFromTwoDigits(int yy);

// Year as written into a history name: years since 1900, less 100 when that is
// greater than 100.  1999 gives 99, 2000 gives 100, 2024 gives 24.
int TwoDigitYear(int year);
