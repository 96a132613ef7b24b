// Records as JSON: the one form in which the host's export files and the
// bridge protocol both carry them.
//
//   {"id": 1, "status": 2,
//    "fields": [{"field": "3", "device": "FromDate", "value": "20261208"}, ...],
//    "repeat": {"isRepeating": 1, "repeatPeriod": 5, "repeatCount": 1, "deleteFlag": 0,
//               "startDate": "20260314", "endDate": "-1", "weekDays": [0,0,0,0,0,0,0]},
//    "folder": 2,
//    "action": "add"}
//
// "fields" comes in two forms and both are read wherever a record is read:
// the list above, which files carry for people to read ("device" names the
// device field and is not read back), and the object {"3": "20261208", ...}
// keyed by field id, which the bridge sends because it is less than half
// the bytes to write and to parse.  "repeat" comes with Schedule records,
// "folder" (host folder 1..4) with mail, "action" ("add", "change" or
// "delete") only where the host sets it.  Values are the adapter's
// single-byte texts, each byte the character of the same number
// (U+0000..U+00FF); a character above U+00FF reads back as '?'.
//
// Reading goes through nlohmann's SAX parser straight into HostRecords:
// no document tree is built for the records, which is what makes a stream
// of thousands of them cheap.  Nothing here throws.
#ifndef MORVANE_RECORDS_RECORD_JSON_H
#define MORVANE_RECORDS_RECORD_JSON_H

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "records/field_map.h"
#include "records/host_record.h"

namespace morvane_host {

// How a record is laid out when written.
enum class RecordLayout : uint8_t {
    kFile,  // indented, one field a line, fields as a list naming their device fields
    kWire,  // one line, fields as an object keyed by field id
};

// What a record's field values hold in memory, as written and read: the
// adapter's bytes, each written as the character of its number (the
// bridge, backups), or text already in UTF-8, written as it is (export
// files, whose values the host has brought from the device's character
// set).  Every other text of a record is bytes.
enum class ValueForm : uint8_t { kBytes, kUtf8 };

// Each byte as the character of the same number, in UTF-8.
std::string BytesToUtf8(const std::string& bytes);
// The reverse; characters above U+00FF become '?'.
std::string Utf8ToBytes(const std::string& text);

// Appends bytes as a quoted JSON string (BytesToUtf8, escaped).
void AppendJsonString(std::string* out, const std::string& bytes);
// The same for text that is UTF-8 already (utf8 true): escaped, not mapped.
void AppendJsonText(std::string* out, const std::string& text, bool utf8);
// Appends the record as one JSON object; kFile indents it for a place in
// a file's "records" list.
void AppendRecordJson(std::string* out, const HostDatabase& database, const HostRecord& record, RecordLayout layout,
                      ValueForm values = ValueForm::kBytes);

// A JSON value that is neither an object nor an array.
struct JsonScalar {
    enum class Kind : uint8_t { kNull, kBool, kInteger, kOtherNumber, kText };
    Kind kind = Kind::kNull;
    bool flag = false;       // kBool
    int64_t integer = 0;     // kInteger
    std::string text;        // kText, as UTF-8
};

// A JSON document read with its records taken out.
struct JsonDocument {
    // Every scalar outside the records by its path: the member names and
    // array positions from the top, joined by '.' ("section", "progress.1").
    std::map<std::string, JsonScalar> values;
    std::vector<HostRecord> records;

    // The value at path, or null when the document has none there.
    const JsonScalar* Find(const std::string& path) const;
    // The value at path as text, integer or flag.  False when it is absent
    // or of another kind; *value is then left alone.
    bool Text(const std::string& path, std::string* value) const;
    bool Integer(const std::string& path, int64_t* value) const;
    bool Flag(const std::string& path, bool* value) const;
};

// Reads one JSON document whose top is an object.  The records are the
// objects under the member recordsKey: each element when it is an array
// (a file's "records"), the object itself otherwise (the bridge's
// "record").  False with the reason in *error: malformed JSON (with where),
// a record member of the wrong type or out of range, nesting deeper than
// a record needs.
bool ReadJsonDocument(const char* text, size_t size, const char* recordsKey, JsonDocument* out, std::string* error,
                      ValueForm values = ValueForm::kBytes);

// What a record to import must satisfy before anything is written: every
// field id is one the database has, and every value fits a field (at most
// kMaxFieldCharacters).  False with the reason, naming the record by its
// place (1-based) and id.
constexpr size_t kMaxFieldCharacters = 49152;
bool CheckImportRecord(const HostDatabase& database, const HostRecord& record, size_t place, std::string* error);

}  // namespace morvane_host

#endif
