// A series' exceptions when the handheld moves or ends the series.  The
// handheld holds none of them: no EXDATE, no RDATE, no changed occurrence
// (a component with RECURRENCE-ID).  They name occurrences by their start,
// so a series whose start moved would keep them at the old times, where no
// occurrence is any more: the left-out occurrence would come back and the
// changed one show twice.  Calendar programs move them with the series, and
// so do we: an exception that named the n-th occurrence of the series as
// it was names the n-th of the series as it is.  A series made all-day or
// given a time again changes the form of its exceptions too: RFC 5545 has a
// RECURRENCE-ID in the form of the start, and programs that compare a date
// with a time fail on an EXDATE that is not.
#include <ctype.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pim/calendar_repeat.h"
#include "pim/content_lines.h"

namespace morvane_pim {
namespace cal {

namespace {

// Occurrences are counted up to this many; an exception further on is
// left as it stands.
const size_t kMostOccurrences = 100000;

// A series' start and rule, its occurrences as wall times of the start's
// own zone (zone-less, as libical expands a rule).
struct Series {
    Moment start;
    icalproperty* rrule = nullptr;
    icaltimezone* zone = nullptr;  // the start's zone; null when floating or a date
    bool utc = false;              // the start written in UTC
    std::string form;              // the start's TZID or VALUE parameter, as a value's line takes it
    int64_t minutes = 0;           // from the start to the end
};

// Of a line's parameters (";TZID=...;X-A=b"), with form only those that say
// the value's form (TZID, VALUE), else the others.
std::string FormParams(const std::string& params, bool form) {
    std::string kept;
    for (const std::string& param : SplitOutsideQuotes(params, ';')) {
        std::string name = param.substr(0, param.find('='));
        for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        if (!param.empty() && (name == "TZID" || name == "VALUE") == form) kept += ";" + param;
    }
    return kept;
}

// Each item reads its zone from its own VTIMEZONE: they compare by name.
std::string ZoneName(const Series& series) {
    const char* name = series.zone != nullptr ? icaltimezone_get_tzid(series.zone) : nullptr;
    return name != nullptr ? name : "";
}

bool ReadSeries(const ParsedItem& item, const Context& context, Series* series) {
    Context quiet = context;
    quiet.warnings = nullptr;
    icalproperty* dtstart = icalcomponent_get_first_property(item.master, ICAL_DTSTART_PROPERTY);
    series->rrule = icalcomponent_get_first_property(item.master, ICAL_RRULE_PROPERTY);
    if (dtstart == nullptr || series->rrule == nullptr || !ReadMoment(item, dtstart, quiet, "DTSTART", &series->start))
        return false;
    series->zone = series->start.frame == Frame::kOther    ? series->start.source
                   : series->start.frame == Frame::kDevice ? context.zone.zone
                                                           : nullptr;
    series->utc = icaltime_is_utc(icalproperty_get_dtstart(dtstart));
    icalproperty* dtend = icalcomponent_get_first_property(item.master, ICAL_DTEND_PROPERTY);
    Moment end;
    series->minutes = dtend != nullptr && ReadMoment(item, dtend, quiet, "DTEND", &end)
                          ? WallMinutes(end.original) - WallMinutes(series->start.original)
                          : (series->start.original.is_date ? 1440 : 0);
    const long line = ical::FindProperty(item.lines, item.lines.blocks[item.masterBlock], "DTSTART");
    if (line >= 0) series->form = FormParams(item.lines.lines[static_cast<size_t>(line)].Params(), true);
    return true;
}

// A series' occurrences, the start first (libical leaves out a start that
// is no occurrence of its rule, which a calendar program shows all the
// same), expanded as far as asked and kept: every exception of an item
// costs one walk of the rule in all, and no walk goes beyond
// kMostOccurrences.
class Occurrences {
public:
    explicit Occurrences(const Series& series)
        : start_(series.start.original),
          it_(icalrecur_iterator_new(icalproperty_get_rrule(series.rrule), series.start.original)) {
        if (it_ != nullptr) list_.push_back(start_);
    }
    ~Occurrences() {
        if (it_ != nullptr) icalrecur_iterator_free(it_);
    }
    Occurrences(const Occurrences&) = delete;
    Occurrences& operator=(const Occurrences&) = delete;

