// The pieces every calendar conversion uses: its context, the host fields
// by id, texts between the device and the item, the properties Schedule,
// ToDo and Memo share, and the merge's edits of the base item's text.
#include <algorithm>
#include <mutex>

#include "pim/calendar_item.h"
#include "pim/calendar_time.h"
#include "pim/charset.h"
#include "records/field_map.h"

namespace morvane_pim {
namespace cal {

namespace {

// libical's errors are values to look at, never a reason to abort.
void PrepareLibical() {
    static std::once_flag once;
    std::call_once(once, [] { icalerror_set_errors_are_fatal(0); });
}

// Device line ends (CR LF; a lone CR too) as LF, and back.
std::string ToLf(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            out += text[i];
        } else {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        }
    }
    return out;
}

std::string ToCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') out += '\r';
        if (c != '\r') out += c;
    }
    return out;
}

}  // namespace

void Context::Warn(const std::string& text) const {
    if (warnings != nullptr) warnings->push_back(name + ": " + text);
}

bool MakeContext(const Settings& settings, const std::string& name, std::vector<std::string>* warnings,
                 Context* context, Problem* problem) {
    PrepareLibical();
    context->settings = &settings;
    context->name = name;
    context->warnings = warnings;
    std::string reason, probe;
    bool lossy = false;
    if (!Utf8ToDevice("", settings.deviceCharset, &probe, &lossy)) {
        reason = "unknown device character set '" + settings.deviceCharset + "'";
    } else if (FindDeviceZone(settings.timezone, &context->zone, &reason)) {
        return true;
    }
    problem->line = 0;
    problem->reason = reason;
    return false;
}

FieldSet::FieldSet(const HostRecord& record) {
    for (const auto& field : record.fields) values_[field.first] = field.second;
}

const std::string& FieldSet::Get(const char* id) const {
    static const std::string kEmpty;
    auto found = values_.find(id);
    return found == values_.end() ? kEmpty : found->second;
}

void FieldSet::ToRecord(int32_t section, HostRecord* record) const {
    const morvane_host::HostDatabase* database = morvane_host::FindDatabase(section);
    record->fields.clear();
    if (database == nullptr) return;
    for (uint32_t i = 0; i < database->fieldCount; ++i)
        record->fields.emplace_back(database->fields[i].readId, Get(database->fields[i].readId));
}

std::string ItemText(const Context& context, const std::string& device) {
    std::string utf8;
    DeviceToUtf8(device, context.settings->deviceCharset, &utf8);
    return ToLf(utf8);
}

std::string DeviceText(const Context& context, const std::string& utf8, const char* what) {
    std::string device;
    bool lossy = false;
    Utf8ToDevice(ToCrLf(utf8), context.settings->deviceCharset, &device, &lossy);
    if (lossy)
        context.Warn(std::string(what) + " holds characters the handheld's " + context.settings->deviceCharset +
                     " cannot hold; it gets \"" + device.substr(0, 40) + (device.size() > 40 ? "...\"" : "\""));
    return device;
}

void AddTextProperty(std::vector<ical::Property>* out, const char* name, const Context& context,
                     const std::string& device) {
    if (!device.empty()) out->push_back(ical::TextProperty(name, ItemText(context, device)));
}

void AddCategory(std::vector<ical::Property>* out, const Context& context, const std::string& device) {
    // One category: its commas are escaped so that nobody splits it.
    if (!device.empty()) out->push_back(ical::TextProperty("CATEGORIES", ItemText(context, device)));
}

void AddSecret(std::vector<ical::Property>* out, const std::string& secret) {
    if (secret == "1") out->push_back(ical::Property{"CLASS", {}, "PRIVATE"});
}

namespace {

// Every category of the master, of all its CATEGORIES lines, in order.
std::vector<std::string> CategoriesOf(const ParsedItem& item) {
    std::vector<std::string> categories;
    for (size_t i : ical::PropertyLines(item.lines, item.Master())) {
        if (item.lines.lines[i].name != "CATEGORIES") continue;
        for (const std::string& category : ical::SplitTextList(item.lines.lines[i].Value()))
            if (!category.empty()) categories.push_back(category);
    }
    return categories;
}

}  // namespace

