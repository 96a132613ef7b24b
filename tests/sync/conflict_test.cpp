// A contact changed on both sides, settled by each --conflict policy;
// deletion against change; what is no conflict (a rename, a rewrite, the
// same change on both sides); an edit on the PC while a sync runs; and an
// edit on the handheld after a session whose write it lost.
#include <gtest/gtest.h>

#include <stdio.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <regex>

#include "records/field_map.h"
#include "sync/sync_world.h"

namespace sync_test {
namespace {

namespace fs = std::filesystem;
using morvane_host::kAddressSection;
using morvane_host::kMailSection;
using morvane_host::kMemoSection;
using morvane_host::kScheduleSection;
using tethra_sim::TextValue;

// The handheld renames David Okafor to Dave, or deletes him; the PC moves
// him to another company.
void ChangeOnTheHandheld(const SyncWorld& world) {
    world.ChangeRecord(7, "S_LAST_NAME", "Okafor", {{"S_FIRST_NAME", TextValue("Dave")}});
}
void DeleteOnTheHandheld(const SyncWorld& world) { world.DeleteRecord(7, "S_LAST_NAME", "Okafor"); }
void ChangeOnThePc(const SyncWorld& world) {
    world.EditFile(world.FindFile(kAddressSection, "Okafor"), "Halverd Logistics", "Halverd Group");
}

size_t FilesWith(const SyncWorld& world, const std::string& text) {
    size_t count = 0;
    for (const std::string& file : world.Files(kAddressSection)) count += ReadFile(file).find(text) != std::string::npos;
    return count;
}

// The company of the handheld's first contact whose field starts with text, "" if none.
std::string CompanyOf(const SyncWorld& world, const char* field, const char* text) {
    return world.TextOf(7, world.FindRecord(7, field, text), "S_COMPANY");
}

struct Policy {
    const char* name;
    size_t contacts;           // on each side afterwards
    const char* deviceFirst;   // first name and company of the handheld's records of Okafor
    const char* deviceCompany;
    size_t pcDave, pcGroup;    // PC items naming Dave, and Halverd Group
};

const Policy kPolicies[] = {
    {"keep-both", 3, "Dave", "Halverd Logistics", 1, 1},
    {"device", 2, "Dave", "Halverd Logistics", 1, 0},
    {"pc", 2, "David", "Halverd Group", 0, 1},
};

class Conflict : public Synced, public testing::WithParamInterface<Policy> {};

TEST_P(Conflict, SettledByThePolicy) {
    const Policy& policy = GetParam();
    ChangeOnTheHandheld(world);
    ChangeOnThePc(world);
    ASSERT_TRUE(host_test::Ran(world.Sync({"--conflict", policy.name}), 0, {"conflict"}));
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(world.DeviceCount(kAddressSection), policy.contacts);
    EXPECT_EQ(CompanyOf(world, "S_FIRST_NAME", policy.deviceFirst), policy.deviceCompany);
    EXPECT_EQ(FilesWith(world, "Dave"), policy.pcDave);
    EXPECT_EQ(FilesWith(world, "Halverd Group"), policy.pcGroup);
    if (policy.contacts == 3) {  // keep-both: the PC's version is on the handheld too
        EXPECT_EQ(CompanyOf(world, "S_FIRST_NAME", "David"), "Halverd Group");
    }
    const auto files = Tree(world.store());
    EXPECT_EQ(world.Sync().exitCode, 0);
    EXPECT_EQ(Tree(world.store()), files);
    EXPECT_EQ(world.DeviceCount(kAddressSection), policy.contacts);
}

INSTANTIATE_TEST_SUITE_P(Policies, Conflict, testing::ValuesIn(kPolicies), RowName());

// Deleted on one side and changed on the other: the change wins and
// comes back (on the PC under its old name); deleted on both: gone.
struct DeleteVersusChange {
    const char* name;
    std::function<void(const SyncWorld&)> onTheHandheld;
    bool deletedOnThePc;
    size_t contacts;           // on each side afterwards
    const char* company;       // of the handheld's Okafor then
    const char* inTheFile;     // what his old file then holds
};

class DeletedOnOneSide : public Synced, public testing::WithParamInterface<DeleteVersusChange> {};

TEST_P(DeletedOnOneSide, LosesToAChangeOnTheOther) {
    const DeleteVersusChange& row = GetParam();
    const std::string file = world.FindFile(kAddressSection, "Okafor");
    row.onTheHandheld(world);
    if (row.deletedOnThePc) {
        ASSERT_EQ(remove(file.c_str()), 0);
    } else {
        ChangeOnThePc(world);
    }
    ASSERT_TRUE(host_test::Ran(world.Sync(), 0));
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(world.DeviceCount(kAddressSection), row.contacts);
    EXPECT_EQ(CompanyOf(world, "S_LAST_NAME", "Okafor"), row.company);
    EXPECT_EQ(ReadFile(file).find(row.inTheFile) != std::string::npos, row.contacts == 2);
}

INSTANTIATE_TEST_SUITE_P(
    Sides, DeletedOnOneSide,
    testing::Values(DeleteVersusChange{"OnTheHandheld", DeleteOnTheHandheld, false, 2, "Halverd Group", "Halverd Group"},
                    DeleteVersusChange{"OnThePc", ChangeOnTheHandheld, true, 2, "Halverd Logistics", "Dave"},
                    DeleteVersusChange{"OnBoth", DeleteOnTheHandheld, true, 1, "", "Okafor"}), RowName());

// A file renamed by another program is no change of the PC's: what the
// handheld did to the contact reaches it under its new name.
struct Rename {
    const char* name;
    std::function<void(const SyncWorld&)> onTheHandheld;
    const char* says;    // what the sync says it did
    size_t contacts;     // on each side afterwards
    bool renamedFileLeft;
    const char* inIt;    // what it holds then
};

class RenamedOnThePc : public Synced, public testing::WithParamInterface<Rename> {};

TEST_P(RenamedOnThePc, IsNoChangeThatMeetsTheHandhelds) {
    const Rename& row = GetParam();
    const std::string file = world.FindFile(kAddressSection, "Okafor");
    const std::string renamed = world.Folder(kAddressSection) + "/okafor.vcf";
    ASSERT_EQ(rename(file.c_str(), renamed.c_str()), 0);
    row.onTheHandheld(world);
    ASSERT_TRUE(SyncsWithoutConflict(world, {row.says}));
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(world.DeviceCount(kAddressSection), row.contacts);
    EXPECT_EQ(ReadFile(renamed).find(row.inIt) != std::string::npos, row.renamedFileLeft);
    EXPECT_EQ(FilesWith(world, "Okafor"), row.renamedFileLeft ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    OnTheHandheld, RenamedOnThePc,
    // With nothing else to do, the state learns the new name, and says so.
    testing::Values(Rename{"nothing", [](const SyncWorld&) {}, "is now okafor.vcf", 2, true, "David Okafor"},
                    Rename{"changed", ChangeOnTheHandheld, "PC gets the handheld's change of okafor.vcf", 2, true,
                           "Dave Okafor"},
                    Rename{"deleted", DeleteOnTheHandheld, "PC deletes okafor.vcf", 1, false, "Okafor"}), RowName());

// A contact rewritten by another program (a server's own property, a type
// in other letters) holds nothing new for the handheld: no conflict.
class RewrittenOnThePc : public Synced {};

TEST_F(RewrittenOnThePc, InNothingTheHandheldHoldsMeetsNoConflict) {
    const std::string file = world.FindFile(kAddressSection, "Okafor");
    world.EditFile(file, "END:VCARD", "X-SERVER-ID:4711\r\nEND:VCARD");
    world.EditFile(file, "TYPE=WORK,VOICE", "TYPE=work,voice");
    ChangeOnTheHandheld(world);
    ASSERT_TRUE(SyncsWithoutConflict(world));
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(world.DeviceCount(kAddressSection), 2u);
    EXPECT_EQ(FilesWith(world, "Okafor"), 1u);
    const std::string text = ReadFile(file);
    EXPECT_NE(text.find("Dave"), std::string::npos) << text;
    EXPECT_NE(text.find("X-SERVER-ID:4711"), std::string::npos) << text;
}

// So is an event the adapter wrote loud after a PC edit (the demo's was
// silent): that is no difference from the item either.
TEST_F(RewrittenOnThePc, AfterAPcEditTheAdapterStoredItsOwnWayMeetsNoConflict) {
    const std::string file = world.FindFile(kScheduleSection, "Project review");
    world.EditFile(file, "Room 4.12", "Room 3");
    ASSERT_EQ(world.Sync().exitCode, 0);
    world.EditFile(file, "END:VEVENT", "X-SERVER-ID:4711\r\nEND:VEVENT");
    world.ChangeRecord(1, "S_DESCRIPTION4", "Project review", {{"S_DESCRIPTION4", TextValue("Project kick-off")}});
    ASSERT_TRUE(SyncsWithoutConflict(world));
    EXPECT_TRUE(world.InAgreement(kScheduleSection));
    const std::string text = ReadFile(file);
    for (const char* line : {"SUMMARY:Project kick-off", "LOCATION:Room 3", "X-SERVER-ID:4711"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
}

// A memo's title reads back with the adapter's CR after it, its category
// empty: no handheld change when read again, no conflict with a PC edit.
TEST_F(Synced, AMemoThePcWroteIsNoHandheldChangeWhenReadAgain) {
    const std::string file = world.FindFile(kMemoSection, "Gate code");
    world.EditFile(file, "4711#", "4712#\r\nCATEGORIES:Home");
    ASSERT_EQ(world.Sync().exitCode, 0);
    world.EditFile(file, "4712#", "4713#");
    ASSERT_TRUE(world.ExecOnState("UPDATE databases SET full_sync_due = 1;"));
    ASSERT_TRUE(SyncsWithoutConflict(world, {"handheld gets the PC's change"}));
    EXPECT_TRUE(world.InAgreement(kMemoSection));
    EXPECT_EQ(world.DeviceCount(kMemoSection), 2u);
}

// The same change on both sides, where the handheld keeps a field its own
// way, is no conflict: a received mail moved back to the Inbox (the PC
// would send the folder's Type), an appointment made all-day that the
// handheld marks no event (the adapter marks every one it writes).
struct SameChange {
    const char* name;
    int32_t section;
    std::function<void(const SyncWorld&)> onTheHandheld, onThePc;
};

const SameChange kSameChanges[] = {
    {"mail_moved", kMailSection,
     [](const SyncWorld& w) {
         w.ChangeRecord(16, "S_SUBJECT", "Price list 2027", {{"S_FOLDERID", tethra_sim::NumberValue(0)}});
     },
     [](const SyncWorld& w) {
         const std::string file = w.FindFile(kMailSection, "Subject: Price list 2027");
         fs::rename(file, w.Folder(kMailSection) + "/Inbox/cur/" + fs::path(file).filename().string());
     }},
    {"made_all_day", kScheduleSection,
     [](const SyncWorld& w) {
         w.ChangeRecord(1, "S_DESCRIPTION4", "Yoga",
                        {{"S_ALLDAY_FLAG", tethra_sim::NumberValue(1)}, {"S_EVENT_FLAG", tethra_sim::NumberValue(0)}});
     },
     [](const SyncWorld& w) {
         // Its times are written in this system's zone.
         const std::string file = w.FindFile(kScheduleSection, "Yoga");
         std::string text = ReadFile(file);
         const size_t event = text.find("BEGIN:VEVENT");
         std::string times = text.substr(event);
         times = std::regex_replace(times, std::regex("\nDTSTART[^\r]*"), "\nDTSTART;VALUE=DATE:20261201");
         times = std::regex_replace(times, std::regex("\nDTEND[^\r]*"), "\nDTEND;VALUE=DATE:20261202");
         times = std::regex_replace(times, std::regex("UNTIL=[0-9TZ]+"), "UNTIL=20270331");
         testing_support::WriteFile(file, text.substr(0, event) + times);
     }},
};

class SameChangeOnBothSides : public Synced, public testing::WithParamInterface<SameChange> {};

TEST_P(SameChangeOnBothSides, MeetsNoConflict) {
    const SameChange& row = GetParam();
    row.onTheHandheld(world);
    row.onThePc(world);
    const size_t records = world.DeviceCount(row.section);
    ASSERT_TRUE(SyncsWithoutConflict(world, {"already the same on both sides"}));
    EXPECT_TRUE(world.InAgreement(row.section));
    EXPECT_EQ(world.DeviceCount(row.section), records);
}

INSTANTIATE_TEST_SUITE_P(Changes, SameChangeOnBothSides, testing::ValuesIn(kSameChanges), RowName());

// A PC edit made while a sync runs, after its scan, is neither overwritten
// nor deleted by the handheld's change: the next sync meets both changes.
struct Concurrent {
    const char* name;
    std::function<void(const SyncWorld&)> onTheHandheld;
    size_t contacts;  // on each side after the next sync
};

class EditedDuringTheSync : public Synced, public testing::WithParamInterface<Concurrent> {};

TEST_P(EditedDuringTheSync, IsNotOverwrittenAndMeetsTheHandheldsChangeNextTime) {
    const Concurrent& row = GetParam();
    row.onTheHandheld(world);
    const HostRun run = world.SyncPausedAt("gathered", [&] { ChangeOnThePc(world); });
    EXPECT_EQ(run.exitCode, 5) << run.output;
    EXPECT_NE(run.output.find("changed on the PC while this sync ran"), std::string::npos) << run.output;
    EXPECT_EQ(FilesWith(world, "Halverd Group"), 1u);
    ASSERT_TRUE(host_test::Ran(world.Sync(), 0));
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(world.DeviceCount(kAddressSection), row.contacts);
    EXPECT_EQ(FilesWith(world, "Halverd Group"), 1u);
    EXPECT_EQ(CompanyOf(world, "S_FIRST_NAME", "David"), "Halverd Group");
}

INSTANTIATE_TEST_SUITE_P(
    OnTheHandheld, EditedDuringTheSync,
    testing::Values(Concurrent{"changed", ChangeOnTheHandheld, 3},
                    Concurrent{"deleted", DeleteOnTheHandheld, 2}), RowName());

// A PC edit sent in a session that ended unconfirmed, then a handheld edit:
// a write the handheld lost meets it as a conflict, one it kept precedes it.
struct Interruption {
    const char* name;
    const char* step;
    const char* groupFirstName;  // on the handheld, the first name of Halverd Group's contact
    size_t contacts;             // on each side afterwards
    bool conflict;
};

const Interruption kInterruptions[] = {
    {"Lost", "device-committed:3", "David", 3, true},  // the Address book's write, before the session closed
    {"Kept", "finished", "Dave", 2, false},
};

class LostWrite : public Synced, public testing::WithParamInterface<Interruption> {};

TEST_P(LostWrite, AHandheldEditAfterAnInterruptedWriteIsNotTakenForIt) {
    const Interruption& row = GetParam();
    ChangeOnThePc(world);
    const HostRun killed = world.SyncKilledAt(row.step);
    ASSERT_EQ(killed.exitCode, 9) << killed.output;
    ChangeOnTheHandheld(world);
    const HostRun again = world.Sync();
    ASSERT_EQ(again.exitCode, 0) << again.output;
    EXPECT_EQ(again.output.find("conflict: \"Dave Okafor") != std::string::npos, row.conflict) << again.output;
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(world.DeviceCount(kAddressSection), row.contacts);
    EXPECT_EQ(FilesWith(world, "Dave"), 1u);
    EXPECT_EQ(FilesWith(world, "Halverd Group"), 1u);
    EXPECT_EQ(CompanyOf(world, "S_FIRST_NAME", row.groupFirstName), "Halverd Group");
}

INSTANTIATE_TEST_SUITE_P(Steps, LostWrite, testing::ValuesIn(kInterruptions), RowName());

// A conflict settled for the PC whose write the handheld lost (its session
// never closed) is still a conflict: the policy settles it again.
TEST_F(Synced, AConflictWhoseWriteTheHandheldLostIsSettledAgain) {
    ChangeOnThePc(world);
    world.ChangeRecord(7, "S_LAST_NAME", "Okafor", {{"S_COMPANY", TextValue("Halverd AG")}});
    const HostRun killed = world.SyncKilledAt("device-committed:3", {"--conflict", "pc"});
    ASSERT_EQ(killed.exitCode, 9) << killed.output;
    ASSERT_TRUE(host_test::Ran(world.Sync({"--conflict", "pc", "--verbose"}), 0, {"handheld gets the PC's change", "(conflict)"}));
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(CompanyOf(world, "S_LAST_NAME", "Okafor"), "Halverd Group");
    EXPECT_EQ(FilesWith(world, "Halverd Group"), 1u);
}

}  // namespace
}  // namespace sync_test
