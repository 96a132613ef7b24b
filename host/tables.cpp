#include "host/tables.h"

#include "pim/charset.h"

#include "records/record_json.h"

#include <string.h>

#include <string>
#include <vector>

namespace morvane_host {

namespace {

constexpr size_t kColumnWidth = 22;

// Line breaks shown as "|", long values cut with "~", so that a cell stays
// on one line of the table.
std::string Cell(const std::string& value, const std::string& charset) {
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r') continue;
        text += value[i] == '\n' ? '|' : value[i];
    }
    if (text.size() > kColumnWidth - 2) text = text.substr(0, kColumnWidth - 3) + "~";
    std::string shown;
    morvane_pim::DeviceToUtf8(text, charset, &shown);
    return shown;
}

// Pads to the column width by characters, not bytes.
std::string Pad(const std::string& utf8, size_t width) {
    size_t characters = 0;
    for (unsigned char c : utf8) characters += (c & 0xC0) != 0x80;
    return characters >= width ? utf8 : utf8 + std::string(width - characters, ' ');
}

std::string RepeatText(const RepeatInfo& repeat) {
    if (repeat.isRepeating == 0) return "";
    char text[64];
    snprintf(text, sizeof text, "every %u/%u until %.10s", repeat.repeatPeriod, repeat.repeatCount, repeat.endDate);
    return text;
}

struct Row {
    std::string label;
    std::vector<std::string> cells;
};

bool HasValue(const Row& row) {
    for (const std::string& cell : row.cells)
        if (!cell.empty()) return true;
    return false;
}

std::vector<Row> BuildRows(const HostDatabase& database, const DatabaseRecords& records, const std::string& charset) {
    std::vector<Row> rows;
    Row status{"(status)", {}};
    for (const HostRecord& record : records.records) status.cells.push_back(StatusName(record.status));
    rows.push_back(status);
    for (uint32_t i = 0; i < database.fieldCount; ++i) {
        const HostField& field = database.fields[i];
        Row row{std::string(field.deviceName) + " [" + field.readId + "]", {}};
        for (const HostRecord& record : records.records) {
            const std::string* value = record.Value(field.readId);
            row.cells.push_back(value != nullptr ? Cell(*value, charset) : "");
        }
        if (HasValue(row)) rows.push_back(row);
    }
    Row repeat{"(repeat rule)", {}}, folder{"(folder)", {}};
    for (const HostRecord& record : records.records) {
        repeat.cells.push_back(record.hasRepeat ? RepeatText(record.repeat) : "");
        folder.cells.push_back(record.hasFolder ? std::to_string(record.folder) : "");
    }
    if (HasValue(repeat)) rows.push_back(repeat);
    if (HasValue(folder)) rows.push_back(folder);
    return rows;
}

}  // namespace

const char* StatusName(uint32_t status) {
    switch (status) {
        case kStatusAdded: return "added";
        case kStatusChanged: return "changed";
        case kStatusDeleted: return "deleted";
        default: return "status ?";
    }
}

void PrintRecordsTable(FILE* out, const HostDatabase& database, const DatabaseRecords& records,
                       const std::string& charset) {
    fprintf(out, "  %s (section %d): %zu record(s)%s\n", database.name, static_cast<int>(database.section),
            records.records.size(), records.fullSync ? ", full synchronisation" : "");
    if (records.records.empty()) return;
    const std::vector<Row> rows = BuildRows(database, records, charset);
    size_t labelWidth = 8;
    for (const Row& row : rows) labelWidth = row.label.size() > labelWidth ? row.label.size() : labelWidth;
    fprintf(out, "    %-*s", static_cast<int>(labelWidth), "record id");
    for (const HostRecord& record : records.records)
        fprintf(out, " | %-*d", static_cast<int>(kColumnWidth - 2), static_cast<int>(record.id));
    fprintf(out, "\n    %s\n", std::string(labelWidth + records.records.size() * (kColumnWidth + 1), '-').c_str());
    for (const Row& row : rows) {
        fprintf(out, "    %-*s", static_cast<int>(labelWidth), row.label.c_str());
        for (const std::string& cell : row.cells) fprintf(out, " | %s", Pad(cell, kColumnWidth - 2).c_str());
        fprintf(out, "\n");
    }
}

}  // namespace morvane_host
