// Looking up a field of a working record by device field id.
#include "schema/field_table.h"
#include "schema/working_record.h"

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

TEST(FindWorkingField, MailSendDateIsTheSlotTheReceivedDateFills) {
    const FieldTable& mail = *SelectFieldTable(16);
    RecordForTable r(mail);
    const FieldDescriptor* descriptor = nullptr;
    WorkingField* slot = FindWorkingFieldIn(mail, &r.record, 10, &descriptor);
    ASSERT_EQ(slot, &r.slots[10]);
    ASSERT_NE(descriptor, nullptr);
    EXPECT_STREQ(descriptor->name, "SendDate");
    EXPECT_EQ(descriptor->fieldType, 9u);
}

TEST(FindWorkingField, EveryFieldOfEveryTableIsFoundAtItsPosition) {
    for (uint32_t dbId : {1u, 6u, 7u, 8u, 16u}) {
        const FieldTable& table = *SelectFieldTable(dbId);
        RecordForTable r(table);
        for (uint32_t id = 0; id < table.fieldCount; ++id) {
            const FieldDescriptor* descriptor = nullptr;
            EXPECT_EQ(FindWorkingFieldIn(table, &r.record, id, &descriptor), &r.slots[id]) << dbId << "/" << id;
            EXPECT_EQ(descriptor, &table.descriptors[id]);
        }
    }
}

TEST(FindWorkingField, IdOutsideTheTableIsNotFound) {
    const FieldTable& schedule = *SelectFieldTable(1);
    RecordForTable r(schedule);
    const FieldDescriptor* descriptor = &schedule.descriptors[0];
    EXPECT_EQ(FindWorkingFieldIn(schedule, &r.record, 23, &descriptor), nullptr);
    EXPECT_EQ(descriptor, nullptr);
    EXPECT_EQ(FindWorkingFieldIn(schedule, &r.record, 0xFFFFFFFFu, nullptr), nullptr);
}

TEST(FindWorkingField, RecordWithoutFieldsYieldsNothing) {
    const FieldTable& todo = *SelectFieldTable(6);
    WorkingRecord unloaded{kWorkingRecordSize, todo.fieldCount, 7, nullptr, 2};
    for (uint32_t id = 0; id < todo.fieldCount; ++id)
        EXPECT_EQ(FindWorkingFieldIn(todo, &unloaded, id, nullptr), nullptr) << id;
    EXPECT_EQ(FindWorkingFieldIn(todo, nullptr, 0, nullptr), nullptr);
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

TEST(FindWorkingField, RecordShorterThanTheTableHasNoSlotBeyondItsEnd) {
    const FieldTable& memo = *SelectFieldTable(8);
    RecordForTable r(memo);
    r.record.fieldCount = 2;
    EXPECT_EQ(FindWorkingFieldIn(memo, &r.record, 1, nullptr), &r.slots[1]);
    EXPECT_EQ(FindWorkingFieldIn(memo, &r.record, 2, nullptr), nullptr);
}

}  // namespace
