// Dates and times between the handheld and iCalendar items.  The handheld
// knows wall-clock dates ("yyyymmdd") and times ("hhmm") and nothing of
// zones; an item's timed values are written in the handheld's zone (its
// TZID and VTIMEZONE, or UTC) and whatever an item brings (UTC, floating,
// other zones) is read as the handheld's wall time.
#ifndef MORVANE_PIM_CALENDAR_TIME_H
#define MORVANE_PIM_CALENDAR_TIME_H

#include <stdint.h>

#include <string>

#include "pim/calendar_item.h"

namespace morvane_pim {
namespace cal {

// Wall-clock arithmetic, without zones: days since 1970-01-01 and minutes
// since its midnight.
int64_t DayNumber(int year, int month, int day);
int64_t WallMinutes(const icaltimetype& t);
icaltimetype DateFromDays(int64_t days);
icaltimetype WallFromMinutes(int64_t minutes);
int64_t DaysOf(const icaltimetype& t);
// Sunday 0 .. Saturday 6.
int WeekdayOf(const icaltimetype& t);
int DaysInMonth(int year, int month);

// The device's texts.  Dates are eight digits of a real date; times four
// digits of 00:00 to 23:59.
bool ParseDeviceDate(const std::string& text, icaltimetype* date);
bool ParseDeviceTime(const std::string& text, int* minutes);
std::string DeviceDate(const icaltimetype& t);
std::string DeviceTime(const icaltimetype& t);
icaltimetype AtMinutes(const icaltimetype& date, int minutes);

// Values and properties we write.
std::string DateValue(const icaltimetype& t);      // yyyymmdd
std::string DateTimeValue(const icaltimetype& t);  // yyyymmddThhmmss
std::string UtcValue(const icaltimetype& wall, const DeviceZone& zone);  // ...Z
ical::Property DateProperty(const char* name, const icaltimetype& date);
ical::Property ZonedProperty(const char* name, const icaltimetype& wall, const DeviceZone& zone);
ical::Property FloatingProperty(const char* name, const icaltimetype& wall);

// The zone a setting names; empty: the system's (TZ, /etc/localtime,
// /etc/timezone), else UTC.  False with the reason for a name libical
// does not know.
bool FindDeviceZone(const std::string& setting, DeviceZone* zone, std::string* reason);
// The zone's VTIMEZONE as CR LF lines (TZID its Olson name, changes from
// 1970 on); empty for UTC.
std::string ZoneDefinition(const DeviceZone& zone);
// The zone an item's TZID names: its own VTIMEZONE, else libical's
// built-in zones by name; null when unknown.
icaltimezone* ResolveZone(const std::string& tzid, icalcomponent* calendar);

// How an item wrote a time.
enum class Frame { kDate, kFloating, kDevice, kOther };

// A DATE or DATE-TIME property read as the handheld's wall time.
struct Moment {
    icaltimetype wall = icaltime_null_time();  // zone-less; a DATE stays a date
    Frame frame = Frame::kFloating;
    icaltimezone* source = nullptr;  // kOther: the item's zone
    icaltimetype original = icaltime_null_time();  // as the item wrote it, in its own zone
};

// False when the property holds no date.  Seconds are dropped and an
// unknown zone taken as the handheld's, each with a warning naming what.
bool ReadMoment(const ParsedItem& item, icalproperty* property, const Context& context, const char* what,
                Moment* moment);
// A wall time of a zone (null: the handheld's own) as the handheld's.
icaltimetype ToDeviceWall(icaltimetype t, icaltimezone* from, const DeviceZone& zone);

}  // namespace cal
}  // namespace morvane_pim

#endif
