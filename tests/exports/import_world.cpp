#include "exports/import_world.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

using session_tests::SessionWorld;

namespace import_tests {

void StartImport(SessionWorld& world, int32_t section) {
    export_tests::StartPaired(world);
    world.api().DIZ_API_BeginImport();
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(section, "", ""));
    export_tests::TakeTrace(world);
}

int32_t AddNew(SessionWorld& world, const Puts& puts, std::string* idText) {
    EXPECT_EQ(0, world.api().DIZ_API_InsertRecord());
    for (const auto& put : puts) {
        EXPECT_EQ(0, world.api().DIZ_API_PutField(put.first.c_str(), put.second.c_str())) << put.first;
    }
    char buffer[16] = "";
    const int32_t result = world.api().DIZ_API_AddRecord(buffer);
    if (idText != nullptr) *idText = buffer;
    return result;
}

const tethra_sim::Database& LiveDb(uint32_t dbId) {
    static const tethra_sim::Database none;
    const tethra_sim::DeviceImage* device = tethra_sim::LiveDevice();
    const tethra_sim::Database* db = device != nullptr ? device->Find(dbId) : nullptr;
    return db != nullptr ? *db : none;
}

tethra_sim::LinkValue Stored(uint32_t dbId, uint32_t id, const std::string& field) {
    tethra_sim::LinkValue value = tethra_sim::AbsentValue();
    const tethra_sim::DeviceImage* device = tethra_sim::LiveDevice();
    EXPECT_NE(device, nullptr);
    if (device != nullptr) {
        EXPECT_TRUE(device->GetValue(dbId, id, field, &value)) << field;
    }
    return value;
}

tethra_sim::LinkValue Wide(uint32_t value) { return tethra_sim::NumberValue(static_cast<int32_t>(value)); }

void ExportFirst(SessionWorld& world, int32_t section) {
    world.api().DIZ_API_BeginExport(0);
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(section, "", ""));
    uint32_t status = 0;
    ASSERT_EQ(0, world.api().DIZ_API_GetFirstRecord(section, 0, &status));
    export_tests::TakeTrace(world);
}

std::string Field(SessionWorld& world, const std::string& id) {
    std::vector<char> out(0xC000 + 8, '\0');
    EXPECT_EQ(0, world.api().DIZ_API_GetField(id.c_str(), out.data())) << id;
    return out.data();
}

bool HasLine(const export_tests::Lines& trace, const std::string& line) {
    return std::find(trace.begin(), trace.end(), line) != trace.end();
}

}  // namespace import_tests
