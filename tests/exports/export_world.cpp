#include "exports/export_world.h"

#include <cstdio>
#include <ctime>
#include <gtest/gtest.h>

using session_tests::SessionWorld;
using tethra_sim::DeviceImage;

namespace export_tests {

tethra_sim::FieldValues Memo(const std::string& title) {
    return {{"S_PAGE_TITLE", tethra_sim::TextValue(title)}, {"S_PAGE_NOTE", tethra_sim::TextValue(title + " note")}};
}

tethra_sim::FieldValues Schedule(const std::string& description) {
    return {{"S_DESCRIPTION4", tethra_sim::TextValue(description)},
            {"S_START_DATE", tethra_sim::DateValue(2024, 3, 1)}};
}

tethra_sim::FieldValues Mail(const std::string& subject, int32_t deviceFolder) {
    return {{"S_SUBJECT", tethra_sim::TextValue(subject)}, {"S_FOLDERID", tethra_sim::NumberValue(deviceFolder)}};
}

void Settle(DeviceImage& image, uint32_t dbId) {
    tethra_sim::Database* db = image.Find(dbId);
    ASSERT_NE(nullptr, db);
    db->syncEnabled = true;
    for (auto& list : db->changes) list.clear();
}

Lines TakeTrace(SessionWorld& world) {
    Lines lines = world.TakeTrace();
    for (std::string& line : lines)
        if (!line.empty() && line.back() == '\r') line.pop_back();
    return lines;
}

void StartPaired(SessionWorld& world) {
    world.PairBothSides();
    world.Load();
    ASSERT_EQ(0, world.api().DIZ_API_Initialize("", ""));
    TakeTrace(world);
}

void CountCalls(const std::string& operation) {
    DeviceImage* device = tethra_sim::LiveDevice();
    ASSERT_NE(nullptr, device);
    device->FailCall(operation, 0xFFFFFFFFu, 0x10000002, false);
}

uint32_t CallsSeen(const std::string& operation) {
    const DeviceImage* device = tethra_sim::LiveDevice();
    if (device == nullptr) return 0;
    for (const tethra_sim::Fault& fault : device->faults)
        if (fault.operation == operation && fault.call == 0xFFFFFFFFu) return fault.seen;
    return 0;
}

std::vector<std::pair<uint32_t, uint32_t>> RecordsRead(const Lines& trace) {
    std::vector<std::pair<uint32_t, uint32_t>> records;
    for (const std::string& line : trace) {
        int id = 0;
        unsigned attr = 0;
        if (std::sscanf(line.c_str(), "record being read: dwRecId=%d dwSyncAttr=%x", &id, &attr) == 2)
            records.emplace_back(static_cast<uint32_t>(id), attr);
    }
    return records;
}

Walk WalkAll(SessionWorld& world, int32_t section) {
    Walk walk;
    uint32_t status = 0;
    int32_t result = world.api().DIZ_API_GetFirstRecord(section, kStamp, &status);
    while (result == 0) {
        walk.statuses.push_back(status);
        world.api().DIZ_API_ReleaseReadRecord();
        result = world.api().DIZ_API_GetNextRecord(section, kStamp, &status);
    }
    walk.end = result;
    return walk;
}

Lines LinkFieldDump(uint32_t dbId) {
    Lines lines;
    const std::vector<tethra_sim::LinkField> fields = tethra_sim::BuiltInFields(dbId);
    for (size_t i = 0; i < fields.size(); ++i) {
        char line[160];
        std::snprintf(line, sizeof line, "    %2d) ID: %3d  Type: %2d  Name: %s", static_cast<int>(i), 0,
                      static_cast<int>(fields[i].type), fields[i].name.c_str());
        lines.push_back(line);
    }
    return lines;
}

std::string CtimeText(int32_t value) {
    time_t seconds = value;
    std::string text = std::ctime(&seconds);
    text.pop_back();
    return text;
}

}  // namespace export_tests
