// What restore writes, planned from the handheld's databases and a backup's.
#include <gtest/gtest.h>

#include "engine/restore_plan.h"

namespace sync_test {
namespace {

using morvane_host::LinkDatabase;
using morvane_host::LinkValue;

LinkValue V(const char* text) { return {false, text}; }

// A memo database: fields title, note; records by id.
LinkDatabase Memos(std::vector<morvane_host::LinkFieldInfo> fields, std::vector<morvane_host::LinkRecord> records) {
    LinkDatabase database;
    database.id = 8;
    database.fields = std::move(fields);
    database.records = std::move(records);
    return database;
}

const std::vector<morvane_host::LinkFieldInfo> kTitleNote = {{"S_PAGE_TITLE", 16}, {"S_PAGE_NOTE", 16}};
const std::vector<morvane_host::LinkFieldInfo> kNoteTitle = {{"S_PAGE_NOTE", 16}, {"S_PAGE_TITLE", 16}};

TEST(RestorePlan, KeepsWhatIsEqualReplacesTheRestAndRefusesWhatCannotBePutBack) {
    const LinkDatabase saved = Memos(kTitleNote, {{1, {V("Gate"), V("4711")}}, {2, {V("Yoga"), V("")}}});
    struct Row {
        const char* name;
        LinkDatabase device;
        size_t kept;
        std::vector<uint32_t> deletes;
        std::vector<std::vector<LinkValue>> adds;  // in the handheld's field order
        const char* refusal;
    } rows[] = {
        {"same ids and values", Memos(kTitleNote, {{1, {V("Gate"), V("4711")}}, {2, {V("Yoga"), V("")}}}), 2, {}, {},
         nullptr},
        {"a value changed, a record the backup lacks",
         Memos(kTitleNote, {{1, {V("Gate"), V("0000")}}, {2, {V("Yoga"), V("")}}, {5, {V("Stray"), V("")}}}), 1,
         {1, 5}, {{V("Gate"), V("4711")}}, nullptr},
        {"fields in another order", Memos(kNoteTitle, {{2, {V(""), V("Yoga")}}}), 1, {}, {{V("4711"), V("Gate")}},
         nullptr},
        {"a field the backup lacks stays empty", Memos({{"S_PAGE_TITLE", 16}, {"S_X", 16}, {"S_PAGE_NOTE", 16}}, {}),
         0, {}, {{V("Gate"), V(""), V("4711")}, {V("Yoga"), V(""), V("")}}, nullptr},
        {"a field of the backup missing", Memos({{"S_PAGE_TITLE", 16}}, {}), 0, {}, {},
         "has no field \"S_PAGE_NOTE\" of link type 16"},
        {"a field of another type", Memos({{"S_PAGE_TITLE", 16}, {"S_PAGE_NOTE", 17}}, {}), 0, {}, {},
         "has no field \"S_PAGE_NOTE\""},
    };
    for (const auto& row : rows) {
        std::vector<morvane_engine::RestoreStep> steps;
        std::string error;
        const std::vector<LinkDatabase> device = {row.device};
        const bool planned = morvane_engine::PlanRestore(device, {saved}, &steps, &error);
        ASSERT_EQ(planned, row.refusal == nullptr) << row.name << ": " << error;
        if (!planned) {
            EXPECT_NE(error.find(row.refusal), std::string::npos) << row.name << ": " << error;
            continue;
        }
        ASSERT_EQ(steps.size(), 1u) << row.name;
        EXPECT_EQ(steps[0].kept, row.kept) << row.name;
        EXPECT_EQ(steps[0].deletes, row.deletes) << row.name;
        ASSERT_EQ(steps[0].adds.size(), row.adds.size()) << row.name;
        for (size_t i = 0; i < row.adds.size(); ++i) EXPECT_EQ(steps[0].adds[i].values, row.adds[i]) << row.name << i;
    }
    std::vector<morvane_engine::RestoreStep> steps;
    std::string error;
    EXPECT_FALSE(morvane_engine::PlanRestore({}, {saved}, &steps, &error));
    EXPECT_NE(error.find("the handheld has no Memo database"), std::string::npos) << error;
}

}  // namespace
}  // namespace sync_test
