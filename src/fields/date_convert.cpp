#include "fields/date_convert.h"

#include "fields/date_tables.h"
#include "support/decimal_text.h"
#include "support/gregorian_days.h"

#include <stdio.h>
#include <string.h>

namespace {

// Day number 0, 1 January 1900, as a Gregorian day count.
constexpr uint32_t kDayCountOf1900 = GregorianDayCount(1900, 1, 1);
// The last day computed in closed form, 31 December 9999.
constexpr int32_t kLastClosedFormDayNumber =
    static_cast<int32_t>(GregorianDayCount(9999, 12, 31) - kDayCountOf1900);
static_assert(kLastClosedFormDayNumber == 2958463, "31 December 9999");

// Reads the characters [first, first + count) of text as a decimal prefix,
// never looking past the text's NUL.
int32_t ReadPiece(const char* text, int first, int count) {
    for (int i = 0; i < first; ++i) {
        if (text[i] == '\0') {
            return 0;
        }
    }
    const char* p = text + first;
    const char* end = p;
    while (end < p + count && *end != '\0') {
        ++end;
    }
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) {
        ++p;
    }
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    int32_t value = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        value = value * 10 + (*p - '0');
        ++p;
    }
    return negative ? -value : value;
}

}  // namespace

void SplitDateText(const char* text, int32_t* month, int32_t* day, int32_t* year) {
    *month = 0;
    *day = 0;
    *year = 0;
    if (text == nullptr || text[0] == '\0') {
        return;
    }
    *month = ReadPiece(text, 4, 2);
    *day = ReadPiece(text, 6, 2);
    *year = ReadPiece(text, 0, 4);
}

void SplitTimeText(const char* text, int32_t* hour, int32_t* minute) {
    *hour = 0;
    *minute = 0;
    if (text == nullptr || text[0] == '\0') {
        return;
    }
    *hour = ReadPiece(text, 0, 2);
    *minute = ReadPiece(text, 2, 2);
}

void ClockToSeconds(int32_t hour, int32_t minute, int32_t second, int32_t* seconds) {
    const int64_t total = second + (minute + int64_t{hour} * 60) * 60;
    *seconds = static_cast<int32_t>(static_cast<uint32_t>(total));
}

int32_t TimeTextToSeconds(const char* text) {
    int32_t hour;
    int32_t minute;
    int32_t seconds;
    SplitTimeText(text, &hour, &minute);
    ClockToSeconds(hour, minute, 0, &seconds);
    return seconds;
}

void DateToDayNumber(int32_t month, int32_t day, int32_t year, int32_t* dayNumber) {
    // From 1900 on the tables count the Gregorian calendar, so a date of a
    // year up to 9999 with a month of 1 to 12 is its day count from 1900.
    // The day is added apart: any day moves on from the first of the month,
    // and a sum beyond 32 bits stops at the end of the range.
    if (year >= 1900 && year <= 9999 && month >= 1 && month <= 12) {
        const int64_t days = int64_t{GregorianDayCount(year, month, 1) - kDayCountOf1900} + day - 1;
        *dayNumber = days > INT32_MAX ? INT32_MAX : days < INT32_MIN ? INT32_MIN : static_cast<int32_t>(days);
        return;
    }
    DateToDayNumberByTables(month, day, year, dayNumber);
}

int32_t DateTextToDayNumber(const char* text) {
    int32_t month;
    int32_t day;
    int32_t year;
    int32_t dayNumber;
    SplitDateText(text, &month, &day, &year);
    DateToDayNumber(month, day, year, &dayNumber);
    return dayNumber;
}

int32_t DateNumberToDayNumber(int32_t dateNumber) {
    if (dateNumber >= 10000000 && dateNumber <= 99999999) {
        // Positive: its digits are taken apart without signed divisions.
        const uint32_t digits = static_cast<uint32_t>(dateNumber);
        int32_t dayNumber;
        DateToDayNumber(static_cast<int32_t>(digits / 100 % 100), static_cast<int32_t>(digits % 100),
                        static_cast<int32_t>(digits / 10000), &dayNumber);
        return dayNumber;
    }
    // Fewer digits or a sign: the pieces fall elsewhere in the text.
    char text[16];
    snprintf(text, sizeof text, "%d", static_cast<int>(dateNumber));
    return DateTextToDayNumber(text);
}

int32_t TimeNumberToSeconds(int32_t timeNumber) {
    if (timeNumber >= 0 && timeNumber <= 9999) {
        int32_t seconds;
        ClockToSeconds(timeNumber / 100, timeNumber % 100, 0, &seconds);
        return seconds;
    }
    char text[16];
    snprintf(text, sizeof text, "%04d", static_cast<int>(timeNumber));
    return TimeTextToSeconds(text);
}

void DayNumberToDate(int32_t dayNumber, int32_t* month, int32_t* day, int32_t* year) {
    if (dayNumber >= 0 && dayNumber <= kLastClosedFormDayNumber) {
        const GregorianDate date = GregorianDateOf(static_cast<uint32_t>(dayNumber) + kDayCountOf1900);
        *month = date.month;
        *day = date.day;
        *year = date.year;
        return;
    }
    DayNumberToDateByTables(dayNumber, month, day, year);
}

void FormatDateText(int32_t month, int32_t day, int32_t year, char* out) {
    if (year >= 1000 && year <= 9999 && month >= 0 && month <= 99 && day >= 0 && day <= 99) {
        // Exactly eight digits: written directly rather than formatted.
        const uint32_t fullYear = static_cast<uint32_t>(year);
        WriteDigitPair(fullYear / 100, out);
        WriteDigitPair(fullYear % 100, out + 2);
        WriteDigitPair(static_cast<uint32_t>(month), out + 4);
        WriteDigitPair(static_cast<uint32_t>(day), out + 6);
        out[kDateTextSize - 1] = '\0';
        return;
    }
    char text[48];
    snprintf(text, sizeof text, "%4d%02d%02d", static_cast<int>(year), static_cast<int>(month),
             static_cast<int>(day));
    const size_t length = strlen(text) < kDateTextSize - 1 ? strlen(text) : kDateTextSize - 1;
    memcpy(out, text, length);
    out[length] = '\0';
}

void DayNumberToDateText(int32_t dayNumber, char* out) {
    int32_t month;
    int32_t day;
    int32_t year;
    DayNumberToDate(dayNumber, &month, &day, &year);
    FormatDateText(month, day, year, out);
}
