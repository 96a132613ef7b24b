// The section-keyed entry points of the formats, and what all sections
// share: match keys, file name extensions, problem texts.
#include "pim/pim.h"

#include <ctype.h>
#include <stdio.h>

#include <algorithm>

#include "pim/charset.h"
#include "pim/formats.h"
#include "records/field_map.h"

namespace morvane_pim {

using namespace morvane_host;

namespace {

// Fields the adapter fills on its own when the PC writes a record, whatever
// it was sent: a handheld's own record may hold something else there, and
// the same record written back by the PC (a restore) must still match it.
// Each with the handheld's value after the write: the value whatever was
// sent, or the value an empty one reads back as.
struct AdapterFilled {
    int32_t section;
    const char* readId;
    const char* always;    // null: as sent, unless empty
    const char* forEmpty;  // null: an empty value reads back empty
    bool byFolder;         // set from the mail folder written to: 0 received, 1 any other
    bool allDay;           // 1 for an all-day appointment (its start time written empty), else as sent
};

static const AdapterFilled kAdapterFilled[] = {
    // 0
    {kScheduleSection, "20", "1", nullptr, false, false},     // SilentLoud: always 1
    {kScheduleSection, "22", nullptr, "0000", false, false},  // DayPattern: empty reads back as 0000
    {kScheduleSection, "10", nullptr, nullptr, false, true},  // EventFlag: an all-day appointment's is 1
    {kMailSection,     "3", nullptr, nullptr, true, false},   // Type: the folder's, not a mail's own
    {kMailSection,     "14", "0", nullptr, false, false},     // IsSent: never written, reads back 0
    // 5
    {kMailSection,     "15", "0", nullptr, false, false},     // IsAttachment: the same
    {kMailSection,     "16", "0", nullptr, false, false},     // IsSMS: 0 in every host folder
};

// Fields the handheld has no place for: whatever the PC sends, they read
// back empty, and an empty one says nothing of a change on the handheld.
struct NeverKept {
    int32_t section;
    const char* readIds[12];
};

static const NeverKept kNeverKept[] = {
    {kScheduleSection, {"21"}},                        // TimeZone
    {kAddressSection,  {"10", "27", "28", "29", "30"}},  // SMS, Custom1 to Custom4
    {kMemoSection,     {"4"}},                         // Category
    // MailAddress, MessageID, RecvDate, the SMS fields, Replytoaddr, FromMail
    {kMailSection,     {"1", "4", "12", "17", "18", "19", "20", "21", "22", "24", "25"}},
};

// What the adapter stores for the field of a record it is sent, or null
// when it keeps what it is sent.
const char* KeptValue(const AdapterFilled& row, const HostRecord& record) {
    if (row.byFolder) return !record.hasFolder ? nullptr : record.folder == kFirstMailFolder ? "0" : "1";
    if (row.allDay) {
        const std::string* start = record.Value("5");
        return start != nullptr && start->empty() ? "1" : nullptr;
    }
    if (row.always != nullptr) return row.always;
    const std::string* sent = record.Value(row.readId);
    return sent == nullptr || sent->empty() ? row.forEmpty : nullptr;
}

// Categories the handheld reads back as none: its own word for no category.
struct NoCategory {
    int32_t section;
    const char* readId;
};

static const NoCategory kUndefinedCategories[] = {
    {kToDoSection, "6"},
    {kAddressSection, "32"},
};

bool NeverKeptField(int32_t section, const std::string& readId) {
    for (const NeverKept& row : kNeverKept)
        for (const char* id : row.readIds)
            if (row.section == section && id != nullptr && readId == id) return true;
    return false;
}

bool FilledByAdapter(int32_t section, const char* readId) {
    for (const AdapterFilled& row : kAdapterFilled)
        if (row.section == section && std::string(row.readId) == readId) return true;
    return NeverKeptField(section, readId);
}

bool UnknownSection(int32_t section, Problem* problem) {
    problem->line = 0;
    problem->reason = "no format for section " + std::to_string(section);
    return false;
}

bool IsCalendar(int32_t section) {
    return section == kScheduleSection || section == kToDoSection || section == kMemoSection;
}

// Trimmed, line ends as one space, runs of white space as one, lower case:
// what two programs may write differently for the same value.
std::string Normalised(const std::string& value) {
    std::string out;
    bool space = false;
    for (unsigned char c : value) {
        if (isspace(c)) {
            space = !out.empty();
            continue;
        }
        if (space) out.push_back(' ');
        space = false;
        out.push_back(static_cast<char>(tolower(c)));
    }
    return out;
}

}  // namespace

std::string Problem::ToString() const {
    return line == 0 ? name + ": " + reason : name + ":" + std::to_string(line) + ": " + reason;
}

bool RecordToItem(int32_t section, const HostRecord& record, const std::string& uid, const Settings& settings,
                  Item* item, Problem* problem) {
    if (section == kAddressSection) return AddressToItem(record, uid, settings, item, problem);
    if (IsCalendar(section)) return CalendarToItem(section, record, uid, settings, item, problem);
    if (section == kMailSection) return MailToItem(record, uid, settings, item, problem);
    return UnknownSection(section, problem);
}

namespace {

// The most bytes of a field's value the adapter gives back when it reads a
// record: a longer value would come back shorter, look changed on the
// handheld at every full read, and is refused by the device session.
constexpr size_t kHandheldTextBytes = 45055;

// Where a value cut to at most limit bytes ends: not between a CR and its
// LF, nor inside a character of the handheld's character set (whose start
// alone would read as a replacement character, not as the text's start).
size_t CutPoint(const std::string& value, size_t limit, const std::string& charset) {
    std::string whole, start;
    DeviceToUtf8(value, charset, &whole);
    for (size_t cut = limit; cut + 4 > limit && cut > 0; --cut) {
        if (value[cut - 1] == '\r' && value[cut] == '\n') continue;
        if (DeviceToUtf8(value.substr(0, cut), charset, &start) && whole.compare(0, start.size(), start) == 0)
            return cut;
    }
    return limit;
}

// Every value cut to what the handheld gives back, with a warning naming
// the field: the item keeps its whole text, which a later device edit of
// another field leaves alone.  A memo's text comes back after its title's
// line, within the same limit.
void FitToHandheld(int32_t section, const std::string& name, const Settings& settings, HostRecord* record,
                   std::vector<std::string>* warnings) {
    const HostDatabase* database = FindDatabase(section);
    const std::string* title = section == kMemoSection ? record->Value("1") : nullptr;
    const size_t titleLine = title != nullptr ? std::min(title->size(), kHandheldTextBytes - 2) + 2 : 0;
    for (auto& field : record->fields) {
        size_t limit = kHandheldTextBytes;
        if (section == kMemoSection && field.first == "1") limit -= 2;  // the title's line ends in CR LF
        if (section == kMemoSection && field.first == "3") limit -= titleLine;
        if (field.second.size() > limit) {
            const size_t cut = CutPoint(field.second, limit, settings.deviceCharset);
            const HostField* known = database != nullptr ? FindField(*database, field.first) : nullptr;
            warnings->push_back(name + ": " + (known != nullptr ? known->deviceName : field.first.c_str()) +
                                " holds " + std::to_string(field.second.size()) +
                                " bytes, more than the handheld keeps; it gets the first " + std::to_string(cut));
            field.second.resize(cut);
        }
    }
}

}  // namespace

bool ItemToRecord(int32_t section, const Item& item, const std::string& name, const Settings& settings,
                  HostRecord* record, std::string* uid, std::vector<std::string>* warnings, Problem* problem) {
    problem->name = name;
    bool converted = false;
    if (section == kAddressSection)
        converted = ItemToAddress(item, name, settings, record, uid, warnings, problem);
    else if (IsCalendar(section))
        converted = ItemToCalendar(section, item, name, settings, record, uid, warnings, problem);
    else if (section == kMailSection)
        converted = ItemToMail(item, name, settings, record, uid, warnings, problem);
    else
        return UnknownSection(section, problem);
    if (converted) FitToHandheld(section, name, settings, record, warnings);
    return converted;
}

bool MergeRecord(int32_t section, const Item& base, const HostRecord& given, const Settings& settings,
                 Item* merged, Problem* problem, const HostRecord* lastSynced) {
    // What the handheld has no place for it reads back empty: the item
    // keeps its own.
    HostRecord record = given;
    record.fields.erase(std::remove_if(record.fields.begin(), record.fields.end(),
                                       [&](const std::pair<std::string, std::string>& f) {
                                           return NeverKeptField(section, f.first);
                                       }),
                        record.fields.end());
    if (section == kAddressSection) return MergeAddress(base, record, settings, merged, problem, lastSynced);
    if (IsCalendar(section)) return MergeCalendar(section, base, record, settings, merged, problem, lastSynced);
    if (section == kMailSection) return MergeMail(base, record, settings, merged, problem, lastSynced);
    return UnknownSection(section, problem);
}

std::string MatchKey(int32_t section, const HostRecord& record) {
    const HostDatabase* database = FindDatabase(section);
    if (database == nullptr) return std::string();
    // Fields in the map's order, each written back to the device, as the
    // handheld holds them: those the adapter fills itself (not sent, or sent
    // and replaced) say nothing about which record this is.
    const HostRecord held = AsWritten(section, record);
    std::string key;
    for (uint32_t i = 0; i < database->fieldCount; ++i) {
        const HostField& field = database->fields[i];
        if (field.rule == WriteRule::kNotSent || FilledByAdapter(section, field.readId)) continue;
        const std::string* value = held.Value(field.readId);
        key += field.readId;
        key += '=';
        if (value != nullptr) key += Normalised(*value);
        key += '\n';
    }
    if (record.hasRepeat && record.repeat.isRepeating != 0) {
        char repeat[96];
        const RepeatInfo& r = record.repeat;
        snprintf(repeat, sizeof repeat, "repeat=%u/%u/%.10s/%.10s/%u%u%u%u%u%u%u\n", r.repeatPeriod, r.repeatCount,
                 r.startDate, r.endDate, r.weekDays[0], r.weekDays[1], r.weekDays[2], r.weekDays[3], r.weekDays[4],
                 r.weekDays[5], r.weekDays[6]);
        key += repeat;
    }
    if (record.hasFolder) key += "folder=" + std::to_string(record.folder) + '\n';
    return key;
}

HostRecord AsWritten(int32_t section, HostRecord record) {
    for (const AdapterFilled& row : kAdapterFilled) {
        if (row.section != section) continue;
        const char* kept = KeptValue(row, record);
        if (kept == nullptr) continue;
        auto field = std::find_if(record.fields.begin(), record.fields.end(),
                                  [&](const std::pair<std::string, std::string>& f) { return f.first == row.readId; });
        if (field != record.fields.end()) field->second = kept;
        else record.fields.emplace_back(row.readId, kept);
    }
    for (auto& field : record.fields) {
        if (NeverKeptField(section, field.first)) field.second.clear();
        for (const NoCategory& row : kUndefinedCategories)
            if (row.section == section && field.first == row.readId && field.second == "Undefined") field.second.clear();
    }
    // The handheld keeps a memo's title as the first line of its text: the
    // adapter writes it with a CR LF after it, and reads it back up to the
    // LF, the CR kept.
    if (section == kMemoSection) {
        auto title = std::find_if(record.fields.begin(), record.fields.end(),
                                  [](const std::pair<std::string, std::string>& f) { return f.first == "1"; });
        if (title != record.fields.end() && (title->second.empty() || title->second.back() != '\r'))
            title->second += '\r';
    }
    return record;
}

const char* ItemExtension(int32_t section) {
    if (section == kAddressSection) return ".vcf";
    if (IsCalendar(section)) return ".ics";
    return "";
}

}  // namespace morvane_pim
