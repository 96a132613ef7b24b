// Schedule, ToDo and Memo items: reading and checking an item's text, the
// frame of a new item, and the three entry points of formats.h that hand
// each section to its own file.
#include <string.h>

#include <algorithm>
#include <set>

#include "pim/calendar_item.h"
#include "pim/calendar_repeat.h"
#include "pim/charset.h"
#include "pim/formats.h"
#include "records/field_map.h"

namespace morvane_pim {

using namespace morvane_host;

namespace cal {

namespace {

struct SectionKind {
    int32_t section;
    const char* kind;
    const char* label;  // "not a <label>"
};

static const SectionKind kKinds[] = {
    {kScheduleSection, "VEVENT",   "Schedule event"},
    {kToDoSection,     "VTODO",    "task"},
    {kMemoSection,     "VJOURNAL", "memo (journal entry)"},
};

bool Fail(Problem* problem, uint32_t line, const std::string& reason) {
    problem->line = line;
    problem->reason = reason;
    return false;
}

uint32_t LineOfByte(const ical::ContentText& lines, size_t at) {
    for (const ical::ContentLine& line : lines.lines)
        if (at >= line.begin && at < line.end) return line.number;
    return 0;
}

// Every line a content line, UTF-8, nested; one VCALENDAR of version 2.0.
bool CheckLines(const ParsedItem& item, Problem* problem) {
    const ical::ContentText& lines = item.lines;
    const size_t nul = item.text.find('\0');
    if (nul != std::string::npos) return Fail(problem, LineOfByte(lines, nul), "a NUL byte");
    size_t first = lines.lines.size();
    for (size_t i = 0; i < lines.lines.size(); ++i) {
        const ical::ContentLine& line = lines.lines[i];
        if (line.raw.find_first_not_of(" \t") == std::string::npos) continue;
        if (first == lines.lines.size()) first = i;
        if (!IsValidUtf8(line.raw)) return Fail(problem, line.number, "not UTF-8 text");
        if (line.name.empty())
            return Fail(problem, line.number, "not a content line (NAME:value): \"" + line.raw.substr(0, 40) + "\"");
    }
    if (first == lines.lines.size()) return Fail(problem, 0, "an empty item");
    if (lines.badNesting != 0) return Fail(problem, lines.badNesting, lines.nestingReason);
    if (lines.blocks.empty() || lines.blocks[0].kind != "VCALENDAR" || lines.blocks[0].first != first)
        return Fail(problem, lines.lines[first].number, "the item does not begin with BEGIN:VCALENDAR");
    for (size_t i = lines.blocks[0].last + 1; i < lines.lines.size(); ++i)
        if (!lines.lines[i].name.empty())
            return Fail(problem, lines.lines[i].number, "more after END:VCALENDAR (one calendar to an item)");
    const long version = ical::FindProperty(lines, lines.blocks[0], "VERSION");
    if (version >= 0) {
        const ical::ContentLine& line = lines.lines[static_cast<size_t>(version)];
        if (line.Value() != "2.0")
            return Fail(problem, line.number, "VERSION " + line.Value() + ": only iCalendar 2.0 is read");
    }
    return true;
}

// One UID for all events, tasks and journal entries; the section's master
// is its component without RECURRENCE-ID.  An item of changed occurrences
// alone (an invitation to some occurrences of another's series, as
// calendar servers keep it) stands for its first.
bool FindMaster(int32_t section, ParsedItem* item, size_t* ordinal, Problem* problem) {
    const ical::ContentText& lines = item->lines;
    const SectionKind* wanted = nullptr;
    for (const SectionKind& kind : kKinds)
        if (kind.section == section) wanted = &kind;
    bool found = false;
    size_t count = 0;
    for (size_t b : ical::ChildBlocks(lines, 0, nullptr)) {
        const ical::Block& block = lines.blocks[b];
        if (block.kind != "VEVENT" && block.kind != "VTODO" && block.kind != "VJOURNAL") continue;
        const long uidLine = ical::FindProperty(lines, block, "UID");
        const std::string uid = uidLine < 0 ? std::string() : ical::UnescapeText(lines.lines[uidLine].Value());
        if (!item->uid.empty() && !uid.empty() && uid != item->uid)
            return Fail(problem, lines.lines[uidLine].number,
                        "a second UID \"" + uid + "\" besides \"" + item->uid + "\" (one item, one UID)");
        if (item->uid.empty()) item->uid = uid;
        if (block.kind != wanted->kind) continue;
        const bool override = ical::FindProperty(lines, block, "RECURRENCE-ID") >= 0;
        if (!override && found)
            return Fail(problem, lines.lines[block.first].number, "a second " + block.kind + " of the same UID");
        if (!override || count == 0) {
            found = !override;
            item->masterBlock = b;
            *ordinal = count;
        }
        ++count;
    }
    if (count == 0)
        return Fail(problem, 0, std::string("not a ") + wanted->label + ": the item holds no " + wanted->kind);
    item->occurrencesOnly = found ? 0 : count;
    return true;
}

// The line libical's complaint is about: the line holding the text it
// quotes, else the first of the property it names.
uint32_t ComplaintLine(const ical::ContentText& lines, const std::string& message) {
    const size_t colon = message.rfind(": ");
    const std::string quoted = colon == std::string::npos ? std::string() : message.substr(colon + 2);
    if (!quoted.empty())
        for (const ical::ContentLine& line : lines.lines)
            if (line.raw.find(quoted) != std::string::npos) return line.number;
    const size_t in = message.find(" in ");
    const size_t property = message.find(" property");
    if (in != std::string::npos && property != std::string::npos && property > in + 4) {
        const std::string name = message.substr(in + 4, property - in - 4);
        for (const ical::ContentLine& line : lines.lines)
            if (line.name == name) return line.number;
    }
    return 0;
}

// libical reads what it cannot parse as X-LIC-ERROR properties.  An empty
// value ("DESCRIPTION:", as some servers write) is no error: the property
// is simply absent.  own: the X-LIC-ERROR values the item itself holds
// (another libical program may have written some).
bool CheckComplaints(const ParsedItem& item, const std::set<std::string>& own, icalcomponent* component,
                     Problem* problem) {
    for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_XLICERROR_PROPERTY); p != nullptr;
         p = icalcomponent_get_next_property(component, ICAL_XLICERROR_PROPERTY)) {
        const char* text = icalproperty_get_xlicerror(p);
        const std::string message = text != nullptr ? text : "";
        if (message.compare(0, 12, "No value for") != 0 && own.count(message) == 0)
            return Fail(problem, ComplaintLine(item.lines, message), message);
    }
    for (icalcomponent* c = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT); c != nullptr;
         c = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT))
        if (!CheckComplaints(item, own, c, problem)) return false;
    return true;
}

