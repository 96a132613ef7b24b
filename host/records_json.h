// The export files: one JSON file per database, "<name>.json" (for example
// "schedule.json"), which the import reads back.
//
//   { "database": "Schedule", "section": 2, "fullSync": true, "count": 3,
//     "records": [
//       { "id": 1, "status": 2,
//         "fields": [ {"field": "3", "device": "FromDate", "value": "20261208"}, ... ],
//         "repeat": { "isRepeating": 1, "repeatPeriod": 5, "repeatCount": 1, "deleteFlag": 0,
//                     "startDate": "20260314", "endDate": "-1", "weekDays": [0,0,0,0,0,0,0] },
//         "folder": 2,
//         "action": "add" } ] }
//
// "field" is the host field id the value was read with, "device" the device
// field it stands for; values are the adapter's texts, read in the
// device's character set (--device-charset, Windows-1252 unless given) and
// written as UTF-8.  "repeat" comes with Schedule
// records, "folder" (host folder 1..4) with mail.  "action" is optional in
// an import file: "add", "change" or "delete"; without it status 3 means
// change, 4 delete, anything else add.
#ifndef MORVANE_HOST_RECORDS_JSON_H
#define MORVANE_HOST_RECORDS_JSON_H

#include <string>

#include "records/field_map.h"
#include "records/host_record.h"

namespace morvane_host {

// The adapter's text is single-byte in the device's character set (an
// iconv name); files and the terminal get it in UTF-8.
std::string BytesToUtf8(const std::string& bytes, const std::string& charset);

std::string ExportFilePath(const std::string& folder, const HostDatabase& database);

// Writes the file; false with the reason in *error.
bool WriteExportFile(const std::string& path, const HostDatabase& database, const DatabaseRecords& records,
                     const std::string& charset, std::string* error);
// Reads a file written by WriteExportFile (or by hand); false with the
// reason in *error.  *database is the file's database.
bool ReadImportFile(const std::string& path, const HostDatabase** database, DatabaseRecords* records,
                    const std::string& charset, std::string* error);

}  // namespace morvane_host

#endif
