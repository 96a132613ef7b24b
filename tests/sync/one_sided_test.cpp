// Each kind of one-sided change in each database: a change, an addition
// and a deletion on either side reach the other; both sides and the state
// agree after every sync, and one with nothing to do changes nothing.
#include <gtest/gtest.h>

#include <stdio.h>
#include <time.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>

#include "records/field_map.h"
#include "sync/sync_world.h"

namespace sync_test {
namespace {

namespace fs = std::filesystem;
using tethra_sim::ByteValue;
using tethra_sim::FieldValues;
using tethra_sim::NumberValue;
using tethra_sim::TextValue;

struct Database {
    const char* name;
    int32_t section;
    const char* field;       // the text field that names a record
    const char* existing;    // a demo record's text in it, changed on the handheld to changed
    const char* changed;
    FieldValues extra;       // what a record added on the handheld holds besides its name
};

const Database kDatabases[] = {
    {"Address", morvane_host::kAddressSection, "S_LAST_NAME", "Okafor", "Adeyemi", {{"S_FIRST_NAME", TextValue("Ola")}}},
    {"Schedule", morvane_host::kScheduleSection, "S_DESCRIPTION4", "Project review", "Design review",
     {{"S_START_DATE", tethra_sim::DateValue(2027, 1, 4)}, {"S_END_DATE", tethra_sim::DateValue(2027, 1, 4)},
      {"S_START_TIME", tethra_sim::TimeValue(10, 0, 0)}, {"S_END_TIME", tethra_sim::TimeValue(11, 0, 0)}}},
    {"ToDo", morvane_host::kToDoSection, "S_DESCRIPTION3", "Renew passport", "Renew identity card",
     {{"S_END_DATE", tethra_sim::DateValue(2027, 2, 1)}, {"S_PRIORITY", ByteValue(2)}}},
    // The memo's title is the first line of its text.
    {"Memo", morvane_host::kMemoSection, "S_PAGE_NOTE", "Gate code\n4711#", "Door code",
     {{"S_PAGE_TITLE", TextValue("Added on device")},
      {"S_START_DATETIME", tethra_sim::DateTimeValue(2027, 1, 2, 9, 0, 0)}}},
    {"Mail", morvane_host::kMailSection, "S_SUBJECT", "Price list 2027", "Price list 2028",
     {{"S_FOLDERID", NumberValue(0)}, {"S_TYPE", ByteValue(0)}, {"S_FROM", TextValue("lena@example.com")},
      {"S_TO", TextValue("me@example.org")}, {"S_BODY", TextValue("Hello")}, {"S_IS_READ", ByteValue(1)},
      {"S_SEND_DATE", tethra_sim::DateTimeValue(2027, 1, 2, 9, 0, 0)},
      {"S_RECEIVED_DATE", tethra_sim::DateTimeValue(2027, 1, 2, 9, 0, 0)}}},
};

// The device record of the section whose field holds text (E-mail: either
// mail database), 0 if none.
uint32_t Find(const SyncWorld& world, const Database& db, const std::string& text) {
    const uint32_t id = world.FindRecord(DeviceDatabase(db.section), db.field, text);
    if (id != 0 || db.section != morvane_host::kMailSection) return id;
    return world.FindRecord(15, db.field, text);
}

class OneSided : public testing::TestWithParam<Database> {
protected:
    void SyncInAgreement() {
        ASSERT_TRUE(host_test::Ran(world_.Sync(), 0));
        ASSERT_TRUE(world_.InAgreement(GetParam().section));
    }
    SyncWorld world_;
};

TEST_P(OneSided, ChangesOnEachSideReachTheOther) {
    const Database& db = GetParam();
    const uint32_t dbId = DeviceDatabase(db.section);
    SyncInAgreement();
    // Permissions another program gave a file stay through a rewrite; a new
    // item is its owner's alone, as contacts and mail are kept.
    const fs::perms kept = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    for (const std::string& file : world_.Files(db.section)) fs::permissions(file, kept);
    // On the handheld: one record changed, one added.
    world_.EditDevice([&](tethra_sim::DeviceImage& image) {
        ASSERT_TRUE(image.ChangeRecord(dbId, Find(world_, db, db.existing), {{db.field, TextValue(db.changed)}}));
        FieldValues added = db.extra;
        added.emplace_back(db.field, TextValue("Added on device"));
        ASSERT_NE(image.AddRecord(dbId, added), 0u);
    });
    SyncInAgreement();
    const std::string changed = world_.FindFile(db.section, db.changed);
    const std::string added = world_.FindFile(db.section, "Added on device");
    ASSERT_NE(changed, "");
    ASSERT_NE(added, "");
    EXPECT_EQ(fs::status(changed).permissions(), kept);
    EXPECT_EQ(fs::status(added).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(world_.store() + "/.morvane").permissions(), fs::perms::owner_all);  // the state's copies

    // On the PC: that item edited, and a copy of it added.
    world_.CopyItem(db.section, added, "Added on device", "Added on PC", "added-on-pc");
    world_.EditFile(added, "Added on device", "Edited on PC");
    SyncInAgreement();
    EXPECT_NE(Find(world_, db, "Edited on PC"), 0u);
    EXPECT_EQ(Find(world_, db, "Added on device"), 0u);
    EXPECT_NE(Find(world_, db, "Added on PC"), 0u);

    // Deleted: on the handheld the changed record and the one the PC just
    // edited (its file not yet read since it was sent), the copy on the PC.
    world_.EditDevice([&](tethra_sim::DeviceImage& image) {
        ASSERT_TRUE(image.DeleteRecord(dbId, Find(world_, db, db.changed)));
        ASSERT_TRUE(image.DeleteRecord(dbId, Find(world_, db, "Edited on PC")));
    });
    ASSERT_EQ(remove(world_.FindFile(db.section, "Added on PC").c_str()), 0);
    SyncInAgreement();
    EXPECT_EQ(world_.FindFile(db.section, db.changed), "");
    EXPECT_EQ(world_.FindFile(db.section, "Edited on PC"), "");
    EXPECT_EQ(Find(world_, db, "Added on PC"), 0u);

    // Nothing left to do, even when every record is read again.
    const std::string image = world_.Device().ToJson();
    ASSERT_TRUE(ReadingEverythingAgainWritesNothing(world_));
    EXPECT_TRUE(world_.InAgreement(db.section));
    EXPECT_EQ(world_.Device().ToJson().size(), image.size());
}

// New items are made a batch ahead of their writes, on a second thread:
// records beyond the first batches still become one item each, their own.
TEST_P(OneSided, RecordsBeyondOneBatchEachBecomeAnItemOfTheirOwn) {
    const Database& db = GetParam();
    world_.EditDevice([&](tethra_sim::DeviceImage& image) {
        for (int i = 0; i < 600; ++i) {
            FieldValues added = db.extra;
            added.emplace_back(db.field, TextValue("Bulk " + std::to_string(i) + "."));
            ASSERT_NE(image.AddRecord(DeviceDatabase(db.section), added), 0u);
        }
    });
    SyncInAgreement();
    std::set<std::string> files;
    for (int i : {0, 255, 256, 511, 512, 599}) files.insert(world_.FindFile(db.section, "Bulk " + std::to_string(i) + "."));
    EXPECT_EQ(files.size(), 6u);
    EXPECT_EQ(files.count(""), 0u);
}

// A state as the first version of morvane-sync kept it: each row's device
// fields and item in the row itself.
void StateOfTheFirstVersion(const SyncWorld& world) {
    const char* sql =
        "BEGIN;"
        "ALTER TABLE items ADD COLUMN device_fields TEXT NOT NULL DEFAULT '';"
        "ALTER TABLE items ADD COLUMN item TEXT NOT NULL DEFAULT '';"
        "UPDATE items SET device_fields = (SELECT device_fields FROM texts WHERE texts.id = items.id),"
        " item = (SELECT item FROM texts WHERE texts.id = items.id);"
        "DROP TABLE texts; PRAGMA user_version = 1; COMMIT;";
    EXPECT_TRUE(world.ExecOnState(sql));
}

// Another program's event with a repeat beyond the handheld, its location
// changed there: only that line (and the revision times) changes, also in
// a store the first version wrote.
class OneSidedForeign : public testing::TestWithParam<bool> {};

// A time as iCalendar writes it in UTC.
std::string UtcStamp(time_t t) {
    struct tm utc;
    gmtime_r(&t, &utc);
    char text[20];
    strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

TEST_P(OneSidedForeign, ADeviceEditOfAnotherProgramsEventRewritesOnlyItsLine) {
    SyncWorld world;
    const std::string path = world.Folder(morvane_host::kScheduleSection) + "/finance.ics";
    const std::string text = ReadFile(MORVANE_SOURCE_DIR "/tests/pim/data/google_finance.ics");
    testing_support::WriteFile(path, text);
    ASSERT_EQ(world.Sync().exitCode, 0);
    if (GetParam()) StateOfTheFirstVersion(world);
    // Touched without a change: the next sync notes the file's new time only.
    const auto touched = fs::last_write_time(path) + std::chrono::seconds(5);
    fs::last_write_time(path, touched);
    ASSERT_EQ(world.Sync().exitCode, 0);
    const uint32_t id = world.FindRecord(1, "S_DESCRIPTION4", "Finance sync");
    ASSERT_NE(id, 0u);
    world.EditDevice([&](tethra_sim::DeviceImage& image) {
        ASSERT_TRUE(image.ChangeRecord(1, id, {{"S_LOCATION", TextValue("Room C")}}));
    });
    const std::string start = UtcStamp(time(nullptr));
    ASSERT_EQ(world.Sync().exitCode, 0);
    const std::string end = UtcStamp(time(nullptr)), written = ReadFile(path);
    // Besides it, the event says when it was revised: at this sync.
    const size_t at = written.find("\r\nDTSTAMP:");
    ASSERT_NE(at, std::string::npos);
    const std::string stamp = written.substr(at + 10, 16);
    EXPECT_TRUE(start <= stamp && stamp <= end) << stamp;
    std::string expected = text;
    for (const auto& change : {std::make_pair("LOCATION:Conference room B\\, 3rd floor", "LOCATION:Room C"),
                               std::make_pair("DTSTAMP:20261115T093012Z", "DTSTAMP:"),
                               std::make_pair("LAST-MODIFIED:20261110T081500Z", "LAST-MODIFIED:")}) {
        const std::string was = change.first, now = change.second;
        expected.replace(expected.find(was), was.size(), now.back() == ':' ? now + stamp : now);
    }
    EXPECT_EQ(written, expected);
    EXPECT_TRUE(world.InAgreement(morvane_host::kScheduleSection));
}

INSTANTIATE_TEST_SUITE_P(State, OneSidedForeign, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "OfTheFirstVersion" : "AsWritten");
                         });

// What morvane-sync status says waits on the PC (a rename is no change).
class Status : public Synced {};

TEST_F(Status, CountsWhatWaitsOnThePc) {
    const std::string folder = world.Folder(morvane_host::kAddressSection);
    const std::string berger = world.FindFile(morvane_host::kAddressSection, "Berger");
    const std::string okafor = world.FindFile(morvane_host::kAddressSection, "Okafor");
    world.CopyItem(morvane_host::kAddressSection, berger, "Berger", "Vogt", "vogt");
    world.EditFile(berger, "Anna", "Annie");
    ASSERT_EQ(rename(okafor.c_str(), (folder + "/okafor.vcf").c_str()), 0);
    ASSERT_EQ(remove(world.FindFile(morvane_host::kMemoSection, "Gate code").c_str()), 0);
    const HostRun status = host_test::RunHost({"status", "--store", world.store()});
    ASSERT_EQ(status.exitCode, 0) << status.output;
    EXPECT_NE(status.output.find("store " + world.store() + "\n"), std::string::npos) << status.output;
    EXPECT_NE(status.output.find("Address book  last sync"), std::string::npos) << status.output;
    EXPECT_NE(status.output.find("waiting on the PC: 1 new, 1 changed, 0 deleted"), std::string::npos) << status.output;
    EXPECT_NE(status.output.find("waiting on the PC: 0 new, 0 changed, 1 deleted"), std::string::npos) << status.output;
}

INSTANTIATE_TEST_SUITE_P(Databases, OneSided, testing::ValuesIn(kDatabases), RowName());

}  // namespace
}  // namespace sync_test