// libical's reading of the lines, folding undone, blank lines left out.
bool ParseWithLibical(int32_t section, size_t ordinal, ParsedItem* item, Problem* problem) {
    std::string unfolded;
    std::set<std::string> own;
    for (const ical::ContentLine& line : item->lines.lines) {
        if (!line.name.empty()) unfolded += line.raw + "\r\n";
        if (line.name == "X-LIC-ERROR") own.insert(ical::UnescapeText(line.Value()));
    }
    item->calendar = icalparser_parse_string(unfolded.c_str());
    if (item->calendar == nullptr || icalcomponent_isa(item->calendar) != ICAL_VCALENDAR_COMPONENT)
        return Fail(problem, 0, "libical cannot read the calendar");
    if (!CheckComplaints(*item, own, item->calendar, problem)) return false;
    const icalcomponent_kind kind = icalcomponent_string_to_kind(ComponentKind(section));
    icalcomponent* c = icalcomponent_get_first_component(item->calendar, kind);
    for (size_t i = 0; c != nullptr && i < ordinal; ++i) c = icalcomponent_get_next_component(item->calendar, kind);
    if (c == nullptr) return Fail(problem, item->lines.lines[item->Master().first].number, "libical lost the component");
    item->master = c;
    return true;
}

}  // namespace

ParsedItem::~ParsedItem() {
    if (calendar != nullptr) icalcomponent_free(calendar);
}

const ical::ContentLine* ParsedItem::Line(const char* name) const {
    const long found = ical::FindProperty(lines, Master(), name);
    return found < 0 ? nullptr : &lines.lines[static_cast<size_t>(found)];
}

std::string ParsedItem::Text(const char* name) const {
    const ical::ContentLine* line = Line(name);
    return line == nullptr ? std::string() : ical::UnescapeText(line->Value());
}

const char* ComponentKind(int32_t section) {
    for (const SectionKind& kind : kKinds)
        if (kind.section == section) return kind.kind;
    return nullptr;
}

bool ParseItem(int32_t section, const std::string& text, const std::string& name, ParsedItem* parsed,
               Problem* problem) {
    problem->name = name;
    parsed->text = text;
    ical::ScanContentLines(text, &parsed->lines);
    size_t ordinal = 0;
    return CheckLines(*parsed, problem) && FindMaster(section, parsed, &ordinal, problem) &&
           ParseWithLibical(section, ordinal, parsed, problem);
}

std::string CalendarText(const std::string& zones, const std::string& component) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Morvane//Morvane PIM formats//EN\r\n" + zones + component +
           "END:VCALENDAR\r\n";
}

}  // namespace cal

