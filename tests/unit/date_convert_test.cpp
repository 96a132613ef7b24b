// Day numbers, seconds and date texts as the field readers' and writers' alarm conversions use them, and the
// closed-form day numbers against the count through the calendar tables; then OLE Automation dates as the
// record converters use them, and against plain references (era arithmetic, floor(), snprintf).  The
// library's shortcuts must agree with the references on every input.
#include "fields/date_convert.h"
#include "fields/date_tables.h"
#include "support/ole_date.h"

#include <gtest/gtest.h>

#include <limits>
#include <math.h>
#include <random>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

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

// Texts and day numbers besides the plain dates walked below; rows marked both also convert back.
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
        {"", -1, false}, {nullptr, -1, false}, {"19000100", -1, true},
        {"2003ab15", 37634, false},      // non-digits read as 0: 15 January 2003
        {"2003 4 5", 37714, false},      // leading blanks of each piece are skipped
        {"25000101", 219146, true}, {"25000301", 219205, true},  // 2500 still converts
        {"26000101", 255670, true}, {"99991231", 2958463, true},
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

// After 2499 the calendar goes on (2500, 2600 not leap years, 2800 one); months above 12 carry into the next
// years, below 1 add nothing.  Each row: a date, another, and the days between them.
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
        {"20030415", 4, 15, 2003}, {"200304150930", 4, 15, 2003}, {"2003041", 4, 1, 2003}, {"20030", 0, 0, 2003},
        {"20", 0, 0, 20}, {"", 0, 0, 0}, {nullptr, 0, 0, 0}, {"abcd1231", 12, 31, 0}, {"+003-1-2", -1, -2, 3},
        {"-0000001000000", 0, 1, 0},  // "-000", "00", "01"
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

// The alarm reader's numbers must read as their texts would, also texts without eight (four) digits.
TEST(DateConvert, NumbersReadAsTheirTexts) {
    char text[16];
    for (int32_t date : {20030415, 10000000, 99999999, 20031232, 20031300, 9999999, 2003, 0, -20030415, INT32_MIN,
                         INT32_MAX}) {
        snprintf(text, sizeof text, "%d", static_cast<int>(date));
        EXPECT_EQ(DateTextToDayNumber(text), DateNumberToDayNumber(date)) << text;
    }
    for (int32_t time : {0, 930, 1745, 2399, 9999, 10000, -5, -1, 32767, -32768}) {
        snprintf(text, sizeof text, "%04d", static_cast<int>(time));
        EXPECT_EQ(TimeTextToSeconds(text), TimeNumberToSeconds(time)) << text;
    }
}

// False, with a failure, when the two ways of finding a date's day number differ.
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

// Every year 1..9999 with months 1..12 and days 0..32 (past the month's end they carry on), and months
// below 1 and above 12 at the days around the month's ends.
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

// The ends of the ranges in every combination, then random inputs, of any 32-bit value and near the range.
TEST(DateClosedForm, AgreesAtTheLimitsAndOnRandomInputs) {
    static const int32_t kValues[] = {INT32_MIN, INT32_MIN + 1, -100000, -1, 0, 1, 2, 11, 12, 13, 1899, 1900, 1901,
                                      9999, 10000, 100000, 2958463, 2958464, INT32_MAX - 1, INT32_MAX};
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

// FormatDateText writes what "%4d%02d%02d" gives, cut to eight characters (a shortcut for the common case).
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

std::string Text(const OleDateParts& p) {
    char text[64];
    snprintf(text, sizeof text, "%d-%d-%d %d:%d:%d", p.year, p.month, p.day, p.hour, p.minute, p.second);
    return text;
}

// Known values compose from their parts and decompose back.
TEST(OleDate, ComposesAndDecomposesKnownTimes) {
    static const struct {
        OleDateParts parts;
        double value;
    } kCases[] = {
        {{2000, 1, 1, 12, 0, 0}, 36526.5}, {{1899, 12, 30, 17, 45, 0}, 17.75 / 24.0},
        {{1899, 12, 30, 23, 59, 59}, 86399.0 / 86400.0}, {{2003, 4, 15, 9, 30, 0}, 37726.0 + 9.5 / 24.0},
        {{1899, 12, 29, 6, 0, 0}, -1.25}, {{1800, 1, 1, 18, 0, 0}, -36522.75}, {{9999, 12, 31, 12, 0, 0}, 2958465.5},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << Text(c.parts) << " = " << c.value);
        OleDateParts p{};
        ASSERT_TRUE(DecomposeOleDate(c.value, &p));
        EXPECT_EQ(Text(p), Text(c.parts));
        double date = 12345.0;
        ASSERT_TRUE(ComposeOleDate(c.parts, &date));
        EXPECT_DOUBLE_EQ(c.value, date);
    }
}

