// ToDo records and VTODOs.
//   DueDate DUE and StartDate DTSTART (dates, VALUE=DATE)
//   FinishFlag STATUS (COMPLETED or NEEDS-ACTION), EndDate COMPLETED (the
//       completion day at noon on the handheld, in UTC; the host reads an
//       EndDate only while FinishFlag is 1)
//   Priority PRIORITY: the host's 0 low, 1 normal, 2 high (the device's
//       larger numbers are the more urgent: link priority 4 reads 2) as
//       9, 5 and 1; reading, 1 to 4 is high, 5 and none normal, 6 to 9 low;
//       another host value also goes into X-MORVANE-PRIORITY
//   Description SUMMARY, Note DESCRIPTION, Category CATEGORIES,
//   Secret CLASS:PRIVATE
#include <ctype.h>
#include <stdlib.h>

#include <algorithm>

#include "pim/calendar_item.h"
#include "pim/calendar_time.h"

namespace morvane_pim {
namespace cal {

namespace {

const char kOwnPriority[] = "X-MORVANE-PRIORITY";

bool Fail(Problem* problem, const std::string& reason) {
    problem->line = 0;
    problem->reason = reason;
    return false;
}

int ItemPriority(const std::string& host) {
    const int value = atoi(host.c_str());
    return value <= 0 ? 9 : value == 1 ? 5 : 1;
}

std::string HostPriority(int item) {
    if (item >= 1 && item <= 4) return "2";
    if (item >= 6 && item <= 9) return "0";
    return "1";
}

// A host priority the three levels do not give back.
bool NeedsOwnPriority(const std::string& host) { return HostPriority(ItemPriority(host)) != host; }

bool OptionalDate(const FieldSet& fields, const char* id, const char* name, icaltimetype* date, bool* present,
                  std::string* reason) {
    const std::string& text = fields.Get(id);
    *present = !text.empty();
    if (*present && !ParseDeviceDate(text, date)) {
        *reason = std::string(name) + " \"" + text + "\" is not a date";
        return false;
    }
    return true;
}

struct TodoDates {
    icaltimetype due, start, end;
    bool hasDue = false, hasStart = false, hasEnd = false;
};

bool DatesFromFields(const FieldSet& fields, TodoDates* dates, std::string* reason) {
    return OptionalDate(fields, "1", "DueDate", &dates->due, &dates->hasDue, reason) &&
           OptionalDate(fields, "8", "StartDate", &dates->start, &dates->hasStart, reason) &&
           OptionalDate(fields, "9", "EndDate", &dates->end, &dates->hasEnd, reason);
}

void AddStatus(std::vector<ical::Property>* out, const FieldSet& fields, const TodoDates& dates, const Context& context) {
    const bool done = fields.Get("3") == "1";
    out->push_back(ical::Property{"STATUS", {}, done ? "COMPLETED" : "NEEDS-ACTION"});
    if (done && dates.hasEnd)
        out->push_back(ical::Property{"COMPLETED", {}, UtcValue(AtMinutes(dates.end, 12 * 60), context.zone)});
}

void AddPriority(std::vector<ical::Property>* out, const std::string& host) {
    out->push_back(ical::Property{"PRIORITY", {}, std::to_string(ItemPriority(host))});
    if (NeedsOwnPriority(host)) out->push_back(ical::Property{kOwnPriority, {}, host});
}

// A date property's date on the handheld; a time of day is dropped, with a
// warning unless it is midnight on the handheld (todoman writes a date as
// its midnight in UTC).  The time a task was done is never kept: its
// seconds are no loss either.
std::string DateOf(const ParsedItem& item, icalproperty_kind kind, const char* name, const Context& context) {
    icalproperty* property = icalcomponent_get_first_property(item.master, kind);
    Context quiet = context;
    if (kind == ICAL_COMPLETED_PROPERTY) quiet.warnings = nullptr;
    Moment moment;
    if (property == nullptr || !ReadMoment(item, property, quiet, name, &moment)) return std::string();
    if (!moment.wall.is_date && kind != ICAL_COMPLETED_PROPERTY && WallMinutes(moment.wall) % 1440 != 0)
        context.Warn(std::string("the handheld keeps the date of ") + name + " without its time");
    return DeviceDate(moment.wall);
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(toupper(c)); });
    return text;
}

// The property with its value moved by seconds, its parameters (TZID,
// VALUE=DATE) kept.
std::string Moved(icalproperty* property, icaltimetype at, int seconds) {
    if (at.is_date) icaltime_adjust(&at, seconds / 86400, 0, 0, 0);  // a date moves by whole days only
    else icaltime_adjust(&at, 0, 0, 0, seconds);
    icalproperty* moved = icalproperty_new_clone(property);
    if (icalproperty_isa(moved) == ICAL_DUE_PROPERTY) icalproperty_set_due(moved, at);
    else icalproperty_set_dtstart(moved, at);
    char* line = icalproperty_as_ical_string_r(moved);
    std::string text = line != nullptr ? line : "";
    free(line);
    icalproperty_free(moved);
    return text;
}

// A date the handheld changed.  A date with a time of day (Thunderbird's
// 17:00 in its zone, todoman's midnight in UTC) moves by as many days, its
// time and zone kept, so that DTSTART and DUE stay of one kind.
void MergeDate(const FieldSet& base, const FieldSet& device, const char* id, const char* name, Merger* merger) {
    if (!Changed(base, device, id)) return;
    const ParsedItem& item = merger->base();
    icaltimetype date, was;
    std::string lines;
    if (ParseDeviceDate(device.Get(id), &date)) {
        icalproperty* property = icalcomponent_get_first_property(item.master, icalproperty_string_to_kind(name));
        const icaltimetype at = property == nullptr                           ? icaltime_null_time()
                                : icalproperty_isa(property) == ICAL_DUE_PROPERTY ? icalproperty_get_due(property)
                                                                              : icalproperty_get_dtstart(property);
        if (!icaltime_is_null_time(at) && !at.is_date && ParseDeviceDate(base.Get(id), &was))
            lines = Moved(property, at, static_cast<int>((DaysOf(date) - DaysOf(was)) * 86400));
        else
            lines = ical::FormatProperty(DateProperty(name, date), "\r\n");
    }
    merger->ReplaceProperties({name}, lines);
}

// A repeating task done on the handheld, which holds no repeat of tasks:
// as todoman and iOS do, the task moves on to its next occurrence (its
// start and due moved alike) and stays to be done.  False when the rule
// has no occurrence after this one: the task is then done.
bool RollForward(Merger* merger) {
    icalcomponent* todo = merger->base().master;
    icalproperty* rule = icalcomponent_get_first_property(todo, ICAL_RRULE_PROPERTY);
    icalproperty* due = icalcomponent_get_first_property(todo, ICAL_DUE_PROPERTY);
    icalproperty* start = icalcomponent_get_first_property(todo, ICAL_DTSTART_PROPERTY);
    if (rule == nullptr || (due == nullptr && start == nullptr)) return false;
    const icaltimetype anchor = start != nullptr ? icalproperty_get_dtstart(start) : icalproperty_get_due(due);
    if (icaltime_is_null_time(anchor)) return false;
    icalrecur_iterator* instances = icalrecur_iterator_new(icalproperty_get_rrule(rule), anchor);
    if (instances == nullptr) return false;
    icaltimetype next = icalrecur_iterator_next(instances);
    for (int i = 0; !icaltime_is_null_time(next) && icaltime_compare(next, anchor) <= 0 && i < 1000; ++i)
        next = icalrecur_iterator_next(instances);
    icalrecur_iterator_free(instances);
    if (icaltime_is_null_time(next) || icaltime_compare(next, anchor) <= 0) return false;
    icaltimetype a = anchor, b = next;
    a.zone = b.zone = icaltimezone_get_utc_timezone();  // the distance in wall time
    const int seconds = static_cast<int>(icaltime_as_timet(b) - icaltime_as_timet(a));
    if (start != nullptr) merger->ReplaceProperties({"DTSTART"}, Moved(start, icalproperty_get_dtstart(start), seconds));
    if (due != nullptr) merger->ReplaceProperties({"DUE"}, Moved(due, icalproperty_get_due(due), seconds));
    // A rule of so many occurrences counts from the new start: one fewer.
    struct icalrecurrencetype counted = icalproperty_get_rrule(rule);
    if (counted.count > 1) {
        --counted.count;
        icalproperty* fewer = icalproperty_new_rrule(counted);
        char* line = icalproperty_as_ical_string_r(fewer);
        merger->ReplaceProperties({"RRULE"}, line != nullptr ? line : "");
        free(line);
        icalproperty_free(fewer);
    }
    return true;
}

void MergeStatus(const FieldSet& base, const FieldSet& device, const TodoDates& dates, const Context& context,
                 Merger* merger) {
    if (!Changed(base, device, "3") && !Changed(base, device, "9")) return;
    const bool nowDone = base.Get("3") != "1" && device.Get("3") == "1";
    if (nowDone && !Changed(base, device, "1") && !Changed(base, device, "8") && RollForward(merger)) return;
    std::vector<ical::Property> lines;
    AddStatus(&lines, device, dates, context);
    merger->ReplaceProperties({"STATUS", "COMPLETED"}, ical::FormatProperties(lines, "\r\n"));
    // A percentage that says otherwise follows the status.
    const ical::ContentLine* percent = merger->base().Line("PERCENT-COMPLETE");
    if (percent == nullptr) return;
    const bool done = device.Get("3") == "1";
    if (done) merger->ReplaceProperties({"PERCENT-COMPLETE"}, "PERCENT-COMPLETE:100\r\n");
    else if (atoi(percent->Value().c_str()) >= 100) merger->ReplaceProperties({"PERCENT-COMPLETE"}, "");
}

}  // namespace

