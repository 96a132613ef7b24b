// The handheld's repeat rules and RRULEs.  The handheld repeats an event
// by one of five periods (RepeatPeriod):
//   1 daily, 2 weekly on a set of days (DayPattern), 3 monthly on the
//   start's day of the month, 4 monthly on the start's weekday in the same
//   week of the month (the 1st to 4th; a start on day 29 to 31 stands for
//   the last such weekday, BYDAY=-1XX), 5 yearly on the start's date;
// every RepeatCount periods (INTERVAL), until RepeatEndDate or for ever.
// A richer RRULE reaches the handheld in the nearest form that puts no
// occurrence on a day the item does not have.
#ifndef MORVANE_PIM_CALENDAR_REPEAT_H
#define MORVANE_PIM_CALENDAR_REPEAT_H

#include <string>

#include "pim/calendar_item.h"
#include "pim/calendar_time.h"

namespace morvane_pim {
namespace cal {

struct DeviceRule {
    int period = 0;    // 0: no repeat
    int interval = 1;  // 1..255
    int days = 0;      // weekly: bit 0 Sunday .. bit 6 Saturday (the host's weekDays order)
    bool hasEnd = false;
    icaltimetype end = icaltime_null_date();
};

// How an RRULE's UNTIL is written: as the start is (a date, floating) or in
// UTC (a start with a TZID, or in UTC).
enum class UntilForm { kDate, kFloating, kUtc };

// The rule of host fields 2, 14, 15, 22 and 23 for a start date; false
// with the reason for a period or date the handheld does not have.
bool RuleFromFields(const FieldSet& fields, const icaltimetype& start, DeviceRule* rule, std::string* reason);
// Fields 2, 14, 15, 22 and 23 of a rule, as the handheld reads them.
void RuleToFields(const DeviceRule& rule, FieldSet* fields);
// The RepeatInfo the host reads for a Schedule record's fields.
RepeatInfo RepeatInfoOf(const FieldSet& fields);
// Fields 14, 15, 22 and 23 as one text (X-MORVANE-REPEAT-FIELDS), and back.
std::string RepeatFieldsText(const FieldSet& fields);
bool RepeatFieldsFromText(const std::string& text, FieldSet* fields);

// The RRULE value of a rule starting at start (the handheld's wall time).
std::string RruleValue(const DeviceRule& rule, const icaltimetype& start, UntilForm form, const DeviceZone& zone);
// The UNTIL of a rule's end, in a form.
std::string UntilValue(const icaltimetype& end, UntilForm form, const DeviceZone& zone);
// What a rule repeats on, apart from its end: equal keys, same pattern.
std::string RuleKey(const DeviceRule& rule, const icaltimetype& start);
// Words for a warning: "weekly on Tue, Thu until 20270331".
std::string DescribeRule(const DeviceRule& rule);

// The handheld's rule for an item's master component starting at start,
// with warnings for what it cannot hold.
DeviceRule RuleFromItem(const ParsedItem& item, const Moment& start, const Context& context);

// A series whose start the handheld moved (was the item before the merge,
// now after it): its EXDATE values and the RECURRENCE-ID of each changed
// occurrence name the same occurrences of now's rule as they named of
// was's, RDATE values move as the start moved (calendar_exceptions.cpp);
// a series made all-day, or given a time, gives them its start's form.
// True with *text the item so mended; false when nothing needs it.
bool FollowSeries(const ParsedItem& was, const ParsedItem& now, const Context& context, std::string* text);
// A series no longer repeated: its changed occurrences go.
void DropOverrides(Merger* merger);

}  // namespace cal
}  // namespace morvane_pim

#endif
