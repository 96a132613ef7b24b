// A contact changed on both sides, settled by each --conflict policy; a
// deletion on one side against a change on the other, which the change
// wins; a file renamed on the PC, which is no change of its own; an edit
// on the PC while a sync runs; and an edit on the handheld after a session
// whose write it lost.  Both sides
// and the state are checked, and after a conflict a second sync finds
// nothing to do.
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

void PrintTo(const Policy& policy, std::ostream* out) { *out << policy.name; }

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

INSTANTIATE_TEST_SUITE_P(Policies, Conflict, testing::ValuesIn(kPolicies),
                         [](const testing::TestParamInfo<Policy>& info) {
                             return info.param.name[0] == 'k' ? std::string("keep_both") : std::string(info.param.name);
                         });

class DeleteVersusChange : public Synced {};

TEST_F(DeleteVersusChange, DeletedOnTheHandheldChangedOnThePc) {
    DeleteOnTheHandheld(world);
    ChangeOnThePc(world);
    ASSERT_EQ(world.Sync().exitCode, 0);
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(CompanyOf(world, "S_LAST_NAME", "Okafor"), "Halverd Group");
}

TEST_F(DeleteVersusChange, DeletedOnThePcChangedOnTheHandheld) {
    const std::string file = world.FindFile(kAddressSection, "Okafor");
    ChangeOnTheHandheld(world);
    ASSERT_EQ(remove(file.c_str()), 0);
    ASSERT_EQ(world.Sync().exitCode, 0);
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_NE(ReadFile(file).find("Dave"), std::string::npos);
}

TEST_F(DeleteVersusChange, DeletedOnBothSides) {
    DeleteOnTheHandheld(world);
    ASSERT_EQ(remove(world.FindFile(kAddressSection, "Okafor").c_str()), 0);
    ASSERT_EQ(world.Sync().exitCode, 0);
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(world.DeviceCount(kAddressSection), 1u);
}

// A contact's file renamed by another program, its content kept, is no
// change of the PC's: whatever the handheld did to the contact reaches the
// file under its new name, with no conflict, and the old name stays gone.
struct Rename {
    const char* name;
    std::function<void(const SyncWorld&)> onTheHandheld;
    size_t contacts;     // on each side afterwards
    bool renamedFileLeft;
    const char* inIt;    // what it holds then
};

void PrintTo(const Rename& row, std::ostream* out) { *out << row.name; }

class RenamedOnThePc : public Synced, public testing::WithParamInterface<Rename> {};