TEST(OleDate, RejectsInvalidPartsAndLeavesTheValue) {
    static const OleDateParts kCases[] = {
        {1900, 2, 29, 0, 0, 0}, {2100, 2, 29, 0, 0, 0}, {2001, 2, 29, 0, 0, 0},  // no leap years
        {2003, 4, 31, 0, 0, 0}, {2003, 0, 1, 0, 0, 0}, {2003, 13, 1, 0, 0, 0}, {2003, 1, 0, 0, 0, 0},
        {2003, 1, 32, 0, 0, 0}, {2003, 1, 1, 24, 0, 0}, {2003, 1, 1, 0, 60, 0}, {2003, 1, 1, 0, 0, 60},
        {2003, 1, 1, -1, 0, 0}, {2003, 1, 1, 0, -1, 0}, {2003, 1, 1, 0, 0, -1}, {99, 12, 31, 0, 0, 0},
        {10000, 1, 1, 0, 0, 0}, {-1, 1, 1, 0, 0, 0}, {0, 0, 0, 0, 0, 0},
    };
    for (const OleDateParts& p : kCases) {
        double date = 12345.0;
        EXPECT_FALSE(ComposeOleDate(p, &date)) << Text(p);
        EXPECT_EQ(12345.0, date) << Text(p);
    }
}

// Every date of the years 100 to 9999 is one day after the one before and decomposes back unchanged;
// the day after a month's last is refused.
TEST(OleDate, EveryDayFromYear100To9999RoundTrips) {
    static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    double previous = -657435.0;
    int checked = 0;
    for (int year = 100; year <= 9999; ++year) {
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        for (int month = 1; month <= 12; ++month) {
            const int days = kMonthDays[month - 1] + (month == 2 && leap ? 1 : 0);
            double refused = 1.5;
            ASSERT_FALSE(ComposeOleDate({year, month, days + 1, 0, 0, 0}, &refused)) << year << "-" << month;
            for (int day = 1; day <= days; ++day) {
                const OleDateParts parts{year, month, day, 0, 0, 0};
                double date = 0.0;
                ASSERT_TRUE(ComposeOleDate(parts, &date)) << Text(parts);
                ASSERT_EQ(previous + 1.0, date) << Text(parts);
                OleDateParts p{};
                ASSERT_TRUE(DecomposeOleDate(date, &p));
                ASSERT_EQ(Text(p), Text(parts));
                previous = date;
                ++checked;
            }
        }
    }
    // 1 January 100 is -657,434 and 31 December 9999 is 2,958,465.
    EXPECT_EQ(3615900, checked);
    EXPECT_EQ(2958465.0, previous);
}

TEST(OleDate, EverySecondOfADayRoundTrips) {
    static const int kDays[][4] = {{-3, 1899, 12, 27}, {0, 1899, 12, 30}, {37726, 2003, 4, 15}};
    for (const auto& d : kDays) {
        for (int s = 0; s < 86400; ++s) {
            double date = 0.0;
            ASSERT_TRUE(ComposeOleDate({d[1], d[2], d[3], s / 3600, s / 60 % 60, s % 60}, &date));
            ASSERT_EQ(d[0], static_cast<int>(date));
            ASSERT_NEAR(s / 86400.0, fabs(date - d[0]), 1e-9);
            OleDateParts p{};
            ASSERT_TRUE(DecomposeOleDate(date, &p));
            ASSERT_EQ(s, p.hour * 3600 + p.minute * 60 + p.second) << "day " << d[0];
            ASSERT_EQ(d[3], p.day);
        }
    }
}

