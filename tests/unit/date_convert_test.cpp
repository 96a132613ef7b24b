// Day numbers, seconds and date texts as the alarm conversions of the field
// readers and writers use them; and the closed-form day numbers of the
// years 1900 to 9999 against the general count through the calendar
// tables, which the conversions fall back on elsewhere: the two must agree
// on every input.
#include "fields/date_convert.h"
#include "fields/date_tables.h"

#include <gtest/gtest.h>

#include <random>
#include <stdio.h>
#include <string.h>
#include <string>

namespace {

std::string DateText(int32_t dayNumber) {
    char text[kDateTextSize];
    DayNumberToDateText(dayNumber, text);
    return text;
}

int32_t DayNumber(int32_t month, int32_t day, int32_t year) {
    int32_t dayNumber = 12345;
    DateToDayNumber(month, day, year, &dayNumber);
    return dayNumber;
}

// Texts and day numbers besides the plain dates of 1900 to 2499 walked
// below; the rows marked both also convert from the number to the text.
TEST(DateConvert, DateTextsAndDayNumbers) {
    static const struct {
        const char* text;
        int32_t dayNumber;
        bool both;
    } kCases[] = {
        {"18990301", 59, false},         // no whole years are counted before 1900
        {"18960301", 60, false},         // but a leap year's February is
        {"19000001", 0, false},          // month 0 reads as month 1
        {"20030400", 37709, false},      // day 0 is one before day 1
        {"200304150930", 37724, false},  // a time stamp splits the same
        {"2003", 37619, false},          // month 0, day 0 of 2003: 31 December 2002
        {"200", -1, false},              // year 200, nothing else
        {"", -1, false}, {nullptr, -1, false},
        {"2003ab15", 37634, false},      // non-digits read as 0: 15 January 2003
        {"2003 4 5", 37714, false},      // leading blanks of each piece are skipped
        {"19000100", -1, true},
        {"25000101", 219146, true},      // 2500 still converts
        {"25000301", 219205, true}, {"26000101", 255670, true}, {"99991231", 2958463, true},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(c.dayNumber, DateTextToDayNumber(c.text)) << (c.text ? c.text : "(null)");
        if (c.both) {
            EXPECT_EQ(c.text, DateText(c.dayNumber)) << c.dayNumber;
        }
    }
}

TEST(DateConvert, NegativeDayNumbersStayInJanuary1900) {
    static const int32_t kCases[][2] = {{-1, 0}, {-2, -1}, {-31, -30}, {-400, -399}, {INT32_MIN, INT32_MIN + 1}};
    for (const auto& c : kCases) {
        int32_t month = 99, day = 99, year = 99;
        DayNumberToDate(c[0], &month, &day, &year);
        EXPECT_TRUE(month == 1 && day == c[1] && year == 1900) << c[0] << ": " << month << "/" << day << "/" << year;
    }
}

// After 2499 the Gregorian calendar goes on (2500 and 2600 are not leap
// years, 2800 is); months above 12 carry into the next years, below 1 add
// nothing.  Each row: a date, another, and the days between them.
TEST(DateConvert, CalendarBeyondTheTablesAndCarriedMonths) {
    static const int32_t kCases[][7] = {
        {2, 28, 2500, 3, 1, 2500, 1}, {2, 28, 2600, 3, 1, 2600, 1}, {2, 28, 2800, 3, 1, 2800, 2},
        {1, 1, 2500, 1, 1, 2900, 146097}, {13, 1, 2003, 1, 1, 2004, 0}, {14, 29, 2003, 2, 29, 2004, 0},
        {25, 5, 2003, 1, 5, 2005, 0}, {13, 1, 2499, 1, 1, 2500, 0}, {-5, 1, 2003, 1, 1, 2003, 0},
    };
    for (const auto& c : kCases) EXPECT_EQ(DayNumber(c[0], c[1], c[2]) + c[6], DayNumber(c[3], c[4], c[5])) << c[0];
    for (int32_t n : {219146, 240000, 300000, 1000000, 2958463, INT32_MAX}) {
        int32_t month, day, year;
        DayNumberToDate(n, &month, &day, &year);
        EXPECT_TRUE(month >= 1 && month <= 12 && day >= 1 && day <= 31) << n;
        EXPECT_EQ(n, DayNumber(month, day, year)) << n;
    }
}

TEST(DateConvert, ExtremeValuesStopAtTheEndsOfTheRange) {
    EXPECT_EQ(INT32_MAX, DayNumber(1, INT32_MAX, 2003));
    EXPECT_EQ(INT32_MAX, DayNumber(INT32_MAX, 1, 2003));
    EXPECT_EQ(INT32_MAX, DayNumber(1, 1, INT32_MAX));
    EXPECT_EQ(INT32_MIN, DayNumber(1, INT32_MIN, 1900));
    EXPECT_EQ(37620 + INT32_MIN - 1, DayNumber(1, INT32_MIN, 2003));
    EXPECT_EQ(-1, DayNumber(1, 0, INT32_MIN));
    // Texts of years beyond 9999 are cut to eight characters.
    char text[kDateTextSize + 4];
    memset(text, 'x', sizeof text);
    DayNumberToDateText(INT32_MAX, text);
    EXPECT_EQ(8u, strlen(text));
    EXPECT_EQ('x', text[kDateTextSize]);
}

TEST(DateConvert, SplitDateText) {
    static const struct {
        const char* text;
        int32_t month, day, year;
    } kCases[] = {
        {"20030415", 4, 15, 2003}, {"200304150930", 4, 15, 2003}, {"2003041", 4, 1, 2003},
        {"20030", 0, 0, 2003}, {"20", 0, 0, 20}, {"", 0, 0, 0}, {nullptr, 0, 0, 0},
        {"-0000001000000", 0, 1, 0},  // "-000", "00", "01"
        {"abcd1231", 12, 31, 0}, {"+003-1-2", -1, -2, 3},
    };
    for (const auto& c : kCases) {
        int32_t month = 77, day = 77, year = 77;
        SplitDateText(c.text, &month, &day, &year);
        EXPECT_TRUE(month == c.month && day == c.day && year == c.year)
            << (c.text ? c.text : "(null)") << ": " << month << "/" << day << "/" << year;
    }
}

TEST(DateConvert, SplitTimeTextAndSeconds) {
    static const struct {
        const char* text;
        int32_t hour, minute, seconds;
    } kCases[] = {
        {"0930", 9, 30, 34200}, {"2359", 23, 59, 86340}, {"0000", 0, 0, 0},
        {"930", 93, 0, 334800},  // three characters: hour 93
        {"12", 12, 0, 43200}, {"1", 1, 0, 3600}, {"", 0, 0, 0}, {nullptr, 0, 0, 0},
        {"-001", 0, 1, 60}, {"17455", 17, 45, 63900},
    };
    for (const auto& c : kCases) {
        int32_t hour = 77, minute = 77;
        SplitTimeText(c.text, &hour, &minute);
        const char* name = c.text ? c.text : "(null)";
        EXPECT_TRUE(hour == c.hour && minute == c.minute) << name << ": " << hour << ":" << minute;
        EXPECT_EQ(c.seconds, TimeTextToSeconds(c.text)) << name;
    }
}

// The alarm reader takes the start from its numbers; they must read as
// their texts would, also where those texts do not have eight (four) digits.
TEST(DateConvert, NumbersReadAsTheirTexts) {
    static const int32_t kDates[] = {20030415, 10000000, 99999999, 20031232, 20031300,  // 0
                                     9999999,  2003,     0,        -20030415, INT32_MIN,  // 5
                                     INT32_MAX};
    for (int32_t date : kDates) {
        char text[16];
        snprintf(text, sizeof text, "%d", static_cast<int>(date));
        EXPECT_EQ(DateTextToDayNumber(text), DateNumberToDayNumber(date)) << text;
    }
    static const int32_t kTimes[] = {0, 930, 1745, 2399, 9999, 10000, -5, -1, 32767, -32768};
    for (int32_t time : kTimes) {
        char text[16];
        snprintf(text, sizeof text, "%04d", static_cast<int>(time));
        EXPECT_EQ(TimeTextToSeconds(text), TimeNumberToSeconds(time)) << text;
    }
}

// Compares both ways of finding the day number of a date; false on a
// difference, with a failure naming it.
bool SameDayNumber(int32_t month, int32_t day, int32_t year) {
    int32_t byTables = 54321;
    DateToDayNumberByTables(month, day, year, &byTables);
    if (byTables == DayNumber(month, day, year)) return true;
    ADD_FAILURE() << year << "-" << month << "-" << day << ": " << DayNumber(month, day, year) << ", by the tables "
                  << byTables;
    return false;
}

// The same for the date of dayNumber.
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
                if (!SameDayNumber(month, day, year)) return;
            }
        }
        for (int32_t month : kOddMonths) {
            for (int32_t day : kOddMonthDays) {
                if (!SameDayNumber(month, day, year)) return;
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
                if (!SameDayNumber(month, day, year)) return;
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
        if (!SameDayNumber(month, day, year) || (i % 10 == 0 && !SameDate(any(random)))) return;
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
