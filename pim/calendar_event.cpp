// Schedule records and VEVENTs.
//   FromDate/ToDate/FromTime/ToTime/AllDayFlag  DTSTART, DTEND (an all-day
//       event as VALUE=DATE, DTEND the day after its last day; a timed one
//       in the handheld's zone)
//   RepeatFlag, RepeatPeriod, RepeatCount, DayPattern, RepeatEndDate  RRULE
//   AlarmFlag, AlarmTime (12.D, 12.T; 13 follows from them)  the first VALARM
//   Description SUMMARY, Location LOCATION, NoteMemo DESCRIPTION,
//   Category CATEGORIES, Secret CLASS:PRIVATE
// Fields no standard property holds, written only when they are not what
// the rest implies: EventFlag (X-MORVANE-EVENT-FLAG; else AllDayFlag),
// DeleteFlag (X-MORVANE-DELETE-FLAG; else 0), SilentLoud
// (X-MORVANE-SILENT-LOUD; else 1), TimeZone (X-MORVANE-TIMEZONE; else
// empty), and fields 14, 15, 22, 23 when the rule alone does not give them
// (X-MORVANE-REPEAT-FIELDS, "period/count/pattern/end").  The defaults are
// what a record the PC wrote reads back with: the adapter stores SilentLoud
// 1 and DayPattern 0 for it.  ScheduleID is always empty.
#include <algorithm>

#include "pim/calendar_alarm.h"
#include "pim/calendar_item.h"
#include "pim/calendar_repeat.h"
#include "pim/calendar_time.h"

namespace morvane_pim {
namespace cal {

namespace {

struct XField {
    const char* property;
    const char* id;
};

static const XField kXFields[] = {
    {"X-MORVANE-EVENT-FLAG",  "10"},
    {"X-MORVANE-DELETE-FLAG", "17"},
    {"X-MORVANE-SILENT-LOUD", "20"},
    {"X-MORVANE-TIMEZONE",    "21"},
};
const char kRepeatFields[] = "X-MORVANE-REPEAT-FIELDS";

bool Fail(Problem* problem, uint32_t line, const std::string& reason) {
    problem->line = line;
    problem->reason = reason;
    return false;
}

// An event's dates and times as the handheld has them.
struct EventTimes {
    bool allDay = false;
    icaltimetype start = icaltime_null_time();  // all-day: the first day
    icaltimetype end = icaltime_null_time();    // all-day: the last day
    bool hasEnd = true;                         // a timed event's ToTime

