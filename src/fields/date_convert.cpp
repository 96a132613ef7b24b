#include "fields/date_convert.h"

#include <stdio.h>
#include <string.h>

namespace {

constexpr int kCenturyCount = 6;  // 1900 to 2499, and 2500 as the end mark

// First year of each century of the tables, and its day number.
static const int32_t kCenturyStartYear[kCenturyCount + 1] = {
    1900, 2000, 2100, 2200, 2300,  // 0
    2400, 2500,                    // 5
};
static const int32_t kCenturyStartDay[kCenturyCount + 1] = {
    0,      36524,  73049, 109573, 146097,  // 0
    182621, 219146,                         // 5
};

// Length of the year at place k (0..99) within a century.  Place 0, the
// century year itself, is a leap year only every 400 years: see YearLength.
static const int16_t kYearLengthInCentury[100] = {
    365, 365, 365, 365, 366, 365, 365, 365, 366, 365,  // 0
    365, 365, 366, 365, 365, 365, 366, 365, 365, 365,  // 10
    366, 365, 365, 365, 366, 365, 365, 365, 366, 365,  // 20
    365, 365, 366, 365, 365, 365, 366, 365, 365, 365,  // 30
    366, 365, 365, 365, 366, 365, 365, 365, 366, 365,  // 40
    365, 365, 366, 365, 365, 365, 366, 365, 365, 365,  // 50
    366, 365, 365, 365, 366, 365, 365, 365, 366, 365,  // 60
    365, 365, 366, 365, 365, 365, 366, 365, 365, 365,  // 70
    366, 365, 365, 365, 366, 365, 365, 365, 366, 365,  // 80
    365, 365, 366, 365, 365, 365, 366, 365, 365, 365,  // 90
};

static const int8_t kMonthLength[12] = {
    31, 28, 31, 30, 31,  // January
    30, 31, 31, 30, 31,  // June
    30, 31,              // November
};

// Beyond the tables the calendar repeats every 400 years.
constexpr int64_t kDaysPer400Years = 146097;

bool IsLeapYear(int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int32_t YearLength(int32_t centuryStartYear, int32_t place) {
    if (place == 0) {
        return centuryStartYear % 400 == 0 ? 366 : 365;
    }
    return kYearLengthInCentury[place];
}

int32_t MonthLength(int32_t month, bool leapYear) {
    return kMonthLength[month - 1] + (month == 2 && leapYear ? 1 : 0);
}

int32_t ClampToInt32(int64_t value) {
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

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

// Days from 1 January of year 2500 to 1 January of year (year >= 2500).
int64_t DaysFrom2500(int64_t year) {
    auto daysBefore = [](int64_t y) {
        const int64_t past = y - 1;
        return past * 365 + past / 4 - past / 100 + past / 400;
    };
    return daysBefore(year) - daysBefore(2500);
}

// Day number of 1 January of year, counting no years before 1900.
int64_t DayNumberOfYearStart(int64_t year) {
    if (year > kCenturyStartYear[kCenturyCount]) {
        return kCenturyStartDay[kCenturyCount] + DaysFrom2500(year);
    }
    // A century year is reached from the century before it, through all
    // 100 of that century's years.
    int c = 0;
    while (c < kCenturyCount - 1 && kCenturyStartYear[c + 1] < year) {
        ++c;
    }
    int64_t days = kCenturyStartDay[c];
    const int32_t start = kCenturyStartYear[c];
    for (int64_t y = start; y < year; ++y) {
        days += YearLength(start, static_cast<int32_t>(y - start));
    }
    return days;
}

// The date of day number dayNumber >= 219,146 (1 January 2500 onward).
void DateAfterTables(int64_t dayNumber, int32_t* month, int32_t* day, int32_t* year) {
    int64_t rest = dayNumber - kCenturyStartDay[kCenturyCount];
    int64_t y = kCenturyStartYear[kCenturyCount] + 400 * (rest / kDaysPer400Years);
    rest %= kDaysPer400Years;
    while (rest >= (IsLeapYear(y) ? 366 : 365)) {
        rest -= IsLeapYear(y) ? 366 : 365;
        ++y;
    }
    const bool leap = IsLeapYear(y);
    int32_t m = 1;
    while (m < 12 && rest >= MonthLength(m, leap)) {
        rest -= MonthLength(m, leap);
        ++m;
    }
    *month = m;
    *day = static_cast<int32_t>(rest + 1);
    *year = static_cast<int32_t>(y);
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
    int64_t fullYear = year;
    if (month > 12) {
        fullYear += (month - 1) / 12;
        month = (month - 1) % 12 + 1;
    }
    int64_t days = DayNumberOfYearStart(fullYear);
    const bool leap = IsLeapYear(fullYear);
    for (int32_t m = 1; m < month; ++m) {
        days += MonthLength(m, leap);
    }
    *dayNumber = ClampToInt32(days + day - 1);
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
        int32_t dayNumber;
        DateToDayNumber(dateNumber / 100 % 100, dateNumber % 100, dateNumber / 10000, &dayNumber);
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
    // The tables count days from 1, day 1 being 1 January 1900.
    const int64_t n = int64_t{dayNumber} + 1;
    if (n > kCenturyStartDay[kCenturyCount]) {
        DateAfterTables(dayNumber, month, day, year);
        return;
    }
    int c = 0;
    while (n > kCenturyStartDay[c + 1]) {
        ++c;
    }
    const int32_t start = kCenturyStartYear[c];
    int64_t rest = n - kCenturyStartDay[c];
    int32_t y = start;
    for (int i = 0; i < 99 && rest - YearLength(start, y - start) >= 1; ++i) {
        rest -= YearLength(start, y - start);
        ++y;
    }
    const bool leap = IsLeapYear(y);
    int32_t m = 1;
    while (m < 12 && rest - MonthLength(m, leap) >= 1) {
        rest -= MonthLength(m, leap);
        ++m;
    }
    *month = m;
    *day = static_cast<int32_t>(rest);
    *year = y;
}

void FormatDateText(int32_t month, int32_t day, int32_t year, char* out) {
    if (year >= 1000 && year <= 9999 && month >= 0 && month <= 99 && day >= 0 && day <= 99) {
        // Exactly eight digits: written directly rather than formatted.
        const int32_t digits = (year * 100 + month) * 100 + day;
        int32_t rest = digits;
        for (int k = kDateTextSize - 2; k >= 0; --k, rest /= 10) out[k] = static_cast<char>('0' + rest % 10);
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
