// Record conversions fed what a misbehaving device or a careless caller
// could hand over: null data behind a nonzero length, dates shorter than
// their eight bytes, names that fill their whole field without a
// terminating zero.  Each value buffer is exactly as long as its slot
// says, so a sanitized build also catches any read past a value's end.
// (The export tests' UntrustedDevice rows read such replies, records with
// fewer slots than the field list and short numbers through a session.)
#include "link_records.h"
#include "schema/field_table.h"

#include <gtest/gtest.h>

namespace {

using namespace test_records;

// Lengths a device could claim for a value it gave no bytes for.
const uint32_t kLengthsWithoutData[] = {1, 4, 8, 0x7FFFFFFFu, 0xFFFFFFFEu};

WorkingField* ToWorking(uint32_t dbId, const LinkInfo& info, const _tagDVXDBREC* record, const TestHeap& heap) {
    return ConvertLinkToWorking(kNewModel, dbId, record, heap.get(), info.get());
}

// Both directions: the value is empty, later fields are still copied.
TEST(UntrustedValues, ValueWithoutDataIsEmpty) {
    LinkInfo schedule({{"S_DESCRIPTION4", kText}, {"S_START_DATE", kDate}, {"S_ALLDAY_FLAG", kByte}});
    LinkInfo todo({{"S_DESCRIPTION3", kText}, {"S_PRIORITY", kByte}, {"S_END_DATE", kDate}, {"S_CATEGORY", kText}});
    for (uint32_t length : kLengthsWithoutData) {
        SCOPED_TRACE(testing::Message() << "length " << length);
        std::vector<_tagDVXFIELD> slots(3, _tagDVXFIELD{sizeof(_tagDVXFIELD), length, nullptr});
        _tagDVXDBREC record{sizeof(record), 3, 1, slots.data()};
        TestHeap heap;
        WorkingField* fields = ToWorking(1, schedule, &record, heap);
        ASSERT_NE(fields, nullptr);
        for (uint32_t id : {ScheduleField::Description, ScheduleField::FromDate, ScheduleField::AllDayFlag})
            ExpectValue(fields[id], "", false);

        WorkRecord host(ToDoField::Count);
        host.Text(ToDoField::Category, "Home");
        for (uint32_t id : {ToDoField::Description, ToDoField::Priority, ToDoField::DueDate})
            host.get()->fields[id] = WorkingField{kWorkingFieldSize, length, nullptr};
        _tagDVXFIELD* sent = ConvertToLinkRecord(kNewModel, 6, host.get(), heap.get(), todo.get());
        ASSERT_NE(sent, nullptr);
        for (int j = 0; j < 3; ++j) ExpectValue(sent[j], "", false);
        EXPECT_EQ(TextOf(sent[3]), "Home");
    }
}

// A date shorter than its eight bytes converts as its zero-extended value.
TEST(UntrustedValues, ShortDateReadsAsZeroExtended) {
    LinkInfo info({{"S_START_DATE", kDate}, {"S_DESCRIPTION4", kText}});
    const std::vector<uint8_t> full = Bytes(k31Dec2003 + 0.5);
    for (size_t length = 1; length < 8; ++length) {
        SCOPED_TRACE(testing::Message() << "length " << length);
        std::vector<uint8_t> value(full.begin(), full.begin() + static_cast<long>(length));
        LinkRecord shortRecord(info), extendedRecord(info);
        shortRecord.Set("S_START_DATE", value);
        value.resize(8, 0);
        extendedRecord.Set("S_START_DATE", value);
        TestHeap heap;
        WorkingField* fromShort = ToWorking(1, info, shortRecord.get(), heap);
        WorkingField* fromExtended = ToWorking(1, info, extendedRecord.get(), heap);
        ASSERT_TRUE(fromShort != nullptr && fromExtended != nullptr);
        EXPECT_EQ(fromShort[ScheduleField::FromDate].length, 4u);
        EXPECT_EQ(TextOf(fromShort[ScheduleField::FromDate]), TextOf(fromExtended[ScheduleField::FromDate]));
    }
}

// A link field name that fills all its bytes matches nothing and hides no
// field after it: storing sends that field empty.
TEST(UntrustedValues, NameWithoutTerminatingZero) {
    LinkInfo info({{"S_DESCRIPTION4", kText}, {"S_CATEGORY", kText}});
    std::vector<_tagS_DVXFIELDINFO> fields(2);
    fields[0] = *info.get()->fields;
    memset(fields[0].name, 'S', sizeof(fields[0].name));
    fields[1] = info.get()->fields[1];
    _tagS_DVXDBINFO unterminated{sizeof(_tagS_DVXDBINFO), 1, 2, fields.data()};
    TestHeap heap;
    WorkRecord host(ScheduleField::Count);
    host.Text(ScheduleField::Description, "Lunch").Text(ScheduleField::Category, "Work");
    _tagDVXFIELD* sent = ConvertToLinkRecord(kNewModel, 1, host.get(), heap.get(), &unterminated);
    ASSERT_NE(sent, nullptr);
    EXPECT_EQ(sent[0].length, 0u);
    EXPECT_EQ(TextOf(sent[1]), "Work");
}

}  // namespace
