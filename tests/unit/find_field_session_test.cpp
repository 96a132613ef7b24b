// FindWorkingField searches the open database's table, the session's copy.
#include "schema/field_table.h"
#include "schema/working_record.h"
#include "session/sync_session.h"

#include <gtest/gtest.h>

namespace {

TEST(FindWorkingFieldInSession, SearchesTheOpenDatabasesTable) {
    WorkingField slots[26] = {};
    WorkingRecord record{kWorkingRecordSize, 26, 1, slots, 2};
    g_session.currentFieldTable = *SelectFieldTable(16);
    const FieldDescriptor* descriptor = nullptr;
    EXPECT_EQ(FindWorkingField(&record, 10, &descriptor), &slots[10]);
    ASSERT_NE(descriptor, nullptr);
    EXPECT_STREQ(descriptor->name, "SendDate");
    EXPECT_EQ(FindWorkingField(&record, 26, &descriptor), nullptr);
    EXPECT_EQ(descriptor, nullptr);

    // Another open database, another table: id 10 is now Schedule's AlarmFlag.
    g_session.currentFieldTable = *SelectFieldTable(1);
    EXPECT_EQ(FindWorkingField(&record, 10, &descriptor), &slots[10]);
    EXPECT_STREQ(descriptor->name, "AlarmFlag");
}

TEST(FindWorkingFieldInSession, NothingBeforeADatabaseIsOpened) {
    WorkingField slots[5] = {};
    WorkingRecord record{kWorkingRecordSize, 5, 1, slots, 2};
    g_session.currentFieldTable = FieldTable{};
    EXPECT_EQ(FindWorkingField(&record, 0, nullptr), nullptr);
}

}  // namespace
