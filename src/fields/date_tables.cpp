#include "fields/date_tables.h"

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

void DateToDayNumberByTables(int32_t month, int32_t day, int32_t year, int32_t* dayNumber) {
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

void DayNumberToDateByTables(int32_t dayNumber, int32_t* month, int32_t* day, int32_t* year) {
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
