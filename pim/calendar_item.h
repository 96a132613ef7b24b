// What the calendar files share: the conversion's context (device zone,
// character set, warnings), the host fields of a record by id, an item read
// and checked (libical's view and its content lines), the new item's
// frame, and the merge's edits of the base item's text.
#ifndef MORVANE_PIM_CALENDAR_ITEM_H
#define MORVANE_PIM_CALENDAR_ITEM_H

#include <libical/ical.h>

#include <map>
#include <string>
#include <vector>

#include "pim/calendar_lines.h"
#include "pim/pim.h"

namespace morvane_pim {
namespace cal {

// The handheld's time zone: an Olson name and libical's zone for it.
struct DeviceZone {
    std::string name;             // "Europe/Berlin"; "UTC"
    icaltimezone* zone = nullptr;  // libical's built-in zone (the UTC zone for UTC)
    bool utc = false;
};

// One conversion: its settings, zone, item name and where warnings go.
struct Context {
    const Settings* settings = nullptr;
    DeviceZone zone;
    std::string name;
    std::vector<std::string>* warnings = nullptr;

    void Warn(const std::string& text) const;
};

// Sets up libical once (errors never abort) and the context; false with
// the reason for an unknown zone or character set.
bool MakeContext(const Settings& settings, const std::string& name, std::vector<std::string>* warnings,
                 Context* context, Problem* problem);

// Host fields by read id.  Reading an absent field gives empty text.
class FieldSet {
public:
    FieldSet() = default;
    explicit FieldSet(const HostRecord& record);
    const std::string& Get(const char* id) const;
    bool Has(const char* id) const { return values_.count(id) != 0; }
    void Set(const char* id, const std::string& value) { values_[id] = value; }
    // Every field of the section, in the host's field order.
    void ToRecord(int32_t section, HostRecord* record) const;

private:
    std::map<std::string, std::string> values_;
};

// Device text (its character set, CR LF) to item text (UTF-8, LF) and back;
// what the device cannot hold is transliterated with a warning naming what.
std::string ItemText(const Context& context, const std::string& device);
std::string DeviceText(const Context& context, const std::string& utf8, const char* what);

// An item read and checked.
struct ParsedItem {
    std::string text;
    ical::ContentText lines;
    icalcomponent* calendar = nullptr;  // owned
    icalcomponent* master = nullptr;    // the section's component without RECURRENCE-ID (see occurrencesOnly)
    size_t masterBlock = 0;             // its block in lines
    std::string uid;
    // An item of changed occurrences alone: how many (its first is the
    // master); 0 for an item with a master.
    size_t occurrencesOnly = 0;

    ParsedItem() = default;
    ParsedItem(const ParsedItem&) = delete;
    ParsedItem& operator=(const ParsedItem&) = delete;
    ~ParsedItem();

    const ical::Block& Master() const { return lines.blocks[masterBlock]; }
    // The master's first property line of that name, or null.
    const ical::ContentLine* Line(const char* name) const;
    // Its TEXT value unescaped; empty when absent.
    std::string Text(const char* name) const;
};

// The component kind of a section ("VEVENT"), or null.
const char* ComponentKind(int32_t section);

// Reads and checks an item for a section: UTF-8, content lines, nesting,
// VERSION, one UID, libical's own complaints.  A Problem reason starting
// "not a " says that the item holds no component of the section's kind.
bool ParseItem(int32_t section, const std::string& text, const std::string& name, ParsedItem* parsed,
               Problem* problem);

// A new item: the VCALENDAR frame around zone definitions and one
// component's lines (all ended by CR LF).
std::string CalendarText(const std::string& zones, const std::string& component);

// The merge's changes to the base item's text.
class Merger {
public:
    explicit Merger(const ParsedItem& base) : base_(base) {}
    const ParsedItem& base() const { return base_; }
    const std::string& lineEnd() const { return base_.lines.lineEnd; }
    // Drops the master's own properties of these names and puts lines (CR
    // LF ended; written with the item's own line end) where the first of
    // them stood, or else before the master's first sub-component or END.
    void ReplaceProperties(const std::vector<const char*>& names, const std::string& lines);
    // Adds a VTIMEZONE before the master unless one with this TZID is there.
    void AddZone(const std::string& tzid, const std::string& definition);
    void Replace(size_t firstLine, size_t lastLine, const std::string& lines);  // lines [first, last]
    void InsertBefore(size_t line, const std::string& lines);
    std::string Result() const { return edit_.Apply(base_.text); }

private:
    size_t masterBlock() const { return base_.masterBlock; }

    const ParsedItem& base_;
    ical::TextEdit edit_;
    std::vector<std::string> zonesAdded_;
};

// After a merge: when the handheld's change altered the master, after's
// text with its revision marked (DTSTAMP and LAST-MODIFIED at the
// settings' time, SEQUENCE one up for a change of its times, repeat or
// status) in *text; false when nothing but those marks differs.
bool MarkRevised(const ParsedItem& before, const ParsedItem& after, const Context& context, std::string* text);

// The section conversions (calendar_event.cpp, calendar_todo.cpp,
// calendar_memo.cpp).  *text gets a whole item.
bool EventToItem(const FieldSet& fields, const std::string& uid, const Context& context, std::string* text,
                 Problem* problem);
bool ItemToEvent(const ParsedItem& item, const Context& context, FieldSet* fields, RepeatInfo* repeat,
                 Problem* problem);
bool MergeEvent(const FieldSet& base, const FieldSet& device, const Context& context, Merger* merger,
                Problem* problem);

bool TodoToItem(const FieldSet& fields, const std::string& uid, const Context& context, std::string* text,
                Problem* problem);
bool ItemToTodo(const ParsedItem& item, const Context& context, FieldSet* fields, Problem* problem);
bool MergeTodo(const FieldSet& base, const FieldSet& device, const Context& context, Merger* merger,
               Problem* problem);

bool MemoToItem(const FieldSet& fields, const std::string& uid, const Context& context, std::string* text,
                Problem* problem);
bool ItemToMemo(const ParsedItem& item, const Context& context, FieldSet* fields, Problem* problem);
bool MergeMemo(const FieldSet& base, const FieldSet& device, const Context& context, Merger* merger,
               Problem* problem);

// What the three components share: SUMMARY, DESCRIPTION, CATEGORIES and
// CLASS from device texts, and a record field that changed.
void AddTextProperty(std::vector<ical::Property>* out, const char* name, const Context& context,
                     const std::string& device);
void AddCategory(std::vector<ical::Property>* out, const Context& context, const std::string& device);
void AddSecret(std::vector<ical::Property>* out, const std::string& secret);
std::string CategoryOf(const ParsedItem& item, const Context& context);
std::string SecretOf(const ParsedItem& item);
bool Changed(const FieldSet& base, const FieldSet& device, const char* id);
// Rewrites one property from a record field when that field changed.
void MergeText(const FieldSet& base, const FieldSet& device, const char* id, const char* property,
               const Context& context, Merger* merger);
void MergeCategory(const FieldSet& base, const FieldSet& device, const char* id, const Context& context,
                   Merger* merger);
void MergeSecret(const FieldSet& base, const FieldSet& device, const char* id, Merger* merger);

}  // namespace cal
}  // namespace morvane_pim

#endif