bool TodoToItem(const FieldSet& fields, const std::string& uid, const Context& context, std::string* text,
                Problem* problem) {
    TodoDates dates;
    std::string reason;
    if (!DatesFromFields(fields, &dates, &reason)) return Fail(problem, reason);
    const icaltimetype* stamp = dates.hasStart ? &dates.start : dates.hasDue ? &dates.due : dates.hasEnd ? &dates.end : nullptr;
    std::vector<ical::Property> p;
    p.push_back(ical::TextProperty("UID", uid));
    p.push_back(ical::Property{"DTSTAMP", {}, stamp != nullptr ? UtcValue(AtMinutes(*stamp, 0), context.zone) : "19700101T000000Z"});
    if (dates.hasStart) p.push_back(DateProperty("DTSTART", dates.start));
    if (dates.hasDue) p.push_back(DateProperty("DUE", dates.due));
    AddTextProperty(&p, "SUMMARY", context, fields.Get("2"));
    AddTextProperty(&p, "DESCRIPTION", context, fields.Get("5"));
    AddCategory(&p, context, fields.Get("6"));
    AddSecret(&p, fields.Get("7"));
    AddPriority(&p, fields.Get("4"));
    AddStatus(&p, fields, dates, context);
    *text = CalendarText("", "BEGIN:VTODO\r\n" + ical::FormatProperties(p, "\r\n") + "END:VTODO\r\n");
    return true;
}

