#include "pim/calendar_repeat.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <set>

namespace morvane_pim {
namespace cal {

namespace {

// DayPattern bits of the host's days, Sunday first.
static const int kDayMasks[] = {0x40, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20};
static const char* const kDayCodes[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
static const char* const kDayWords[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
static const char* const kFrequencies[] = {"", "DAILY", "WEEKLY", "MONTHLY", "MONTHLY", "YEARLY"};

// How far a rule is followed to find the handheld's nearest one.
constexpr int64_t kSearchDays = 5 * 366;
constexpr size_t kSearchOccurrences = 1500;
// How far a COUNT is followed to find its last date.
constexpr size_t kCountOccurrences = 100000;

bool ParseInt(const std::string& text, long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    *value = strtol(text.c_str(), &end, 10);
    return *end == '\0';
}

int HostDays(long pattern) {
    int days = 0;
    for (int i = 0; i < 7; ++i)
        if (pattern & kDayMasks[i]) days |= 1 << i;
    return days;
}

int Pattern(int days) {
    int pattern = 0;
    for (int i = 0; i < 7; ++i)
        if (days & (1 << i)) pattern |= kDayMasks[i];
    return pattern;
}

// The week of the month the handheld repeats a start's weekday in.
int NthOf(const icaltimetype& start) { return start.day > 28 ? -1 : (start.day - 1) / 7 + 1; }

size_t Count(const short* values, size_t size) {
    size_t n = 0;
    while (n < size && values[n] != ICAL_RECURRENCE_ARRAY_MAX) ++n;
    return n;
}

#define BY(r, part, SIZE) Count((r).part, SIZE)

int MinuteOfDay(const icaltimetype& t) { return t.is_date ? 0 : t.hour * 60 + t.minute; }

// The rule's weekly days: plain BYDAY entries, none with an ordinal.
bool PlainDays(const icalrecurrencetype& r, int* days) {
    *days = 0;
    for (size_t i = 0; i < BY(r, by_day, ICAL_BY_DAY_SIZE); ++i) {
        if (icalrecurrencetype_day_position(r.by_day[i]) != 0) return false;
        const int day = static_cast<int>(icalrecurrencetype_day_day_of_week(r.by_day[i])) - ICAL_SUNDAY_WEEKDAY;
        if (day < 0 || day > 6) return false;
        *days |= 1 << day;
    }
    return true;
}

bool MonthlyRule(const icalrecurrencetype& r, const icaltimetype& start, DeviceRule* rule) {
    const size_t days = BY(r, by_day, ICAL_BY_DAY_SIZE), monthDays = BY(r, by_month_day, ICAL_BY_MONTHDAY_SIZE);
    const size_t positions = BY(r, by_set_pos, ICAL_BY_SETPOS_SIZE);
    if (BY(r, by_month, ICAL_BY_MONTH_SIZE) != 0) return false;
    if (days == 0 && positions == 0 && (monthDays == 0 || (monthDays == 1 && r.by_month_day[0] == start.day))) {
        rule->period = 3;
        return true;
    }
    if (days != 1 || monthDays != 0 || positions > 1) return false;
    int nth = icalrecurrencetype_day_position(r.by_day[0]);
    if ((nth != 0) == (positions == 1)) return false;
    if (positions == 1) nth = r.by_set_pos[0];
    const int weekday = static_cast<int>(icalrecurrencetype_day_day_of_week(r.by_day[0])) - ICAL_SUNDAY_WEEKDAY;
    if (weekday != WeekdayOf(start) || nth != NthOf(start)) return false;
    rule->period = 4;
    return true;
}

// The handheld's rule when it repeats on exactly the RRULE's days (its end
// aside); false when it cannot.
bool Structural(const icalrecurrencetype& r, const icaltimetype& start, DeviceRule* rule) {
    if (BY(r, by_second, ICAL_BY_SECOND_SIZE) || BY(r, by_minute, ICAL_BY_MINUTE_SIZE) ||
        BY(r, by_hour, ICAL_BY_HOUR_SIZE) || BY(r, by_year_day, ICAL_BY_YEARDAY_SIZE) ||
        BY(r, by_week_no, ICAL_BY_WEEKNO_SIZE) || r.interval > 255 || r.rscale != nullptr)
        return false;
    rule->interval = r.interval < 1 ? 1 : r.interval;
    const bool calendarParts = BY(r, by_month_day, ICAL_BY_MONTHDAY_SIZE) || BY(r, by_month, ICAL_BY_MONTH_SIZE) ||
                               BY(r, by_set_pos, ICAL_BY_SETPOS_SIZE);
    int days = 0;
    const int startDay = 1 << WeekdayOf(start);
    switch (r.freq) {
    case ICAL_DAILY_RECURRENCE:
        if (calendarParts || !PlainDays(r, &days)) return false;
        if (days == 0) {
            rule->period = 1;
            return true;
        }
        if (rule->interval != 1 || !(days & startDay)) return false;
        *rule = DeviceRule{2, 1, days, false, icaltime_null_date()};
        return true;
    case ICAL_WEEKLY_RECURRENCE:
        if (calendarParts || !PlainDays(r, &days)) return false;
        if (days == 0) days = startDay;
        // Weeks of a longer interval are counted from Sunday on the handheld:
        // another week start matters only to a Sunday among other days.
        if (!(days & startDay) || (rule->interval > 1 && r.week_start != ICAL_SUNDAY_WEEKDAY && (days & 1) && (days & ~1)))
            return false;
        rule->period = 2;
        rule->days = days;
        return true;
    case ICAL_MONTHLY_RECURRENCE:
        return MonthlyRule(r, start, rule);
    case ICAL_YEARLY_RECURRENCE: {
        if (BY(r, by_day, ICAL_BY_DAY_SIZE) || BY(r, by_set_pos, ICAL_BY_SETPOS_SIZE)) return false;
        const size_t months = BY(r, by_month, ICAL_BY_MONTH_SIZE), monthDays = BY(r, by_month_day, ICAL_BY_MONTHDAY_SIZE);
        if (months > 1 || (months == 1 && r.by_month[0] != start.month)) return false;
        if (monthDays > 1 || (monthDays == 1 && (months == 0 || r.by_month_day[0] != start.day))) return false;
        rule->period = 5;
        return true;
    }
    default:
        return false;
    }
}

// UNTIL as a wall time of the start's own frame.
icaltimetype UntilInFrame(icaltimetype until, const Moment& start, const Context& context) {
    if (!until.is_date && icaltime_is_utc(until)) {
        icaltimezone* frame = start.frame == Frame::kOther    ? start.source
                              : start.frame == Frame::kDevice ? context.zone.zone
                                                              : nullptr;
        until.zone = nullptr;
        if (frame != nullptr) icaltimezone_convert_time(&until, icaltimezone_get_utc_timezone(), frame);
    }
    until.zone = nullptr;
    return until;
}

bool After(const icaltimetype& t, const icaltimetype& until) {
    if (t.is_date || until.is_date) return DaysOf(t) > DaysOf(until);
    return WallMinutes(t) * 60 + t.second > WallMinutes(until) * 60 + until.second;
}

struct Occurrences {
    std::vector<int64_t> days;  // the handheld's dates, in order
    bool complete = false;      // the rule ended before the search did
    bool timeVaries = false;    // some fall at another time of day on the handheld
};

// The occurrences of r from start, as the handheld's dates, up to lastDay
// and limit of them; start itself always counts (RFC 5545 3.8.5.3).
Occurrences Iterate(icalrecurrencetype r, const Moment& start, const Context& context, int64_t lastDay, size_t limit) {
    Occurrences found;
    const bool hasUntil = !icaltime_is_null_time(r.until);
    const icaltimetype until = hasUntil ? UntilInFrame(r.until, start, context) : icaltime_null_time();
    const size_t count = r.count > 0 ? static_cast<size_t>(r.count) : 0;
    r.until = icaltime_null_time();
    r.count = 0;
    icaltimetype first = start.original;
    first.zone = nullptr;
    found.days.push_back(DaysOf(start.wall));
    icalrecur_iterator* it = icalrecur_iterator_new(r, first);
    if (it == nullptr) return found;
    const int startMinute = MinuteOfDay(start.wall);
    while (true) {
        if (found.days.size() >= limit || (count > 0 && found.days.size() >= count)) {
            found.complete = count > 0 && found.days.size() >= count;
            break;
        }
        icaltimetype t = icalrecur_iterator_next(it);
        if (icaltime_is_null_time(t) || (hasUntil && After(t, until))) {
            found.complete = true;
            break;
        }
        if (icaltime_compare(t, first) == 0) continue;
        const icaltimetype wall = start.frame == Frame::kOther ? ToDeviceWall(t, start.source, context.zone) : t;
        if (DaysOf(wall) > lastDay) break;
        found.timeVaries |= MinuteOfDay(wall) != startMinute;
        found.days.push_back(DaysOf(wall));
    }
    icalrecur_iterator_free(it);
    return found;
}

// The end date of a rule the handheld repeats exactly.
void StructuralEnd(const icalrecurrencetype& r, const Moment& start, const Context& context, DeviceRule* rule) {
    if (r.count > 0) {
        const Occurrences all = Iterate(r, start, context, INT64_MAX, kCountOccurrences);
        if (!all.complete) context.Warn("the rule's COUNT is followed for " + std::to_string(kCountOccurrences) +
                                        " occurrences; the handheld ends there");
        rule->hasEnd = true;
        rule->end = DateFromDays(all.days.back());
    } else if (!icaltime_is_null_time(r.until)) {
        const icaltimetype until = UntilInFrame(r.until, start, context);
        int64_t day = DaysOf(until);
        if (!until.is_date && !start.original.is_date && MinuteOfDay(start.original) > MinuteOfDay(until)) --day;
        if (day < DaysOf(start.original)) day = DaysOf(start.original);
        rule->hasEnd = true;
        rule->end = DateFromDays(day + DaysOf(start.wall) - DaysOf(start.original));
    }
}

Occurrences CandidateDays(const DeviceRule& candidate, const Moment& start, const Context& context, int64_t lastDay) {
    Moment own;
    own.original = own.wall = start.wall;
    own.frame = start.wall.is_date ? Frame::kDate : Frame::kFloating;
    const icalrecurrencetype r =
        icalrecurrencetype_from_string(RruleValue(candidate, start.wall, UntilForm::kFloating, context.zone).c_str());
    return Iterate(r, own, context, lastDay, kSearchOccurrences);
}

// The richest rule of the handheld whose dates are all dates of r (as far
// as r was followed); *exact when they are all of them.
DeviceRule Nearest(const icalrecurrencetype& r, const Moment& start, const Context& context, bool* exact,
                   bool* timeVaries) {
    const int64_t startDay = DaysOf(start.wall);
    const Occurrences pc = Iterate(r, start, context, startDay + kSearchDays, kSearchOccurrences);
    *timeVaries = pc.timeVaries;
    *exact = pc.complete && pc.days.size() == 1;
    const std::set<int64_t> dates(pc.days.begin(), pc.days.end());
    const int64_t covered = pc.days.back();
    int seen = 0;
    for (int64_t day : pc.days) seen |= 1 << WeekdayOf(DateFromDays(day));
    const int interval = r.interval > 1 && r.interval <= 255 ? r.interval : 1;
    std::vector<DeviceRule> candidates;
    for (int every : {1, interval}) {
        for (int period = 1; period <= 5; ++period) candidates.push_back(DeviceRule{period, every, 0, false, {}});
        candidates.push_back(DeviceRule{2, every, seen, false, {}});
        candidates.push_back(DeviceRule{2, every, 1 << WeekdayOf(start.wall), false, {}});
    }
    DeviceRule best;
    size_t bestCount = 1;
    for (DeviceRule& candidate : candidates) {
        if (pc.complete) {
            candidate.hasEnd = true;
            candidate.end = DateFromDays(covered);
        }
        const Occurrences own = CandidateDays(candidate, start, context, covered);
        const bool subset = std::all_of(own.days.begin(), own.days.end(), [&](int64_t d) { return dates.count(d) != 0; });
        if (!subset || own.days.size() <= bestCount) continue;
        best = candidate;
        bestCount = own.days.size();
        *exact = own.days.size() == dates.size() && (pc.complete || !own.complete);
    }
    return best;
}

bool IsWithinDays(const icalrecurrencetype& r) {
    return r.freq == ICAL_HOURLY_RECURRENCE || r.freq == ICAL_MINUTELY_RECURRENCE ||
           r.freq == ICAL_SECONDLY_RECURRENCE;
}

// A rule that repeats within a day (HOURLY, MINUTELY, SECONDLY) is reckoned
// here, not followed with libical: on a rule that never occurs its
// iterator grinds through every second for minutes.  A plain one, its steps
// at most a day apart, falls on every day from its start to its last
// occurrence, which the handheld repeats daily; any other gets the first
// occurrence alone.
DeviceRule WithinDays(const icalrecurrencetype& r, const Moment& start, const Context& context, bool* exact) {
    const int64_t unit = r.freq == ICAL_HOURLY_RECURRENCE ? 3600 : r.freq == ICAL_MINUTELY_RECURRENCE ? 60 : 1;
    const int64_t step = unit * (r.interval > 1 ? r.interval : 1);
    *exact = false;
    int days = 0;
    if (step > 86400 || !PlainDays(r, &days) || days != 0 || BY(r, by_second, ICAL_BY_SECOND_SIZE) ||
        BY(r, by_minute, ICAL_BY_MINUTE_SIZE) || BY(r, by_hour, ICAL_BY_HOUR_SIZE) ||
        BY(r, by_month_day, ICAL_BY_MONTHDAY_SIZE) || BY(r, by_year_day, ICAL_BY_YEARDAY_SIZE) ||
        BY(r, by_week_no, ICAL_BY_WEEKNO_SIZE) || BY(r, by_month, ICAL_BY_MONTH_SIZE) ||
        BY(r, by_set_pos, ICAL_BY_SETPOS_SIZE))
        return DeviceRule();
    *exact = step == 86400;
    DeviceRule rule{1, 1, 0, false, icaltime_null_date()};
    const int64_t first = WallMinutes(start.original) * 60;
    int64_t last = -1;
    if (r.count > 0) last = first + (static_cast<int64_t>(r.count) - 1) * step;
    if (!icaltime_is_null_time(r.until)) {
        const icaltimetype until = UntilInFrame(r.until, start, context);
        const int64_t bound = until.is_date ? (DaysOf(until) + 1) * 86400 - 1 : WallMinutes(until) * 60 + until.second;
        last = bound < first ? first : first + (bound - first) / step * step;
    }
    if (last >= 0) {
        const icaltimetype at = WallFromMinutes(last / 60);
        rule.hasEnd = true;
        rule.end = DateFromDays(DaysOf(start.frame == Frame::kOther ? ToDeviceWall(at, start.source, context.zone) : at));
    }
    return rule;
}

}  // namespace

bool RuleFromFields(const FieldSet& fields, const icaltimetype& start, DeviceRule* rule, std::string* reason) {
    *rule = DeviceRule();
    if (fields.Get("2") != "Yes") return true;
    long period = 0, interval = 1, pattern = 0;
    if (!ParseInt(fields.Get("14"), &period) || period < 1 || period > 5) {
        *reason = "RepeatPeriod \"" + fields.Get("14") + "\" is none of the handheld's repeats (1 to 5)";
        return false;
    }
    if (!fields.Get("15").empty() && (!ParseInt(fields.Get("15"), &interval) || interval < 0 || interval > 255)) {
        *reason = "RepeatCount \"" + fields.Get("15") + "\" is not a number of periods";
        return false;
    }
    if (!fields.Get("22").empty() && !ParseInt(fields.Get("22"), &pattern)) {
        *reason = "DayPattern \"" + fields.Get("22") + "\" is not a day mask";
        return false;
    }
    const std::string& end = fields.Get("23");
    if (!end.empty() && end != "0" && end != "-1") {
        if (!ParseDeviceDate(end, &rule->end)) {
            *reason = "RepeatEndDate \"" + end + "\" is not a date";
            return false;
        }
        rule->hasEnd = true;
    }
    rule->period = static_cast<int>(period);
    rule->interval = interval == 0 ? 1 : static_cast<int>(interval);
    if (period == 2) rule->days = pattern != 0 ? HostDays(pattern) : 1 << WeekdayOf(start);
    return true;
}

void RuleToFields(const DeviceRule& rule, FieldSet* fields) {
    const bool repeats = rule.period != 0;
    fields->Set("2", repeats ? "Yes" : "No");
    char pattern[16];
    snprintf(pattern, sizeof pattern, "%04d", Pattern(rule.days));
    fields->Set("14", repeats ? std::to_string(rule.period) : "");
    fields->Set("15", repeats ? std::to_string(rule.interval) : "");
    // The adapter stores a DayPattern of 0 with every record the PC writes.
    fields->Set("22", rule.period == 2 ? pattern : "0000");
    fields->Set("23", !repeats ? "" : rule.hasEnd ? DeviceDate(rule.end) : "0");
}

RepeatInfo RepeatInfoOf(const FieldSet& fields) {
    RepeatInfo info = {};
    auto copy = [](char* to, const std::string& text) { snprintf(to, 10, "%.9s", text.c_str()); };
    const std::string& from = fields.Get("3");
    if (fields.Get("2") == "Yes") {
        info.isRepeating = 1;
        info.repeatPeriod = static_cast<uint8_t>(atoi(fields.Get("14").c_str()));
        info.repeatCount = static_cast<uint8_t>(atoi(fields.Get("15").c_str()));
        info.deleteFlag = static_cast<uint8_t>(atoi(fields.Get("17").c_str()));
        copy(info.startDate, from.substr(0, 8));
        const std::string& end = fields.Get("23");
        copy(info.endDate, end == "0" ? "-1" : end.substr(0, 8));
        const int days = HostDays(atoi(fields.Get("22").c_str()));
        for (int i = 0; i < 7; ++i) info.weekDays[i] = (days >> i) & 1;
        return info;
    }
    // A single event: its dates, the end only for an all-day event over days.
    copy(info.startDate, from);
    const std::string& to = fields.Get("4");
    const bool overDays = fields.Get("9") == "1" && atoi(from.c_str()) != atoi(to.c_str());
    if (overDays) copy(info.endDate, atoi(to.c_str()) == 0 ? "-1" : to);
    else copy(info.endDate, from.empty() ? "0" : from);
    return info;
}

std::string RepeatFieldsText(const FieldSet& fields) {
    return fields.Get("14") + "/" + fields.Get("15") + "/" + fields.Get("22") + "/" + fields.Get("23");
}

bool RepeatFieldsFromText(const std::string& text, FieldSet* fields) {
    static const char* const kIds[] = {"14", "15", "22", "23"};
    if (text.find_first_not_of("0123456789-/") != std::string::npos ||
        std::count(text.begin(), text.end(), '/') != 3)
        return false;
    size_t at = 0;
    for (const char* id : kIds) {
        const size_t slash = text.find('/', at);
        fields->Set(id, text.substr(at, slash == std::string::npos ? std::string::npos : slash - at));
        at = slash + 1;
    }
    return true;
}

std::string UntilValue(const icaltimetype& end, UntilForm form, const DeviceZone& zone) {
    if (form == UntilForm::kDate) return DateValue(end);
    icaltimetype last = AtMinutes(end, 23 * 60 + 59);
    last.second = 59;
    return form == UntilForm::kFloating ? DateTimeValue(last) : UtcValue(last, zone);
}

std::string RruleValue(const DeviceRule& rule, const icaltimetype& start, UntilForm form, const DeviceZone& zone) {
    std::string value = std::string("FREQ=") + kFrequencies[rule.period];
    if (rule.interval > 1) value += ";INTERVAL=" + std::to_string(rule.interval);
    if (rule.period == 2) {
        std::string days;
        for (int i = 0; i < 7; ++i)
            if (rule.days & (1 << i)) days += std::string(days.empty() ? "" : ",") + kDayCodes[i];
        value += ";BYDAY=" + days;
    }
    if (rule.period == 4) value += ";BYDAY=" + std::to_string(NthOf(start)) + kDayCodes[WeekdayOf(start)];
    if (rule.hasEnd) value += ";UNTIL=" + UntilValue(rule.end, form, zone);
    if (rule.period == 2 && rule.interval > 1) value += ";WKST=SU";
    return value;
}

std::string RuleKey(const DeviceRule& rule, const icaltimetype& start) {
    char key[64];
    const int anchor = rule.period == 2   ? rule.days
                       : rule.period == 3 ? start.day
                       : rule.period == 4 ? NthOf(start) * 10 + WeekdayOf(start)
                       : rule.period == 5 ? start.month * 100 + start.day
                                          : 0;
    snprintf(key, sizeof key, "%d/%d/%d", rule.period, rule.period == 0 ? 0 : rule.interval, anchor);
    return key;
}

std::string DescribeRule(const DeviceRule& rule) {
    static const char* const kPeriods[] = {"no repeat (the first occurrence alone)", "daily", "weekly",
                                           "monthly on the start's date", "monthly on the start's weekday", "yearly"};
    std::string text = kPeriods[rule.period];
    if (rule.period != 0 && rule.interval > 1) text += " every " + std::to_string(rule.interval);
    if (rule.period == 2) {
        text += " on";
        for (int i = 0; i < 7; ++i)
            if (rule.days & (1 << i)) text += std::string(" ") + kDayWords[i];
    }
    if (rule.period != 0 && rule.hasEnd) text += " until " + DeviceDate(rule.end);
    return text;
}

DeviceRule RuleFromItem(const ParsedItem& item, const Moment& start, const Context& context) {
    icalcomponent* master = item.master;
    icalproperty* property = icalcomponent_get_first_property(master, ICAL_RRULE_PROPERTY);
    if (icalcomponent_get_first_property(master, ICAL_RDATE_PROPERTY) != nullptr)
        context.Warn("the extra dates of RDATE are not on the handheld");
    if (property == nullptr) return DeviceRule();
    if (icalcomponent_get_next_property(master, ICAL_RRULE_PROPERTY) != nullptr)
        context.Warn("only the first RRULE goes to the handheld");
    const icalrecurrencetype r = icalproperty_get_rrule(property);
    if (r.freq == ICAL_NO_RECURRENCE) return DeviceRule();
    if (icalcomponent_get_first_property(master, ICAL_EXDATE_PROPERTY) != nullptr)
        context.Warn("the handheld shows the occurrences its EXDATE leaves out");
    DeviceRule rule;
    if (start.frame != Frame::kOther && Structural(r, start.original, &rule)) {
        StructuralEnd(r, start, context, &rule);
        return rule;
    }
    bool exact = false, timeVaries = false;
    if (IsWithinDays(r)) {
        rule = WithinDays(r, start, context, &exact);
    } else {
        rule = Nearest(r, start, context, &exact, &timeVaries);
    }
    const ical::ContentLine* line = item.Line("RRULE");
    if (!exact)
        context.Warn("the rule " + (line != nullptr ? line->Value() : std::string("RRULE")) +
                     " is more than the handheld repeats; it gets " + DescribeRule(rule) +
                     " and the PC keeps the whole rule");
    if (timeVaries && rule.period != 0)
        context.Warn("the handheld repeats it at its first start's time; the item has occurrences at other times of "
                     "day (another zone's daylight saving time, or times of their own)");
    return rule;
}

}  // namespace cal
}  // namespace morvane_pim
