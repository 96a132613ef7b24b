// The backup file of morvane-sync backup and restore: every database of the
// handheld as its device link library holds it (records/link_image.h), in
// one JSON document (BACKUP.md):
//
//   { "format": "morvane-backup", "version": 2,
//     "created": "2026-12-08T09:30:00Z", "device": "/home/me/handheld.json",
//     "checksum": "fnv1a64:0123456789abcdef",
//     "body": { "databases": [
//       {"database": 8, "name": "Memo", "fields": [{"name": "S_PAGE_TITLE", "type": 16}, ...],
//        "records": [
//         {"id": 3, "values": ["Shopping", {"hex": "00000000c0e1e540"}, ...]},
//         ... ] } ] } }
//
// "checksum" is FNV-1a (64 bit) over the compact text of "body" as
// nlohmann::json's dump() writes it (keys sorted, no spaces), so any change
// to a record, field or value is found, whatever the layout of the text.
// A reader refuses another "format", another "version" and a body whose
// checksum differs.
#ifndef MORVANE_HOST_BACKUP_FILE_H
#define MORVANE_HOST_BACKUP_FILE_H

#include <string>
#include <vector>

#include "records/link_image.h"

namespace morvane_host {

constexpr int kBackupFormatVersion = 2;

struct Backup {
    std::string created;  // UTC, ISO 8601
    std::string device;   // what the handheld was known as
    std::vector<LinkDatabase> databases;
};

// The file's text: one record a line.
std::string EncodeBackup(const Backup& backup);
// Parses and checks a file's text; false with a sentence for the person
// running it in *error (not a backup, another version, damaged).
bool DecodeBackup(const std::string& text, Backup* backup, std::string* error);

}  // namespace morvane_host

#endif
