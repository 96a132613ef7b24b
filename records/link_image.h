// The handheld's databases as its device link library holds them: per
// database its link field list, per record its id and one value per field.
// This is everything a record is, the fields the adapter never hands a host
// included (a memo's creation time, a mail's id, size and mail info), so a
// backup in this form can put a handheld back exactly.
//
// As JSON (backups, the bridge's read_link and write_link):
//   database head  {"database": 8, "name": "Memo",
//                   "fields": [{"name": "S_PAGE_TITLE", "type": 16}, ...]}
//   record         {"id": 3, "values": ["Shopping", null, {"hex": "0000c0..."}, ""]}
// A value is null when absent, a string when it is text (link type 16) or
// empty, each character U+0000..U+00FF one byte, and {"hex": "..."} for
// the bytes of any other type.  A reader takes either form for any type.
#ifndef MORVANE_RECORDS_LINK_IMAGE_H
#define MORVANE_RECORDS_LINK_IMAGE_H

#include <stdint.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace morvane_host {

constexpr uint32_t kLinkTextType = 16;

struct LinkValue {
    bool absent = false;
    std::string bytes;
    bool operator==(const LinkValue& o) const { return absent == o.absent && bytes == o.bytes; }
    bool operator!=(const LinkValue& o) const { return !(*this == o); }
};

struct LinkFieldInfo {
    std::string name;
    uint32_t type = 0;
};

struct LinkRecord {
    uint32_t id = 0;
    std::vector<LinkValue> values;  // one per field of its database, in order
};

struct LinkDatabase {
    uint32_t id = 0;
    std::vector<LinkFieldInfo> fields;
    std::vector<LinkRecord> records;
};

// "Memo" for 8 and so on; "database N" for an id the handheld's maker
// added later.
std::string LinkDatabaseName(uint32_t dbId);
// The database holding a section's records (E-mail: the main one, 16); 0
// for a section there is none of.
uint32_t LinkDatabaseOf(int32_t section);

// The head (id, name, fields) and the records apart, so that a stream can
// carry one record a line.  Nothing here throws.
nlohmann::json LinkHeadToJson(const LinkDatabase& database);
bool LinkHeadFromJson(const nlohmann::json& head, LinkDatabase* database, std::string* error);
nlohmann::json LinkRecordToJson(const LinkDatabase& database, const LinkRecord& record);
// Checks the record against its database's field list (its count).
bool LinkRecordFromJson(const nlohmann::json& json, const LinkDatabase& database, LinkRecord* record,
                        std::string* error);

// A whole database: the head with "records" added.
nlohmann::json LinkDatabaseToJson(const LinkDatabase& database);
bool LinkDatabaseFromJson(const nlohmann::json& json, LinkDatabase* database, std::string* error);

}  // namespace morvane_host

#endif