TEST_P(RenamedOnThePc, IsNoChangeThatMeetsTheHandhelds) {
    const Rename& row = GetParam();
    const std::string file = world.FindFile(kAddressSection, "Okafor");
    const std::string renamed = world.Folder(kAddressSection) + "/okafor.vcf";
    ASSERT_EQ(rename(file.c_str(), renamed.c_str()), 0);
    row.onTheHandheld(world);
    const HostRun run = world.Sync({"--verbose"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("conflict:"), std::string::npos) << run.output;
    if (std::string(row.name) == "nothing") {  // the state only learns the new name, and says so
        EXPECT_NE(run.output.find("renamed on the PC: " + fs::path(file).filename().string() + " is now okafor.vcf"),
                  std::string::npos)
            << run.output;
    }
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(world.DeviceCount(kAddressSection), row.contacts);
    EXPECT_EQ(ReadFile(renamed).find(row.inIt) != std::string::npos, row.renamedFileLeft);
    EXPECT_EQ(FilesWith(world, "Okafor"), row.renamedFileLeft ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    OnTheHandheld, RenamedOnThePc,
    testing::Values(Rename{"nothing", [](const SyncWorld&) {}, 2, true, "David Okafor"},
                    Rename{"changed", ChangeOnTheHandheld, 2, true, "Dave Okafor"},
                    Rename{"deleted", DeleteOnTheHandheld, 1, false, "Okafor"}),
    [](const testing::TestParamInfo<Rename>& info) { return std::string(info.param.name); });

// A contact written again by another program (a server's sync adding its
// own property, a type in other letters) holds nothing new for the
// handheld: the handheld's change is merged into it as it is, no conflict.
class RewrittenOnThePc : public Synced {};

TEST_F(RewrittenOnThePc, InNothingTheHandheldHoldsMeetsNoConflict) {
    const std::string file = world.FindFile(kAddressSection, "Okafor");
    world.EditFile(file, "END:VCARD", "X-SERVER-ID:4711\r\nEND:VCARD");
    world.EditFile(file, "TYPE=WORK,VOICE", "TYPE=work,voice");
    ChangeOnTheHandheld(world);
    const HostRun run = world.Sync({"--verbose"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("conflict:"), std::string::npos) << run.output;
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(world.DeviceCount(kAddressSection), 2u);
    EXPECT_EQ(FilesWith(world, "Okafor"), 1u);
    const std::string text = ReadFile(file);
    EXPECT_NE(text.find("Dave"), std::string::npos) << text;
    EXPECT_NE(text.find("X-SERVER-ID:4711"), std::string::npos) << text;
}

// The same for an event the PC has changed before: the handheld holds it
// since as the adapter wrote it, loud (the demo's "Project review" was
// silent), which is no difference from the item either.
TEST_F(RewrittenOnThePc, AfterAPcEditTheAdapterStoredItsOwnWayMeetsNoConflict) {
    const std::string file = world.FindFile(kScheduleSection, "Project review");
    world.EditFile(file, "Room 4.12", "Room 3");
    ASSERT_EQ(world.Sync().exitCode, 0);
    world.EditFile(file, "END:VEVENT", "X-SERVER-ID:4711\r\nEND:VEVENT");
    world.ChangeRecord(1, "S_DESCRIPTION4", "Project review", {{"S_DESCRIPTION4", TextValue("Project kick-off")}});
    const HostRun run = world.Sync({"--verbose"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("conflict:"), std::string::npos) << run.output;
    EXPECT_TRUE(world.InAgreement(kScheduleSection));
    const std::string text = ReadFile(file);
    for (const char* line : {"SUMMARY:Project kick-off", "LOCATION:Room 3", "X-SERVER-ID:4711"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
}

// A memo's title reads back from the handheld with the CR of the line end
// the adapter puts after it, and its category always empty: a memo the PC
// wrote is no handheld change when every record is read again, and the
// PC's next edit meets no conflict.
TEST_F(Synced, AMemoThePcWroteIsNoHandheldChangeWhenReadAgain) {
    const std::string file = world.FindFile(kMemoSection, "Gate code");
    world.EditFile(file, "4711#", "4712#\r\nCATEGORIES:Home");
    ASSERT_EQ(world.Sync().exitCode, 0);
    world.EditFile(file, "4712#", "4713#");
    ASSERT_TRUE(world.ExecOnState("UPDATE databases SET full_sync_due = 1;"));
    const HostRun run = world.Sync({"--verbose"});
    ASSERT_TRUE(host_test::Ran(run, 0, {"handheld gets the PC's change"}));
    EXPECT_EQ(run.output.find("(conflict)"), std::string::npos) << run.output;
    EXPECT_TRUE(world.InAgreement(kMemoSection));
    EXPECT_EQ(world.DeviceCount(kMemoSection), 2u);
}

// The same change made on both sides, where the handheld keeps a field its
// own way, is no conflict: a mail filed in Saved as received mail moved back
// to the Inbox (the PC would send it with the Type of the folder), and an
// appointment made all-day that the handheld marks no event (the adapter
// marks every all-day appointment it writes as one).
struct SameChange {
    const char* name;
    int32_t section;
    std::function<void(const SyncWorld&)> onTheHandheld, onThePc;
};

void PrintTo(const SameChange& row, std::ostream* out) { *out << row.name; }

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
    const HostRun run = world.Sync({"--verbose"});
    ASSERT_TRUE(host_test::Ran(run, 0, {"already the same on both sides"}));
    EXPECT_EQ(run.output.find("conflict:"), std::string::npos) << run.output;
    EXPECT_TRUE(world.InAgreement(row.section));
    EXPECT_EQ(world.DeviceCount(row.section), records);
}

INSTANTIATE_TEST_SUITE_P(Changes, SameChangeOnBothSides, testing::ValuesIn(kSameChanges),
                         [](const testing::TestParamInfo<SameChange>& info) { return std::string(info.param.name); });

// An edit made on the PC while a sync runs, after it scanned the PC side,
// is neither overwritten by the handheld's change nor deleted with the
// handheld's deletion: the sync leaves that contact, and the next one meets
// both sides' changes (the handheld's change as a conflict, its deletion
// as a deletion the PC's change wins over).
struct Concurrent {
    const char* name;
    std::function<void(const SyncWorld&)> onTheHandheld;
    size_t contacts;  // on each side after the next sync
};

void PrintTo(const Concurrent& row, std::ostream* out) { *out << row.name; }

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
                    Concurrent{"deleted", DeleteOnTheHandheld, 2}),
    [](const testing::TestParamInfo<Concurrent>& info) { return std::string(info.param.name); });

// A PC edit sent in a session that ended before it was confirmed, then an
// edit on the handheld.  Lost by the handheld (its session never closed),
// the write meets the edit as a conflict; kept, the edit is a change made
// after it.  Either way neither is taken for the other.
struct Interruption {
    const char* step;
    const char* groupFirstName;  // on the handheld, the first name of Halverd Group's contact
    size_t contacts;             // on each side afterwards
    bool conflict;
};

void PrintTo(const Interruption& row, std::ostream* out) { *out << row.step; }

const Interruption kInterruptions[] = {
    {"device-committed:3", "David", 3, true},  // the Address book's write, before the session closed
    {"finished", "Dave", 2, false},
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

INSTANTIATE_TEST_SUITE_P(Steps, LostWrite, testing::ValuesIn(kInterruptions),
                         [](const testing::TestParamInfo<Interruption>& info) {
                             return std::string(info.param.conflict ? "Lost" : "Kept");
                         });

// The company changed on both sides, the handheld's to a third value, and
// the sync that settled it for the PC ended before the handheld closed its
// session: the handheld lost the PC's write.  Its record then shows the
// field the write changed at neither value; it is the conflict still, and
// the policy settles it again rather than the handheld's value winning.
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
