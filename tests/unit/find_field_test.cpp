// Looking up a field of a working record by device field id, in a given
// table or in the open database's.
#include "schema/field_table.h"
#include "schema/working_record.h"
#include "session/sync_session.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct RecordForTable {
    std::vector<WorkingField> slots;
    WorkingRecord record{};
    explicit RecordForTable(const FieldTable& table) : slots(table.fieldCount) {
        for (WorkingField& slot : slots) slot.size = kWorkingFieldSize;
        record.size = kWorkingRecordSize;
        record.fieldCount = table.fieldCount;
        record.fields = slots.data();
    }
};

TEST(FindWorkingField, EveryFieldOfEveryTableIsFoundAtItsPosition) {
    for (uint32_t dbId : {1u, 6u, 7u, 8u, 16u}) {
        const FieldTable& table = *SelectFieldTable(dbId);
        RecordForTable r(table);
        for (uint32_t id = 0; id < table.fieldCount; ++id) {
            const FieldDescriptor* descriptor = nullptr;
            EXPECT_EQ(FindWorkingFieldIn(table, &r.record, id, &descriptor), &r.slots[id]) << dbId << "/" << id;
            EXPECT_EQ(descriptor, &table.descriptors[id]);
        }
        // Beyond the table, or beyond a record shorter than the table.
        const FieldDescriptor* descriptor = &table.descriptors[0];
        EXPECT_EQ(FindWorkingFieldIn(table, &r.record, table.fieldCount, &descriptor), nullptr);
        EXPECT_EQ(descriptor, nullptr);
        EXPECT_EQ(FindWorkingFieldIn(table, &r.record, 0xFFFFFFFFu, nullptr), nullptr);
        r.record.fieldCount = 2;
        EXPECT_EQ(FindWorkingFieldIn(table, &r.record, 1, nullptr), &r.slots[1]);
        EXPECT_EQ(FindWorkingFieldIn(table, &r.record, 2, nullptr), nullptr);
        // A record without values, or none at all.
        r.record.fields = nullptr;
        EXPECT_EQ(FindWorkingFieldIn(table, &r.record, 0, nullptr), nullptr);
        EXPECT_EQ(FindWorkingFieldIn(table, nullptr, 0, nullptr), nullptr);
    }
}

TEST(FindWorkingField, SearchesByIdNotByPosition) {
    FieldDescriptor descriptors[3] = {
        {kFieldDescriptorSize, "C", "C", 30, 9},
        {kFieldDescriptorSize, "A", "A", 10, 6},
        {kFieldDescriptorSize, "B", "B", 20, 8},
    };
    FieldTable table{sizeof(FieldTable), 0, 3, descriptors, kFieldTableTag};
    RecordForTable r(table);
    const FieldDescriptor* descriptor = nullptr;
    EXPECT_EQ(FindWorkingFieldIn(table, &r.record, 20, &descriptor), &r.slots[2]);
    EXPECT_STREQ(descriptor->name, "B");
    EXPECT_EQ(FindWorkingFieldIn(table, &r.record, 1, nullptr), nullptr);
}

TEST(FindWorkingField, InTheSessionSearchesTheOpenDatabasesTable) {
    WorkingField slots[26] = {};
    WorkingRecord record{kWorkingRecordSize, 26, 1, slots, 2};
    g_session.currentFieldTable = FieldTable{};
    EXPECT_EQ(FindWorkingField(&record, 0, nullptr), nullptr);  // no database opened yet
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

}  // namespace