    icaltimetype AlarmBase() const { return allDay ? AtMinutes(start, 0) : start; }
    icaltimetype EndInstant() const { return allDay ? AtMinutes(DateFromDays(DaysOf(end) + 1), 0) : end; }
};

// How the item writes timed values: in the handheld's zone, floating, or
// in the zone the item already used.
struct TimeStyle {
    Frame frame = Frame::kDevice;
    std::string tzid;               // kOther: the TZID; empty for UTC
    icaltimezone* zone = nullptr;  // kOther
};

bool TimesFromFields(const FieldSet& fields, EventTimes* times, std::string* reason) {
    icaltimetype from, to;
    if (!ParseDeviceDate(fields.Get("3"), &from)) {
        *reason = "FromDate \"" + fields.Get("3") + "\" is not a date";
        return false;
    }
    to = from;
    const std::string& toText = fields.Get("4");
    if (!toText.empty() && toText != "0" && !ParseDeviceDate(toText, &to)) {
        *reason = "ToDate \"" + toText + "\" is not a date";
        return false;
    }
    times->allDay = fields.Get("9") == "1";
    if (times->allDay) {
        times->start = from;
        times->end = to;
        return true;
    }
    int startMinutes = 0, endMinutes = 0;
    if (!fields.Get("5").empty() && !ParseDeviceTime(fields.Get("5"), &startMinutes)) {
        *reason = "FromTime \"" + fields.Get("5") + "\" is not a time";
        return false;
    }
    times->start = AtMinutes(from, startMinutes);
    times->hasEnd = !fields.Get("6").empty();
    if (times->hasEnd && !ParseDeviceTime(fields.Get("6"), &endMinutes)) {
        *reason = "ToTime \"" + fields.Get("6") + "\" is not a time";
        return false;
    }
    times->end = times->hasEnd ? AtMinutes(to, endMinutes) : times->start;
    return true;
}

ical::Property TimeProperty(const char* name, const icaltimetype& wall, const TimeStyle& style, const Context& context) {
    if (style.frame == Frame::kFloating) return FloatingProperty(name, wall);
    if (style.frame != Frame::kOther) return ZonedProperty(name, wall, context.zone);
    icaltimetype t = wall;
    icaltimezone_convert_time(&t, context.zone.zone, style.zone);
    if (style.tzid.empty()) return ical::Property{name, {}, DateTimeValue(t) + "Z"};
    return ical::Property{name, {{"TZID", style.tzid}}, DateTimeValue(t)};
}

void AddTimes(std::vector<ical::Property>* out, const EventTimes& times, const TimeStyle& style,
              const Context& context) {
    if (times.allDay) {
        out->push_back(DateProperty("DTSTART", times.start));
        out->push_back(DateProperty("DTEND", DateFromDays(DaysOf(times.end) + 1)));
        return;
    }
    out->push_back(TimeProperty("DTSTART", times.start, style, context));
    if (times.hasEnd) out->push_back(TimeProperty("DTEND", times.end, style, context));
}

UntilForm FormOf(const EventTimes& times, const TimeStyle& style) {
    return times.allDay ? UntilForm::kDate : style.frame == Frame::kFloating ? UntilForm::kFloating : UntilForm::kUtc;
}

// What an item without the X- property stands for.  The adapter stores
// SilentLoud 1 whatever the PC sends, so 1 is what every record the PC
// wrote reads back with.
std::string DefaultOf(const char* id) { return std::string(id) == "20" ? "1" : "0"; }

std::string XValue(const FieldSet& fields, const char* id) {
    const std::string& value = fields.Get(id);
    if (std::string(id) == "10") return value != fields.Get("9") ? value : std::string();
    if (std::string(id) == "21") return value;
    return value != DefaultOf(id) ? value : std::string();
}

std::string RepeatXValue(const FieldSet& fields, const DeviceRule& rule) {
    FieldSet canonical;
    RuleToFields(rule, &canonical);
    const std::string raw = RepeatFieldsText(fields);
    return raw != RepeatFieldsText(canonical) ? raw : std::string();
}

void AddXProperties(std::vector<ical::Property>* out, const FieldSet& fields, const DeviceRule& rule) {
    for (const XField& x : kXFields) {
        const std::string value = XValue(fields, x.id);
        if (!value.empty()) out->push_back(ical::Property{x.property, {}, value});
    }
    const std::string repeat = RepeatXValue(fields, rule);
    if (!repeat.empty()) out->push_back(ical::Property{kRepeatFields, {}, repeat});
}

// An X-MORVANE value we wrote: a short number.
std::string OwnValue(const ParsedItem& item, const char* property) {
    const std::string value = item.Text(property);
    return value.size() <= 8 && value.find_first_not_of("-0123456789") == std::string::npos ? value : std::string();
}

// Fields 14, 15, 22 and 23 as they were when they say the same as the rule.
void ApplyRepeatFields(const ParsedItem& item, const DeviceRule& rule, const icaltimetype& start, FieldSet* fields) {
    FieldSet own;
    if (!RepeatFieldsFromText(item.Text(kRepeatFields), &own)) return;
    own.Set("2", fields->Get("2"));
    DeviceRule said;
    std::string reason;
    if (rule.period != 0 && (!RuleFromFields(own, start, &said, &reason) || RuleKey(said, start) != RuleKey(rule, start) ||
                             said.hasEnd != rule.hasEnd || (said.hasEnd && DaysOf(said.end) != DaysOf(rule.end))))
        return;
    for (const char* id : {"14", "15", "22", "23"}) fields->Set(id, own.Get(id));
}

void ReadEnd(const ParsedItem& item, const Moment& start, const Context& context, EventTimes* times) {
    times->end = times->start;
    icalproperty* dtend = icalcomponent_get_first_property(item.master, ICAL_DTEND_PROPERTY);
    icalproperty* duration = icalcomponent_get_first_property(item.master, ICAL_DURATION_PROPERTY);
    Moment end;
    if (dtend != nullptr && ReadMoment(item, dtend, context, "DTEND", &end)) {
        if (times->allDay) {
            const bool midnight = end.wall.is_date || (end.wall.hour == 0 && end.wall.minute == 0);
            times->end = DateFromDays(std::max(DaysOf(end.wall) - (midnight ? 1 : 0), DaysOf(start.wall)));
        } else {
            times->end = end.wall.is_date ? AtMinutes(end.wall, 0) : end.wall;
        }
    } else if (duration != nullptr) {
        const icaldurationtype length = icalproperty_get_duration(duration);
        if (times->allDay) {
            const int64_t days = std::max(icaldurationtype_as_int(length) / 86400, 1);
            times->end = DateFromDays(DaysOf(start.wall) + days - 1);
        } else {
            icaltimetype t = icaltime_add(start.original, length);
            t.zone = nullptr;
            times->end = ToDeviceWall(t, start.source, context.zone);
            times->end.second = 0;
        }
    }
    if (!times->allDay && WallMinutes(times->end) < WallMinutes(times->start)) times->end = times->start;
}

void TimesToFields(const EventTimes& times, FieldSet* fields) {
    fields->Set("3", DeviceDate(times.start));
    fields->Set("4", DeviceDate(times.end));
    fields->Set("5", times.allDay ? "" : DeviceTime(times.start));
    fields->Set("6", times.allDay || !times.hasEnd ? "" : DeviceTime(times.end));
    fields->Set("9", times.allDay ? "1" : "0");
}

// The style of the base item's DTSTART, kept when the times change.
TimeStyle StyleOf(const ParsedItem& item, const Context& context) {
    TimeStyle style;
    icalproperty* dtstart = icalcomponent_get_first_property(item.master, ICAL_DTSTART_PROPERTY);
    Moment start;
    Context quiet = context;
    quiet.warnings = nullptr;
    if (dtstart == nullptr || !ReadMoment(item, dtstart, quiet, "DTSTART", &start)) return style;
    if (start.frame == Frame::kFloating || start.frame == Frame::kOther) style.frame = start.frame;
    if (start.frame == Frame::kOther) {
        style.zone = start.source;
        icalparameter* tzid = icalproperty_get_first_parameter(dtstart, ICAL_TZID_PARAMETER);
        if (tzid != nullptr && !icaltime_is_utc(start.original)) style.tzid = icalparameter_get_tzid(tzid);
        if (style.tzid.empty()) style.zone = icaltimezone_get_utc_timezone();
    }
    return style;
}

// The rule of the base item with the handheld's end.
std::string WithEnd(const std::string& rrule, const DeviceRule& rule, UntilForm form, const DeviceZone& zone) {
    std::string value;
    size_t at = 0;
    while (at <= rrule.size()) {
        size_t semicolon = rrule.find(';', at);
        if (semicolon == std::string::npos) semicolon = rrule.size();
        std::string part = rrule.substr(at, semicolon - at);
        std::string key = part.substr(0, part.find('='));
        for (char& c : key) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        if (key != "UNTIL" && key != "COUNT" && !part.empty()) value += (value.empty() ? "" : ";") + part;
        at = semicolon + 1;
    }
    if (rule.hasEnd) value += ";UNTIL=" + UntilValue(rule.end, form, zone);
    return value;
}

void MergeRepeat(const FieldSet& base, const FieldSet& device, const EventTimes& before, const EventTimes& after,
                 const TimeStyle& style, const Context& context, Merger* merger) {
    DeviceRule was, now;
    std::string reason;
    RuleFromFields(base, before.start, &was, &reason);
    RuleFromFields(device, after.start, &now, &reason);
    const std::string wasX = RepeatXValue(base, was), nowX = RepeatXValue(device, now);
    if (wasX != nowX)
        merger->ReplaceProperties({kRepeatFields},
                                  nowX.empty() ? "" : ical::FormatProperty({kRepeatFields, {}, nowX}, "\r\n"));
    if (now.period == 0 && was.period != 0) {
        merger->ReplaceProperties({"RRULE", "RDATE", "EXDATE"}, "");
        DropOverrides(merger);
        return;
    }
    if (now.period == 0) return;
    const ical::ContentLine* rrule = merger->base().Line("RRULE");
    const bool samePattern = was.period != 0 && RuleKey(was, before.start) == RuleKey(now, after.start);
    const bool sameEnd = was.hasEnd == now.hasEnd && (!now.hasEnd || DaysOf(was.end) == DaysOf(now.end));
    const bool untilForm = before.allDay != after.allDay && now.hasEnd;
    const UntilForm form = FormOf(after, style);
    if (samePattern && sameEnd && !untilForm) return;
    const std::string value = samePattern && rrule != nullptr ? WithEnd(rrule->Value(), now, form, context.zone)
                                                              : RruleValue(now, after.start, form, context.zone);
    merger->ReplaceProperties({"RRULE"}, ical::FormatProperty({"RRULE", {}, value}, "\r\n"));
}

}  // namespace

bool EventToItem(const FieldSet& fields, const std::string& uid, const Context& context, std::string* text,
                 Problem* problem) {
    EventTimes times;
    DeviceRule rule;
    DeviceAlarm alarm;
    std::string reason;
    if (!TimesFromFields(fields, &times, &reason) || !RuleFromFields(fields, times.start, &rule, &reason) ||
        !AlarmFromFields(fields, times.AlarmBase(), &alarm, &reason))
        return Fail(problem, 0, reason);
    const TimeStyle style;
    std::vector<ical::Property> p;
    p.push_back(ical::TextProperty("UID", uid));
    p.push_back(ical::Property{"DTSTAMP", {}, UtcValue(times.AlarmBase(), context.zone)});
    AddTimes(&p, times, style, context);
    if (rule.period != 0)
        p.push_back(ical::Property{"RRULE", {}, RruleValue(rule, times.start, FormOf(times, style), context.zone)});
    AddTextProperty(&p, "SUMMARY", context, fields.Get("7"));
    AddTextProperty(&p, "LOCATION", context, fields.Get("8"));
    AddTextProperty(&p, "DESCRIPTION", context, fields.Get("16"));
    AddCategory(&p, context, fields.Get("19"));
    AddSecret(&p, fields.Get("18"));
    AddXProperties(&p, fields, rule);
    const std::string alarmLines = alarm.on ? AlarmBlock(alarm, ItemText(context, fields.Get("7"))) : "";
    const std::string component = "BEGIN:VEVENT\r\n" + ical::FormatProperties(p, "\r\n") + alarmLines + "END:VEVENT\r\n";
    *text = CalendarText(times.allDay ? std::string() : ZoneDefinition(context.zone), component);
    return true;
}

bool ItemToEvent(const ParsedItem& item, const Context& context, FieldSet* fields, RepeatInfo* repeat,
                 Problem* problem) {
    icalproperty* dtstart = icalcomponent_get_first_property(item.master, ICAL_DTSTART_PROPERTY);
    Moment start;
    if (dtstart == nullptr || !ReadMoment(item, dtstart, context, "DTSTART", &start)) {
        const ical::ContentLine* line = item.Line("DTSTART");
        return Fail(problem, line != nullptr ? line->number : item.lines.lines[item.Master().first].number,
                    "the event has no start date (DTSTART)");
    }
    EventTimes times;
    times.allDay = start.frame == Frame::kDate;
    times.start = start.wall;
    ReadEnd(item, start, context, &times);
    const DeviceRule rule = RuleFromItem(item, start, context);
    if (rule.period != 0 && times.allDay && DaysOf(times.end) != DaysOf(times.start)) {
        context.Warn("the handheld repeats an all-day event on its first day alone");
        times.end = times.start;
    }
    fields->Set("1", "");
    TimesToFields(times, fields);
    RuleToFields(rule, fields);
    ApplyRepeatFields(item, rule, times.start, fields);
    fields->Set("7", DeviceText(context, item.Text("SUMMARY"), "SUMMARY"));
    fields->Set("8", DeviceText(context, item.Text("LOCATION"), "LOCATION"));
    fields->Set("16", DeviceText(context, item.Text("DESCRIPTION"), "DESCRIPTION"));
    fields->Set("18", SecretOf(item));
    fields->Set("19", CategoryOf(item, context));
    const DeviceAlarm alarm = AlarmFromItem(item, times.AlarmBase(), times.EndInstant(), context);
    AlarmToFields(alarm, times.AlarmBase(), times.allDay, fields);
    for (const XField& x : kXFields) {
        const std::string value = OwnValue(item, x.property);
        const std::string fallback = std::string(x.id) == "10" ? fields->Get("9") : std::string(x.id) == "21" ? "" : DefaultOf(x.id);
        fields->Set(x.id, value.empty() ? fallback : value);
    }
    *repeat = RepeatInfoOf(*fields);
    return true;
}

bool MergeEvent(const FieldSet& base, const FieldSet& device, const Context& context, Merger* merger,
                Problem* problem) {
    EventTimes before, after;
    DeviceAlarm alarmBefore, alarmAfter;
    DeviceRule rule;
    std::string reason;
    if (!TimesFromFields(base, &before, &reason) || !TimesFromFields(device, &after, &reason) ||
        !RuleFromFields(device, after.start, &rule, &reason) ||
        !AlarmFromFields(base, before.AlarmBase(), &alarmBefore, &reason) ||
        !AlarmFromFields(device, after.AlarmBase(), &alarmAfter, &reason))
        return Fail(problem, 0, "the device record: " + reason);
    MergeText(base, device, "7", "SUMMARY", context, merger);
    MergeText(base, device, "8", "LOCATION", context, merger);
    MergeText(base, device, "16", "DESCRIPTION", context, merger);
    MergeCategory(base, device, "19", context, merger);
    MergeSecret(base, device, "18", merger);
    const TimeStyle style = StyleOf(merger->base(), context);
    bool timesChanged = false;
    for (const char* id : {"3", "4", "5", "6", "9"}) timesChanged |= Changed(base, device, id);
    if (timesChanged) {
        std::vector<ical::Property> times;
        AddTimes(&times, after, style, context);
        merger->ReplaceProperties({"DTSTART", "DTEND", "DURATION"}, ical::FormatProperties(times, "\r\n"));
        if (!after.allDay && style.frame == Frame::kDevice) merger->AddZone(context.zone.name, ZoneDefinition(context.zone));
    }
    MergeRepeat(base, device, before, after, style, context, merger);
    const bool moved = WallMinutes(before.AlarmBase()) != WallMinutes(after.AlarmBase());
    MergeAlarm(alarmBefore, alarmAfter, moved, ItemText(context, device.Get("7")), merger);
    for (const XField& x : kXFields) {
        const std::string was = XValue(base, x.id), now = XValue(device, x.id);
        if (was != now)
            merger->ReplaceProperties({x.property}, now.empty() ? "" : ical::FormatProperty({x.property, {}, now}, "\r\n"));
    }
    return true;
}

}  // namespace cal
}  // namespace morvane_pim
