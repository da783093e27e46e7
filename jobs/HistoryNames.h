// Names and dates of the history files.
//
// A history file is named after its group and day: the group in upper-case
// hexadecimal with at least two digits ("%02X": 0A, FF, 100), then the year,
// month and day with two digits each, then ".hst" (plain) or ".hsz"
// (compressed).  Group 10 on 5 March 2024 is 0A240305.hst.
//
// Year written into a name: years since 1900, less 100 when that is greater
// than 100, so the year 2000 is written as the three characters 100.  Year read
// from a name: the two digits plus 1900, plus another 100 below 1970.
//
// A date found in a name or given as the start date is checked (year from 1900,
// month 1 to 12, day 1 to 31) and turned into its local midnight; the library
// normalises what is left (31 April is 1 May).  A date later than now is taken
// as the same day one year earlier.  Only local midnights from 1 January 1970
// to 31 December 3000 can be formed, as with the 64-bit time functions of the
// product's own platform: a date outside them cannot be converted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Types.h"

constexpr int HISTORY_FIRST_YEAR = 1970;   // the first year whose midnights can be formed
constexpr int HISTORY_LAST_YEAR = 3000;    // the last one

struct HistoryDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// The group as names begin with it ("%02X": 10 gives 0A, 256 gives 100).
std::string GroupText(int group);

// Year, month and day as a name holds them: "241230", "1000101" for 1 Jan 2000.
std::string DateText(int year, int month, int day);

// What CompressHistory searches for: "????????.hst" for all groups (a negative
// group), else the group followed by "*.hst".
std::string CompressPattern(int group);

// What ExtractHistory searches for on one day: "??YYMMDD.hsz" for all groups,
// else the group, then YYMMDD.hsz.
std::string DayPattern(int group, int year, int month, int day);

// Where the date starts in a plain history name: 2 for a name of 12
// characters, 3 for 13; -1 for any other length (such a name is passed over).
int NameDateStart(std::size_t length);

// The name with its four-character extension replaced by ext (".hsz" or
// ".hst").  The extension is matched in any case; the new one is written as
// given, so 0A240305.HST becomes 0A240305.hsz.
std::string TwinName(const std::string& name, const char* ext);

// A number read as atoi reads it: leading blanks, an optional sign, decimal
// digits up to the first other character; 0 without digits.  Saturates at the
// int range instead of overflowing.
int ReadNumber(std::string_view text);

// The date in a history name whose date starts at `start`: year (by the
// reading rule), month and day from two characters each, unchecked.
HistoryDate NameDate(std::string_view name, int start);

// The start date of an extraction, month first, read at fixed positions:
// month at 0, day at 3, year from 6 to the end (two or four digits; below 100
// plus 1900, then below 1970 plus 100).  A text of the form YYYY-MM-DD is read
// as that date.  False for a text shorter than 7.
bool ReadStartDate(std::string_view text, HistoryDate& date);
// Whether the start date is of the form YYYY-MM-DD.
bool IsIsoStartDate(std::string_view text);

enum class DateResult {
    Ok,
    OutOfRange,      // a field outside its range: error 0x80004005
    Unconvertible,   // the time library cannot form the midnight: 0x80070057
};

// In words, what is wrong with a date that ResolveDate refused: the text id of
// "the month is not 01 to 12" and the like.
UINT DateFault(const HistoryDate& date);

// "error 0x80004005", and a refused date's fault with it: "the month is not
// 01 to 12, error 0x80004005".
std::string ErrorCodeCause(UINT code);
std::string DateCause(const HistoryDate& date, UINT code);

// Checks a date and forms its local midnight; a date whose midnight is later
// than now is moved back one year (and checked again).
DateResult ResolveDate(const HistoryDate& date, std::int64_t now, std::int64_t& midnight);
