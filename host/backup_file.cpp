#include "host/backup_file.h"

#include <string.h>

#include <nlohmann/json.hpp>

#include "records/record_json.h"

namespace morvane_host {

namespace {

using nlohmann::json;

const char kFormatName[] = "morvane-backup";
const char kChecksumPrefix[] = "fnv1a64:";

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

// A database's records as the export files and the bridge carry them.
std::string DatabaseText(const BackupDatabase& database) {
    std::string text = "{\"database\": ";
    AppendJsonString(&text, database.database->name);
    text += ", \"section\": " + std::to_string(database.database->section) + ", \"records\": [";
    for (size_t i = 0; i < database.records.size(); ++i) {
        text += i > 0 ? ",\n" : "\n";
        AppendRecordJson(&text, *database.database, database.records[i], RecordLayout::kFile);
    }
    return text + "]}";
}

// One database of the body, every record checked as an import's would be.
bool DatabaseFromJson(const json& entry, BackupDatabase* database) {
    const json section = entry.value("section", json());
    database->database = section.is_number_integer() ? FindDatabase(section.get<int32_t>()) : nullptr;
    if (database->database == nullptr) return false;
    const std::string text = entry.dump();
    JsonDocument read;
    std::string reason;
    if (!ReadJsonDocument(text.data(), text.size(), "records", &read, &reason)) return false;
    for (size_t i = 0; i < read.records.size(); ++i) {
        HostRecord& record = read.records[i];
        record.action = "add";
        record.status = 0;
        if (!CheckImportRecord(*database->database, record, i + 1, &reason)) return false;
        if (record.hasFolder && (record.folder < kFirstMailFolder || record.folder > kLastMailFolder)) return false;
    }
    database->records = std::move(read.records);
    return true;
}

}  // namespace

std::string EncodeBackup(const Backup& backup) {
    std::string databases;
    for (const BackupDatabase& database : backup.databases)
        databases += (databases.empty() ? "" : ",\n") + DatabaseText(database);
    // The checksum is over the body as a reader parses it and writes it
    // back compactly, so that it does not depend on this writer's layout.
    const json body = json::parse("{\"databases\": [" + databases + "]}", nullptr, false);
    json head{{"format", kFormatName}, {"version", kBackupFormatVersion}, {"created", backup.created},
              {"device", backup.device}, {"checksum", Checksum(body.dump())}};
    std::string text = head.dump(1);
    text.pop_back();  // the closing brace: the body follows
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text + ",\n \"body\": {\"databases\": [\n" + databases + "]}\n}\n";
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
        bool read = file.at("body").contains("databases");
        for (const json& entry : file.at("body").value("databases", json::array())) {
            BackupDatabase database;
            read = read && DatabaseFromJson(entry, &database);
            backup->databases.push_back(std::move(database));
        }
        if (read) return true;
    } catch (const std::exception&) {
    }
    *error = "the backup is damaged: a record in it cannot be read";
    return false;
}

std::string RecordContent(const HostDatabase& database, const HostRecord& record) {
    HostRecord content = record;
    content.id = 0;
    content.status = 0;
    content.action.clear();
    std::string text;
    AppendRecordJson(&text, database, content, RecordLayout::kWire);
    return text;
}

}  // namespace morvane_host
