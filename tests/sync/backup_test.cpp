// morvane-sync backup and restore: the demo handheld backed up, put back
// onto an emptied handheld and compared through the two device images;
// files restore must refuse, changing nothing on either side.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <regex>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "records/field_map.h"
#include "support/sandbox.h"
#include "sync/sync_world.h"

namespace sync_test {
namespace {

using host_test::Ran;
using host_test::RunHost;

// A value's exact bytes, or that it is absent.
std::string ExactValue(const tethra_sim::LinkValue& value) {
    if (value.absent) return "absent";
    std::string hex;
    for (uint8_t byte : value.bytes) hex += "0123456789abcdef"[byte >> 4], hex += "0123456789abcdef"[byte & 15];
    return hex;
}

// The records of a database as texts of every link field, sorted.
std::vector<std::string> RecordTexts(const DeviceImage& image, uint32_t dbId) {
    std::vector<std::string> texts;
    for (const tethra_sim::Record& record : image.Find(dbId)->records) {
        std::string text;
        for (const tethra_sim::LinkField& field : image.Find(dbId)->fields) {
            tethra_sim::LinkValue value;
            image.GetValue(dbId, record.id, field.name, &value);
            text += field.name + "=" + ExactValue(value) + "\n";
        }
        texts.push_back(text);
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}

// Every link field of every record the same on both handhelds.
testing::AssertionResult SameRecords(const DeviceImage& original, const DeviceImage& restored) {
    for (const tethra_sim::Database& database : original.databases) {
        const std::vector<std::string> was = RecordTexts(original, database.id),
                                       is = RecordTexts(restored, database.id);
        if (was.size() != is.size())
            return testing::AssertionFailure() << "database " << database.id << ": " << was.size() << " vs "
                                               << is.size() << " records";
        for (size_t r = 0; r < was.size(); ++r)
            if (was[r] != is[r])
                return testing::AssertionFailure() << "database " << database.id << ":\n" << was[r] << "vs\n" << is[r];
    }
    return testing::AssertionSuccess();
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// Every field, those the adapter never carries (a memo's creation time, a
// mail's id, size and mail info) and those it fills on its own included;
// a restore cut short by a failing handheld is finished by the next.
class BackupRestore : public Synced {};

TEST_F(BackupRestore, OntoAnEmptiedHandheldEqualInEveryRecordEvenAfterAFailureAndTheNextSyncMatches) {
    const auto pc = Tree(world.store());
    const std::string file = world.Path("handheld.backup"), device = world.Path("device.json");
    ASSERT_TRUE(Ran(RunHost({"backup", file, "--device", device, "--yes"}), 0));
    const nlohmann::json made = nlohmann::json::parse(testing_support::ReadFile(file), nullptr, false);
    ASSERT_TRUE(made.is_object());
    EXPECT_TRUE(std::regex_match(made.value("created", std::string()), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")))
        << made.value("created", std::string());
    const DeviceImage original = world.Device();
    // The fourth write of records, the Memo database's, fails: the first
    // restore ends there, and the second finishes what it left.
    world.EditDevice([](DeviceImage& image) {
        image = tethra_sim::EmptyImage();
        image.AddRecord(8, {{"S_PAGE_TITLE", tethra_sim::TextValue("Stray")}});
        image.FailCall("S_DVXPutRecordData", 4, tethra_sim::kErrNotConnected, false);
    });
    const HostRun cut = RunHost({"restore", file, "--device", device, "--store", world.store(), "--yes"});
    EXPECT_TRUE(Ran(cut, 1, {"Memo: the device link library's S_DVXPutRecordData failed", "run the same restore again"}));
    // What it was about to delete was kept first, in a backup of its own.
    std::smatch kept;
    ASSERT_TRUE(std::regex_search(cut.output, kept, std::regex("records before this restore are kept in (\\S+) ")))
        << cut.output;
    EXPECT_NE(ReadFile(kept[1]).find("Stray"), std::string::npos);
    // Through a bridge process this time: the handheld's link reached from there.
    ASSERT_TRUE(Ran(RunHost({"restore", file, "--device", device, "--store", world.store(), "--yes", "--bridge",
                             std::string(MORVANE_BIN_DIR) + "/morvane-bridge"}),
                    0,
                    {"Schedule: 3 record(s) kept, 0 deleted, 0 added", "Memo: 0 record(s) kept, 0 deleted, 2 added",
                     "pairs its records"}));
    EXPECT_TRUE(SameRecords(original, world.Device()));
    // Named a store that was never synchronised, the restore says so.
    EXPECT_TRUE(Ran(RunHost({"restore", file, "--device", device, "--store", world.Path("elsewhere"), "--yes"}), 0,
                    {"elsewhere holds no sync state"}));
    ASSERT_TRUE(Ran(world.Sync(), 0));
    EXPECT_EQ(Tree(world.store()).size(), pc.size());
    for (int32_t section = 1; section <= 5; ++section) EXPECT_TRUE(world.InAgreement(section)) << section;
    EXPECT_TRUE(SameRecords(original, world.Device()));
}

// The handheld reset after a backup that later syncs outdated: the
// records put back pair with their items again, and where the item was
// edited or added since, the handheld gets it instead of a second copy.
TEST_F(BackupRestore, AnOlderBackupGivesWayToWhatChangedSince) {
    const std::string file = world.Path("handheld.backup"), device = world.Path("device.json");
    ASSERT_TRUE(Ran(RunHost({"backup", file, "--device", device}), 0));
    const std::string berger = world.FindFile(morvane_host::kAddressSection, "Berger");
    world.EditFile(berger, "Lindenweg 7", "Lindenweg 9");
    world.CopyItem(morvane_host::kAddressSection, berger, "Berger", "Vogt", "lena");
    world.EditFile(world.FindFile(morvane_host::kScheduleSection, "Yoga"), "SUMMARY:Yoga", "SUMMARY:Yoga class");
    ASSERT_TRUE(Ran(world.Sync(), 0));
    const size_t events = world.DeviceCount(morvane_host::kScheduleSection);
    sleep(1);  // the backup a second older than the sync
    world.EditDevice([](DeviceImage& image) { image = tethra_sim::EmptyImage(); });
    ASSERT_TRUE(Ran(RunHost({"restore", file, "--device", device, "--store", world.store(), "--yes"}), 0));
    ASSERT_TRUE(Ran(world.Sync(), 0));
    for (int32_t section = 1; section <= 5; ++section) EXPECT_TRUE(world.InAgreement(section)) << section;
    EXPECT_EQ(world.Files(morvane_host::kAddressSection).size(), 3u);
    EXPECT_NE(ReadFile(berger).find("Lindenweg 9"), std::string::npos);
    EXPECT_EQ(world.TextOf(7, world.FindRecord(7, "S_LAST_NAME", "Berger"), "S_STREET_H"), "Lindenweg 9");
    EXPECT_NE(world.FindRecord(7, "S_LAST_NAME", "Vogt"), 0u);
    EXPECT_NE(world.FindRecord(1, "S_DESCRIPTION4", "Yoga class"), 0u);
    EXPECT_EQ(world.DeviceCount(morvane_host::kScheduleSection), events);
}

struct RefusedFile {
    const char* name;
    std::string (*make)(const std::string& backup, const std::string& image);
    const char* message;
};

const RefusedFile kRefused[] = {
    {"a value changed", [](const std::string& b, const std::string&) { return Replaced(b, "Yoga", "Yogi"); },
     "damaged: its checksum does not match"},
    {"a record cut off", [](const std::string& b, const std::string&) { return b.substr(0, b.size() / 2); },
     "it is not JSON"},
    {"another version", [](const std::string& b, const std::string&) { return Replaced(b, "\"version\": 2", "\"version\": 1"); },
     "format version 1; this morvane-sync reads version 2 only"},
    {"a device image", [](const std::string&, const std::string& i) { return i; }, "not a morvane-sync backup"},
};

TEST_F(BackupRestore, RefusesDamagedAndForeignFilesChangingNothing) {
    const std::string file = world.Path("handheld.backup"), device = world.Path("device.json");
    ASSERT_EQ(RunHost({"backup", file, "--device", device}).exitCode, 0);
    world.DeleteRecord(8, "S_PAGE_TITLE", "");
    const std::string backup = ReadFile(file), image = ReadFile(device), state = world.StateText(4);
    for (const RefusedFile& row : kRefused) {
        const std::string refused = world.Path(std::string(row.name) + ".backup");
        testing_support::WriteFile(refused, row.make(backup, image));
        EXPECT_TRUE(Ran(RunHost({"restore", refused, "--device", device, "--store", world.store(), "--yes"}), 1,
                        {row.message, "nothing was changed"}))
            << row.name;
        EXPECT_EQ(ReadFile(device), image) << row.name;
        EXPECT_EQ(world.StateText(4), state) << row.name;
    }
}

}  // namespace
}  // namespace sync_test
