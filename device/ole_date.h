/*
 * Floating-point dates as the link carries them: days since 30 December
 * 1899, the fraction being the time of day.  Internal to the device.
 */
#ifndef MORVANE_DEVICE_OLE_DATE_H
#define MORVANE_DEVICE_OLE_DATE_H

#include <stdint.h>

namespace tethra_sim {

struct CivilTime {
    int year, month, day, hour, minute, second;
};

// Days from 1899-12-30 to the given date (proleptic Gregorian calendar).
int64_t DaysSinceOleEpoch(int year, int month, int day);
// False when the parts do not form a date and time.
bool IsValidCivil(const CivilTime& t);
double CivilToOle(const CivilTime& t);
// False for values before the epoch or not finite; seconds are rounded.
bool OleToCivil(double value, CivilTime* out);

}  // namespace tethra_sim

#endif
