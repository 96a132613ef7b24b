// A contact changed on both sides, settled by each --conflict policy; and
// a deletion on one side against a change on the other, which the change
// wins.  Both sides and the state are checked, and a second sync finds
// nothing to do.
#include <gtest/gtest.h>

#include <stdio.h>

#include "records/field_map.h"
#include "sync/sync_world.h"

namespace sync_test {
namespace {

using morvane_host::kAddressSection;
using tethra_sim::TextValue;

// The handheld renames David Okafor to Dave; the PC moves him to another company.
void ChangeBothSides(const SyncWorld& world) {
    world.EditDevice([&](tethra_sim::DeviceImage& image) {
        image.ChangeRecord(7, world.FindRecord(7, "S_LAST_NAME", "Okafor"), {{"S_FIRST_NAME", TextValue("Dave")}});
    });
    world.EditFile(world.FindFile(kAddressSection, "Okafor"), "Halverd Logistics", "Halverd Group");
}

size_t FilesWith(const SyncWorld& world, const std::string& text) {
    size_t count = 0;
    for (const std::string& file : world.Files(kAddressSection)) count += ReadFile(file).find(text) != std::string::npos;
    return count;
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

class Conflict : public testing::TestWithParam<Policy> {};

TEST_P(Conflict, SettledByThePolicy) {
    const Policy& policy = GetParam();
    SyncWorld world;
    ASSERT_EQ(world.Sync().exitCode, 0);
    ChangeBothSides(world);
    const HostRun run = world.Sync({"--conflict", policy.name});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("conflict"), std::string::npos) << run.output;
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(world.DeviceCount(kAddressSection), policy.contacts);
    const uint32_t id = world.FindRecord(7, "S_FIRST_NAME", policy.deviceFirst);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(world.TextOf(7, id, "S_COMPANY"), policy.deviceCompany);
    EXPECT_EQ(FilesWith(world, "Dave"), policy.pcDave);
    EXPECT_EQ(FilesWith(world, "Halverd Group"), policy.pcGroup);
    if (policy.contacts == 3) {  // keep-both: the PC's version is on the handheld too
        const uint32_t pcVersion = world.FindRecord(7, "S_FIRST_NAME", "David");
        ASSERT_NE(pcVersion, 0u);
        EXPECT_EQ(world.TextOf(7, pcVersion, "S_COMPANY"), "Halverd Group");
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

TEST(DeleteVersusChange, DeletedOnTheHandheldChangedOnThePc) {
    SyncWorld world;
    ASSERT_EQ(world.Sync().exitCode, 0);
    world.EditDevice([&](tethra_sim::DeviceImage& image) {
        image.DeleteRecord(7, world.FindRecord(7, "S_LAST_NAME", "Okafor"));
    });
    world.EditFile(world.FindFile(kAddressSection, "Okafor"), "Halverd Logistics", "Halverd Group");
    ASSERT_EQ(world.Sync().exitCode, 0);
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    const uint32_t back = world.FindRecord(7, "S_LAST_NAME", "Okafor");
    ASSERT_NE(back, 0u);
    EXPECT_EQ(world.TextOf(7, back, "S_COMPANY"), "Halverd Group");
}

TEST(DeleteVersusChange, DeletedOnThePcChangedOnTheHandheld) {
    SyncWorld world;
    ASSERT_EQ(world.Sync().exitCode, 0);
    const std::string file = world.FindFile(kAddressSection, "Okafor");
    world.EditDevice([&](tethra_sim::DeviceImage& image) {
        image.ChangeRecord(7, world.FindRecord(7, "S_LAST_NAME", "Okafor"), {{"S_FIRST_NAME", TextValue("Dave")}});
    });
    ASSERT_EQ(remove(file.c_str()), 0);
    ASSERT_EQ(world.Sync().exitCode, 0);
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_NE(ReadFile(file).find("Dave"), std::string::npos);
}

TEST(DeleteVersusChange, DeletedOnBothSides) {
    SyncWorld world;
    ASSERT_EQ(world.Sync().exitCode, 0);
    const std::string file = world.FindFile(kAddressSection, "Okafor");
    world.EditDevice([&](tethra_sim::DeviceImage& image) {
        image.DeleteRecord(7, world.FindRecord(7, "S_LAST_NAME", "Okafor"));
    });
    ASSERT_EQ(remove(file.c_str()), 0);
    ASSERT_EQ(world.Sync().exitCode, 0);
    EXPECT_TRUE(world.InAgreement(kAddressSection));
    EXPECT_EQ(world.DeviceCount(kAddressSection), 1u);
}

}  // namespace
}  // namespace sync_test