    // The n-th occurrence (from 0), or a null time.
    icaltimetype At(size_t n) {
        while (list_.size() <= n && More()) {
        }
        return n < list_.size() ? list_[n] : icaltime_null_time();
    }
    // The index of the occurrence at (a date: on that day), or -1.
    long IndexOf(const icaltimetype& at) {
        const auto order = [&](const icaltimetype& t) {
            return at.is_date ? icaltime_compare_date_only(t, at) : icaltime_compare(t, at);
        };
        const auto before = [&](const icaltimetype& t) { return order(t) < 0; };
        while (!list_.empty() && before(list_.back()) && More()) {
        }
        const auto found = std::partition_point(list_.begin(), list_.end(), before);
        return found != list_.end() && order(*found) == 0 ? found - list_.begin() : -1;
    }

private:
    bool More() {
        if (it_ == nullptr || list_.size() >= kMostOccurrences) return false;
        icaltimetype t = icalrecur_iterator_next(it_);
        if (!icaltime_is_null_time(t) && icaltime_compare(t, start_) == 0) t = icalrecur_iterator_next(it_);
        if (icaltime_is_null_time(t)) {
            icalrecur_iterator_free(it_);
            it_ = nullptr;
            return false;
        }
        list_.push_back(t);
        return true;
    }