bool ItemToTodo(const ParsedItem& item, const Context& context, FieldSet* fields, Problem* /*problem*/) {
    fields->Set("1", DateOf(item, ICAL_DUE_PROPERTY, "DUE", context));
    fields->Set("2", DeviceText(context, item.Text("SUMMARY"), "SUMMARY"));
    const std::string status = Upper(item.Text("STATUS"));
    const std::string completed = DateOf(item, ICAL_COMPLETED_PROPERTY, "COMPLETED", context);
    const bool done = status == "COMPLETED" || (status.empty() && !completed.empty());
    fields->Set("3", done ? "1" : "0");
    const ical::ContentLine* priority = item.Line("PRIORITY");
    const std::string derived = HostPriority(priority != nullptr ? atoi(priority->Value().c_str()) : 0);
    const std::string own = item.Text(kOwnPriority);
    const bool ownFits = !own.empty() && own.find_first_not_of("0123456789") == std::string::npos && own.size() < 4 &&
                         HostPriority(ItemPriority(own)) == derived;
    fields->Set("4", ownFits ? own : derived);
    fields->Set("5", DeviceText(context, item.Text("DESCRIPTION"), "DESCRIPTION"));
    fields->Set("6", CategoryOf(item, context));
    fields->Set("7", SecretOf(item));
    fields->Set("8", DateOf(item, ICAL_DTSTART_PROPERTY, "DTSTART", context));
    fields->Set("9", done ? completed : "");
    return true;
}

bool MergeTodo(const FieldSet& base, const FieldSet& device, const Context& context, Merger* merger,
               Problem* problem) {
    TodoDates dates;
    std::string reason;
    if (!DatesFromFields(device, &dates, &reason)) return Fail(problem, "the device record: " + reason);
    MergeDate(base, device, "1", "DUE", merger);
    MergeText(base, device, "2", "SUMMARY", context, merger);
    MergeStatus(base, device, dates, context, merger);
    if (Changed(base, device, "4")) {
        std::vector<ical::Property> lines;
        AddPriority(&lines, device.Get("4"));
        merger->ReplaceProperties({"PRIORITY", kOwnPriority}, ical::FormatProperties(lines, "\r\n"));
    }
    MergeText(base, device, "5", "DESCRIPTION", context, merger);
    MergeCategory(base, device, "6", context, merger);
    MergeSecret(base, device, "7", merger);
    MergeDate(base, device, "8", "DTSTART", merger);
    return true;
}

}  // namespace cal
}  // namespace morvane_pim