// An invalid date marks the object invalid and keeps the old value; only a decomposable value is formatted.
TEST(OleDate, ClassComposesLikeSetDateTime) {
    COleDateTime empty;
    EXPECT_EQ(COleDateTime::valid, empty.GetStatus());
    EXPECT_EQ(0.0, empty.GetValue());
    COleDateTime dt(2003, 12, 31, 0, 0, 0);
    EXPECT_EQ(37986.0, dt.GetValue());
    EXPECT_EQ(1, dt.SetDateTime(1900, 2, 29, 0, 0, 0));
    EXPECT_EQ(COleDateTime::invalid, dt.GetStatus());
    EXPECT_EQ(37986.0, dt.GetValue());
    char text[32];
    EXPECT_EQ(16u, dt.Format("%Y%m%d", text, sizeof text));
    EXPECT_STREQ("Invalid DateTime", text);
    OleDateParts p{};
    EXPECT_FALSE(dt.GetParts(&p));
    EXPECT_EQ(0, dt.SetDate(2000, 2, 29));
    EXPECT_EQ(COleDateTime::valid, dt.GetStatus());
    EXPECT_EQ(36585.0, dt.GetValue());
    EXPECT_EQ(0, dt.SetTime(17, 45, 0));
    EXPECT_DOUBLE_EQ(0.7395833333333334, dt.GetValue());
    ASSERT_TRUE(dt.GetParts(&p));
    EXPECT_EQ(Text(p), "1899-12-30 17:45:0");
    EXPECT_EQ(1, dt.SetTime(24, 0, 0));
    EXPECT_EQ(COleDateTime::invalid, dt.GetStatus());
    COleDateTime outOfRange(3e6);
    EXPECT_EQ(COleDateTime::valid, outOfRange.GetStatus());
    outOfRange.Format("%H%M", text, sizeof text);
    EXPECT_STREQ("Invalid DateTime", text);
    COleDateTime(37726.0 + 9.5 / 24.0).Format("%Y%m%d%H%M", text, sizeof text);
    EXPECT_STREQ("200304150930", text);
}

constexpr double kHalfSecond = 1.0 / (2.0 * 86400);
// 1 January 100 and 31 December 9999.
constexpr int32_t kMinDay = -657434;
constexpr int32_t kMaxDay = 2958465;

bool ReferenceDecompose(double date, OleDateParts* parts) {
    const double rounded = date + (date > 0.0 ? kHalfSecond : -kHalfSecond);
    if (!(rounded > kMinDay - 1.0 && rounded < kMaxDay + 1.0)) return false;
    const double magnitude = fabs(rounded);
    int seconds = static_cast<int>((magnitude - floor(magnitude)) * 86400);
    if (seconds >= 86400) seconds = 86399;
    // Days since 1 March of year 0, in 400-year eras.
    const int32_t days = static_cast<int32_t>(rounded) + 693899;
    const int32_t era = days / 146097;
    const int32_t dayOfEra = days - era * 146097;
    const int32_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int32_t marchMonth = (5 * dayOfYear + 2) / 153;
    parts->day = dayOfYear - (153 * marchMonth + 2) / 5 + 1;
    parts->month = marchMonth < 10 ? marchMonth + 3 : marchMonth - 9;
    parts->year = yearOfEra + era * 400 + (parts->month <= 2 ? 1 : 0);
    parts->hour = seconds / 3600;
    parts->minute = seconds / 60 % 60;
    parts->second = seconds % 60;
    return true;
}

// False, with a failure, when the library and the reference differ on date (refusing it: parts untouched).
bool SameParts(double date) {
    OleDateParts parts{-1, -1, -1, -1, -1, -1}, expected = parts;
    const bool decomposed = DecomposeOleDate(date, &parts);
    const bool expectedDecomposed = ReferenceDecompose(date, &expected);
    if (decomposed == expectedDecomposed && memcmp(&parts, &expected, sizeof parts) == 0) return true;
    ADD_FAILURE() << std::hexfloat << date << std::defaultfloat << " (" << date << "): " << decomposed << " "
                  << Text(parts) << ", expected " << expectedDecomposed << " " << Text(expected);
    return false;
}

