/*
 * Gregorian dates and day counts in closed form.  The record readers turn
 * several dates of every record into day counts and back; walking years
 * and months costs hundreds of instructions a date, these a few dozen.
 *
 * Days are counted from 1 March of year 0 (day 0).  With the year taken to
 * start in March the leap day falls last, so the days before a month do
 * not depend on the year, and every 400 years (146,097 days) repeat.
 * Valid for years 1 to 9999 and months 1 to 12; unsigned arithmetic, so
 * that dividing by constants needs no sign corrections.
 */
#ifndef MORVANE_SUPPORT_GREGORIAN_DAYS_H
#define MORVANE_SUPPORT_GREGORIAN_DAYS_H

#include <stdint.h>

constexpr uint32_t kGregorianDaysPer400Years = 146097;

struct GregorianDate {
    int32_t year;
    int32_t month;  // 1..12
    int32_t day;    // 1..31
};

// The day count of year-month-day (day 1..31).
constexpr uint32_t GregorianDayCount(uint32_t year, uint32_t month, uint32_t day) {
    // January and February count as months 13 and 14 of the year before.
    const uint32_t early = month <= 2 ? 1 : 0;
    const uint32_t y = year - early;
    const uint32_t m = month + 12 * early;
    // 1,461 days to 4 years, less the century years that are not leap years.
    const uint32_t century = y / 100;
    const uint32_t yearStart = 1461 * y / 4 - century + century / 4;
    // The days from 1 March to the first of month m (3..14): the months
    // from March to January repeat 31, 30, 31, 30, 31 days.
    return yearStart + (979 * m - 2919) / 32 + day - 1;
}

// The date of a day count: the inverse of GregorianDayCount.  Counting
// fourfold spreads the days of 400 years evenly over their 4 centuries and
// the days of a century over its years; a multiply and a shift stand for
// each division by a number of days.
constexpr GregorianDate GregorianDateOf(uint32_t dayCount) {
    const uint32_t fourfold = 4 * dayCount + 3;
    const uint32_t century = fourfold / kGregorianDaysPer400Years;
    const uint32_t dayOfCentury = fourfold % kGregorianDaysPer400Years / 4;
    // 2,939,745 / 2^32 is 4 / 1,461 closely enough: the high half of the
    // product is the year within the century, the low half its day.
    const uint64_t yearProduct = uint64_t{2939745} * (4 * dayOfCentury + 3);
    const uint32_t yearOfCentury = static_cast<uint32_t>(yearProduct >> 32);
    const uint32_t dayOfYear = static_cast<uint32_t>(yearProduct) / 2939745 / 4;
    // Likewise 2,141 / 2^16 for 5 / 153, the months from March (3..14).
    const uint32_t monthProduct = 2141 * dayOfYear + 197913;
    const uint32_t early = dayOfYear >= 306 ? 1 : 0;  // January or February
    const uint32_t year = 100 * century + yearOfCentury + early;
    const uint32_t month = (monthProduct >> 16) - 12 * early;
    const uint32_t day = (monthProduct & 0xFFFF) / 2141 + 1;
    return GregorianDate{static_cast<int32_t>(year), static_cast<int32_t>(month), static_cast<int32_t>(day)};
}

static_assert(GregorianDayCount(1, 1, 1) == 306, "1 January of year 1");
static_assert(GregorianDayCount(1900, 1, 1) == 693901, "1 January 1900");
static_assert(GregorianDayCount(2000, 3, 1) == 5 * kGregorianDaysPer400Years, "1 March 2000");
static_assert(GregorianDateOf(693901).year == 1900 && GregorianDateOf(693901).month == 1 &&
                  GregorianDateOf(693901).day == 1,
              "1 January 1900");
static_assert(GregorianDateOf(693900).year == 1899 && GregorianDateOf(693900).month == 12 &&
                  GregorianDateOf(693900).day == 31,
              "31 December 1899");

#endif
