// morvane-sync export against simulated devices: the files it writes, the
// full and incremental passes, the pairing and the trace switch.
#include <gtest/gtest.h>

#include <set>

#include "host/host_process.h"

namespace host_test {
namespace {

using nlohmann::json;
using tethra_sim::DeviceImage;

class HostExport : public ::testing::Test {
protected:
    void SetUp() override { device_ = world_.SaveImage(tethra_sim::DemoImage(), "device.json"); }

    // Exports the four databases other than e-mail into <root>/<folder>.
    HostRun Export(const std::string& folder, std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments = {"export", "--device", device_, "--out", world_.Path(folder),
                                              "--section", "1", "--section", "2", "--section", "3", "--section", "4"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return RunHost(arguments);
    }
    json Records(const std::string& folder, const std::string& database) {
        return host_test::Records(world_.Path(folder), database);
    }

    HostWorld world_;
    std::string device_;
};

TEST_F(HostExport, WritesOneFilePerDatabaseWithDeviceFieldNamesBesideHostIds) {
    const HostRun run = Export("out");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const json schedule = ReadExport(world_.Path("out"), "schedule");
    ASSERT_TRUE(schedule.is_object()) << run.output;
    EXPECT_EQ(schedule.value("section", 0), 2);
    EXPECT_TRUE(schedule.value("fullSync", false)) << "a first pairing synchronises in full";
    const json records = schedule.at("records");
    ASSERT_EQ(records.size(), 3u);
    const json& review = records.at(0);
    EXPECT_EQ(review.value("status", 0), 2);
    EXPECT_EQ(FieldOf(review, "7"), "Project review");
    EXPECT_EQ(FieldOf(review, "3"), "20261208");
    EXPECT_EQ(FieldOf(review, "5"), "0930");
    EXPECT_EQ(FieldOf(review, "12.T"), "0915");
    for (const json& field : review.at("fields")) {
        if (field.value("field", "") == "3") {
            EXPECT_EQ(field.value("device", ""), "FromDate");
        }
    }
    // The yoga course repeats on Tuesdays and Thursdays until the end of March.
    const json& yoga = records.at(2);
    ASSERT_TRUE(yoga.contains("repeat"));
    EXPECT_EQ(yoga.at("repeat").value("isRepeating", 0), 1);
    EXPECT_EQ(yoga.at("repeat").value("endDate", ""), "20270331");
    EXPECT_EQ(FieldOf(yoga, "16"), "Bring the mat.\r\nCourse fee paid.");
    EXPECT_EQ(Records("out", "todo").size(), 2u);
    EXPECT_EQ(Records("out", "memo").size(), 2u);
    const json addresses = Records("out", "address");
    ASSERT_EQ(addresses.size(), 2u);
    EXPECT_EQ(FieldOf(addresses.at(0), "23"), "M\xC3\xBCnchen");
    EXPECT_FALSE(ReadExport(world_.Path("out"), "mail").is_object()) << "e-mail was not asked for";
}

// After a full export the next carries exactly the device's edits; one that
// finds the handheld paired with another PC in between is full again.
TEST_F(HostExport, IncrementalExportCarriesTheDeviceEditsUntilThePairingIsRenewed) {
    ASSERT_EQ(Export("first").exitCode, 0);
    DeviceImage image = world_.LoadImage(device_);
    ASSERT_TRUE(image.ChangeRecord(1, 1, {{"S_LOCATION", tethra_sim::TextValue("Room 2.01")}}));
    const uint32_t added = image.AddRecord(6, {{"S_DESCRIPTION3", tethra_sim::TextValue("Book flights")}});
    ASSERT_TRUE(image.DeleteRecord(8, 2));
    world_.SaveImage(image, "device.json");
    const HostRun run = Export("second");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const json schedule = Records("second", "schedule"), todo = Records("second", "todo");
    const json memo = Records("second", "memo");
    ASSERT_EQ(schedule.size(), 1u) << schedule.dump();
    EXPECT_EQ(schedule.at(0).value("id", 0), 1);
    EXPECT_EQ(schedule.at(0).value("status", 0), 3);
    EXPECT_EQ(FieldOf(schedule.at(0), "8"), "Room 2.01");
    ASSERT_EQ(todo.size(), 1u) << todo.dump();
    EXPECT_EQ(todo.at(0).value("id", 0), static_cast<int>(added));
    EXPECT_EQ(todo.at(0).value("status", 0), 2);
    EXPECT_EQ(FieldOf(todo.at(0), "2"), "Book flights");
    ASSERT_EQ(memo.size(), 1u) << memo.dump();
    EXPECT_EQ(memo.at(0).value("id", 0), 2);
    EXPECT_EQ(memo.at(0).value("status", 0), 4);
    EXPECT_TRUE(memo.at(0).at("fields").empty());
    EXPECT_TRUE(Records("second", "address").empty());
    EXPECT_FALSE(ReadExport(world_.Path("second"), "schedule").value("fullSync", true));

    image = world_.LoadImage(device_);
    const uint8_t otherPc[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    image.SetPairing(otherPc, "20261201120000");
    world_.SaveImage(image, "device.json");
    ASSERT_EQ(Export("renewed").exitCode, 0);
    static const std::pair<const char*, size_t> kCounts[] = {{"schedule", 3}, {"todo", 3}, {"address", 2}, {"memo", 1}};
    for (const auto& [database, count] : kCounts) {
        EXPECT_TRUE(ReadExport(world_.Path("renewed"), database).value("fullSync", false)) << database;
        EXPECT_EQ(Records("renewed", database).size(), count) << database;
    }
}

TEST_F(HostExport, DeclinedPairingIsReportedWithTheAdaptersCode) {
    testing_support::SetEnv("MORVANE_MESSAGEBOX", "cancel");
    const HostRun run = Export("out");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(HasAll(run.output, {"DIZ_API_Initialize returned -2 (start-up failed); last error 0x10000001 "
                                    "(the user declined to renew the pairing)"}));
}

TEST_F(HostExport, TraceSwitchesTheLogOnForOneRunOnly) {
    world_.sandbox().WriteStandardRegistry("C:\\Korvell\\Data\\", 0);
    const std::string registry = testing_support::ReadFile(world_.sandbox().registryPath());
    ASSERT_EQ(Export("plain").exitCode, 0);
    EXPECT_EQ(world_.sandbox().TraceLog(), "") << "tracing is off in the registry";
    const HostRun run = Export("traced", {"--trace"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(HasAll(run.output, {"trace log: " + world_.sandbox().HostPath("C:\\QADbgLog.txt")}));
    EXPECT_TRUE(HasAll(world_.sandbox().TraceLog(), {"***** DIZ_API_Initialize('morvane-sync', '')",
                                                     "***** DIZ_API_OpenDatabase(4, 'morvane-sync', 'Memo')"}));
    EXPECT_EQ(testing_support::ReadFile(world_.sandbox().registryPath()), registry) << "the user's registry stays";
}

TEST_F(HostExport, MergedMailDatabaseHandsOverEveryFolder) {
    const HostRun run = RunHost({"export", "--device", device_, "--out", world_.Path("out"), "--section", "5"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const json mail = Records("out", "mail");
    ASSERT_EQ(mail.size(), 6u) << mail.dump();
    std::multiset<int> folders;
    std::set<std::string> subjects;
    int companions = 0;
    for (const json& record : mail) {
        folders.insert(record.value("folder", 0));
        subjects.insert(FieldOf(record, "9"));
        companions += record.value("id", 0) < 0;  // the companion database's mail carries bit 31
    }
    EXPECT_EQ(folders, (std::multiset<int>{1, 1, 2, 3, 3, 4}));
    EXPECT_EQ(companions, 3);
    EXPECT_TRUE(subjects.count("Re: Price list 2027") == 1 && subjects.count("Price list 2027") == 1);
}

}  // namespace
}  // namespace host_test
