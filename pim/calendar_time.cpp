#include "pim/calendar_time.h"
#include "pim/pim.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

namespace morvane_pim {
namespace cal {

namespace {

// Names that mean UTC itself: written as "Z" times, without a VTIMEZONE.
static const char* const kUtcNames[] = {
    "UTC", "Etc/UTC", "GMT", "Etc/GMT", "Z",
    // 5
    "Universal", "Etc/Universal", "Zulu", "Etc/Zulu", "UCT",
};

bool IsUtcName(const std::string& name) {
    for (const char* utc : kUtcNames)
        if (name == utc) return true;
    return false;
}

// Only plain zone names reach libical's zone files: letters, digits and
// "_+-/", no "..", no leading "/".
bool IsZoneName(const std::string& name) {
    if (name.empty() || name[0] == '/' || name.find("..") != std::string::npos || name.size() > 64) return false;
    for (unsigned char c : name)
        if (!isalnum(c) && c != '_' && c != '+' && c != '-' && c != '/') return false;
    return true;
}

icaltimezone* BuiltinZone(const std::string& name) {
    if (IsUtcName(name)) return icaltimezone_get_utc_timezone();
    if (!IsZoneName(name)) return nullptr;
    return icaltimezone_get_builtin_timezone(name.c_str());
}

// The Olson name in a zone file's path: what follows "zoneinfo/".
std::string AfterZoneinfo(const std::string& path) {
    const size_t at = path.find("zoneinfo/");
    return at == std::string::npos ? std::string() : path.substr(at + 9);
}

std::string LookUpSystemZone() {
    const char* tz = getenv("TZ");
    if (tz != nullptr && *tz != '\0') {
        std::string name = tz[0] == ':' ? tz + 1 : tz;
        if (!name.empty() && name[0] == '/') name = AfterZoneinfo(name);
        if (BuiltinZone(name) != nullptr) return name;
    }
    std::error_code error;
    const std::filesystem::path link = std::filesystem::read_symlink("/etc/localtime", error);
    if (!error) {
        const std::string name = AfterZoneinfo(link.string());
        if (BuiltinZone(name) != nullptr) return name;
    }
    std::ifstream file("/etc/timezone");
    std::string name;
    if (file && std::getline(file, name) && BuiltinZone(name) != nullptr) return name;
    return "UTC";
}

// The system's zone as the first conversion found it, looked up again
// only when TZ changes: a sync converts thousands of items, and each
// looked at /etc/localtime anew.
std::string SystemZoneName() {
    static std::mutex mutex;
    static bool found = false;
    static std::string tzSeen, name;
    const char* tz = getenv("TZ");
    const std::string now = tz != nullptr ? tz : "";
    std::lock_guard<std::mutex> lock(mutex);
    if (!found || now != tzSeen) {
        name = LookUpSystemZone();
        tzSeen = now;
        found = true;
    }
    return name;
}

void Civil(int64_t days, int* year, int* month, int* day) {
    // Howard Hinnant's civil_from_days.
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(yoe + era * 400 + (*month <= 2 ? 1 : 0));
}

bool AllDigits(const std::string& text, size_t count) {
    if (text.size() != count) return false;
    for (char c : text)
        if (!isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

int64_t DayNumber(int year, int month, int day) {
    // Howard Hinnant's days_from_civil.
    const int64_t y = year - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int64_t DaysOf(const icaltimetype& t) { return DayNumber(t.year, t.month, t.day); }

int64_t WallMinutes(const icaltimetype& t) { return DaysOf(t) * 1440 + (t.is_date ? 0 : t.hour * 60 + t.minute); }

icaltimetype DateFromDays(int64_t days) {
    icaltimetype t = icaltime_null_date();
    Civil(days, &t.year, &t.month, &t.day);
    return t;
}

icaltimetype WallFromMinutes(int64_t minutes) {
    int64_t days = minutes / 1440;
    int64_t rest = minutes % 1440;
    if (rest < 0) {
        rest += 1440;
        --days;
    }
    return AtMinutes(DateFromDays(days), static_cast<int>(rest));
}

int WeekdayOf(const icaltimetype& t) {
    const int64_t days = DaysOf(t);  // 1970-01-01 was a Thursday
    return static_cast<int>(((days % 7) + 7 + 4) % 7);
}

int DaysInMonth(int year, int month) { return icaltime_days_in_month(month, year); }

bool ParseDeviceDate(const std::string& text, icaltimetype* date) {
    if (!AllDigits(text, 8)) return false;
    const int year = atoi(text.substr(0, 4).c_str());
    const int month = atoi(text.substr(4, 2).c_str());
    const int day = atoi(text.substr(6, 2).c_str());
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
    *date = icaltime_null_date();
    date->year = year;
    date->month = month;
    date->day = day;
    return true;
}

bool ParseDeviceTime(const std::string& text, int* minutes) {
    if (!AllDigits(text, 4)) return false;
    const int hour = atoi(text.substr(0, 2).c_str());
    const int minute = atoi(text.substr(2, 2).c_str());
    if (hour > 23 || minute > 59) return false;
    *minutes = hour * 60 + minute;
    return true;
}

std::string DeviceDate(const icaltimetype& t) { return DateValue(t); }

std::string DeviceTime(const icaltimetype& t) {
    char text[8];
    snprintf(text, sizeof text, "%02d%02d", t.hour % 100, t.minute % 100);
    return text;
}

icaltimetype AtMinutes(const icaltimetype& date, int minutes) {
    icaltimetype t = icaltime_null_time();
    t.year = date.year;
    t.month = date.month;
    t.day = date.day;
    t.hour = minutes / 60;
    t.minute = minutes % 60;
    return t;
}

std::string DateValue(const icaltimetype& t) {
    char text[16];
    snprintf(text, sizeof text, "%04d%02d%02d", t.year % 10000, t.month % 100, t.day % 100);
    return text;
}

std::string DateTimeValue(const icaltimetype& t) {
    char text[24];
    snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d", t.year % 10000, t.month % 100, t.day % 100,
             t.hour % 100, t.minute % 100, t.second % 100);
    return text;
}

std::string UtcValue(const icaltimetype& wall, const DeviceZone& zone) {
    icaltimetype t = wall;
    t.zone = nullptr;
    if (!zone.utc) icaltimezone_convert_time(&t, zone.zone, icaltimezone_get_utc_timezone());
    return DateTimeValue(t) + "Z";
}

ical::Property DateProperty(const char* name, const icaltimetype& date) {
    return ical::Property{name, {{"VALUE", "DATE"}}, DateValue(date)};
}

ical::Property ZonedProperty(const char* name, const icaltimetype& wall, const DeviceZone& zone) {
    if (zone.utc) return ical::Property{name, {}, DateTimeValue(wall) + "Z"};
    return ical::Property{name, {{"TZID", zone.name}}, DateTimeValue(wall)};
}

ical::Property FloatingProperty(const char* name, const icaltimetype& wall) {
    return ical::Property{name, {}, DateTimeValue(wall)};
}

bool FindDeviceZone(const std::string& setting, DeviceZone* zone, std::string* reason) {
    const std::string name = setting.empty() ? SystemZoneName() : setting;
    icaltimezone* found = BuiltinZone(name);
    if (found == nullptr) {
        *reason = "unknown time zone '" + name + "' (an Olson name like Europe/Berlin)";
        return false;
    }
    zone->utc = found == icaltimezone_get_utc_timezone();
    zone->name = zone->utc ? "UTC" : name;
    zone->zone = found;
    return true;
}

std::string ZoneDefinition(const DeviceZone& zone) {
    if (zone.utc) return std::string();
    static std::mutex mutex;
    static std::map<std::string, std::string> made;
    std::lock_guard<std::mutex> lock(mutex);
    auto known = made.find(zone.name);
    if (known != made.end()) return known->second;
    std::string text;
    icalcomponent* builtin = icaltimezone_get_component(zone.zone);
    if (builtin != nullptr) {
        icalcomponent* copy = icalcomponent_new_clone(builtin);
        // Changes before 1970 would only make every item longer.
        icaltimezone_truncate_vtimezone(copy, icaltime_from_string("19700101T000000Z"), icaltime_null_time(), 0);
        icalproperty* tzid = icalcomponent_get_first_property(copy, ICAL_TZID_PROPERTY);
        if (tzid != nullptr) icalproperty_set_tzid(tzid, zone.name.c_str());
        char* lines = icalcomponent_as_ical_string_r(copy);
        if (lines != nullptr) text = lines;
        icalmemory_free_buffer(lines);
        icalcomponent_free(copy);
    }
    made[zone.name] = text;
    return text;
}

icaltimezone* ResolveZone(const std::string& tzid, icalcomponent* calendar) {
    if (IsUtcName(tzid)) return icaltimezone_get_utc_timezone();
    icaltimezone* own = icalcomponent_get_timezone(calendar, tzid.c_str());
    if (own != nullptr) return own;
    // Names with a vendor's prefix, "/mozilla.org/20050126_1/America/New_York":
    // try each tail after a "/".
    icaltimezone* builtin = BuiltinZone(tzid);
    for (size_t at = tzid.find('/'); builtin == nullptr && at != std::string::npos; at = tzid.find('/', at + 1))
        builtin = BuiltinZone(tzid.substr(at + 1));
    return builtin;
}

icaltimetype ToDeviceWall(icaltimetype t, icaltimezone* from, const DeviceZone& zone) {
    t.zone = nullptr;
    if (from != nullptr && from != zone.zone) icaltimezone_convert_time(&t, from, zone.zone);
    t.zone = nullptr;
    return t;
}

bool ReadMoment(const ParsedItem& item, icalproperty* property, const Context& context, const char* what,
                Moment* moment) {
    icalvalue* value = icalproperty_get_value(property);
    if (value == nullptr) return false;
    const icalvalue_kind kind = icalvalue_isa(value);
    if (kind != ICAL_DATE_VALUE && kind != ICAL_DATETIME_VALUE) return false;
    icaltimetype t = kind == ICAL_DATE_VALUE ? icalvalue_get_date(value) : icalvalue_get_datetime(value);
    if (icaltime_is_null_time(t) || t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > DaysInMonth(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 60)
        return false;
    *moment = Moment();
    moment->original = t;
    if (t.is_date) {
        moment->frame = Frame::kDate;
        moment->wall = t;
        return true;
    }
    if (t.second != 0) {
        context.Warn(std::string(what) + " has seconds, which the handheld drops");
        t.second = 0;
    }
    icaltimezone* from = nullptr;
    icalparameter* tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
    const bool utc = icaltime_is_utc(t);
    if (utc) {
        from = icaltimezone_get_utc_timezone();
    } else if (tzid != nullptr && icalparameter_get_tzid(tzid) != nullptr) {
        const std::string name = icalparameter_get_tzid(tzid);
        from = name == context.zone.name ? context.zone.zone : ResolveZone(name, item.calendar);
        if (from == nullptr)
            context.Warn(std::string(what) + " is in the unknown time zone '" + name +
                         "'; it is taken as the handheld's time");
    }
    moment->frame = from == nullptr ? (tzid != nullptr ? Frame::kDevice : Frame::kFloating)
                    : from == context.zone.zone ? Frame::kDevice
                                                : Frame::kOther;
    moment->source = moment->frame == Frame::kOther ? from : nullptr;
    t.zone = nullptr;
    moment->original.second = 0;
    moment->original.zone = nullptr;
    moment->wall = ToDeviceWall(t, moment->source, context.zone);
    return true;
}

}  // namespace cal

std::string SystemTimeZone() { return cal::SystemZoneName(); }

bool IsKnownTimeZone(const std::string& name) { return cal::BuiltinZone(name) != nullptr; }

}  // namespace morvane_pim
