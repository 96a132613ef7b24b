/*
 * Whole-day date and time arithmetic for the field readers and writers.
 *
 * The device keeps dates as numbers YYYYMMDD and times of day as numbers
 * HHMM; the host exchanges them as text.  To move an alarm between "lead in
 * minutes before the start" and "alarm date and time", both directions
 * need day numbers and seconds since midnight:
 *   - date text: at least eight characters YYYYMMDD (characters beyond
 *     the eighth are ignored, so a time stamp YYYYMMDDHHMM splits alike);
 *   - time text: at least four characters HHMM;
 *   - day number: days since 1 January 1900 (day 0) by the Gregorian
 *     calendar, counted from calendar tables that cover 1900 to 2499
 *     (219,145 is 31 December 2499); the years 1900 to 9999 are
 *     computed in closed form with the same results (see date_tables.h);
 *   - seconds: seconds since midnight, 86,400 to a day.
 *
 * None of these report errors.  Missing characters and non-digits read as
 * 0, so an absent or empty date text is day number -1 (year, month and day
 * 0) and an absent or empty time text 0 seconds.  Out of the tables' range:
 *   - a year before 1900 counts no whole years (1899-03-01 is day 59, the
 *     same as 1900-03-01); a day number below 0 stays in January 1900 with
 *     a day of 0 or less (-1 is 1900-01-00);
 *   - from 2500 on, both directions continue the Gregorian calendar, so
 *     every date from 1 January 1900 on converts and converts back;
 *   - a month above 12 carries into the following years (month 13 of 2003
 *     is January 2004); a month below 1 adds no months;
 *   - day numbers that would leave the 32-bit range stop at its ends.
 */
#ifndef MORVANE_FIELDS_DATE_CONVERT_H
#define MORVANE_FIELDS_DATE_CONVERT_H

#include <stdint.h>

constexpr int32_t kSecondsPerDay = 86400;
// 31 December 2499, the last day of the calendar tables.
constexpr int32_t kLastTableDayNumber = 219145;
// Room for a date text: eight characters and the NUL.
constexpr int kDateTextSize = 9;

// Month from characters 4-5, day from 6-7, year from 0-3, each piece read
// as a decimal prefix on its own (leading blanks, an optional sign, digits).
// All three are 0 for an absent or empty text.
void SplitDateText(const char* text, int32_t* month, int32_t* day, int32_t* year);

// Hour from characters 0-1 and minute from 2-3, read as above; "930" is
// hour 93, minute 0.  Both are 0 for an absent or empty text.
void SplitTimeText(const char* text, int32_t* hour, int32_t* minute);

// *seconds = second + (minute + hour * 60) * 60, without a range check; a
// result beyond 32 bits wraps around as 32-bit arithmetic does.
void ClockToSeconds(int32_t hour, int32_t minute, int32_t second, int32_t* seconds);

// SplitTimeText then ClockToSeconds with second 0: "0930" gives 34,200.
int32_t TimeTextToSeconds(const char* text);

// The day number of a date; day 0 gives one less than day 1, month 0 the
// same as month 1.
void DateToDayNumber(int32_t month, int32_t day, int32_t year, int32_t* dayNumber);

// SplitDateText then DateToDayNumber: "20030415" gives 37,724.
int32_t DateTextToDayNumber(const char* text);

// The day number of the date text "%d" of dateNumber (a yyyymmdd number)
// and the seconds of the time text "%04d" of timeNumber (an hhmm number):
// the same results as making those texts and reading them back, computed
// from the digits wherever the text has exactly eight (four) of them.
int32_t DateNumberToDayNumber(int32_t dateNumber);
int32_t TimeNumberToSeconds(int32_t timeNumber);

// The date of a day number: 0 gives 1900-01-01, 219,145 gives 2499-12-31.
void DayNumberToDate(int32_t dayNumber, int32_t* month, int32_t* day, int32_t* year);

// Writes "%4d%02d%02d" into out (at least kDateTextSize bytes), cut to
// eight characters if longer (only for years outside 1000..9999 or months
// and days outside 0..99).  Always NUL-terminated.
void FormatDateText(int32_t month, int32_t day, int32_t year, char* out);

// DayNumberToDate then FormatDateText: 37,723 gives "20030414", -1
// gives "19000100".
void DayNumberToDateText(int32_t dayNumber, char* out);

#endif
