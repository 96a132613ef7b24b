// Gregorian day counts against a walk through the calendar with its own
// month lengths and leap rule, over every day of the years 1 to 9999.
#include "support/gregorian_days.h"

#include <gtest/gtest.h>

namespace {

TEST(GregorianDays, EveryDayOfTheYears1To9999CountsOnAndConvertsBack) {
    static const uint32_t kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    uint32_t expected = GregorianDayCount(1, 1, 1);
    for (uint32_t year = 1; year <= 9999; ++year) {
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        for (uint32_t month = 1; month <= 12; ++month) {
            const uint32_t days = kMonthDays[month - 1] + (month == 2 && leap ? 1 : 0);
            for (uint32_t day = 1; day <= days; ++day) {
                ASSERT_EQ(expected, GregorianDayCount(year, month, day)) << year << "-" << month << "-" << day;
                const GregorianDate date = GregorianDateOf(expected);
                ASSERT_TRUE(date.year == static_cast<int32_t>(year) && date.month == static_cast<int32_t>(month) &&
                            date.day == static_cast<int32_t>(day))
                    << expected << ": " << date.year << "-" << date.month << "-" << date.day;
                ++expected;
            }
        }
    }
    // 1 March of year 0 is day 0; 3,652,059 days from year 1 to 9999.
    EXPECT_EQ(306u, GregorianDayCount(1, 1, 1));
    EXPECT_EQ(306u + 3652059u, expected);
}

}  // namespace
