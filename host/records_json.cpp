#include "host/records_json.h"

#include <string.h>

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "pim/charset.h"

namespace morvane_host {

namespace {

using nlohmann::json;

}  // namespace

std::string BytesToUtf8(const std::string& bytes, const std::string& charset) {
    std::string text;
    morvane_pim::DeviceToUtf8(bytes, charset, &text);
    return text;
}

namespace {

// A character the device's set lacks is transliterated, or '?'.
std::string Utf8ToBytes(const std::string& text, const std::string& charset) {
    std::string bytes;
    bool lossy = false;
    morvane_pim::Utf8ToDevice(text, charset, &bytes, &lossy);
    return bytes;
}

json RepeatToJson(const RepeatInfo& repeat) {
    json days = json::array();
    for (uint8_t day : repeat.weekDays) days.push_back(day);
    return json{{"isRepeating", repeat.isRepeating},
                {"repeatPeriod", repeat.repeatPeriod},
                {"repeatCount", repeat.repeatCount},
                {"deleteFlag", repeat.deleteFlag},
                {"startDate", std::string(repeat.startDate, strnlen(repeat.startDate, sizeof repeat.startDate))},
                {"endDate", std::string(repeat.endDate, strnlen(repeat.endDate, sizeof repeat.endDate))},
                {"weekDays", days}};
}

void CopyText(const std::string& text, char* out, size_t size) {
    memset(out, 0, size);
    memcpy(out, text.data(), text.size() < size - 1 ? text.size() : size - 1);
}

RepeatInfo RepeatFromJson(const json& value) {
    RepeatInfo repeat = {};
    repeat.isRepeating = value.value("isRepeating", 0);
    repeat.repeatPeriod = value.value("repeatPeriod", 0);
    repeat.repeatCount = value.value("repeatCount", 0);
    repeat.deleteFlag = value.value("deleteFlag", 0);
    CopyText(value.value("startDate", std::string()), repeat.startDate, sizeof repeat.startDate);
    CopyText(value.value("endDate", std::string()), repeat.endDate, sizeof repeat.endDate);
    if (value.contains("weekDays")) {
        const json& days = value.at("weekDays");
        for (size_t i = 0; i < days.size() && i < sizeof repeat.weekDays; ++i)
            repeat.weekDays[i] = days.at(i).get<uint8_t>();
    }
    return repeat;
}

json RecordToJson(const HostDatabase& database, const HostRecord& record, const std::string& charset) {
    json fields = json::array();
    for (const auto& field : record.fields) {
        const HostField* known = FindField(database, field.first);
        fields.push_back({{"field", field.first},
                          {"device", known != nullptr ? known->deviceName : ""},
                          {"value", BytesToUtf8(field.second, charset)}});
    }
    json item{{"id", record.id}, {"status", record.status}, {"fields", fields}};
    if (record.hasRepeat) item["repeat"] = RepeatToJson(record.repeat);
    if (record.hasFolder) item["folder"] = record.folder;
    if (!record.action.empty()) item["action"] = record.action;
    return item;
}

HostRecord RecordFromJson(const json& item, const std::string& charset) {
    HostRecord record;
    record.id = item.value("id", 0);
    record.status = item.value("status", 0u);
    record.action = item.value("action", std::string());
    if (item.contains("fields"))
        for (const json& field : item.at("fields"))
            record.fields.emplace_back(field.at("field").get<std::string>(),
                                       Utf8ToBytes(field.value("value", std::string()), charset));
    if (item.contains("repeat")) {
        record.hasRepeat = true;
        record.repeat = RepeatFromJson(item.at("repeat"));
    }
    if (item.contains("folder")) {
        record.hasFolder = true;
        record.folder = item.at("folder").get<uint32_t>();
    }
    return record;
}

}  // namespace

std::string ExportFilePath(const std::string& folder, const HostDatabase& database) {
    return folder + "/" + database.fileName + ".json";
}

bool WriteExportFile(const std::string& path, const HostDatabase& database, const DatabaseRecords& records,
                     const std::string& charset, std::string* error) {
    try {
        json items = json::array();
        for (const HostRecord& record : records.records) items.push_back(RecordToJson(database, record, charset));
        const json file{{"database", database.name},      {"section", database.section},
                        {"fullSync", records.fullSync},   {"count", records.count},
                        {"records", items}};
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << file.dump(2) << '\n';
        out.close();
        if (!out) {
            *error = "cannot write " + path;
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        *error = path + ": " + e.what();
        return false;
    }
}

bool ReadImportFile(const std::string& path, const HostDatabase** database, DatabaseRecords* records,
                    const std::string& charset, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    try {
        std::stringstream text;
        text << in.rdbuf();
        const json file = json::parse(text.str());
        *records = DatabaseRecords();
        records->section = file.at("section").get<int32_t>();
        *database = FindDatabase(records->section);
        if (*database == nullptr) {
            *error = path + ": no database has section " + std::to_string(records->section);
            return false;
        }
        records->fullSync = file.value("fullSync", false);
        records->count = file.value("count", 0u);
        for (const json& item : file.at("records")) records->records.push_back(RecordFromJson(item, charset));
        return true;
    } catch (const std::exception& e) {
        *error = path + ": " + e.what();
        return false;
    }
}

}  // namespace morvane_host
