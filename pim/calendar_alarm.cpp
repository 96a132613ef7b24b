#include "pim/calendar_alarm.h"

#include <algorithm>

namespace morvane_pim {
namespace cal {

namespace {

// The adapter carries an alarm's lead (minutes before the start) to the
// handheld as a time of day, its digits read as hhmm: a lead comes back as
// it was only when it reads as one, 0000 to 2359 with its last two digits
// below 60.  Any other comes back as 0 (at the start), and a lead of 1 to
// 59 minutes after the start comes back as that many minutes before it.
constexpr int kLongestLead = 2359;

bool ReadsAsTimeOfDay(int lead) { return lead >= 0 && lead <= kLongestLead && lead % 100 < 60; }

// The lead the handheld gives back for one that was written.
int LeadReadBack(int written) {
    if (ReadsAsTimeOfDay(written)) return written;
    return written < 0 && written > -60 ? -written : 0;
}

// The lead nearest the wanted one that the handheld gives back unchanged:
// an alarm after the start rings at the start, one more than 23 hours 59
// minutes ahead that long ahead, and one of 60 to 99 minutes past a whole
// hundred at the nearer of hh59 and the next hundred.
int HeldLead(int64_t wanted) {
    if (wanted <= 0) return 0;
    if (wanted >= kLongestLead) return kLongestLead;
    const int lead = static_cast<int>(wanted);
    if (ReadsAsTimeOfDay(lead)) return lead;
    const int below = lead / 100 * 100 + 59, above = lead / 100 * 100 + 100;
    return lead - below <= above - lead ? below : above;
}

bool IsAbsoluteOrFromEnd(const ical::ContentLine& trigger) {
    std::string params = trigger.Params();
    std::transform(params.begin(), params.end(), params.begin(), [](unsigned char c) { return static_cast<char>(toupper(c)); });
    return params.find("VALUE=DATE-TIME") != std::string::npos || params.find("RELATED=END") != std::string::npos;
}

icaltimetype AbsoluteTrigger(const ParsedItem& item, icalproperty* trigger, icaltimetype at, const Context& context) {
    if (icaltime_is_utc(at)) return ToDeviceWall(at, icaltimezone_get_utc_timezone(), context.zone);
    icalparameter* tzid = icalproperty_get_first_parameter(trigger, ICAL_TZID_PARAMETER);
    icaltimezone* zone = tzid == nullptr ? nullptr : ResolveZone(icalparameter_get_tzid(tzid), item.calendar);
    return ToDeviceWall(at, zone, context.zone);
}

// The VALARM the handheld's alarm stands for: the first one that shows or
// sounds on the PC too (DISPLAY or AUDIO; an e-mail reminder is no
// handheld alarm, nor is Apple's ACTION:NONE, its mark for "no alarm");
// its block in the text and its place among the VALARMs, or false.
bool DeviceAlarmBlock(const ParsedItem& item, size_t* block, size_t* ordinal, size_t from = 0) {
    const std::vector<size_t> alarms = ical::ChildBlocks(item.lines, item.masterBlock, "VALARM");
    for (size_t i = from; i < alarms.size(); ++i) {
        const long action = ical::FindProperty(item.lines, item.lines.blocks[alarms[i]], "ACTION");
        std::string value = action < 0 ? std::string() : item.lines.lines[static_cast<size_t>(action)].Value();
        std::transform(value.begin(), value.end(), value.begin(), [](unsigned char c) { return static_cast<char>(toupper(c)); });
        if (!value.empty() && value != "DISPLAY" && value != "AUDIO") continue;
        *block = alarms[i];
        *ordinal = i;
        return true;
    }
    return false;
}

}  // namespace

bool AlarmFromFields(const FieldSet& fields, const icaltimetype& start, DeviceAlarm* alarm, std::string* reason) {
    *alarm = DeviceAlarm();
    if (fields.Get("11") != "1") return true;
    icaltimetype date;
    int minutes = 0;
    if (!ParseDeviceDate(fields.Get("12.D"), &date) || !ParseDeviceTime(fields.Get("12.T"), &minutes)) {
        *reason = "the alarm's date and time \"" + fields.Get("12.D") + " " + fields.Get("12.T") + "\" are not a time";
        return false;
    }
    alarm->on = true;
    alarm->lead = static_cast<int>(WallMinutes(start) - WallMinutes(AtMinutes(date, minutes)));
    return true;
}

void AlarmToFields(const DeviceAlarm& alarm, const icaltimetype& start, bool allDay, FieldSet* fields) {
    fields->Set("11", alarm.on ? "1" : "0");
    if (!alarm.on) {
        fields->Set("12.D", "00000000");
        fields->Set("12.T", "0000");
        fields->Set("13", "2");
        return;
    }
    const icaltimetype at = WallFromMinutes(WallMinutes(start) - alarm.lead);
    fields->Set("12.D", DeviceDate(at));
    fields->Set("12.T", DeviceTime(at));
    // Field 13 gives the alarm's date when it falls on another day than the
    // start, and for an all-day event the day before a nonzero lead;
    // otherwise the unit's default, 2.
    if (DaysOf(at) != DaysOf(start))
        fields->Set("13", DeviceDate(at));
    else if (allDay)
        fields->Set("13", DeviceDate(DateFromDays(DaysOf(start) - (alarm.lead != 0 ? 1 : 0))));
    else
        fields->Set("13", "2");
}

std::string AlarmBlock(const DeviceAlarm& alarm, const std::string& summary) {
    char* trigger = icaldurationtype_as_ical_string_r(icaldurationtype_from_int(-alarm.lead * 60));
    std::vector<ical::Property> lines = {
        {"ACTION", {}, "DISPLAY"},
        {"TRIGGER", {}, trigger != nullptr ? trigger : "PT0S"},
        ical::TextProperty("DESCRIPTION", summary.empty() ? "Reminder" : summary),
    };
    icalmemory_free_buffer(trigger);
    return "BEGIN:VALARM\r\n" + ical::FormatProperties(lines, "\r\n") + "END:VALARM\r\n";
}

DeviceAlarm AlarmFromItem(const ParsedItem& item, const icaltimetype& start, const icaltimetype& end,
                          const Context& context) {
    DeviceAlarm alarm;
    size_t block = 0, ordinal = 0;
    if (!DeviceAlarmBlock(item, &block, &ordinal)) return alarm;
    icalcomponent* valarm = icalcomponent_get_first_component(item.master, ICAL_VALARM_COMPONENT);
    for (size_t i = 0; valarm != nullptr && i < ordinal; ++i)
        valarm = icalcomponent_get_next_component(item.master, ICAL_VALARM_COMPONENT);
    if (valarm == nullptr) return alarm;
    icalproperty* property = icalcomponent_get_first_property(valarm, ICAL_TRIGGER_PROPERTY);
    if (property == nullptr) {
        context.Warn("its first VALARM has no TRIGGER; the handheld gets no alarm");
        return alarm;
    }
    const icaltriggertype trigger = icalproperty_get_trigger(property);
    int64_t at = 0;
    if (!icaltime_is_null_time(trigger.time)) {
        at = WallMinutes(AbsoluteTrigger(item, property, trigger.time, context));
    } else {
        icalparameter* related = icalproperty_get_first_parameter(property, ICAL_RELATED_PARAMETER);
        const bool fromEnd = related != nullptr && icalparameter_get_related(related) == ICAL_RELATED_END;
        const int seconds = icaldurationtype_as_int(trigger.duration);
        if (seconds % 60 != 0) context.Warn("its alarm has seconds, which the handheld drops");
        at = WallMinutes(fromEnd ? end : start) + seconds / 60;
    }
    const int64_t lead = WallMinutes(start) - at;
    alarm.on = true;
    alarm.lead = HeldLead(lead);
    if (alarm.lead != lead)
        context.Warn("its alarm is " + std::to_string(lead < 0 ? -lead : lead) + " minutes " +
                     (lead < 0 ? "after" : "before") + " the start; the handheld holds one " +
                     std::to_string(alarm.lead) + " minutes before it");
    size_t next = 0;
    if (DeviceAlarmBlock(item, &block, &next, ordinal + 1))
        context.Warn("the handheld holds its first alarm; the others stay on the PC");
    return alarm;
}

void MergeAlarm(const DeviceAlarm& before, const DeviceAlarm& after, bool timesMoved, const std::string& summary,
                Merger* merger) {
    const ParsedItem& base = merger->base();
    const ical::ContentText& text = base.lines;
    size_t block = 0, ordinal = 0;
    const ical::Block* first = DeviceAlarmBlock(base, &block, &ordinal) ? &text.blocks[block] : nullptr;
    const long trigger = first == nullptr ? -1 : ical::FindProperty(text, *first, "TRIGGER");
    const bool pinned = trigger >= 0 && IsAbsoluteOrFromEnd(text.lines[static_cast<size_t>(trigger)]);
    // A lead written before the handheld's limits were minded comes back
    // otherwise, which is no edit on the handheld.
    DeviceAlarm held = before;
    held.lead = LeadReadBack(before.lead);
    if ((before == after || held == after) && !(after.on && timesMoved && pinned)) return;
    if (!after.on) {
        if (first != nullptr) merger->Replace(first->first, first->last, "");
        return;
    }
    if (first == nullptr) {
        merger->InsertBefore(base.Master().last, AlarmBlock(after, summary));
        return;
    }
    // The first VALARM keeps all but its trigger.
    char* value = icaldurationtype_as_ical_string_r(icaldurationtype_from_int(-after.lead * 60));
    const std::string line = ical::FormatProperty(ical::Property{"TRIGGER", {}, value != nullptr ? value : "PT0S"}, "\r\n");
    icalmemory_free_buffer(value);
    if (trigger < 0) {
        merger->InsertBefore(first->last, line);
        return;
    }
    for (size_t i : ical::PropertyLines(text, *first))
        if (text.lines[i].name == "TRIGGER")
            merger->Replace(i, i, static_cast<long>(i) == trigger ? line : std::string());
}

}  // namespace cal
}  // namespace morvane_pim
