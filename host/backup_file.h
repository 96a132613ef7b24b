// The backup file of morvane-sync backup and restore: every record of the
// five databases as the adapter hands them over, in one JSON document.
//
//   { "format": "morvane-backup", "version": 1,
//     "created": "2026-12-08T09:30:00Z", "device": "/home/me/handheld.json",
//     "checksum": "fnv1a64:0123456789abcdef",
//     "body": { "databases": [
//       { "database": "Schedule", "section": 2, "records": [
//         { "id": 1,
//           "fields": [ {"field": "3", "device": "FromDate", "value": "20261208"}, ... ],
//           "repeat": { ... as in the export files ... },
//           "folder": 2 } ] } ] } }
//
// Records are in the form of the export files and the bridge
// (records/record_json.h).
// A value holds the adapter's bytes exactly: each character U+0000..U+00FF
// is one byte of the device's text (the device's own character set is not
// decoded, so nothing is lost whatever it is).  "repeat" comes with Schedule
// records, "folder" (host folder 1..4) with mail.  "checksum" is FNV-1a
// (64 bit) over the compact text of "body" as nlohmann::json's dump()
// writes it (keys sorted, no spaces), so any change to a record, field or
// value is found, whatever the layout of the text.  A reader refuses another "format", another "version"
// and a body whose checksum differs.
#ifndef MORVANE_HOST_BACKUP_FILE_H
#define MORVANE_HOST_BACKUP_FILE_H

#include <stdint.h>

#include <string>
#include <vector>

#include "records/field_map.h"
#include "records/host_record.h"

namespace morvane_host {

constexpr int kBackupFormatVersion = 1;

struct BackupDatabase {
    const HostDatabase* database = nullptr;
    std::vector<HostRecord> records;
};

struct Backup {
    std::string created;  // UTC, ISO 8601
    std::string device;   // what the handheld was known as
    std::vector<BackupDatabase> databases;
};

// The file's text.
std::string EncodeBackup(const Backup& backup);
// Parses and checks a file's text; false with a sentence for the person
// running it in *error (not a backup, another version, damaged).
bool DecodeBackup(const std::string& text, Backup* backup, std::string* error);

// How a record compares with another, its id and status left out.
std::string RecordContent(const HostDatabase& database, const HostRecord& record);

}  // namespace morvane_host

#endif
