// morvane-sync import: records added, changed and deleted on a device
// through the adapter.
#include <gtest/gtest.h>

#include "host/host_process.h"

namespace host_test {
namespace {

using nlohmann::json;
using tethra_sim::TextValue;

TEST(HostImport, AddsChangesAndDeletesAndReportsTheDeviceIds) {
    HostWorld world;
    const std::string device = world.SaveImage(tethra_sim::DemoImage(), "device.json");
    const json todo = {
        {"database", "ToDo"},
        {"section", 3},
        {"records",
         {{{"id", 0}, {"action", "add"},
           {"fields", {{{"field", "2"}, {"value", "Water the plants"}}, {{"field", "4"}, {"value", "2"}}}}},
          {{"id", 1}, {"status", 3}, {"fields", {{{"field", "2"}, {"value", "Renew passport and ID card"}}}}},
          {{"id", 2}, {"status", 4}}}}};
    testing_support::WriteFile(world.Path("in") + "/todo.json", todo.dump());
    // The demo device has given ids 1 and 2 to its tasks.
    ASSERT_TRUE(Ran(RunHost({"import", "--in", world.Path("in"), "--device", device}), 0,
                    {"ToDo: record 0 added as id 3", "ToDo: record 1 changed as id 1", "ToDo: record 2 deleted as id 2"}));
    const tethra_sim::DeviceImage after = world.LoadImage(device);
    EXPECT_EQ(ValueOf(after, 6, 3, "S_DESCRIPTION3"), TextValue("Water the plants"));
    EXPECT_EQ(ValueOf(after, 6, 1, "S_DESCRIPTION3"), TextValue("Renew passport and ID card"));
    EXPECT_EQ(ValueOf(after, 6, 1, "S_CATEGORY"), TextValue("Personal")) << "fields the change did not name keep theirs";
    EXPECT_EQ(after.Find(6)->Find(2), nullptr);
    // An unreadable file is reported by name.
    testing_support::WriteFile(world.Path("bad") + "/memo.json", "{ \"section\": 4, \"records\": [ ");
    EXPECT_TRUE(Ran(RunHost({"import", "--in", world.Path("bad"), "--device", device}), 1, {"memo.json"}));
}

// export --import sends the PC's records in the export's session: after a
// new pairing they are queued under provisional ids and reach the device in
// the close's bulk write, which gives them its own ids.
TEST(HostImport, InTheExportsSessionOfANewPairingNewRecordsGoInOneBulkWrite) {
    HostWorld world;
    const std::string device = world.SaveImage(tethra_sim::DemoImage(), "device.json");
    const json todo = {{"database", "ToDo"},
                       {"section", 3},
                       {"records", {{{"id", 0}, {"fields", {{{"field", "2"}, {"value", "Water the plants"}}}}}}}};
    testing_support::WriteFile(world.Path("in") + "/todo.json", todo.dump());
    ASSERT_TRUE(Ran(RunHost({"export", "--device", device, "--out", world.Path("out"), "--section", "3", "--import",
                             world.Path("in")}),
                    0, {"ToDo: 2 record(s) (full synchronisation)", "ToDo: record 0 added as id 1"}));
    EXPECT_EQ(ValueOf(world.LoadImage(device), 6, 3, "S_DESCRIPTION3"), TextValue("Water the plants"));
}

}  // namespace
}  // namespace host_test
