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
    const HostRun run = RunHost({"import", "--in", world.Path("in"), "--device", device});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    // The demo device has given ids 1 and 2 to its tasks.
    EXPECT_TRUE(HasAll(run.output, {"ToDo: record 0 added as id 3", "ToDo: record 1 changed as id 1",
                                    "ToDo: record 2 deleted as id 2"}));
    const tethra_sim::DeviceImage after = world.LoadImage(device);
    tethra_sim::LinkValue value;
    ASSERT_TRUE(after.GetValue(6, 3, "S_DESCRIPTION3", &value));
    EXPECT_EQ(value, TextValue("Water the plants"));
    ASSERT_TRUE(after.GetValue(6, 1, "S_DESCRIPTION3", &value));
    EXPECT_EQ(value, TextValue("Renew passport and ID card"));
    ASSERT_TRUE(after.GetValue(6, 1, "S_CATEGORY", &value));
    EXPECT_EQ(value, TextValue("Personal")) << "fields the change did not name keep their values";
    EXPECT_EQ(after.Find(6)->Find(2), nullptr);

    // An unreadable file is reported by name.
    testing_support::WriteFile(world.Path("bad") + "/memo.json", "{ \"section\": 4, \"records\": [ ");
    const HostRun bad = RunHost({"import", "--in", world.Path("bad"), "--device", device});
    EXPECT_EQ(bad.exitCode, 1) << bad.output;
    EXPECT_TRUE(HasAll(bad.output, {"memo.json"}));
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
    const HostRun run = RunHost({"export", "--device", device, "--out", world.Path("out"), "--section", "3",
                                "--import", world.Path("in")});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(HasAll(run.output, {"ToDo: 2 record(s) (full synchronisation)", "ToDo: record 0 added as id 1"}));
    tethra_sim::LinkValue value;
    ASSERT_TRUE(world.LoadImage(device).GetValue(6, 3, "S_DESCRIPTION3", &value));
    EXPECT_EQ(value, TextValue("Water the plants"));
}

}  // namespace
}  // namespace host_test
