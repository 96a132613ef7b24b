// What keeps a sync from doing harm: the mass-delete guard, a collection
// gone, the lock, the dry run, unreadable files and state, a handheld that
// fails mid-import, a folder gone mid-write, a session never closed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "records/field_map.h"
#include "sync/sync_world.h"

namespace sync_test {
namespace {

using host_test::Ran;
using morvane_host::kAddressSection;
using tethra_sim::TextValue;
namespace fs = std::filesystem;

// The demo handheld with eight more contacts.
tethra_sim::DeviceImage TenContacts() {
    tethra_sim::DeviceImage image = tethra_sim::DemoImage();
    for (int i = 0; i < 8; ++i)
        image.AddRecord(7, {{"S_FIRST_NAME", TextValue("Guest")}, {"S_LAST_NAME", TextValue("Number" + std::to_string(i))}});
    return image;
}

TEST(MassDeleteGuard, StopsBeforeChangingAnythingUnlessAllowed) {
    SyncWorld world(TenContacts());
    ASSERT_EQ(world.Sync().exitCode, 0);
    for (int i = 0; i < 6; ++i) ASSERT_EQ(remove(world.FindFile(kAddressSection, "Number" + std::to_string(i)).c_str()), 0);
    world.ChangeRecord(7, "S_LAST_NAME", "Okafor", {{"S_FIRST_NAME", TextValue("Dave")}});
    EXPECT_TRUE(Ran(world.Sync(), 3, {"more than half"}));
    EXPECT_EQ(world.DeviceCount(kAddressSection), 10u);
    EXPECT_EQ(world.FindFile(kAddressSection, "Dave"), "");  // nothing else happened either
    EXPECT_EQ(world.Rows(kAddressSection).size(), 10u);

    ASSERT_TRUE(Ran(world.Sync({"--allow-mass-delete"}), 0));
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(world.DeviceCount(kAddressSection), 4u);
    EXPECT_NE(world.FindFile(kAddressSection, "Dave"), "");
}

// A collection gone (two memos: below the guard's count) stops the sync,
// whatever is allowed, and so does a folder of collections named as one.
TEST(MassDeleteGuard, ACollectionGoneStopsTheSync) {
    SyncWorld world;
    ASSERT_EQ(world.Sync().exitCode, 0);
    const std::string memos = world.Folder(morvane_host::kMemoSection);
    std::filesystem::rename(memos, memos + ".moved");
    world.ChangeRecord(7, "S_LAST_NAME", "Okafor", {{"S_FIRST_NAME", TextValue("Dave")}});
    EXPECT_TRUE(Ran(world.Sync({"--allow-mass-delete"}), 3, {memos + " is gone"}));
    EXPECT_EQ(world.DeviceCount(morvane_host::kMemoSection), 2u);
    EXPECT_EQ(world.FindFile(kAddressSection, "Dave"), "");
    EXPECT_FALSE(std::filesystem::exists(memos));

    std::filesystem::rename(memos + ".moved", memos);
    ASSERT_TRUE(Ran(world.Sync(), 0));
    EXPECT_TRUE(world.InAgreement(morvane_host::kMemoSection));
    EXPECT_NE(world.FindFile(kAddressSection, "Dave"), "");

    // The folder that holds the memos' collection (as vdirsyncer names it).
    const std::string parent = world.Path("journals");
    std::filesystem::create_directories(parent);
    std::filesystem::rename(memos, parent + "/notes");
    const auto files = Tree(world.store()), journals = Tree(parent);
    EXPECT_TRUE(Ran(world.Sync({"--memos", parent}), 2, {parent + " holds collections (notes) rather than items"}));
    EXPECT_EQ(Tree(world.store()), files);
    EXPECT_EQ(Tree(parent), journals);
    // So does a mail reader's Maildir named for the folder of the four.
    const std::string maildir = world.Folder(morvane_host::kMailSection) + "/Inbox";
    const auto inbox = Tree(maildir);
    EXPECT_TRUE(Ran(world.Sync({"--mail", maildir}), 2, {maildir + " is a Maildir itself"}));
    EXPECT_EQ(Tree(maildir), inbox);
}

TEST(StoreLock, SecondSyncRefused) {
    SyncWorld world;
    std::filesystem::create_directories(world.store() + "/.morvane");
    const int fd = open((world.store() + "/.morvane/lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    EXPECT_TRUE(Ran(world.Sync(), 4));
    EXPECT_TRUE(world.Files(kAddressSection).empty());
    close(fd);
    EXPECT_EQ(world.Sync().exitCode, 0);
    EXPECT_TRUE(world.InAgreement(kAddressSection));
}

class DryRun : public Synced {};

TEST_F(DryRun, ShowsBothSidesAndChangesNothing) {
    world.ChangeRecord(7, "S_LAST_NAME", "Okafor", {{"S_FIRST_NAME", TextValue("D\xE1vid")}});
    world.CopyItem(kAddressSection, world.FindFile(kAddressSection, "Berger"), "Berger", "V\xC3\xB6gt", "lena");
    const auto files = Tree(world.store());
    const std::string state = world.StateText(kAddressSection);
    const auto changes = world.Device().Find(7)->changes[1];
    ASSERT_TRUE(Ran(world.Sync({"--dry-run"}), 0,
                    {"PC gets the handheld's change", "Okafor", "handheld gets new record", "\"Anna V\xC3\xB6gt\"",
                     "dry run"}));
    EXPECT_EQ(Tree(world.store()), files);
    EXPECT_EQ(world.StateText(kAddressSection), state);
    EXPECT_EQ(world.Device().Find(7)->changes[1], changes);
    EXPECT_EQ(world.DeviceCount(kAddressSection), 2u);

    ASSERT_EQ(world.Sync().exitCode, 0);
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_NE(world.FindFile(kAddressSection, "D\xC3\xA1vid"), "");
    EXPECT_NE(world.FindRecord(7, "S_LAST_NAME", "V\xF6gt"), 0u);
}

// Empty and malformed files are reported and left alone, other extensions
// and contact groups are no items; an item become unreadable gets the
// handheld's change once it is mended.
class UnreadableFiles : public Synced {};

TEST_F(UnreadableFiles, SkippedReportedAndNeverChanged) {
    const std::string folder = world.Folder(kAddressSection);
    testing_support::WriteFile(folder + "/empty.vcf", "");
    testing_support::WriteFile(folder + "/broken.vcf", "BEGIN:VCARD\r\nVERSION:9.9\r\nN:Broken\r\n");
    testing_support::WriteFile(folder + "/notes.txt", "not a contact");
    // Groups of contacts, as Apple's and vCard 4.0's programs write them.
    const std::string group = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:g\r\nFN:Family\r\nN:Family;;;;\r\n"
                              "X-ADDRESSBOOKSERVER-KIND:group\r\nEND:VCARD\r\n";
    const std::string group4 = "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:g4\r\nFN:Team\r\nKIND:Group\r\nEND:VCARD\r\n";
    testing_support::WriteFile(folder + "/group.vcf", group);
    testing_support::WriteFile(folder + "/group4.vcf", group4);
    const std::string anna = world.FindFile(kAddressSection, "Berger");
    const std::string good = ReadFile(anna);
    const std::string bad = good.substr(0, good.size() / 2);
    testing_support::WriteFile(anna, bad);
    world.ChangeRecord(7, "S_LAST_NAME", "Berger", {{"S_FIRST_NAME", TextValue("Annie")}});
    const HostRun run = world.Sync();
    EXPECT_TRUE(Ran(run, 5, {"empty.vcf", "broken.vcf", anna}));
    EXPECT_EQ(run.output.find("notes.txt"), std::string::npos);
    EXPECT_EQ(ReadFile(anna), bad);
    EXPECT_EQ(ReadFile(folder + "/broken.vcf"), "BEGIN:VCARD\r\nVERSION:9.9\r\nN:Broken\r\n");
    EXPECT_EQ(world.DeviceCount(kAddressSection), 2u);
    EXPECT_EQ(ReadFile(folder + "/group.vcf") + ReadFile(folder + "/group4.vcf"), group + group4);

    testing_support::WriteFile(anna, good);
    std::filesystem::remove(folder + "/group.vcf");
    std::filesystem::remove(folder + "/group4.vcf");
    std::filesystem::remove(folder + "/empty.vcf");
    std::filesystem::remove(folder + "/broken.vcf");
    ASSERT_TRUE(Ran(world.Sync(), 0));
    EXPECT_NE(ReadFile(anna).find("Annie"), std::string::npos);
    EXPECT_TRUE(world.InAgreement(kAddressSection));
}

// A handheld record that makes no item (an appointment without a date) is
// named and left there, each time, while the rest goes across.
TEST_F(UnreadableFiles, AHandheldRecordThatMakesNoItemIsLeftThere) {
    const uint32_t undated = world.Device().Find(1)->nextId;
    world.EditDevice([](DeviceImage& image) {
        image.AddRecord(1, {{"S_DESCRIPTION4", TextValue("Undated")}});
        image.AddRecord(7, {{"S_LAST_NAME", TextValue("Lange")}});
    });
    const std::string says = "device record " + std::to_string(undated) + " left on the handheld: FromDate";
    for (int run = 0; run < 2; ++run) EXPECT_TRUE(Ran(world.Sync(), 5, {says})) << run;
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(world.FindFile(morvane_host::kScheduleSection, "Undated"), "");
    EXPECT_EQ(world.Files(morvane_host::kScheduleSection).size() + 1, world.DeviceCount(morvane_host::kScheduleSection));
}

// A state a newer version wrote, one with unreadable tables, one that is no
// database: nothing changes on either side until the state is whole again.
class DamagedState : public Synced {};

TEST_F(DamagedState, StopsBeforeEitherSideChanges) {
    static const struct {
        const char* sql;  // null: the file overwritten with text
        const char* says;
    } kDamage[] = {
        {"PRAGMA user_version = 3;", "newer morvane-sync"},
        {"ALTER TABLE databases RENAME COLUMN dirty TO unknown;", "no such column"},
        {nullptr, "state.sqlite3 cannot be read (file is not a database); move it aside and sync again"},
    };
    world.ChangeRecord(7, "S_LAST_NAME", "Okafor", {{"S_FIRST_NAME", TextValue("Dave")}});
    world.CopyItem(kAddressSection, world.FindFile(kAddressSection, "Berger"), "Berger", "Vogt", "lena");
    const std::string state = world.store() + "/.morvane/state.sqlite3";
    std::vector<std::pair<std::string, std::string>> whole;  // the state's files, its log among them
    for (const std::string& path : {state, state + "-wal", state + "-shm"})
        if (std::filesystem::exists(path)) whole.emplace_back(path, ReadFile(path));
    const auto dropLog = [&state] {
        for (const char* end : {"-wal", "-shm"}) std::filesystem::remove(state + end);
    };
    const auto restore = [&whole, &dropLog] {
        dropLog();
        for (const auto& file : whole) testing_support::WriteFile(file.first, file.second);
    };
    const auto files = Tree(world.store());
    for (const auto& damage : kDamage) {
        restore();
        if (damage.sql == nullptr) {
            dropLog();
            testing_support::WriteFile(state, std::string(8192, 'x'));
        } else {
            EXPECT_TRUE(world.ExecOnState(damage.sql));
        }
        EXPECT_TRUE(Ran(world.Sync(), 1, {damage.says})) << damage.says;
        EXPECT_EQ(Tree(world.store()), files) << damage.says;
        EXPECT_EQ(world.DeviceCount(kAddressSection), 2u) << damage.says;
    }
    restore();
    ASSERT_TRUE(Ran(world.Sync(), 0));
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_NE(world.FindFile(kAddressSection, "Dave"), "");
    EXPECT_NE(world.FindRecord(7, "S_LAST_NAME", "Vogt"), 0u);
}

// The handheld refuses an import's second record: the next sync writes the
// rest, nothing twice.
class DeviceFailure : public Synced {};

TEST_F(DeviceFailure, MidImportThenConverges) {
    const std::string anna = world.FindFile(kAddressSection, "Berger");
    for (const char* name : {"Vogt", "Lange", "Kraus"}) world.CopyItem(kAddressSection, anna, "Berger", name, name);
    world.EditDevice([](tethra_sim::DeviceImage& image) {
        image.FailCall("S_DVXPutRecordData", 2, tethra_sim::kErrInvalidParameter, false);
    });
    EXPECT_TRUE(Ran(world.Sync(), 1));
    EXPECT_LT(world.DeviceCount(kAddressSection), 5u);
    world.EditDevice([](tethra_sim::DeviceImage& image) { image.faults.clear(); });
    ASSERT_TRUE(Ran(world.Sync(), 0));
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(world.DeviceCount(kAddressSection), 5u);
    for (const char* name : {"Vogt", "Lange", "Kraus"}) EXPECT_NE(world.FindRecord(7, "S_LAST_NAME", name), 0u) << name;
}

// The folder replaced by a file while the sync writes into it, before
// the writes that follow (Lange and Kraus, after a deletion) or before
// its only write is put in place: the closing table counts nothing the
// state did not keep (a file already removed included); the next sync
// does the rest.
struct FolderGoneRow {
    const char* name;
    bool more;  // Lange and Kraus added and Berger deleted besides Okafor's change
    size_t filesAfterCut, filesAfter;
};

class FolderGone : public Synced, public testing::WithParamInterface<FolderGoneRow> {};

TEST_P(FolderGone, WhileWritingCountsNothingUndone) {
    const FolderGoneRow& row = GetParam();
    if (row.more) {
        for (const char* name : {"Lange", "Kraus"})
            world.EditDevice([&](DeviceImage& image) { image.AddRecord(7, {{"S_LAST_NAME", TextValue(name)}}); });
        world.DeleteRecord(7, "S_LAST_NAME", "Berger");
    }
    world.ChangeRecord(7, "S_LAST_NAME", "Okafor", {{"S_FIRST_NAME", TextValue("Dave")}});
    const std::string folder = world.Folder(kAddressSection);
    const HostRun cut = world.SyncPausedAt("pc-write", [&] {
        fs::rename(folder, folder + ".away");
        testing_support::WriteFile(folder, "");
    });
    EXPECT_TRUE(Ran(cut, 1, {"Not a directory"}));
    EXPECT_TRUE(std::regex_search(cut.output, std::regex(R"(Address book +\| +0 +0 +0 \|)"))) << cut.output;
    fs::remove(folder);
    fs::rename(folder + ".away", folder);
    EXPECT_EQ(world.Files(kAddressSection).size(), row.filesAfterCut);
    EXPECT_EQ(world.FindFile(kAddressSection, "Dave"), "");
    ASSERT_TRUE(Ran(world.Sync(), 0));
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(world.Files(kAddressSection).size(), row.filesAfter);
    EXPECT_NE(world.FindFile(kAddressSection, "Dave"), "");
    EXPECT_EQ(world.FindFile(kAddressSection, "Berger") == "", row.more);
}

INSTANTIATE_TEST_SUITE_P(Folder, FolderGone,
                         testing::Values(FolderGoneRow{"BeforeTheNextWrite", true, 1, 3},
                                         FolderGoneRow{"BeforeItsWriteIsInPlace", false, 2, 2}),
                         RowName());

// A session the handheld never closed keeps none of its writes: a bridge
// that ended while closing it, or a handheld that lost it after this PC
// closed it.  The next sync sends the PC's changes again rather than take
// the handheld's older content for changes.
struct LostSession {
    const char* name;
    int exitCode;
    const char* says;
};

class SessionLost : public Synced, public testing::WithParamInterface<LostSession> {};

TEST_P(SessionLost, TheNextSyncSendsItsWritesAgain) {
    const LostSession& row = GetParam();
    const std::string okafor = world.FindFile(kAddressSection, "Okafor");
    world.EditFile(okafor, "Halverd Logistics", "Halverd Group");
    const std::string copy = world.CopyItem(kAddressSection, okafor, "Okafor", "Okonkwo", "okonkwo");
    ASSERT_EQ(unlink(world.FindFile(kAddressSection, "Berger").c_str()), 0);
    const DeviceImage before = world.Device();
    const bool bridge = std::string(row.name) == "bridge";
    std::vector<std::string> extra;  // the second run of these tests names a bridge already
    if (bridge && getenv("MORVANE_TEST_BRIDGE") == nullptr)
        extra = {"--bridge", std::string(MORVANE_BIN_DIR) + "/morvane-bridge"};
    if (bridge) testing_support::SetEnv("MORVANE_BRIDGE_FAULT", "close:die");
    sleep(1);  // the handheld tells a session it lost by its time, in seconds
    const HostRun cut = world.Sync(extra);
    testing_support::UnsetEnv("MORVANE_BRIDGE_FAULT");
    EXPECT_TRUE(Ran(cut, row.exitCode, {row.says}));
    if (!bridge) world.EditDevice([&](DeviceImage& image) { image = before; });
    const HostRun again = world.Sync();
    ASSERT_TRUE(Ran(again, 0));
    // The new contact is learnt under the id the handheld gives it anew.
    EXPECT_TRUE(std::regex_search(again.output, std::regex(R"(Address book +\| +0 +0 +0 \| +1 +1 +1 \|)")))
        << again.output;
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(world.DeviceCount(kAddressSection), 2u);
    EXPECT_EQ(world.FindFile(kAddressSection, "Berger"), "");
    EXPECT_NE(ReadFile(okafor).find("Halverd Group"), std::string::npos);
    EXPECT_NE(ReadFile(copy).find("Okonkwo"), std::string::npos);
    EXPECT_EQ(world.TextOf(7, world.FindRecord(7, "S_LAST_NAME", "Okafor"), "S_COMPANY"), "Halverd Group");
    EXPECT_NE(world.FindRecord(7, "S_LAST_NAME", "Okonkwo"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Closing, SessionLost,
                         testing::Values(LostSession{"bridge", 1, "the session with the handheld did not close"},
                                         LostSession{"handheld", 0, "done:"}), RowName());

}  // namespace
}  // namespace sync_test
