#include "host/backup_file.h"

#include <stdio.h>

#include <nlohmann/json.hpp>

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

// A database with one record a line, for people reading the file.
std::string DatabaseText(const LinkDatabase& database) {
    std::string text = LinkHeadToJson(database).dump();
    text.pop_back();  // the closing brace: the records follow
    text += ", \"records\": [";
    for (size_t i = 0; i < database.records.size(); ++i)
        text += (i > 0 ? ",\n  " : "\n  ") + LinkRecordToJson(database, database.records[i]).dump();
    return text + "]}";
}

bool ReadBody(const json& body, Backup* backup, std::string* error) {
    if (!body.is_object() || !body.contains("databases") || !body["databases"].is_array()) {
        *error = "the backup is damaged: it has no list of databases";
        return false;
    }
    for (const json& entry : body["databases"]) {
        LinkDatabase database;
        std::string reason;
        if (!LinkDatabaseFromJson(entry, &database, &reason)) {
            *error = "the backup is damaged: " + reason;
            return false;
        }
        backup->databases.push_back(std::move(database));
    }
    return true;
}

}  // namespace

std::string EncodeBackup(const Backup& backup) {
    json body{{"databases", json::array()}};
    std::string databases;
    for (const LinkDatabase& database : backup.databases) {
        body["databases"].push_back(LinkDatabaseToJson(database));
        databases += (databases.empty() ? "" : ",\n") + DatabaseText(database);
    }
    // The checksum is over the body as a reader parses it and writes it
    // back compactly, so that it does not depend on this writer's layout.
    json head{{"format", kFormatName}, {"version", kBackupFormatVersion}, {"created", backup.created},
              {"device", backup.device}, {"checksum", Checksum(body.dump())}};
    std::string text = head.dump(1, ' ', false, json::error_handler_t::replace);
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
    if (!file.is_object() || !file.contains("format") || file["format"] != kFormatName) {
        *error = "not a morvane-sync backup (no \"format\": \"morvane-backup\")";
        return false;
    }
    const json version = file.contains("version") ? file["version"] : json();
    if (version != kBackupFormatVersion) {
        *error = "a backup of format version " + version.dump() + "; this morvane-sync reads version " +
                 std::to_string(kBackupFormatVersion) + " only";
        return false;
    }
    const json checksum = file.contains("checksum") ? file["checksum"] : json();
    if (!file.contains("body") || !checksum.is_string() || checksum != Checksum(file["body"].dump())) {
        *error = "the backup is damaged: its checksum does not match its contents";
        return false;
    }
    *backup = Backup();
    if (file.contains("created") && file["created"].is_string()) backup->created = file["created"];
    if (file.contains("device") && file["device"].is_string()) backup->device = file["device"];
    return ReadBody(file["body"], backup, error);
}

}  // namespace morvane_host
