/*
 * OLE Automation dates, as the device link library carries dates and times.
 *
 * An OLE date is an 8-byte IEEE double: the integer part counts days since
 * 30 December 1899 (0.0), the fraction is the time of day (0.5 = noon).
 * Before 30 December 1899 the integer part is still the day and the
 * fraction's absolute value the time: -1.25 is 29 December 1899, 06:00, and
 * -0.5 is the same instant as 0.5.
 *
 * COleDateTime below is a small stand-in for the MFC class of that name,
 * with the same validity rules and rounding, so that the record converters
 * compose and format dates exactly as on Windows:
 *   - composing accepts year 100..9999, month 1..12, day 1..days of that
 *     month (Gregorian leap years: 1900 is not one, 2000 is), hour 0..23,
 *     minute 0..59, second 0..59; anything else makes the status invalid
 *     and leaves the value as it was;
 *   - decomposing rounds to the nearest second and accepts values whose
 *     day, after rounding, lies from 1 January 100 to 31 December 9999;
 *     anything else (also NaN and infinities) cannot be decomposed;
 *   - formatting a value that is invalid or cannot be decomposed gives
 *     kOleInvalidDateText, the text MFC shows for an invalid date.
 * Pure computation: no clock, no locale, no allocation.
 */
#ifndef MORVANE_SUPPORT_OLE_DATE_H
#define MORVANE_SUPPORT_OLE_DATE_H

#include <stddef.h>

// The date and time of day an OLE date stands for.
struct OleDateParts {
    int year;    // 100..9999
    int month;   // 1..12
    int day;     // 1..31
    int hour;    // 0..23
    int minute;  // 0..59
    int second;  // 0..59
};

// What a date that is invalid or out of range formats as.
extern const char kOleInvalidDateText[];  // "Invalid DateTime"

// Composes the OLE date of parts.  On success stores it in *date and
// returns true; when the parts do not form a valid date and time returns
// false and leaves *date untouched.
bool ComposeOleDate(const OleDateParts& parts, double* date);

// Splits date into its parts, rounded to the nearest second.  Returns
// false, leaving *parts untouched, when date is outside 1 January 100 to
// 31 December 9999 or is not a number.
bool DecomposeOleDate(double date, OleDateParts* parts);

// Formats date with the strftime subset %Y (four digits, zero-padded),
// %m, %d, %H, %M, %S (two digits) and %%; every other character, and a
// '%' before any other character, is copied as it is.  A date that cannot
// be decomposed gives kOleInvalidDateText whatever the format.
// Writes at most outSize - 1 characters and a NUL (nothing when outSize is
// 0) and returns the length of the whole text, as snprintf does, so a
// result >= outSize means the text was cut.
size_t FormatOleDate(double date, const char* format, char* out, size_t outSize);

// The MFC-shaped wrapper the record converters use.
class COleDateTime {
public:
    enum DateTimeStatus { valid = 0, invalid = 1 };

    // 0.0 (30 December 1899, midnight), valid.
    COleDateTime() = default;
    // Any value, marked valid; whether it can be formatted is decided when
    // it is decomposed, as in MFC.
    explicit COleDateTime(double date) : date_(date) {}
    COleDateTime(int year, int month, int day, int hour, int minute, int second);

    // Each returns 0 and makes the object valid when the parts are valid;
    // otherwise returns 1, marks it invalid and keeps the old value.
    int SetDateTime(int year, int month, int day, int hour, int minute, int second);
    // The date at midnight.
    int SetDate(int year, int month, int day);
    // The time of day on 30 December 1899 (date value 0).
    int SetTime(int hour, int minute, int second);

    DateTimeStatus GetStatus() const { return status_; }
    double GetValue() const { return date_; }

    // False when invalid or when the value cannot be decomposed.
    bool GetParts(OleDateParts* parts) const;

    // As FormatOleDate; an invalid object gives kOleInvalidDateText.
    size_t Format(const char* format, char* out, size_t outSize) const;

private:
    double date_ = 0.0;
    DateTimeStatus status_ = valid;
};

#endif
