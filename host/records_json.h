// The export files: one JSON file per database, "<name>.json" (for example
// "schedule.json"), which the import reads back.
//
//   {
//     "database": "Schedule", "section": 2, "fullSync": true, "count": 3,
//     "records": [
//       { "id": 1, "status": 2,
//         "fields": [ {"field": "3", "device": "FromDate", "value": "20261208"}, ... ],
//         "repeat": { "isRepeating": 1, "repeatPeriod": 5, "repeatCount": 1, "deleteFlag": 0,
//                     "startDate": "20260314", "endDate": "-1", "weekDays": [0,0,0,0,0,0,0] },
//         "folder": 2,
//         "action": "add" } ] }
//
// Each record is in the form of records/record_json.h: "field" is the host
// field id the value was read with, "device" the device field it stands
// for; values are the adapter's texts in UTF-8, read from the device's
// character set (--device-charset, WINDOWS-1252 unless given) and brought
// back to it on import (a character it lacks transliterated).  "repeat" comes with Schedule records, "folder" (host folder
// 1..4) with mail.  "action" is optional in an import file: "add", "change"
// or "delete"; without it status 3 means change, 4 delete, anything else
// add.  An import file may also give "fields" as an object keyed by field
// id, {"3": "20261208"}.
#ifndef MORVANE_HOST_RECORDS_JSON_H
#define MORVANE_HOST_RECORDS_JSON_H

#include <string>

#include "records/field_map.h"
#include "records/host_record.h"

namespace morvane_host {

std::string ExportFilePath(const std::string& folder, const HostDatabase& database);

// Writes the file whole or not at all (a temporary file renamed over it);
// false with the reason in *error.
bool WriteExportFile(const std::string& path, const HostDatabase& database, const DatabaseRecords& records,
                     const std::string& charset, std::string* error);
// Reads a file written by WriteExportFile (or by hand); false with the
// reason in *error.  *database is the file's database.
bool ReadImportFile(const std::string& path, const HostDatabase** database, DatabaseRecords* records,
                    const std::string& charset, std::string* error);

}  // namespace morvane_host

#endif