    icaltimetype start_;
    icalrecur_iterator* it_;
    std::vector<icaltimetype> list_;
};

// A DATE-TIME value written in UTC (its trailing Z).
bool InUtc(const std::string& value) { return !value.empty() && (value.back() == 'Z' || value.back() == 'z'); }

// Whether the series was made all-day, or given a time of day.
bool Flipped(const Series& was, const Series& now) { return was.start.original.is_date != now.start.original.is_date; }

// A wall time written in the form of now's start: a date, or a time in
// now's zone (a date given the start's time of day).
std::string InFormOf(icaltimetype t, const Series& now) {
    if (now.start.original.is_date) return DateValue(t);
    if (t.is_date) {
        t.is_date = 0;
        t.hour = now.start.original.hour;
        t.minute = now.start.original.minute;
        t.second = 0;
    }
    return DateTimeValue(t) + (now.utc ? "Z" : "");
}

// One value naming an occurrence of was, as it names the same occurrence
// of now, in the value's own form (a date, UTC, or the start's zone), or
// in the start's form when the series flipped (a value naming no
// occurrence then keeps its day).
std::string Followed(const std::string& value, const Series& was, Occurrences& before, const Series& now,
                     Occurrences& after) {
    icaltimetype t = icaltime_from_string(value.c_str());
    if (icaltime_is_null_time(t) || !icaltime_is_valid_time(t)) return value;
    const bool flip = Flipped(was, now);
    const bool utc = !t.is_date && InUtc(value);
    if (utc && was.zone == nullptr && !flip) return value;
    if (utc && was.zone != nullptr) t = icaltime_convert_to_zone(t, was.zone);
    t.zone = nullptr;
    const long n = before.IndexOf(t);
    icaltimetype moved = n >= 0 ? after.At(static_cast<size_t>(n)) : icaltime_null_time();
    if (flip) return InFormOf(icaltime_is_null_time(moved) ? t : moved, now);
    if (icaltime_is_null_time(moved)) return value;
    if (t.is_date) return DateValue(moved);
    if (moved.is_date) return value;
    if (!utc) return DateTimeValue(moved);
    if (now.zone == nullptr) return value;
    moved.zone = now.zone;
    return DateTimeValue(icaltime_convert_to_zone(moved, icaltimezone_get_utc_timezone())) + "Z";
}

// An RDATE adds an occurrence of its own: it moves as the start moved.
std::string Shifted(const std::string& value, const Series& was, const Series& now) {
    icaltimetype t = icaltime_from_string(value.c_str());
    if (icaltime_is_null_time(t) || !icaltime_is_valid_time(t)) return value;
    const int64_t minutes = WallMinutes(now.start.original) - WallMinutes(was.start.original);
    if (Flipped(was, now)) {
        if (!t.is_date && InUtc(value) && was.zone != nullptr) t = icaltime_convert_to_zone(t, was.zone);
        return InFormOf(WallFromMinutes(WallMinutes(t) + minutes), now);
    }
    if (t.is_date) return minutes % 1440 != 0 ? value : DateValue(DateFromDays(DaysOf(t) + minutes / 1440));
    icaltimetype moved = WallFromMinutes(WallMinutes(t) + minutes);
    moved.second = t.second;
    return DateTimeValue(moved) + (InUtc(value) ? "Z" : "");
}

// form: the start's TZID or VALUE parameter, which replaces the line's
// own when the series flipped (null: the line keeps its parameters).
template <typename Map>
void Rewrite(const ical::ContentText& text, size_t index, const Map& map, const std::string* form, Merger* merger) {
    const ical::ContentLine& line = text.lines[index];
    const std::string value = line.Value();
    std::string rewritten;
    for (size_t at = 0, comma; at <= value.size(); at = comma + 1) {
        comma = std::min(value.find(',', at), value.size());
        rewritten += (at == 0 ? "" : ",") + (comma > at ? map(value.substr(at, comma - at)) : std::string());
    }
    const std::string params = form != nullptr ? FormParams(line.Params(), false) + *form : line.Params();
    if (rewritten != value)
        merger->Replace(index, index, ical::FormatProperty({line.name + params, {}, rewritten}, "\r\n"));
}

// The components of the item's kind beside the master that change one
// occurrence of it.
std::vector<size_t> Overrides(const ParsedItem& item) {
    std::vector<size_t> found;
    const std::string& kind = item.lines.blocks[item.masterBlock].kind;
    for (size_t b : ical::ChildBlocks(item.lines, 0, kind.c_str()))
        if (b != item.masterBlock && ical::FindProperty(item.lines, item.lines.blocks[b], "RECURRENCE-ID") >= 0)
            found.push_back(b);
    return found;
}

// A changed occurrence of a flipped series keeps its day and takes the
// series' form, time and length, as every other occurrence does: khal, for
// one, shows a timed occurrence of an all-day series beside the occurrence
// it changes.
void FlipOverride(const ParsedItem& item, size_t block, const Series& was, const Series& now, Merger* merger) {
    const ical::ContentText& lines = item.lines;
    const long start = ical::FindProperty(lines, lines.blocks[block], "DTSTART");
    if (start < 0) return;
    const std::string value = lines.lines[static_cast<size_t>(start)].Value();
    icaltimetype day = icaltime_from_string(value.c_str());
    if (icaltime_is_null_time(day) || !icaltime_is_valid_time(day)) return;
    if (!day.is_date && InUtc(value) && was.zone != nullptr) day = icaltime_convert_to_zone(day, was.zone);
    const icaltimetype& at = now.start.original;
    const int64_t from = DaysOf(day) * 1440 + (at.is_date ? 0 : at.hour * 60 + at.minute);
    const auto line = [&](const char* name, int64_t minutes) {
        return ical::FormatProperty({name + now.form, {}, InFormOf(WallFromMinutes(minutes), now)}, "\r\n");
    };
    merger->Replace(static_cast<size_t>(start), static_cast<size_t>(start), line("DTSTART", from));
    const long end = ical::FindProperty(lines, lines.blocks[block], "DTEND");
    const long duration = ical::FindProperty(lines, lines.blocks[block], "DURATION");
    if (end >= 0) merger->Replace(static_cast<size_t>(end), static_cast<size_t>(end), line("DTEND", from + now.minutes));
    if (duration >= 0)
        merger->Replace(static_cast<size_t>(duration), static_cast<size_t>(duration),
                        end >= 0 ? std::string() : line("DTEND", from + now.minutes));
}

}  // namespace

bool FollowSeries(const ParsedItem& was, const ParsedItem& now, const Context& context, std::string* text) {
    Series before, after;
    if (!ReadSeries(was, context, &before) || !ReadSeries(now, context, &after)) return false;
    const bool flip = Flipped(before, after);
    if (!flip && (before.start.frame != after.start.frame || ZoneName(before) != ZoneName(after) ||
                  icaltime_compare(before.start.original, after.start.original) == 0))
        return false;
    const std::string* form = flip ? &after.form : nullptr;
    Occurrences wasOccurrences(before), nowOccurrences(after);
    const auto follow = [&](const std::string& v) {
        return Followed(v, before, wasOccurrences, after, nowOccurrences);
    };
    const auto shift = [&](const std::string& v) { return Shifted(v, before, after); };
    Merger merger(now);
    const ical::ContentText& lines = now.lines;
    for (size_t i : ical::PropertyLines(lines, now.Master())) {
        if (lines.lines[i].name == "EXDATE") Rewrite(lines, i, follow, form, &merger);
        if (lines.lines[i].name == "RDATE") Rewrite(lines, i, shift, form, &merger);
    }
    for (size_t b : Overrides(now)) {
        Rewrite(lines, static_cast<size_t>(ical::FindProperty(lines, lines.blocks[b], "RECURRENCE-ID")), follow, form,
                &merger);
        if (flip) FlipOverride(now, b, before, after, &merger);
    }
    *text = merger.Result();
    return *text != now.text;
}

void DropOverrides(Merger* merger) {
    const ParsedItem& item = merger->base();
    for (size_t b : Overrides(item)) merger->Replace(item.lines.blocks[b].first, item.lines.blocks[b].last, "");
}

}  // namespace cal
}  // namespace morvane_pim