bool CalendarToItem(int32_t section, const HostRecord& record, const std::string& uid, const Settings& settings,
                    Item* item, Problem* problem) {
    if (problem->name.empty()) problem->name = "record " + std::to_string(record.id);
    cal::Context context;
    if (!cal::MakeContext(settings, problem->name, nullptr, &context, problem)) return false;
    const cal::FieldSet fields(record);
    *item = Item();
    if (section == kScheduleSection) return cal::EventToItem(fields, uid, context, &item->text, problem);
    if (section == kToDoSection) return cal::TodoToItem(fields, uid, context, &item->text, problem);
    if (section == kMemoSection) return cal::MemoToItem(fields, uid, context, &item->text, problem);
    return cal::Fail(problem, 0, "no calendar component for section " + std::to_string(section));
}

bool ItemToCalendar(int32_t section, const Item& item, const std::string& name, const Settings& settings,
                    HostRecord* record, std::string* uid, std::vector<std::string>* warnings, Problem* problem) {
    problem->name = name;
    if (cal::ComponentKind(section) == nullptr)
        return cal::Fail(problem, 0, "no calendar component for section " + std::to_string(section));
    cal::Context context;
    if (!cal::MakeContext(settings, name, warnings, &context, problem)) return false;
    cal::ParsedItem parsed;
    if (!cal::ParseItem(section, item.text, name, &parsed, problem)) return false;
    if (parsed.occurrencesOnly > 1)
        context.Warn("it holds " + std::to_string(parsed.occurrencesOnly) +
                     " changed occurrences of a series and not the series: the handheld gets the first alone");
    cal::FieldSet fields;
    RepeatInfo repeat = {};
    bool ok = false;
    if (section == kScheduleSection) ok = cal::ItemToEvent(parsed, context, &fields, &repeat, problem);
    if (section == kToDoSection) ok = cal::ItemToTodo(parsed, context, &fields, problem);
    if (section == kMemoSection) ok = cal::ItemToMemo(parsed, context, &fields, problem);
    if (!ok) return false;
    *record = HostRecord();
    fields.ToRecord(section, record);
    record->hasRepeat = section == kScheduleSection;
    record->repeat = repeat;
    *uid = parsed.uid;
    return true;
}

bool MergeCalendar(int32_t section, const Item& base, const HostRecord& record, const Settings& settings,
                   Item* merged, Problem* problem, const HostRecord* lastSynced) {
    const std::string name = problem->name.empty() ? "base item" : problem->name;
    if (cal::ComponentKind(section) == nullptr)
        return cal::Fail(problem, 0, "no calendar component for section " + std::to_string(section));
    cal::Context context;
    if (!cal::MakeContext(settings, name, nullptr, &context, problem)) return false;
    cal::ParsedItem parsed;
    if (!cal::ParseItem(section, base.text, name, &parsed, problem)) return false;
    cal::FieldSet before;
    RepeatInfo repeat = {};
    bool ok = lastSynced != nullptr;
    if (lastSynced != nullptr) before = cal::FieldSet(*lastSynced);
    else if (section == kScheduleSection) ok = cal::ItemToEvent(parsed, context, &before, &repeat, problem);
    else if (section == kToDoSection) ok = cal::ItemToTodo(parsed, context, &before, problem);
    else if (section == kMemoSection) ok = cal::ItemToMemo(parsed, context, &before, problem);
    if (!ok) return false;
    // A field the device record lacks is no change.
    cal::FieldSet device = before;
    for (const auto& field : record.fields) device.Set(field.first.c_str(), field.second);
    cal::Merger merger(parsed);
    if (section == kScheduleSection) ok = cal::MergeEvent(before, device, context, &merger, problem);
    if (section == kToDoSection) ok = cal::MergeTodo(before, device, context, &merger, problem);
    if (section == kMemoSection) ok = cal::MergeMemo(before, device, context, &merger, problem);
    if (!ok) return false;
    *merged = base;
    merged->text = merger.Result();
    // The merged item must read back; a series the handheld moved then
    // takes its exceptions along, and must read back again.
    const auto readsBack = [&](const std::string& text, cal::ParsedItem* out) {
        Problem ignored;
        if (cal::ParseItem(section, text, name, out, &ignored)) return true;
        return cal::Fail(problem, ignored.line, "the merged item does not read back: " + ignored.reason);
    };
    cal::ParsedItem check, again;
    if (!readsBack(merged->text, &check)) return false;
    std::string followed;
    const bool moved = section == kScheduleSection && cal::FollowSeries(parsed, check, context, &followed);
    if (moved) {
        if (!readsBack(followed, &again)) return false;
        merged->text = followed;
    }
    std::string revised;
    if (cal::MarkRevised(parsed, moved ? again : check, context, &revised)) merged->text = revised;
    return true;
}

int32_t CalendarItemKind(const std::string& text) {
    ical::ContentText lines;
    ical::ScanContentLines(text, &lines);
    if (lines.blocks.empty() || lines.blocks[0].kind != "VCALENDAR") return 0;
    for (size_t b : ical::ChildBlocks(lines, 0, nullptr))
        for (const cal::SectionKind& kind : cal::kKinds)
            if (lines.blocks[b].kind == kind.kind) return kind.section;
    return 0;
}

}  // namespace morvane_pim
