// Looking up a field of a working record by device field id in a table.
// (The field reads look up the open database's table in every row.)
#include "schema/field_table.h"
#include "schema/working_record.h"

#include <gtest/gtest.h>

namespace {

// The table's descriptors are not in id order: the lookup goes by id.
TEST(FindWorkingField, SearchesByIdWithinTableAndRecord) {
    FieldDescriptor descriptors[3] = {
        {kFieldDescriptorSize, "C", "C", 2, 9}, {kFieldDescriptorSize, "A", "A", 0, 6},
        {kFieldDescriptorSize, "B", "B", 1, 8},
    };
    FieldTable table{sizeof(FieldTable), 0, 3, descriptors, kFieldTableTag};
    WorkingField slots[3] = {};
    WorkingRecord record{kWorkingRecordSize, 3, 1, slots, 2};
    const FieldDescriptor* descriptor = nullptr;
    EXPECT_EQ(FindWorkingFieldIn(table, &record, 1, &descriptor), &slots[2]);
    EXPECT_EQ(descriptor, &descriptors[2]);
    EXPECT_EQ(FindWorkingFieldIn(table, &record, 3, &descriptor), nullptr);
    EXPECT_EQ(descriptor, nullptr);
    EXPECT_EQ(FindWorkingFieldIn(table, &record, 0xFFFFFFFFu, nullptr), nullptr);
    record.fieldCount = 2;  // a record shorter than the table
    EXPECT_EQ(FindWorkingFieldIn(table, &record, 0, nullptr), &slots[1]);
    EXPECT_EQ(FindWorkingFieldIn(table, &record, 1, nullptr), nullptr);
    record.fields = nullptr;  // a record without values, or none at all
    EXPECT_EQ(FindWorkingFieldIn(table, &record, 0, nullptr), nullptr);
    EXPECT_EQ(FindWorkingFieldIn(table, nullptr, 0, nullptr), nullptr);
}

}  // namespace
