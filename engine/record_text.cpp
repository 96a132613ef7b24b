#include "engine/record_text.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "pim/charset.h"
#include "records/field_map.h"

namespace morvane_engine {

using namespace morvane_host;

namespace {

void AppendEscaped(const std::string& value, std::string* out) {
    for (char c : value) {
        if (c == '\\') *out += "\\\\";
        else if (c == '\n') *out += "\\n";
        else if (c == '\r') *out += "\\r";
        else *out += c;
    }
}

std::string Unescaped(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

std::string RepeatText(const RepeatInfo& r) {
    char text[128];
    snprintf(text, sizeof text, "%u %u %u %.10s|%.10s| %u %u%u%u%u%u%u%u", r.repeatPeriod, r.repeatCount,
             r.deleteFlag, r.startDate, r.endDate, r.isRepeating, r.weekDays[0], r.weekDays[1], r.weekDays[2],
             r.weekDays[3], r.weekDays[4], r.weekDays[5], r.weekDays[6]);
    return text;
}

bool ParseRepeat(const std::string& text, RepeatInfo* r) {
    *r = RepeatInfo();
    unsigned period = 0, count = 0, deleted = 0, repeating = 0;
    const size_t bar1 = text.find('|');
    const size_t bar2 = bar1 == std::string::npos ? bar1 : text.find('|', bar1 + 1);
    if (bar2 == std::string::npos) return false;
    if (sscanf(text.c_str(), "%u %u %u", &period, &count, &deleted) != 3) return false;
    const size_t dates = text.find(' ', text.find(' ', text.find(' ') + 1) + 1) + 1;
    const std::string start = text.substr(dates, bar1 - dates), end = text.substr(bar1 + 1, bar2 - bar1 - 1);
    char days[8] = "";
    if (sscanf(text.c_str() + bar2 + 1, " %u %7s", &repeating, days) != 2 || strlen(days) != 7) return false;
    r->repeatPeriod = static_cast<uint8_t>(period);
    r->repeatCount = static_cast<uint8_t>(count);
    r->deleteFlag = static_cast<uint8_t>(deleted);
    memcpy(r->startDate, start.data(), std::min(start.size(), sizeof r->startDate));
    memcpy(r->endDate, end.data(), std::min(end.size(), sizeof r->endDate));
    r->isRepeating = static_cast<uint8_t>(repeating);
    for (int i = 0; i < 7; ++i) r->weekDays[i] = static_cast<uint8_t>(days[i] - '0');
    return true;
}

// The repeat rule as the device keeps it: a rule that does not repeat says
// nothing, whatever its other members hold.
std::string EffectiveRepeat(const HostRecord& record) {
    if (!record.hasRepeat || record.repeat.isRepeating == 0) return "";
    return RepeatText(record.repeat);
}

// Fields that name a record, in the order they are joined.
struct LabelFields {
    int32_t section;
    const char* ids[3];
};

static const LabelFields kLabelFields[] = {
    // 0
    {kAddressSection,  {"1", "3", "14"}},
    {kScheduleSection, {"7", nullptr, nullptr}},
    {kToDoSection,     {"2", nullptr, nullptr}},
    {kMemoSection,     {"1", nullptr, nullptr}},
    {kMailSection,     {"9", "6", nullptr}},
};

// Fields that tell one record from another of its database, for records
// that a handheld's id may no longer name.
static const LabelFields kIdentityFields[] = {
    // 0
    {kAddressSection,  {"1", "3", "14"}},   // first and last name, company
    {kScheduleSection, {"7", "3", "5"}},    // description, start date and time
    {kToDoSection,     {"2", "1", nullptr}},  // description, due date
    {kMemoSection,     {"1", "3", nullptr}},  // title, text
    {kMailSection,     {"9", "6", "12"}},   // subject, sender, date received
};

}  // namespace

bool LikelySameRecord(int32_t section, const HostRecord& was, const HostRecord& now) {
    for (const LabelFields& row : kIdentityFields) {
        if (row.section != section) continue;
        size_t named = 0, same = 0;
        for (const char* id : row.ids) {
            const std::string empty;
            const std::string* a = id != nullptr ? was.Value(id) : nullptr;
            const std::string* b = id != nullptr ? now.Value(id) : nullptr;
            if (a == nullptr) a = &empty;
            if (b == nullptr) b = &empty;
            if (a->empty() && b->empty()) continue;
            ++named;
            same += *a == *b;
        }
        return 2 * same > named || named == 0;
    }
    return true;
}

std::string RecordToText(const HostRecord& record) {
    std::string out;
    for (const auto& field : record.fields) {
        out += field.first;
        out += '=';
        AppendEscaped(field.second, &out);
        out += '\n';
    }
    if (record.hasRepeat) out += "#repeat=" + RepeatText(record.repeat) + '\n';
    if (record.hasFolder) out += "#folder=" + std::to_string(record.folder) + '\n';
    return out;
}

bool TextToRecord(const std::string& text, HostRecord* record) {
    *record = HostRecord();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const size_t equals = line.find('=');
        if (equals == std::string::npos) return false;
        const std::string name = line.substr(0, equals), value = line.substr(equals + 1);
        if (name == "#repeat") {
            if (!ParseRepeat(value, &record->repeat)) return false;
            record->hasRepeat = true;
        } else if (name == "#folder") {
            record->folder = static_cast<uint32_t>(strtoul(value.c_str(), nullptr, 10));
            record->hasFolder = true;
        } else {
            record->fields.emplace_back(name, Unescaped(value));
        }
    }
    return true;
}

namespace {

const std::string& ValueOrEmpty(const HostRecord& record, const char* readId) {
    static const std::string kEmpty;
    const std::string* value = record.Value(readId);
    return value != nullptr ? *value : kEmpty;
}

// Whether check holds for every host field of the section that is written
// back to the device (those the adapter fills itself left out).
template <typename Check>
bool EverySentField(int32_t section, Check check) {
    const HostDatabase* database = FindDatabase(section);
    if (database == nullptr) return false;
    for (uint32_t i = 0; i < database->fieldCount; ++i) {
        const HostField& field = database->fields[i];
        if (field.rule != WriteRule::kNotSent && !check(field.readId)) return false;
    }
    return true;
}

// A part a write changed (was -> put) that is not back at its old value.
template <typename T>
bool Shows(const T& was, const T& put, const T& is) {
    return was == put || was != is;
}

}  // namespace

bool SameDeviceFields(int32_t section, const HostRecord& a, const HostRecord& b) {
    return EverySentField(section, [&](const char* id) { return ValueOrEmpty(a, id) == ValueOrEmpty(b, id); }) &&
           EffectiveRepeat(a) == EffectiveRepeat(b) && (section != kMailSection || a.folder == b.folder);
}

bool ShowsEveryChange(int32_t section, const HostRecord& before, const HostRecord& sent, const HostRecord& now) {
    return EverySentField(section,
                          [&](const char* id) {
                              return Shows(ValueOrEmpty(before, id), ValueOrEmpty(sent, id), ValueOrEmpty(now, id));
                          }) &&
           Shows(EffectiveRepeat(before), EffectiveRepeat(sent), EffectiveRepeat(now)) &&
           (section != kMailSection || Shows(before.folder, sent.folder, now.folder));
}

std::string RecordLabel(int32_t section, const HostRecord& record, const std::string& charset) {
    for (const LabelFields& row : kLabelFields) {
        if (row.section != section) continue;
        std::string label;
        for (const char* id : row.ids) {
            const std::string* value = id != nullptr ? record.Value(id) : nullptr;
            if (value == nullptr || value->empty()) continue;
            if (!label.empty()) label += ' ';
            label += *value;
        }
        const size_t line = label.find_first_of("\r\n");
        if (line != std::string::npos) label.resize(line);
        // The record's texts are the handheld's; the terminal reads UTF-8.
        std::string text;
        if (!morvane_pim::DeviceToUtf8(label, charset, &text)) text = label;
        if (text.size() <= 40) return text;
        size_t cut = 37;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
        return text.substr(0, cut) + "...";
    }
    return "";
}

}  // namespace morvane_engine
