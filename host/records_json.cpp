#include "host/records_json.h"

#include <string.h>

#include <fstream>
#include <sstream>

#include "pim/charset.h"
#include "platform/host_services.h"
#include "records/record_json.h"

namespace morvane_host {

std::string ExportFilePath(const std::string& folder, const HostDatabase& database) {
    return folder + "/" + database.fileName + ".json";
}

bool WriteExportFile(const std::string& path, const HostDatabase& database, const DatabaseRecords& records,
                     const std::string& charset, std::string* error) {
    std::string text = "{\n  \"database\": ";
    AppendJsonString(&text, database.name);
    text += ", \"section\": " + std::to_string(database.section);
    text += std::string(", \"fullSync\": ") + (records.fullSync ? "true" : "false");
    text += ", \"count\": " + std::to_string(records.count) + ",\n  \"records\": [";
    for (size_t i = 0; i < records.records.size(); ++i) {
        text += i > 0 ? ",\n" : "\n";
        HostRecord shown = records.records[i];
        for (auto& field : shown.fields) {
            std::string utf8;
            morvane_pim::DeviceToUtf8(field.second, charset, &utf8);
            field.second = std::move(utf8);
        }
        AppendRecordJson(&text, database, shown, RecordLayout::kFile, ValueForm::kUtf8);
    }
    text += records.records.empty() ? "]\n}\n" : "\n  ]\n}\n";
    if (PlatformWriteFileWhole(path.c_str(), text.data(), text.size())) return true;
    *error = "cannot write " + path + " (error " + std::to_string(GetLastError()) + ")";
    return false;
}

bool ReadImportFile(const std::string& path, const HostDatabase** database, DatabaseRecords* records,
                    const std::string& charset, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    std::stringstream content;
    content << in.rdbuf();
    const std::string text = content.str();
    JsonDocument file;
    std::string reason;
    if (!ReadJsonDocument(text.data(), text.size(), "records", &file, &reason, ValueForm::kUtf8)) {
        *error = path + ": " + reason;
        return false;
    }
    int64_t section = 0, count = 0;
    if (!file.Integer("section", &section)) {
        *error = path + ": no \"section\"";
        return false;
    }
    *database = FindDatabase(static_cast<int32_t>(section));
    if (*database == nullptr || section != static_cast<int32_t>(section)) {
        *error = path + ": no database has section " + std::to_string(section);
        return false;
    }
    *records = DatabaseRecords();
    records->section = (*database)->section;
    file.Flag("fullSync", &records->fullSync);
    if (file.Integer("count", &count)) records->count = static_cast<uint32_t>(count);
    records->records = std::move(file.records);
    // A character the device's set lacks is transliterated, or '?'.
    for (HostRecord& record : records->records)
        for (auto& field : record.fields) {
            std::string bytes;
            bool lossy = false;
            morvane_pim::Utf8ToDevice(field.second, charset, &bytes, &lossy);
            field.second = std::move(bytes);
        }
    return true;
}

}  // namespace morvane_host
