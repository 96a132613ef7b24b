// Memo records and VJOURNALs.  The handheld keeps a memo as one text whose
// first line is its title: the host reads the title (field 1) and the rest
// (field 3) apart.
//   Title SUMMARY (always written, empty too, so that an empty first line
//       stays one), the rest DESCRIPTION (more than one: all of them); an
//       item without SUMMARY gives the first line of its DESCRIPTION as the
//       title
//   TimeStamp (2.D, 2.T) DTSTART, floating: the handheld's wall time, as
//       it knows it
//   Secret CLASS:PRIVATE; Category CATEGORIES goes to the handheld, which
//       never gives it back (the host reads it empty), so the device never
//       changes it either
#include "pim/calendar_item.h"
#include "pim/calendar_time.h"

namespace morvane_pim {
namespace cal {

namespace {

bool Fail(Problem* problem, const std::string& reason) {
    problem->line = 0;
    problem->reason = reason;
    return false;
}

// The host reads a title written from the PC with the CR of the line end
// that follows it; the handheld's own titles have none.
std::string Title(const FieldSet& fields) {
    std::string title = fields.Get("1");
    if (!title.empty() && title.back() == '\r') title.pop_back();
    return title;
}

bool StampFromFields(const FieldSet& fields, icaltimetype* stamp, bool* present, std::string* reason) {
    *present = !fields.Get("2.D").empty() || !fields.Get("2.T").empty();
    icaltimetype date;
    int minutes = 0;
    if (*present && (!ParseDeviceDate(fields.Get("2.D"), &date) || !ParseDeviceTime(fields.Get("2.T"), &minutes))) {
        *reason = "TimeStamp \"" + fields.Get("2.D") + " " + fields.Get("2.T") + "\" is not a time";
        return false;
    }
    if (*present) *stamp = AtMinutes(date, minutes);
    return true;
}

// A journal entry may hold more than one DESCRIPTION: the handheld gets
// them all, a blank line apart, and a handheld edit writes them back as
// one, so that none is lost.
std::string AllDescriptions(const ParsedItem& item) {
    std::string text;
    for (size_t i : ical::PropertyLines(item.lines, item.Master())) {
        const ical::ContentLine& line = item.lines.lines[i];
        if (line.name == "DESCRIPTION") text += (text.empty() ? "" : "\n\n") + ical::UnescapeText(line.Value());
    }
    return text;
}

void AddTitleAndText(std::vector<ical::Property>* out, const FieldSet& fields, const Context& context) {
    out->push_back(ical::TextProperty("SUMMARY", ItemText(context, Title(fields))));
    AddTextProperty(out, "DESCRIPTION", context, fields.Get("3"));
}

}  // namespace

bool MemoToItem(const FieldSet& fields, const std::string& uid, const Context& context, std::string* text,
                Problem* problem) {
    icaltimetype stamp;
    bool hasStamp = false;
    std::string reason;
    if (!StampFromFields(fields, &stamp, &hasStamp, &reason)) return Fail(problem, reason);
    std::vector<ical::Property> p;
    p.push_back(ical::TextProperty("UID", uid));
    p.push_back(ical::Property{"DTSTAMP", {}, hasStamp ? UtcValue(stamp, context.zone) : "19700101T000000Z"});
    if (hasStamp) p.push_back(FloatingProperty("DTSTART", stamp));
    AddTitleAndText(&p, fields, context);
    AddCategory(&p, context, fields.Get("4"));
    AddSecret(&p, fields.Get("5"));
    *text = CalendarText("", "BEGIN:VJOURNAL\r\n" + ical::FormatProperties(p, "\r\n") + "END:VJOURNAL\r\n");
    return true;
}

bool ItemToMemo(const ParsedItem& item, const Context& context, FieldSet* fields, Problem* /*problem*/) {
    std::string title = item.Text("SUMMARY"), text = AllDescriptions(item);
    if (item.Line("SUMMARY") == nullptr) {
        const size_t end = text.find('\n');
        title = text.substr(0, end);
        text = end == std::string::npos ? std::string() : text.substr(end + 1);
    }
    if (title.find('\n') != std::string::npos) {
        context.Warn("the handheld's title is one line; its line breaks become spaces");
        for (char& c : title)
            if (c == '\n') c = ' ';
    }
    fields->Set("1", DeviceText(context, title, "SUMMARY"));
    icalproperty* dtstart = icalcomponent_get_first_property(item.master, ICAL_DTSTART_PROPERTY);
    Moment stamp;
    const bool hasStamp = dtstart != nullptr && ReadMoment(item, dtstart, context, "DTSTART", &stamp);
    fields->Set("2.D", hasStamp ? DeviceDate(stamp.wall) : "");
    fields->Set("2.T", hasStamp ? (stamp.wall.is_date ? "0000" : DeviceTime(stamp.wall)) : "");
    fields->Set("3", DeviceText(context, text, "DESCRIPTION"));
    fields->Set("4", CategoryOf(item, context));
    fields->Set("5", SecretOf(item));
    return true;
}

bool MergeMemo(const FieldSet& base, const FieldSet& device, const Context& context, Merger* merger,
               Problem* problem) {
    icaltimetype stamp;
    bool hasStamp = false;
    std::string reason;
    if (!StampFromFields(device, &stamp, &hasStamp, &reason)) return Fail(problem, "the device record: " + reason);
    FieldSet now = device;
    now.Set("1", Title(device));
    // Without a SUMMARY the title is the DESCRIPTION's first line: the two
    // are written together.
    const bool titleInText = merger->base().Line("SUMMARY") == nullptr;
    if (Changed(base, now, "1") || (titleInText && Changed(base, now, "3"))) {
        std::vector<ical::Property> lines;
        AddTitleAndText(&lines, now, context);
        merger->ReplaceProperties({"SUMMARY", "DESCRIPTION"}, ical::FormatProperties(lines, "\r\n"));
    } else {
        MergeText(base, now, "3", "DESCRIPTION", context, merger);
    }
    if (Changed(base, now, "2.D") || Changed(base, now, "2.T"))
        merger->ReplaceProperties({"DTSTART"}, hasStamp ? ical::FormatProperty(FloatingProperty("DTSTART", stamp), "\r\n") : "");
    MergeSecret(base, now, "5", merger);
    return true;
}

}  // namespace cal
}  // namespace morvane_pim
