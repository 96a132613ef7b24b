// The closed-form day numbers of the years 1900 to 9999 against the general
// count through the calendar tables, which the conversions fall back on
// elsewhere: the two must agree on every input.
#include "fields/date_convert.h"
#include "fields/date_tables.h"

#include <gtest/gtest.h>

#include <random>
#include <stdio.h>
#include <string.h>

namespace {

int32_t DayNumber(int32_t month, int32_t day, int32_t year) {
    int32_t dayNumber = 12345;
    DateToDayNumber(month, day, year, &dayNumber);
    return dayNumber;
}

int32_t DayNumberByTables(int32_t month, int32_t day, int32_t year) {
    int32_t dayNumber = 54321;
    DateToDayNumberByTables(month, day, year, &dayNumber);
    return dayNumber;
}

// Compares both ways of finding the date of dayNumber; false on the
// first difference, with a failure naming it.
bool SameDate(int32_t dayNumber) {
    int32_t month = 77, day = 77, year = 77;
    int32_t tableMonth = 88, tableDay = 88, tableYear = 88;
    DayNumberToDate(dayNumber, &month, &day, &year);
    DayNumberToDateByTables(dayNumber, &tableMonth, &tableDay, &tableYear);
    if (month == tableMonth && day == tableDay && year == tableYear) return true;
    ADD_FAILURE() << "day number " << dayNumber << ": " << year << "-" << month << "-" << day << ", by the tables "
                  << tableYear << "-" << tableMonth << "-" << tableDay;
    return false;
}

// Every year 1..9999 with every month 1..12 and every day 0..32 (the days
// past the month's end carry on into the next), and the months below 1 and
// above 12 at the days around the month's ends.
TEST(DateClosedForm, DateToDayNumberAgreesOnEveryDayOfTheYears1To9999) {
    static const int32_t kOddMonths[] = {-1, 0, 13, 14, 24, 25, 120};
    static const int32_t kOddMonthDays[] = {0, 1, 28, 29, 31};
    for (int32_t year = 1; year <= 9999; ++year) {
        for (int32_t month = 1; month <= 12; ++month) {
            for (int32_t day = 0; day <= 32; ++day) {
                ASSERT_EQ(DayNumberByTables(month, day, year), DayNumber(month, day, year))
                    << year << "-" << month << "-" << day;
            }
        }
        for (int32_t month : kOddMonths) {
            for (int32_t day : kOddMonthDays) {
                ASSERT_EQ(DayNumberByTables(month, day, year), DayNumber(month, day, year))
                    << year << "-" << month << "-" << day;
            }
        }
    }
}

// Every day number from before 1900 to after 9999.
TEST(DateClosedForm, DayNumberToDateAgreesOnEveryDayOfTheYears1900To9999) {
    for (int32_t dayNumber = -400; dayNumber <= 2958463 + 400; ++dayNumber) {
        if (!SameDate(dayNumber)) return;
    }
}

// The ends of the ranges (the 32-bit limits, years and days far outside)
// in every combination, then random inputs, both of any 32-bit value and
// near the ordinary range.
TEST(DateClosedForm, AgreesAtTheLimitsAndOnRandomInputs) {
    static const int32_t kValues[] = {INT32_MIN, INT32_MIN + 1, -100000, -1, 0,         1,     2,
                                      11,        12,            13,      1899, 1900, 1901,  9999,
                                      10000,     100000,        2958463, 2958464, INT32_MAX - 1, INT32_MAX};
    for (int32_t month : kValues) {
        for (int32_t day : kValues) {
            for (int32_t year : kValues) {
                ASSERT_EQ(DayNumberByTables(month, day, year), DayNumber(month, day, year))
                    << year << "-" << month << "-" << day;
            }
        }
        if (!SameDate(month)) return;
    }
    std::mt19937 random(20030415);
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
    std::uniform_int_distribution<int32_t> nearYear(1850, 10050);
    std::uniform_int_distribution<int32_t> nearMonth(-2, 15);
    std::uniform_int_distribution<int32_t> nearDay(-40, 70);
    for (int i = 0; i < 200000; ++i) {
        const int32_t month = i % 4 == 0 ? any(random) : nearMonth(random);
        const int32_t day = i % 8 == 1 ? any(random) : nearDay(random);
        const int32_t year = i % 16 == 2 ? any(random) : nearYear(random);
        ASSERT_EQ(DayNumberByTables(month, day, year), DayNumber(month, day, year))
            << year << "-" << month << "-" << day;
        if (i % 10 == 0 && !SameDate(any(random))) return;
    }
}

// FormatDateText writes the text "%4d%02d%02d" gives, cut to eight
// characters: directly for years of four digits with months and days of
// two, through the formatter otherwise.
TEST(DateClosedForm, DateTextsAreWhatTheFormatterWrites) {
    static const int32_t kPieces[] = {-1, 0, 1, 2, 9, 10, 11, 12, 13, 29, 30, 31, 32, 59, 90, 99, 100};
    auto same = [](int32_t month, int32_t day, int32_t year) {
        char expected[48];
        snprintf(expected, sizeof expected, "%4d%02d%02d", static_cast<int>(year), static_cast<int>(month),
                 static_cast<int>(day));
        expected[kDateTextSize - 1] = '\0';
        char text[kDateTextSize + 1];
        memset(text, 'x', sizeof text);
        FormatDateText(month, day, year, text);
        if (strcmp(expected, text) == 0 && text[kDateTextSize] == 'x') return true;
        ADD_FAILURE() << year << "-" << month << "-" << day << ": " << text << ", expected " << expected;
        return false;
    };
    for (int32_t year = 999; year <= 10000; ++year) {
        for (int32_t month : kPieces) {
            for (int32_t day : kPieces) {
                if (!same(month, day, year)) return;
            }
        }
    }
    for (int32_t year : {0, 1900, 2003, -2003, INT32_MIN, INT32_MAX}) {
        for (int32_t month = -100; month <= 120; ++month) {
            for (int32_t day = -100; day <= 120; ++day) {
                if (!same(month, day, year)) return;
            }
        }
    }
}

}  // namespace
