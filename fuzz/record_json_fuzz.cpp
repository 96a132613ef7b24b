// Records read from JSON, as an import file and every line between the
// bridge and its client are read (records/record_json.h): any bytes, no
// crash; a document the reader accepts is one nlohmann's parser accepts
// too (the reader's own scanner of plain JSON must never accept more); and
// every record read comes back unchanged when written and read again.
// The same for a database of link records, as a backup file holds them
// (records/link_image.h).
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <nlohmann/json.hpp>

#include "records/link_image.h"
#include "records/record_json.h"

namespace {

using morvane_host::HostRecord;

std::string FixedText(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

bool SameRecord(const HostRecord& a, const HostRecord& b) {
    const bool sameRepeat = !a.hasRepeat ||
        (a.repeat.isRepeating == b.repeat.isRepeating && a.repeat.repeatPeriod == b.repeat.repeatPeriod &&
         a.repeat.repeatCount == b.repeat.repeatCount && a.repeat.deleteFlag == b.repeat.deleteFlag &&
         memcmp(a.repeat.weekDays, b.repeat.weekDays, sizeof a.repeat.weekDays) == 0 &&
         FixedText(a.repeat.startDate, sizeof a.repeat.startDate) == FixedText(b.repeat.startDate, sizeof b.repeat.startDate) &&
         FixedText(a.repeat.endDate, sizeof a.repeat.endDate) == FixedText(b.repeat.endDate, sizeof b.repeat.endDate));
    return a.id == b.id && a.status == b.status && a.fields == b.fields && a.hasRepeat == b.hasRepeat && sameRepeat &&
           a.hasFolder == b.hasFolder && (!a.hasFolder || a.folder == b.folder) && a.action == b.action;
}

bool SameLinkDatabase(const morvane_host::LinkDatabase& a, const morvane_host::LinkDatabase& b) {
    if (a.id != b.id || a.fields.size() != b.fields.size() || a.records.size() != b.records.size()) return false;
    for (size_t i = 0; i < a.fields.size(); ++i)
        if (a.fields[i].name != b.fields[i].name || a.fields[i].type != b.fields[i].type) return false;
    for (size_t i = 0; i < a.records.size(); ++i)
        if (a.records[i].id != b.records[i].id || a.records[i].values != b.records[i].values) return false;
    return true;
}

void CheckLinkDatabase(const char* text, size_t size) {
    const nlohmann::json json = nlohmann::json::parse(text, text + size, nullptr, false);
    morvane_host::LinkDatabase database, again;
    std::string error;
    if (json.is_discarded() || !morvane_host::LinkDatabaseFromJson(json, &database, &error)) return;
    const std::string written = morvane_host::LinkDatabaseToJson(database).dump();
    if (!morvane_host::LinkDatabaseFromJson(nlohmann::json::parse(written), &again, &error)) abort();
    if (!SameLinkDatabase(database, again)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const morvane_host::HostDatabase& database = *morvane_host::FindDatabase(morvane_host::kScheduleSection);
    for (const char* key : {"record", "records"}) {
        morvane_host::JsonDocument document;
        std::string error;
        if (!morvane_host::ReadJsonDocument(text, size, key, &document, &error)) continue;
        if (!nlohmann::json::accept(text, text + size)) abort();
        for (const HostRecord& record : document.records) {
            std::string line = "{\"record\":";
            morvane_host::AppendRecordJson(&line, database, record, morvane_host::RecordLayout::kWire);
            line += "}";
            morvane_host::JsonDocument again;
            if (!morvane_host::ReadJsonDocument(line.data(), line.size(), "record", &again, &error)) abort();
            if (again.records.size() != 1 || !SameRecord(record, again.records.front())) abort();
        }
    }
    CheckLinkDatabase(text, size);
    return 0;
}
