/*
 * The general day number conversions of date_convert.h, counted through
 * the calendar tables of 1900 to 2499 year by year and month by month.
 *
 * They give the documented result for every input: years before 1900 or
 * beyond the tables, months above 12, day numbers below 0 or near the
 * 32-bit limits.  DateToDayNumber and DayNumberToDate compute the dates
 * of years 1900 to 9999 in closed form instead, and call these for the
 * rest; the unit tests compare the two on every day of those years.
 */
#ifndef MORVANE_FIELDS_DATE_TABLES_H
#define MORVANE_FIELDS_DATE_TABLES_H

#include <stdint.h>

// As DateToDayNumber and DayNumberToDate, for any input.
void DateToDayNumberByTables(int32_t month, int32_t day, int32_t year, int32_t* dayNumber);
void DayNumberToDateByTables(int32_t dayNumber, int32_t* month, int32_t* day, int32_t* year);

#endif
