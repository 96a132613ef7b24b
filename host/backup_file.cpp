#include "host/backup_file.h"

#include <string.h>

#include <nlohmann/json.hpp>

namespace morvane_host {

namespace {

using nlohmann::json;

const char kFormatName[] = "morvane-backup";
const char kChecksumPrefix[] = "fnv1a64:";

// Each byte one character U+0000..U+00FF, as UTF-8.
std::string BytesToText(const std::string& bytes) {
    std::string text;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

// The bytes back; false on a character above U+00FF, which no writer made.
bool TextToBytes(const std::string& text, std::string* bytes) {
    bytes->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            *bytes += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size()) {
            *bytes += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3F));
        } else {
            return false;
        }
    }
    return true;
}

std::string Checksum(const std::string& text) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    char hex[17];
    snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return std::string(kChecksumPrefix) + hex;
}

std::string FixedText(const char* text, size_t size) { return BytesToText(std::string(text, strnlen(text, size))); }

json RepeatToJson(const RepeatInfo& repeat) {
    json days = json::array();
    for (uint8_t day : repeat.weekDays) days.push_back(day);
    return json{{"isRepeating", repeat.isRepeating},
                {"repeatPeriod", repeat.repeatPeriod},
                {"repeatCount", repeat.repeatCount},
                {"deleteFlag", repeat.deleteFlag},
                {"startDate", FixedText(repeat.startDate, sizeof repeat.startDate)},
                {"endDate", FixedText(repeat.endDate, sizeof repeat.endDate)},
                {"weekDays", days}};
}

bool FixedFromText(const json& value, char* out, size_t size) {
    std::string bytes;
    if (!TextToBytes(value.get<std::string>(), &bytes) || bytes.size() > size) return false;
    memset(out, 0, size);
    memcpy(out, bytes.data(), bytes.size());
    return true;
}

// Throws (caught by DecodeBackup) on a member of the wrong type.
bool RepeatFromJson(const json& value, RepeatInfo* repeat) {
    *repeat = RepeatInfo{};
    repeat->isRepeating = value.at("isRepeating").get<uint8_t>();
    repeat->repeatPeriod = value.at("repeatPeriod").get<uint8_t>();
    repeat->repeatCount = value.at("repeatCount").get<uint8_t>();
    repeat->deleteFlag = value.at("deleteFlag").get<uint8_t>();
    const json& days = value.at("weekDays");
    if (days.size() != sizeof repeat->weekDays) return false;
    for (size_t i = 0; i < days.size(); ++i) repeat->weekDays[i] = days.at(i).get<uint8_t>();
    return FixedFromText(value.at("startDate"), repeat->startDate, sizeof repeat->startDate) &&
           FixedFromText(value.at("endDate"), repeat->endDate, sizeof repeat->endDate);
}

// database null: without the device field names.
json RecordToJson(const HostDatabase* database, const HostRecord& record, bool withId) {
    json fields = json::array();
    for (const auto& field : record.fields) {
        const HostField* known = database != nullptr ? FindField(*database, field.first) : nullptr;
        fields.push_back({{"field", field.first},
                          {"device", known != nullptr ? known->deviceName : ""},
                          {"value", BytesToText(field.second)}});
    }
    json item{{"fields", fields}};
    if (withId) item["id"] = record.id;
    if (record.hasRepeat) item["repeat"] = RepeatToJson(record.repeat);
    if (record.hasFolder) item["folder"] = record.folder;
    return item;
}

bool RecordFromJson(const HostDatabase& database, const json& item, HostRecord* record) {
    record->id = item.at("id").get<int32_t>();
    record->action = "add";
    for (const json& field : item.at("fields")) {
        const std::string id = field.at("field").get<std::string>();
        std::string bytes;
        if (FindField(database, id) == nullptr || !TextToBytes(field.at("value").get<std::string>(), &bytes))
            return false;
        record->fields.emplace_back(id, bytes);
    }
    if (item.contains("repeat")) {
        record->hasRepeat = true;
        if (!RepeatFromJson(item.at("repeat"), &record->repeat)) return false;
    }
    if (item.contains("folder")) {
        record->hasFolder = true;
        record->folder = item.at("folder").get<uint32_t>();
        if (record->folder < kFirstMailFolder || record->folder > kLastMailFolder) return false;
    }
    return true;
}

bool DatabasesFromJson(const json& body, Backup* backup) {
    for (const json& entry : body.at("databases")) {
        BackupDatabase database;
        database.database = FindDatabase(entry.at("section").get<int32_t>());
        if (database.database == nullptr) return false;
        for (const json& item : entry.at("records")) {
            HostRecord record;
            if (!RecordFromJson(*database.database, item, &record)) return false;
            database.records.push_back(record);
        }
        backup->databases.push_back(database);
    }
    return true;
}

}  // namespace

std::string EncodeBackup(const Backup& backup) {
    json databases = json::array();
    for (const BackupDatabase& database : backup.databases) {
        json records = json::array();
        for (const HostRecord& record : database.records)
            records.push_back(RecordToJson(database.database, record, true));
        databases.push_back({{"database", database.database->name},
                             {"section", database.database->section},
                             {"records", records}});
    }
    const json body{{"databases", databases}};
    json file{{"format", kFormatName},       {"version", kBackupFormatVersion}, {"created", backup.created},
              {"device", backup.device},     {"checksum", Checksum(body.dump())}, {"body", body}};
    return file.dump(1) + "\n";
}

bool DecodeBackup(const std::string& text, Backup* backup, std::string* error) {
    const json file = json::parse(text, nullptr, false);
    if (file.is_discarded()) {
        *error = "not a morvane-sync backup, or a damaged one: it is not JSON";
        return false;
    }
    try {
        if (!file.is_object() || !file.contains("format") || file.at("format") != kFormatName) {
            *error = "not a morvane-sync backup (no \"format\": \"morvane-backup\")";
            return false;
        }
        const json version = file.value("version", json());
        if (version != kBackupFormatVersion) {
            *error = "a backup of format version " + version.dump() + "; this morvane-sync reads version " +
                     std::to_string(kBackupFormatVersion) + " only";
            return false;
        }
        if (!file.contains("body") || file.value("checksum", std::string()) != Checksum(file.at("body").dump())) {
            *error = "the backup is damaged: its checksum does not match its contents";
            return false;
        }
        *backup = Backup();
        backup->created = file.value("created", std::string());
        backup->device = file.value("device", std::string());
        if (DatabasesFromJson(file.at("body"), backup)) return true;
    } catch (const std::exception&) {
    }
    *error = "the backup is damaged: a record in it cannot be read";
    return false;
}

std::string RecordContent(const HostRecord& record) {
    return RecordToJson(nullptr, record, false).dump();
}

}  // namespace morvane_host
