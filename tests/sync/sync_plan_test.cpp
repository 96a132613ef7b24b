// The planner, case by case: what each combination of changes on the two
// sides becomes, under each conflict policy, and the mass-delete guard; and
// the device records as the state keeps and compares them.
#include <gtest/gtest.h>
#include <string.h>

#include "engine/record_text.h"
#include "engine/sync_plan.h"

namespace sync_test {
namespace {

using namespace morvane_engine;
using K = ActionKind;
using C = Change;
// Rows below are PlanRow's fields in order: rowId, href, device, pc,
// pcSameForDevice, converged, deviceKey, pcKey.

std::string Kinds(const Plan& plan) {
    static const char* const kNames[] = {"pc-add", "pc-update", "pc-delete", "device-add", "device-update",
                                         "device-delete", "link", "forget", "refresh", "split"};
    std::string text;
    for (const Action& action : plan.actions) {
        if (!text.empty()) text += ' ';
        text += kNames[static_cast<int>(action.kind)];
        if (action.conflict) text += '!';
    }
    return text;
}

struct RowCase {
    C device, pc;
    bool pcSameForDevice, converged;
    ConflictPolicy policy;
    const char* expected;  // kinds of the actions, "!" for a conflict
};

static const RowCase kRowCases[] = {
    // 0
    {C::kChanged, C::kNone, false, false, ConflictPolicy::kKeepBoth, "pc-update"},
    {C::kDeleted, C::kNone, false, false, ConflictPolicy::kKeepBoth, "pc-delete"},
    {C::kNone, C::kChanged, false, false, ConflictPolicy::kKeepBoth, "device-update"},
    {C::kNone, C::kChanged, true, false, ConflictPolicy::kKeepBoth, "refresh"},
    {C::kNone, C::kDeleted, false, false, ConflictPolicy::kKeepBoth, "device-delete"},
    // 5
    {C::kChanged, C::kChanged, false, true, ConflictPolicy::kKeepBoth, "link"},
    {C::kChanged, C::kChanged, false, false, ConflictPolicy::kKeepBoth, "split! device-add!"},
    {C::kChanged, C::kChanged, false, false, ConflictPolicy::kDevice, "pc-update!"},
    {C::kChanged, C::kChanged, false, false, ConflictPolicy::kPc, "device-update!"},
    {C::kChanged, C::kDeleted, false, false, ConflictPolicy::kPc, "pc-update"},
    // 10
    {C::kDeleted, C::kChanged, false, false, ConflictPolicy::kDevice, "device-add"},
    {C::kDeleted, C::kDeleted, false, false, ConflictPolicy::kKeepBoth, "forget"},
    {C::kNone, C::kUnreadable, false, false, ConflictPolicy::kKeepBoth, ""},
    {C::kChanged, C::kUnreadable, false, false, ConflictPolicy::kDevice, ""},
    {C::kChanged, C::kChanged, true, false, ConflictPolicy::kKeepBoth, "pc-update"},
};

TEST(SyncPlan, EachCombinationOfChanges) {
    for (size_t i = 0; i < sizeof kRowCases / sizeof kRowCases[0]; ++i) {
        const RowCase& c = kRowCases[i];
        PlanInput input;
        input.policy = c.policy;
        input.rows.push_back({7, "a.vcf", c.device, c.pc, c.pcSameForDevice, c.converged, "", "", false});
        const Plan plan = MakePlan(input);
        EXPECT_EQ(Kinds(plan), c.expected) << "row " << i;
        EXPECT_EQ(!plan.actions.empty() && plan.actions[0].intoPcItem, c.pcSameForDevice && c.device == C::kChanged)
            << "row " << i;
        EXPECT_EQ(plan.deferred, c.pc == C::kUnreadable && c.device != C::kNone ? 1u : 0u) << "row " << i;
    }
}

// New items on both sides are paired by content, one to one; the rest
// goes across.
TEST(SyncPlan, NewItemsMatchedByContent) {
    PlanInput input;
    input.deviceNew = {{1, "anna"}, {2, "david"}, {3, "anna"}};
    input.pcNew = {{"x.vcf", "anna"}, {"y.vcf", "lena"}};
    const Plan plan = MakePlan(input);
    EXPECT_EQ(Kinds(plan), "link pc-add pc-add device-add");
    EXPECT_EQ(plan.actions[0].deviceId, 1);
    EXPECT_EQ(plan.actions[0].href, "x.vcf");
    EXPECT_EQ(plan.actions[1].deviceId, 2);
    EXPECT_EQ(plan.actions[2].deviceId, 3);
    EXPECT_EQ(plan.actions[3].href, "y.vcf");
}

// What an interrupted run left is taken up, not made a second time: a
// keep-both copy already on the PC, a re-added record already on the device.
TEST(SyncPlan, InterruptedRunsLeftoversAreTaken) {
    PlanInput input;
    input.rows = {{1, "a.ics", C::kChanged, C::kChanged, false, false, "device version", "", false},
                  {2, "b.ics", C::kDeleted, C::kChanged, false, false, "", "pc version", false}};
    input.pcNew = {{"copy.ics", "device version"}};
    input.deviceNew = {{9, "pc version"}};
    const Plan plan = MakePlan(input);
    EXPECT_EQ(Kinds(plan), "split! device-add! link");
    EXPECT_EQ(plan.actions[0].href, "copy.ics");
    EXPECT_EQ(plan.actions[2].deviceId, 9);
}

TEST(SyncPlan, MassDeleteGuard) {
    struct Case {
        size_t deletes, items;
        bool guarded;
    };
    static const Case kCases[] = {{5, 6, false}, {6, 12, false}, {6, 11, true}, {7, 8, true}};
    for (const Case& c : kCases) {
        PlanInput input;
        input.pcItems = input.deviceRecords = c.items;
        // Deleted on the PC: deleted on the device.
        for (size_t i = 0; i < c.deletes; ++i)
            input.rows.push_back({static_cast<int64_t>(i + 1), "", C::kNone, C::kDeleted, false, false, "", "", false});
        const Plan plan = MakePlan(input);
        EXPECT_EQ(plan.deviceDeletes, c.deletes);
        EXPECT_EQ(plan.massDelete, c.guarded) << c.deletes << " of " << c.items;
    }
}

// Whether a record the handheld holds under a row's id is that row's
// record edited, or another one the id was given to after a reset.
TEST(LikelySameRecord, MoreThanHalfOfTheNamingFieldsAgree) {
    using Fields = std::vector<std::pair<std::string, std::string>>;
    const struct {
        int32_t section;
        Fields was, now;
        bool same;
    } kCases[] = {
        {1, {{"1", "David"}, {"3", "Okafor"}, {"14", "Halverd"}}, {{"1", "Dave"}, {"3", "Okafor"}, {"14", "Halverd"}},
         true},
        {1, {{"1", "Anna"}, {"3", "Berger"}}, {{"1", "Anna"}, {"3", "Schmidt"}}, false},
        {1, {{"1", "Anna"}, {"3", "Berger"}}, {{"1", "Zoe"}, {"3", "Zed"}, {"6", "+49 170"}}, false},
        {2, {{"7", "Yoga"}, {"3", "20261201"}, {"5", "1800"}}, {{"7", "Yoga class"}, {"3", "20261201"}, {"5", "1800"}},
         true},
        {2, {{"7", "Yoga"}, {"3", "20261201"}, {"5", "1800"}}, {{"7", "Haircut"}, {"3", "20261201"}, {"5", "0900"}},
         false},
        {4, {}, {{"9", "not a memo field"}}, true},
    };
    for (const auto& c : kCases) {
        HostRecord was, now;
        was.fields = c.was;
        now.fields = c.now;
        EXPECT_EQ(LikelySameRecord(c.section, was, now), c.same) << c.section << " " << c.now.front().second;
    }
}

// Read back, the text the state keeps of a record is the record, whatever
// its values, repeat rule and folder hold; a text that is no record is refused.
TEST(RecordText, ReadsBackWhatItWrote) {
    HostRecord plain, repeating;
    plain.fields = {{"1", "back\\slash\r\nand two\nlines"}, {"3", ""}, {"9", "ends in \\"}, {"12.D", "20261208"}};
    repeating.fields = {{"7", "Yoga"}};
    repeating.hasRepeat = true;
    repeating.repeat = {2, 3, 1, "20261201", "20270331", 1, {1, 0, 1, 1, 0, 0, 1}};
    plain.hasFolder = true;  // the repeating one has none, which a rule read past its seven days would give it
    plain.folder = 4;
    for (const HostRecord* record : {&plain, &repeating}) {
        HostRecord back;
        ASSERT_TRUE(TextToRecord(RecordToText(*record), &back)) << RecordToText(*record);
        EXPECT_EQ(back.fields, record->fields);
        EXPECT_EQ(back.hasRepeat, record->hasRepeat);
        EXPECT_EQ(memcmp(&back.repeat, &record->repeat, sizeof back.repeat), 0) << RecordToText(*record);
        EXPECT_EQ(back.hasFolder, record->hasFolder);
        EXPECT_EQ(back.folder, record->folder);
    }
    HostRecord refused;
    for (const char* text : {"no equals sign\n", "#repeat=2 3 1 20261201\n", "#repeat=2 3 1 2026|2027| 1 101\n"})
        EXPECT_FALSE(TextToRecord(text, &refused)) << text;
}

}  // namespace
}  // namespace sync_test
