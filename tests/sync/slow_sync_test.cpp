// Syncs that match the two sides by content (a renewed pairing, a reset
// handheld, no state, a moved collection); a collection tasks share.
#include <gtest/gtest.h>

#include <filesystem>

#include "records/field_map.h"
#include "sync/sync_world.h"

namespace sync_test {
namespace {

using morvane_host::kAddressSection;
using morvane_host::kMailSection;
using morvane_host::kScheduleSection;
using morvane_host::kToDoSection;
using host_test::Ran;
using tethra_sim::TextValue;

class SlowSync : public Synced {};

// Changes on both sides, then the handheld paired with another PC and back.
TEST_F(SlowSync, AfterARenewedPairingNothingTwice) {
    world.ChangeRecord(7, "S_LAST_NAME", "Okafor", {{"S_FIRST_NAME", TextValue("Dave")}});
    world.EditDevice([](tethra_sim::DeviceImage& image) {
        const uint8_t other[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        image.SetPairing(other, "20200101000000");
    });
    world.CopyItem(kAddressSection, world.FindFile(kAddressSection, "Berger"), "Berger", "Vogt", "lena");
    ASSERT_TRUE(Ran(world.Sync(), 0));
    for (int32_t section = 1; section <= 5; ++section) EXPECT_TRUE(world.InAgreement(section)) << section;
    EXPECT_EQ(world.DeviceCount(kAddressSection), 3u);
    EXPECT_NE(world.FindFile(kAddressSection, "Dave"), "");
    EXPECT_NE(world.FindRecord(7, "S_LAST_NAME", "Vogt"), 0u);
}

// The handheld's clock keeps the zone of earlier syncs when the PC's moves
// (a laptop abroad): a PC edit keeps its wall time there, and a moved
// Maildir's mail is found again and stays where it was named.
TEST_F(SlowSync, ThePcInAnotherZoneMovesNoTimeAndAddsNothing) {
    const uint32_t yoga = world.FindRecord(1, "S_DESCRIPTION4", "Yoga");
    const auto start = [&] { return host_test::ValueOf(world.Device(), 1, yoga, "S_START_TIME"); };
    const tethra_sim::LinkValue before = start();
    const size_t mails = world.DeviceCount(morvane_host::kMailSection);
    world.EditFile(world.FindFile(kScheduleSection, "Yoga"), "SUMMARY:Yoga", "SUMMARY:Yoga class");
    const std::string moved = world.Path("elsewhere");
    std::filesystem::rename(world.store() + "/mail", moved);
    const char* const was = getenv("TZ");
    const std::string saved = was != nullptr ? was : "";
    setenv("TZ", "Pacific/Chatham", 1);
    const HostRun run = world.Sync({"--mail", moved});
    if (was != nullptr) setenv("TZ", saved.c_str(), 1);
    else unsetenv("TZ");
    EXPECT_TRUE(Ran(run, 0, {"this system's zone is Pacific/Chatham", "E-mail was synchronised with"}));
    EXPECT_EQ(world.TextOf(1, yoga, "S_DESCRIPTION4"), "Yoga class");
    EXPECT_EQ(start(), before);
    EXPECT_TRUE(world.InAgreement(morvane_host::kMailSection, moved));
    EXPECT_EQ(world.DeviceCount(morvane_host::kMailSection), mails);
    // A zone named becomes the handheld's, and the Maildir named stays the
    // mail's; an unknown zone (or character set) is refused before anything.
    ASSERT_TRUE(Ran(world.Sync({"--timezone", "Pacific/Chatham"}), 0));
    EXPECT_FALSE(std::filesystem::exists(world.store() + "/mail"));
    EXPECT_TRUE(world.InAgreement(kMailSection, moved));
    const auto files = Tree(world.store());
    EXPECT_TRUE(Ran(world.Sync({"--timezone", "Mars/Base"}), 2, {"unknown time zone 'Mars/Base'"}));
    EXPECT_TRUE(Ran(world.Sync({"--device-charset", "FOO-99"}), 2, {"unknown character set FOO-99"}));
    EXPECT_EQ(Tree(world.store()), files);
    EXPECT_TRUE(Ran(host_test::RunHost({"status", "--store", world.store()}), 0,
                    {"the handheld's times are read in Pacific/Chatham"}));
}

// A reset handheld gives the state's ids to new records: nothing of the
// PC's is deleted or overwritten, also after a first attempt failed
// mid-write (the full read is asked for only in its session) and a dry run.
TEST_F(SlowSync, AfterTheHandheldWasResetNothingIsLost) {
    const auto files = Tree(world.store());
    const size_t events = world.DeviceCount(kScheduleSection), contacts = world.Files(kAddressSection).size();
    world.EditDevice([](tethra_sim::DeviceImage& image) {
        image = tethra_sim::EmptyImage();
        image.AddRecord(7, {{"S_LAST_NAME", TextValue("Zed")}, {"S_FIRST_NAME", TextValue("Zoe")}});
        image.AddRecord(7, {{"S_LAST_NAME", TextValue("Young")}, {"S_FIRST_NAME", TextValue("Yan")}});
        const tethra_sim::LinkValue day = tethra_sim::DateValue(2026, 12, 9);
        image.AddRecord(1, {{"S_DESCRIPTION4", TextValue("Haircut")}, {"S_START_DATE", day}, {"S_END_DATE", day}});
    });
    world.EditDevice([](tethra_sim::DeviceImage& image) {
        image.FailCall("S_DVXPutFirstSyncRecordData", 2, tethra_sim::kErrNotConnected, false);
    });
    ASSERT_TRUE(Ran(world.Sync(), 1));
    ASSERT_TRUE(Ran(world.Sync({"--dry-run"}), 0));
    ASSERT_TRUE(Ran(world.Sync(), 0));
    for (int32_t section = 1; section <= 5; ++section) EXPECT_TRUE(world.InAgreement(section)) << section;
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(ReadFile(world.store() + "/" + name), bytes) << name;
    }
    EXPECT_EQ(world.Files(kAddressSection).size(), contacts + 2);
    EXPECT_EQ(world.DeviceCount(kScheduleSection), events + 1);
    EXPECT_NE(world.FindFile(kAddressSection, "Zed"), "");
}

// A received mail filed in Saved on the handheld, deleted there and sent
// back from the PC, takes saved mail's Type: without the state, still one.
TEST_F(SlowSync, AMailFiledOnTheHandheldAndSentBackIsFoundAgain) {
    world.ChangeRecord(16, "S_SUBJECT", "Saturday", {{"S_FOLDERID", tethra_sim::NumberValue(3)}});
    ASSERT_TRUE(Ran(world.Sync(), 0));
    const std::string file = world.FindFile(kMailSection, "Subject: Saturday");
    ASSERT_EQ(file.back(), 'S');
    world.DeleteRecord(16, "S_SUBJECT", "Saturday");
    std::filesystem::rename(file, file.substr(0, file.size() - 1));
    ASSERT_TRUE(Ran(world.Sync(), 0));
    const size_t mails = world.DeviceCount(kMailSection);
    std::filesystem::remove_all(world.store() + "/.morvane");
    ASSERT_TRUE(Ran(world.Sync(), 0));
    EXPECT_TRUE(world.InAgreement(kMailSection));
    EXPECT_EQ(world.DeviceCount(kMailSection), mails);
}

// Contacts moved to another folder: matched by content, nothing twice.
// The store's own collections are named; another program's is not.
TEST_F(SlowSync, CollectionMovedNothingTwice) {
    EXPECT_EQ(ReadFile(world.Folder(kAddressSection) + "/displayname"), "Contacts (handheld)\n");
    EXPECT_EQ(ReadFile(world.Folder(kMailSection) + "/displayname"), "Mail (handheld)\n");
    const std::string moved = world.Path("contacts-elsewhere");
    std::filesystem::rename(world.Folder(kAddressSection), moved);
    std::filesystem::remove(moved + "/displayname");  // as another program keeps it: not named by the sync
    ASSERT_TRUE(Ran(world.Sync({"--contacts", moved}), 0, {"matched by content"}));
    EXPECT_FALSE(std::filesystem::exists(moved + "/displayname"));
    EXPECT_TRUE(world.InAgreement(kAddressSection, moved));
    EXPECT_EQ(world.DeviceCount(kAddressSection), 2u);
}

// Tasks in the calendar's collection: each database sees its own kind; a
// journal entry another program keeps there is left alone.
TEST(SharedCollection, CalendarAndTasksInOneFolder) {
    SyncWorld world;
    const std::string calendar = world.store() + "/calendar";
    ASSERT_EQ(world.Sync({"--tasks", calendar}).exitCode, 0);
    EXPECT_TRUE(world.InAgreement(kScheduleSection, calendar));
    EXPECT_TRUE(world.InAgreement(kToDoSection, calendar));
    const std::string journal = calendar + "/journal.ics";
    const std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//other//EN\r\nBEGIN:VJOURNAL\r\nUID:j1\r\n"
                             "SUMMARY:Diary\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n";
    testing_support::WriteFile(journal, text);
    world.EditDevice([&](tethra_sim::DeviceImage& image) {
        image.AddRecord(6, {{"S_DESCRIPTION3", TextValue("Water plants")}});
    });
    ASSERT_TRUE(Ran(world.Sync({"--tasks", calendar}), 0));
    EXPECT_TRUE(world.InAgreement(kScheduleSection, calendar));
    EXPECT_TRUE(world.InAgreement(kToDoSection, calendar));
    size_t plants = 0;  // in the calendar folder, as a task
    for (const std::string& file : world.Files(kToDoSection, calendar)) plants += ReadFile(file).find("Water plants") != std::string::npos;
    EXPECT_EQ(plants, 1u);
    EXPECT_EQ(ReadFile(journal), text);
    EXPECT_EQ(world.DeviceCount(morvane_host::kMemoSection), 2u);
}

}  // namespace
}  // namespace sync_test
