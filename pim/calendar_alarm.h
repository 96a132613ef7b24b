// The Schedule alarm.  The handheld keeps one alarm as a lead in minutes
// before the start, counted on the wall clock; the host reads it as the
// alarm's own date and time (fields 12.D and 12.T).  An item holds it as
// its first VALARM with a relative TRIGGER ("-PT15M"); absolute triggers
// and triggers related to the end are brought to a lead when read.  Only
// a DISPLAY or AUDIO alarm is the handheld's (an e-mail reminder, or
// Apple's ACTION:NONE mark for "no alarm", is not); the other VALARMs stay
// on the PC.
#ifndef MORVANE_PIM_CALENDAR_ALARM_H
#define MORVANE_PIM_CALENDAR_ALARM_H

#include <string>

#include "pim/calendar_item.h"
#include "pim/calendar_time.h"

namespace morvane_pim {
namespace cal {

struct DeviceAlarm {
    bool on = false;
    int lead = 0;  // minutes before the start; negative: after it

    bool operator==(const DeviceAlarm& other) const { return on == other.on && (!on || lead == other.lead); }
};

// Fields 11, 12.D and 12.T for a start (an all-day event starts at 00:00).
bool AlarmFromFields(const FieldSet& fields, const icaltimetype& start, DeviceAlarm* alarm, std::string* reason);
// Fields 11, 12.D, 12.T and 13 as the host reads them.
void AlarmToFields(const DeviceAlarm& alarm, const icaltimetype& start, bool allDay, FieldSet* fields);
// A VALARM's lines (CR LF) for a summary (UTF-8).
std::string AlarmBlock(const DeviceAlarm& alarm, const std::string& summary);
// The first VALARM of an item as the handheld's alarm; start and end are
// the event's (all-day: their 00:00, the end exclusive).
DeviceAlarm AlarmFromItem(const ParsedItem& item, const icaltimetype& start, const icaltimetype& end,
                          const Context& context);
// The device's alarm into the base item's first VALARM.  timesMoved: the
// event's start changed, which moves an absolute trigger's lead too.
void MergeAlarm(const DeviceAlarm& before, const DeviceAlarm& after, bool timesMoved, const std::string& summary,
                Merger* merger);

}  // namespace cal
}  // namespace morvane_pim

#endif