// Every day of the range and a few beyond, at midnight and at a random time; then any bit pattern.
TEST(OleDateDecompose, AgreesOnEveryDayAndOnAnyBitPattern) {
    std::mt19937_64 random(37726);
    std::uniform_real_distribution<double> fraction(0.0, 1.0);
    for (int32_t day = kMinDay - 3; day <= kMaxDay + 3; ++day) {
        if (!SameParts(day) || !SameParts(day + (day < 0 ? -fraction(random) : fraction(random)))) return;
    }
    for (int i = 0; i < 100000; ++i) {
        const uint64_t bits = random();
        double date;
        memcpy(&date, &bits, sizeof date);
        if (!SameParts(date)) return;
    }
}

// Around the half seconds where rounding moves on, at the ends of the range, and values that are no dates.
TEST(OleDateDecompose, AgreesAtRoundingEdgesAndOddValues) {
    static const double kDays[] = {kMinDay - 1, kMinDay, -1, 0, 1, 37726, kMaxDay - 1, kMaxDay, kMaxDay + 1};
    static const int kSeconds[] = {0, 1, 59, 60, 3599, 3600, 43200, 86340, 86398, 86399, 86400};
    for (double day : kDays) {
        for (int s : kSeconds) {
            for (double sign : {1.0, -1.0}) {
                double below = day + sign * (s + 0.5) / 86400.0;
                double above = below;
                for (int step = 0; step < 4; ++step) {
                    if (!SameParts(below) || !SameParts(above)) return;
                    below = nextafter(below, -INFINITY);
                    above = nextafter(above, INFINITY);
                }
            }
        }
    }
    const double kLimits = std::numeric_limits<double>::max();
    static const double kOdd[] = {0.0, -0.0, kHalfSecond, -kHalfSecond, 4.9e-324, -4.9e-324, 1e-300, kLimits,
                                  -kLimits, INFINITY, -INFINITY, NAN, -NAN, 1e10, -1e10, 2147483648.0};
    for (double date : kOdd) {
        if (!SameParts(date)) return;
    }
}

// The whole text of date in format, before any cut to the buffer.
std::string ReferenceText(double date, const char* format) {
    OleDateParts p;
    if (!ReferenceDecompose(date, &p)) return "Invalid DateTime";
    std::string text;
    for (const char* f = format != nullptr ? format : ""; *f != '\0'; ++f) {
        if (*f != '%' || f[1] == '\0') {
            text += *f;
            continue;
        }
        ++f;
        char number[16] = "";
        static const char kPieces[] = "YmdHMS";
        const int values[] = {p.year, p.month, p.day, p.hour, p.minute, p.second};
        if (const char* piece = strchr(kPieces, *f)) {
            snprintf(number, sizeof number, "%0*d", *f == 'Y' ? 4 : 2, values[piece - kPieces]);
        } else {
            text += '%';
            if (*f != '%') text += *f;
        }
        text += number;
    }
    return text;
}

// At every buffer size the whole text's length is returned, as much as fits is written with a NUL, and
// nothing past the size.
TEST(OleDateFormat, AgreesWithSnprintfAtEveryBufferSize) {
    static const char* const kFormats[] = {"%Y%m%d",   "%H%M", "%Y%m%d%H%M%S", "%Y-%m-%d %H:%M:%S",
                                           "%%%Y%q%", "",     nullptr};
    std::mt19937_64 random(37726);
    std::uniform_real_distribution<double> inRange(kMinDay - 2.0, kMaxDay + 2.0);
    std::vector<double> dates = {0.0, -0.5, 36526.5, kMinDay, kMaxDay + 0.99999, kMinDay - 1.0, NAN, -1.25};
    for (int i = 0; i < 300; ++i) dates.push_back(inRange(random));
    for (double date : dates) {
        for (const char* format : kFormats) {
            const std::string expected = ReferenceText(date, format);
            for (size_t size = 0; size <= expected.size() + 2; ++size) {
                char buffer[40];
                memset(buffer, 'x', sizeof buffer);
                ASSERT_EQ(expected.size(), FormatOleDate(date, format, buffer, size)) << date << " " << size;
                if (size > 0) {
                    ASSERT_EQ(expected.substr(0, size - 1), std::string(buffer)) << date << " " << size;
                }
                for (size_t k = size; k < sizeof buffer; ++k) {
                    ASSERT_EQ('x', buffer[k]) << date << " " << size;
                }
            }
        }
    }
}

}  // namespace
