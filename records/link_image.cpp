// The link form of the handheld's databases as JSON.  Every text read here
// comes from a file or a process this program did not write, so each
// member is checked for its kind before it is used and nothing throws.
#include "records/link_image.h"

#include "records/field_map.h"
#include "records/record_json.h"

namespace morvane_host {

namespace {

// The handheld's databases: their names and the host's sections whose
// records they hold (E-mail: the main database first).
struct NamedDatabase {
    uint32_t id;
    const char* name;
    int32_t section;
};

const NamedDatabase kNames[] = {
    {1, "Schedule", kScheduleSection}, {6, "ToDo", kToDoSection}, {7, "Address book", kAddressSection},
    {8, "Memo", kMemoSection},         {16, "E-mail", kMailSection}, {15, "E-mail (companion)", kMailSection},
};

const char kHexDigits[] = "0123456789abcdef";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

nlohmann::json ValueToJson(uint32_t type, const LinkValue& value) {
    if (value.absent) return nullptr;
    if (type == kLinkTextType || value.bytes.empty()) return BytesToUtf8(value.bytes);
    std::string hex;
    hex.reserve(value.bytes.size() * 2);
    for (unsigned char c : value.bytes) {
        hex += kHexDigits[c >> 4];
        hex += kHexDigits[c & 15];
    }
    return {{"hex", hex}};
}

bool ValueFromJson(const nlohmann::json& json, LinkValue* value) {
    value->absent = json.is_null();
    value->bytes.clear();
    if (json.is_null()) return true;
    if (json.is_string()) {
        const std::string& text = json.get_ref<const std::string&>();
        value->bytes = Utf8ToBytes(text);
        return BytesToUtf8(value->bytes) == text;  // no character above U+00FF
    }
    if (!json.is_object() || json.size() != 1 || !json.contains("hex") || !json["hex"].is_string()) return false;
    const std::string& hex = json["hex"].get_ref<const std::string&>();
    if (hex.size() % 2 != 0) return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexValue(hex[i]), low = HexValue(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        value->bytes += static_cast<char>(high * 16 + low);
    }
    return true;
}

bool IsWholeNumber(const nlohmann::json& json) { return json.is_number_unsigned() && json.get<uint64_t>() <= 0xFFFFFFFFu; }

}  // namespace

uint32_t LinkDatabaseOf(int32_t section) {
    for (const NamedDatabase& entry : kNames)
        if (entry.section == section) return entry.id;
    return 0;
}

std::string LinkDatabaseName(uint32_t dbId) {
    for (const NamedDatabase& entry : kNames)
        if (entry.id == dbId) return entry.name;
    return "database " + std::to_string(dbId);
}

nlohmann::json LinkHeadToJson(const LinkDatabase& database) {
    nlohmann::json fields = nlohmann::json::array();
    for (const LinkFieldInfo& field : database.fields)
        fields.push_back({{"name", BytesToUtf8(field.name)}, {"type", field.type}});
    return {{"database", database.id}, {"name", LinkDatabaseName(database.id)}, {"fields", std::move(fields)}};
}

bool LinkHeadFromJson(const nlohmann::json& head, LinkDatabase* database, std::string* error) {
    if (!head.is_object() || !head.contains("database") || !IsWholeNumber(head["database"]) ||
        !head.contains("fields") || !head["fields"].is_array()) {
        *error = "a database without a whole-number \"database\" and a \"fields\" list";
        return false;
    }
    database->id = head["database"].get<uint32_t>();
    database->fields.clear();
    for (const nlohmann::json& field : head["fields"]) {
        if (!field.is_object() || !field.contains("name") || !field["name"].is_string() || !field.contains("type") ||
            !IsWholeNumber(field["type"])) {
            *error = LinkDatabaseName(database->id) + ": a field without a \"name\" and a whole-number \"type\"";
            return false;
        }
        database->fields.push_back({Utf8ToBytes(field["name"].get<std::string>()), field["type"].get<uint32_t>()});
    }
    return true;
}

nlohmann::json LinkRecordToJson(const LinkDatabase& database, const LinkRecord& record) {
    nlohmann::json values = nlohmann::json::array();
    for (size_t i = 0; i < record.values.size(); ++i)
        values.push_back(ValueToJson(i < database.fields.size() ? database.fields[i].type : 0, record.values[i]));
    return {{"id", record.id}, {"values", std::move(values)}};
}

bool LinkRecordFromJson(const nlohmann::json& json, const LinkDatabase& database, LinkRecord* record,
                        std::string* error) {
    const std::string where = LinkDatabaseName(database.id) + ": ";
    if (!json.is_object() || !json.contains("id") || !IsWholeNumber(json["id"]) || !json.contains("values") ||
        !json["values"].is_array()) {
        *error = where + "a record without a whole-number \"id\" and a \"values\" list";
        return false;
    }
    record->id = json["id"].get<uint32_t>();
    const nlohmann::json& values = json["values"];
    if (values.size() != database.fields.size()) {
        *error = where + "record " + std::to_string(record->id) + " has " + std::to_string(values.size()) +
                 " values for " + std::to_string(database.fields.size()) + " fields";
        return false;
    }
    record->values.assign(values.size(), LinkValue());
    for (size_t i = 0; i < values.size(); ++i)
        if (!ValueFromJson(values[i], &record->values[i])) {
            const std::string& name = database.fields[i].name;
            *error = where + "record " + std::to_string(record->id) + ", field " +
                     (name.empty() ? std::to_string(i + 1) : name) + ": not a value (null, a string of bytes or {\"hex\": ...})";
            return false;
        }
    return true;
}

nlohmann::json LinkDatabaseToJson(const LinkDatabase& database) {
    nlohmann::json json = LinkHeadToJson(database);
    nlohmann::json records = nlohmann::json::array();
    for (const LinkRecord& record : database.records) records.push_back(LinkRecordToJson(database, record));
    json["records"] = std::move(records);
    return json;
}

bool LinkDatabaseFromJson(const nlohmann::json& json, LinkDatabase* database, std::string* error) {
    if (!LinkHeadFromJson(json, database, error)) return false;
    if (!json.contains("records") || !json["records"].is_array()) {
        *error = LinkDatabaseName(database->id) + ": no \"records\" list";
        return false;
    }
    database->records.assign(json["records"].size(), LinkRecord());
    for (size_t i = 0; i < database->records.size(); ++i)
        if (!LinkRecordFromJson(json["records"][i], *database, &database->records[i], error)) return false;
    return true;
}

}  // namespace morvane_host
