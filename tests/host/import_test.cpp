// morvane-sync import: records added, changed and deleted on a device
// through the adapter.
#include <gtest/gtest.h>

#include <fstream>

#include "host/host_process.h"

namespace host_test {
namespace {

using nlohmann::json;
using tethra_sim::DeviceImage;

class HostImport : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_EXPORTS(kStartup);
        REQUIRE_EXPORTS(kExportPass);
        REQUIRE_EXPORTS(kImportPass);
    }

    HostWorld world_;
};

TEST_F(HostImport, AddsChangesAndDeletesAndReportsTheDeviceIds) {
    const std::string device = world_.SaveImage(tethra_sim::DemoImage(), "device.json");
    const std::string folder = world_.Path("in");
    const json todo = {
        {"database", "ToDo"},
        {"section", 3},
        {"records",
         {{{"id", 0}, {"action", "add"},
           {"fields", {{{"field", "2"}, {"value", "Water the plants"}}, {{"field", "4"}, {"value", "2"}}}}},
          {{"id", 1}, {"status", 3}, {"fields", {{{"field", "2"}, {"value", "Renew passport and ID card"}}}}},
          {{"id", 2}, {"status", 4}}}}};
    testing_support::WriteFile(folder + "/todo.json", todo.dump());

    const HostRun run = RunHost({"import", "--in", folder, "--device", device});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    // The demo device has given ids 1 and 2 to its tasks.
    EXPECT_NE(run.output.find("ToDo: record 0 added as id 3"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("ToDo: record 1 changed as id 1"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("ToDo: record 2 deleted as id 2"), std::string::npos) << run.output;
    const DeviceImage after = world_.LoadImage(device);
    tethra_sim::LinkValue value;
    ASSERT_TRUE(after.GetValue(6, 3, "S_DESCRIPTION3", &value));
    EXPECT_EQ(value, tethra_sim::TextValue("Water the plants"));
    ASSERT_TRUE(after.GetValue(6, 1, "S_DESCRIPTION3", &value));
    EXPECT_EQ(value, tethra_sim::TextValue("Renew passport and ID card"));
    // Fields the change did not name keep their values.
    ASSERT_TRUE(after.GetValue(6, 1, "S_CATEGORY", &value));
    EXPECT_EQ(value, tethra_sim::TextValue("Personal"));
    EXPECT_EQ(after.Find(6)->Find(2), nullptr);
}

// export --import sends the PC's records in the export's session: after a
// new pairing they are queued under provisional ids and reach the device in
// the close's bulk write, which gives them its own ids.
TEST_F(HostImport, InTheExportsSessionOfANewPairingNewRecordsGoInOneBulkWrite) {
    const std::string device = world_.SaveImage(tethra_sim::DemoImage(), "device.json");
    const json todo = {{"database", "ToDo"},
                       {"section", 3},
                       {"records", {{{"id", 0}, {"fields", {{{"field", "2"}, {"value", "Water the plants"}}}}}}}};
    testing_support::WriteFile(world_.Path("in") + "/todo.json", todo.dump());

    const HostRun run = RunHost({"export", "--device", device, "--out", world_.Path("out"), "--section", "3",
                                "--import", world_.Path("in")});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("ToDo: 2 record(s) (full synchronisation)"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("ToDo: record 0 added as id 1"), std::string::npos) << run.output;
    tethra_sim::LinkValue value;
    ASSERT_TRUE(world_.LoadImage(device).GetValue(6, 3, "S_DESCRIPTION3", &value));
    EXPECT_EQ(value, tethra_sim::TextValue("Water the plants"));
}

TEST_F(HostImport, AnUnreadableFileIsReported) {
    const std::string device = world_.SaveImage(tethra_sim::DemoImage(), "device.json");
    testing_support::WriteFile(world_.Path("in") + "/memo.json", "{ \"section\": 4, \"records\": [ ");
    const HostRun run = RunHost({"import", "--in", world_.Path("in"), "--device", device});
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("memo.json"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace host_test
