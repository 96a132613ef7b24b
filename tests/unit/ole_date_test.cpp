// OLE Automation dates: composing, decomposing and formatting as the record
// converters use them for the device link's date, time and date-time fields.
#include "support/ole_date.h"

#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>
#include <string>

namespace {

std::string Text(const OleDateParts& p) {
    char text[64];
    snprintf(text, sizeof text, "%d-%d-%d %d:%d:%d", p.year, p.month, p.day, p.hour, p.minute, p.second);
    return text;
}

// 1/86400 of a day.
constexpr double kSecond = 1.0 / 86400.0;

// Known values compose from their parts and decompose back.  (Decomposing
// and formatting any value, rounding and the buffer's bounds are checked
// against a plain reference in ole_date_reference_test.cpp; every midnight
// of the years 100 to 9999 is walked below.)
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

// Walks the calendar day by day with its own month lengths: every date of
// the years 100 to 9999 is one day after the one before and comes back
// from its value unchanged.
TEST(OleDate, EveryDayFromYear100To9999RoundTrips) {
    static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    double previous = -657435.0;
    int checked = 0;
    for (int year = 100; year <= 9999; ++year) {
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        for (int month = 1; month <= 12; ++month) {
            const int days = kMonthDays[month - 1] + (month == 2 && leap ? 1 : 0);
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
            ASSERT_NEAR(s * kSecond, fabs(date - d[0]), 1e-9);
            OleDateParts p{};
            ASSERT_TRUE(DecomposeOleDate(date, &p));
            ASSERT_EQ(s, p.hour * 3600 + p.minute * 60 + p.second) << "day " << d[0];
            ASSERT_EQ(d[3], p.day);
        }
    }
}

// The class: an invalid date marks the object invalid and keeps the old
// value; a value is formatted only when it can be decomposed.
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

}  // namespace
