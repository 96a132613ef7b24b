// OLE Automation dates: composing, decomposing and formatting as the record
// converters use them for the device link's date, time and date-time fields;
// then decomposing and formatting against plain references: the day through
// signed era arithmetic, the time of day through floor(), the text through
// snprintf.  The library takes shortcuts for each; every result must agree.
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

std::string Text(const OleDateParts& p) {
    char text[64];
    snprintf(text, sizeof text, "%d-%d-%d %d:%d:%d", p.year, p.month, p.day, p.hour, p.minute, p.second);
    return text;
}

// 1/86400 of a day.
constexpr double kSecond = 1.0 / 86400.0;

// Known values compose from their parts and decompose back.  (Decomposing
// and formatting any value, rounding and the buffer's bounds are checked
// against the references below; every midnight of the years 100 to 9999 is
// walked below too.)
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
// from its value unchanged, and the day after a month's last is refused.
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

// Compares the two on date; false on the first difference, with a failure
// naming it.  Both must leave the parts alone when they refuse the date.
bool SameParts(double date) {
    OleDateParts parts{-1, -1, -1, -1, -1, -1}, expected = parts;
    const bool decomposed = DecomposeOleDate(date, &parts);
    const bool expectedDecomposed = ReferenceDecompose(date, &expected);
    if (decomposed == expectedDecomposed && memcmp(&parts, &expected, sizeof parts) == 0) return true;
    ADD_FAILURE() << std::hexfloat << date << std::defaultfloat << " (" << date << "): " << decomposed << " "
                  << Text(parts) << ", expected " << expectedDecomposed << " " << Text(expected);
    return false;
}

// Every day from before 1 January 100 to after 31 December 9999, at
// midnight and at a random time of day; then any bit pattern: NaNs,
// infinities, denormals and far-off values.
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

// Around the half seconds where rounding moves on to the next second, the
// last second of a day, the ends of the range, and values that are not
// dates at all.
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

// Every buffer size from none to more than the text: the length returned
// is the whole text's, the buffer holds as much as fits and a NUL, and
// nothing past the size is written.
TEST(OleDateFormat, AgreesWithSnprintfAtEveryBufferSize) {
    static const char* const kFormats[] = {"%Y%m%d", "%H%M", "%Y%m%d%H%M%S", "%Y-%m-%d %H:%M:%S", "%%%Y%q%", "", nullptr};
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
                const std::string kept = size == 0 ? std::string() : expected.substr(0, size - 1);
                if (size > 0) {
                    ASSERT_EQ(kept, std::string(buffer)) << date << " " << size;
                }
                for (size_t k = size; k < sizeof buffer; ++k) {
                    ASSERT_EQ('x', buffer[k]) << date << " " << size;
                }
            }
        }
    }
}

}  // namespace
