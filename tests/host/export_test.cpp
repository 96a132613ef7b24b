// morvane-sync export against simulated devices: the files it writes, the
// full and incremental passes and a declined pairing.
#include <gtest/gtest.h>

#include "host/host_process.h"

namespace host_test {
namespace {

using nlohmann::json;
using tethra_sim::DeviceImage;

class HostExport : public ::testing::Test {
protected:
    void SetUp() override { device_ = world_.SaveImage(tethra_sim::DemoImage(), "device.json"); }

    // Exports the four databases other than e-mail into <root>/<folder>.
    HostRun Export(const std::string& folder) {
        return RunHost({"export", "--device", device_, "--out", world_.Path(folder), "--section", "1", "--section", "2",
                        "--section", "3", "--section", "4"});
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
    for (const json& field : review.at("fields")) {
        if (field.value("field", "") == "3") {
            EXPECT_EQ(field.value("device", ""), "FromDate");
        }
    }
    // The yoga course carries its repeat rule.
    EXPECT_EQ(records.at(2).at("repeat").value("isRepeating", 0), 1);
    EXPECT_EQ(Records("out", "todo").size(), 2u);
    EXPECT_EQ(Records("out", "memo").size(), 2u);
    const json addresses = Records("out", "address");
    ASSERT_EQ(addresses.size(), 2u);
    EXPECT_EQ(FieldOf(addresses.at(0), "23"), "M\xC3\xBCnchen");
    EXPECT_FALSE(ReadExport(world_.Path("out"), "mail").is_object()) << "e-mail was not asked for";
}

// An export's one record: its id, status and a field's value (no field:
// the record carries none).
void ExpectOnly(const json& records, int id, int status, const char* field, const char* value) {
    ASSERT_EQ(records.size(), 1u) << records.dump();
    EXPECT_EQ(records.at(0).value("id", 0), id) << records.dump();
    EXPECT_EQ(records.at(0).value("status", 0), status) << records.dump();
    if (field != nullptr)
        EXPECT_EQ(FieldOf(records.at(0), field), value);
    else
        EXPECT_TRUE(records.at(0).at("fields").empty());
}

// After a full export the next carries exactly the device's edits.
TEST_F(HostExport, IncrementalExportCarriesTheDeviceEdits) {
    ASSERT_EQ(Export("first").exitCode, 0);
    DeviceImage image = world_.LoadImage(device_);
    ASSERT_TRUE(image.ChangeRecord(1, 1, {{"S_LOCATION", tethra_sim::TextValue("Room 2.01")}}));
    const uint32_t added = image.AddRecord(6, {{"S_DESCRIPTION3", tethra_sim::TextValue("Book flights")}});
    ASSERT_TRUE(image.DeleteRecord(8, 2));
    world_.SaveImage(image, "device.json");
    ASSERT_TRUE(Ran(Export("second"), 0));
    ExpectOnly(Records("second", "schedule"), 1, 3, "8", "Room 2.01");
    ExpectOnly(Records("second", "todo"), static_cast<int>(added), 2, "2", "Book flights");
    ExpectOnly(Records("second", "memo"), 2, 4, nullptr, nullptr);  // a deletion carries no fields
    EXPECT_TRUE(Records("second", "address").empty());
    EXPECT_FALSE(ReadExport(world_.Path("second"), "schedule").value("fullSync", true));
}

TEST_F(HostExport, DeclinedPairingIsReportedWithTheAdaptersCode) {
    testing_support::SetEnv("MORVANE_MESSAGEBOX", "cancel");
    EXPECT_TRUE(Ran(Export("out"), 1, {"DIZ_API_Initialize returned -2 (start-up failed); last error 0x10000001 "
                                        "(the user declined to renew the pairing)"}));
}

// The files hold the device's single-byte texts in UTF-8 through the
// device's character set; what the set lacks reaches the device as the
// nearest character it has.
TEST(HostCharset, FilesFollowTheDeviceCharacterSet) {
    HostWorld world;
    DeviceImage image = tethra_sim::DemoImage();
    image.ChangeRecord(7, 1, {{"S_CITY_H", tethra_sim::TextValue("\x80 5")}});
    const std::string device = world.SaveImage(image, "device.json");
    struct Row {
        const char* charset;
        const char* shown;  // City_H in the file
    };
    static const Row kRows[] = {{"WINDOWS-1252", "\xE2\x82\xAC 5"}, {"ISO-8859-1", "\xC2\x80 5"}};
    for (const Row& row : kRows) {
        const std::string out = world.Path(row.charset);
        ASSERT_TRUE(Ran(RunHost({"export", "--device", device, "--out", out, "--section", "1", "--full",
                                 "--device-charset", row.charset}),
                        0));
        EXPECT_EQ(FieldOf(Records(out, "address").at(0), "23"), row.shown) << row.charset;
    }
    const std::string in = world.Path("in");
    testing_support::WriteFile(in + "/address.json",
                               "{\"section\": 1, \"records\": [{\"id\": 1, \"action\": \"change\", \"fields\": "
                               "{\"1\": \"\xC5\x81ukasz\", \"23\": \"\xE2\x82\xAC 6\"}}]}");
    ASSERT_TRUE(Ran(RunHost({"import", "--device", device, "--in", in}), 0));
    const DeviceImage after = world.LoadImage(device);
    EXPECT_EQ(ValueOf(after, 7, 1, "S_FIRST_NAME"), tethra_sim::TextValue("Lukasz"));
    EXPECT_EQ(ValueOf(after, 7, 1, "S_CITY_H"), tethra_sim::TextValue("\x80 6"));
}

}  // namespace
}  // namespace host_test