std::string CategoryOf(const ParsedItem& item, const Context& context) {
    const std::vector<std::string> categories = CategoriesOf(item);
    if (categories.empty()) return std::string();
    if (categories.size() > 1)
        context.Warn("the handheld holds one category; it gets \"" + categories[0] + "\" of " +
                     std::to_string(categories.size()));
    return DeviceText(context, categories[0], "CATEGORIES");
}

std::string SecretOf(const ParsedItem& item) {
    std::string value = item.Text("CLASS");
    std::transform(value.begin(), value.end(), value.begin(), [](unsigned char c) { return static_cast<char>(toupper(c)); });
    return value == "PRIVATE" || value == "CONFIDENTIAL" ? "1" : "0";
}

bool Changed(const FieldSet& base, const FieldSet& device, const char* id) { return base.Get(id) != device.Get(id); }

void MergeText(const FieldSet& base, const FieldSet& device, const char* id, const char* property,
               const Context& context, Merger* merger) {
    if (!Changed(base, device, id)) return;
    std::vector<ical::Property> lines;
    AddTextProperty(&lines, property, context, device.Get(id));
    merger->ReplaceProperties({property}, ical::FormatProperties(lines, "\r\n"));
}

// The handheld holds the item's first category: its change takes the first
// place, the others stay (as the Address book keeps a contact's).
void MergeCategory(const FieldSet& base, const FieldSet& device, const char* id, const Context& context,
                   Merger* merger) {
    if (!Changed(base, device, id)) return;
    const std::vector<std::string> categories = CategoriesOf(merger->base());
    const std::string now = device.Get(id).empty() ? std::string() : ItemText(context, device.Get(id));
    std::string value = now.empty() ? "" : ical::EscapeText(now);
    for (size_t i = 1; i < categories.size(); ++i)
        if (categories[i] != now) value += (value.empty() ? "" : ",") + ical::EscapeText(categories[i]);
    merger->ReplaceProperties(
        {"CATEGORIES"}, value.empty() ? "" : ical::FormatProperty({"CATEGORIES", {}, value}, "\r\n"));
}

void MergeSecret(const FieldSet& base, const FieldSet& device, const char* id, Merger* merger) {
    if (!Changed(base, device, id)) return;
    std::vector<ical::Property> lines;
    AddSecret(&lines, device.Get(id));
    merger->ReplaceProperties({"CLASS"}, ical::FormatProperties(lines, "\r\n"));
}

void Merger::ReplaceProperties(const std::vector<const char*>& names, const std::string& lines) {
    const ical::ContentText& text = base_.lines;
    const ical::Block& master = base_.Master();
    const std::string with = ical::WithLineEnd(lines, lineEnd());
    bool placed = false;
    for (size_t i : ical::PropertyLines(text, master)) {
        const ical::ContentLine& line = text.lines[i];
        if (std::none_of(names.begin(), names.end(), [&](const char* name) { return line.name == name; })) continue;
        edit_.Replace(line.begin, line.end, placed ? std::string() : with);
        placed = true;
    }
    if (placed || with.empty()) return;
    const std::vector<size_t> children = ical::ChildBlocks(text, masterBlock(), nullptr);
    const size_t before = children.empty() ? master.last : text.blocks[children[0]].first;
    edit_.Insert(text.lines[before].begin, with);
}

void Merger::AddZone(const std::string& tzid, const std::string& definition) {
    const ical::ContentText& text = base_.lines;
    if (definition.empty() || tzid.empty()) return;
    for (size_t b : ical::ChildBlocks(text, 0, "VTIMEZONE")) {
        const long line = ical::FindProperty(text, text.blocks[b], "TZID");
        if (line >= 0 && text.lines[static_cast<size_t>(line)].Value() == tzid) return;
    }
    if (std::find(zonesAdded_.begin(), zonesAdded_.end(), tzid) != zonesAdded_.end()) return;
    zonesAdded_.push_back(tzid);
    InsertBefore(base_.Master().first, definition);
}

void Merger::Replace(size_t firstLine, size_t lastLine, const std::string& lines) {
    const ical::ContentText& text = base_.lines;
    edit_.Replace(text.lines[firstLine].begin, text.lines[lastLine].end, ical::WithLineEnd(lines, lineEnd()));
}

void Merger::InsertBefore(size_t line, const std::string& lines) {
    edit_.Insert(base_.lines.lines[line].begin, ical::WithLineEnd(lines, lineEnd()));
}

}  // namespace cal
}  // namespace morvane_pim
