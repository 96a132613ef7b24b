// Reading records: link records from the device into working fields.
// (Every field of a record of each database is also read back by the
// export tests; the rows here are the special cases.)
#include "link_records.h"
#include "platform/platform_test.h"
#include "schema/field_table.h"

#include <gtest/gtest.h>

namespace {

using namespace test_records;

// A link value by field name; absent when flagged.
struct In {
    std::string name;
    std::vector<uint8_t> bytes;
    bool absent = false;
};
In D(const std::string& n, double v) { return {n, Bytes(v)}; }
In Tx(const std::string& n, const std::string& t) { return {n, Bytes(t)}; }
In By(const std::string& n, uint8_t b) { return {n, {b}}; }
In Ab(const std::string& n) { return {n, {}, true}; }

// What a working field must hold: exactly these bytes (none: length 0 and
// no data), absent, or only a length of 0 / of the absent value.
enum Kind { kBytes, kAbsent, kLengthZero, kLengthAbsent };
struct Out {
    uint32_t id;
    std::string bytes;
    Kind kind = kBytes;
};
std::string B1(uint8_t v) { return std::string(1, static_cast<char>(v)); }

using Fields = std::vector<std::pair<std::string, uint32_t>>;
struct Row {
    const char* name;
    uint32_t db;
    std::vector<In> values;
    std::vector<Out> expected;
    Fields fields = {};  // the device's field list; none: DeviceFields(db)
};

using namespace ScheduleField;
namespace T = ToDoField;
namespace E = MailField;

const Row kRows[] = {
    {"ScheduleDatesTimesAndFlags", 1,
     {D("S_START_DATE", k31Dec2003), D("S_FIELD_REPEAT_END", 0.0), D("S_END_TIME", k31Dec2003 + k0930),
      D("S_ALARM_TIME", 15 / 1440.0), By("S_ALLDAY_FLAG", 1), {"S_DAYPATTERN", Bytes(L(0x0102, 2))}},
     {{FromDate, L(20031231, 4)}, {RepeatEndDate, L(0, 4)},  // a date of 0 is the number 0, not an empty field
      {ToTime, L(930, 2)},                                   // the date part is dropped
      {AlarmTime, L(15, 2)}, {AllDayFlag, B1(1)}, {DayPattern, L(0x0102, 2)},
      // Fields the link does not carry, and link fields left empty.
      {ScheduleID, ""}, {AlarmUnit, ""}, {NoteMemo, ""}}},
    {"AbsentValueStaysAbsent", 1, {Ab("S_DESCRIPTION4"), Ab("S_START_DATE"), Ab("S_ALLDAY_FLAG")},
     {{Description, "", kAbsent}, {FromDate, "", kAbsent}, {AllDayFlag, "", kAbsent}}},
    {"MemoTimeStampIsFourteenCharacters", 8,
     {D("S_START_DATETIME", k15Apr2003 + k0930), D("S_CREATION_DATETIME", 1.5)},
     {{MemoField::TimeStamp, "20030415093000"}}},
    {"DateZeroInATextFieldIsTheTextZero", 8, {D("S_START_DATETIME", 0.0)}, {{MemoField::TimeStamp, "0"}}},
    {"DateOutsideTheCalendar", 8, {D("S_START_DATETIME", 1e12)}, {{MemoField::TimeStamp, "Invalid DateTime"}}},
    {"DateBeforeTheCalendar", 6, {D("S_END_DATE", -1e9)}, {{T::DueDate, L(0, 4)}}},
    {"MailReceivedDateReplacesSendDate", 16,
     {D("S_SEND_DATE", k31Dec2003 + k0930), D("S_RECEIVED_DATE", k15Apr2003 + k1745), By("S_PRIORITY", 5)},
     {{E::SendDate, "20030415174500"}, {E::RecvDate, ""}, {E::Priority, B1(5)}}},  // only ToDo's is remapped
    {"EmptyReceivedDateEmptiesTheSendDate", 16, {D("S_SEND_DATE", k31Dec2003), Tx("S_RECEIVED_DATE", "")},
     {{E::SendDate, "", kLengthZero}}},
    {"AbsentReceivedDateMakesTheSendDateAbsent", 16, {D("S_SEND_DATE", k31Dec2003), Ab("S_RECEIVED_DATE")},
     {{E::SendDate, "", kLengthAbsent}}},
    {"AbsentSendDateTakesTheReceivedDate", 16, {Ab("S_SEND_DATE"), D("S_RECEIVED_DATE", k31Dec2003)},
     {{E::SendDate, "20031231000000"}}},
    {"LinkFieldTheDeviceDoesNotListLeavesItsFieldEmpty", 1, {D("S_END_DATE", k31Dec2003), Tx("S_CATEGORY", "Work")},
     {{FromDate, ""}, {ToDate, L(20031231, 4)}, {Category, "Work"}}, {{"S_END_DATE", kDate}, {"S_CATEGORY", kText}}},
    {"LinkNamesAreMatchedWithCase", 6, {Tx("s_description3", "lower"), Tx("S_NOTEMEMO", "upper")},
     {{T::Description, ""}, {T::Note, "upper"}}, {{"s_description3", kText}, {"S_NOTEMEMO", kText}}},
    {"DateFeedingAFlagOrSmallNumberStoresNothing", 6, {D("S_COMPLETED", k31Dec2003), D("S_PRIORITY", k1745)},
     {{T::FinishFlag, ""}, {T::Priority, ""}}, {{"S_COMPLETED", kDate}, {"S_PRIORITY", kTime}}},
    // Unusual pairings follow the device field's type: the text of the date
    // read as a number (20031231000000 keeps its low 32 bits), or kept as
    // text.
    {"DateTimeIntoNumberAndTimeIntoText", 6,
     {D("S_START_DATE", k31Dec2003), D("S_DESCRIPTION3", k1745), D("S_END_DATE", k0930)},
     {{T::Description, "1745"}, {T::DueDate, L(930, 4)},
      {T::StartDate, L(static_cast<uint32_t>(20031231000000ULL), 4)}},
     {{"S_START_DATE", kDateTime}, {"S_DESCRIPTION3", kTime}, {"S_END_DATE", kTime}}},
};

TEST(LinkToWorking, EachRecordGivesItsWorkingFields) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        LinkInfo info(row.fields.empty() ? DeviceFields(row.db) : row.fields);
        LinkRecord rec(info);
        for (const In& in : row.values) rec.Set(in.name, in.bytes, in.absent);
        TestHeap heap;
        const WorkingField* f = ConvertLinkToWorking(kNewModel, row.db, rec.get(), heap.get(), info.get());
        ASSERT_NE(f, nullptr);
        for (uint32_t i = 0; i < SelectFieldTable(row.db)->fieldCount; ++i) EXPECT_EQ(f[i].size, kWorkingFieldSize);
        for (const Out& out : row.expected) {
            const WorkingField& field = f[out.id];
            SCOPED_TRACE(testing::Message() << "field " << out.id);
            if (out.kind == kLengthZero || out.kind == kLengthAbsent) {
                EXPECT_EQ(field.length, out.kind == kLengthZero ? 0u : 0xFFFFFFFFu);
                continue;
            }
            ExpectValue(field, out.bytes, out.kind == kAbsent);
        }
    }
}

// The device's five ToDo priorities fold onto the host's three and back;
// a device of the old model keeps them as they are.
TEST(RecordConvert, ToDoPriorityFoldsAndUnfolds) {
    const uint8_t toWorking[][2] = {{0, 1}, {1, 1}, {2, 1}, {3, 2}, {4, 3}, {5, 3}, {200, 3}};
    LinkInfo info(DeviceFields(6));
    const int j = info.Position("S_PRIORITY");
    for (const auto& pc : toWorking) {
        LinkRecord rec(info);
        rec.Set("S_PRIORITY", {pc[0]});
        TestHeap heap;
        const WorkingField* fresh = ConvertLinkToWorking(kNewModel, 6, rec.get(), heap.get(), info.get());
        const WorkingField* old = ConvertLinkToWorking(kOldModel, 6, rec.get(), heap.get(), info.get());
        ASSERT_TRUE(fresh != nullptr && old != nullptr);
        EXPECT_EQ(TextOf(fresh[ToDoField::Priority]), B1(pc[1])) << int(pc[0]);
        EXPECT_EQ(TextOf(old[ToDoField::Priority]), B1(pc[0])) << int(pc[0]);
    }
    const uint8_t toLink[][2] = {{0, 2}, {1, 2}, {2, 3}, {3, 4}, {5, 4}};
    for (const auto& pc : toLink) {
        WorkRecord rec(ToDoField::Count);
        rec.Set(ToDoField::Priority, {pc[0]});
        TestHeap heap;
        const _tagDVXFIELD* fresh = ConvertToLinkRecord(kNewModel, 6, rec.get(), heap.get(), info.get());
        const _tagDVXFIELD* old = ConvertToLinkRecord(kOldModel, 6, rec.get(), heap.get(), info.get());
        ASSERT_TRUE(fresh != nullptr && old != nullptr);
        EXPECT_EQ(TextOf(fresh[j]), L(pc[1], 4)) << int(pc[0]);
        EXPECT_EQ(TextOf(old[j]), L(pc[0], 4)) << int(pc[0]);
    }
}

// Every allocation that fails fails the conversion: reading, the array
// and two values; storing, the array, three texts and a date, then
// "S_NAME" and "S_YOMI_NAME".
TEST(RecordConvert, UnknownDatabaseOrNoMemoryGivesNull) {
    LinkInfo schedule(DeviceFields(1)), address(DeviceFields(7));
    LinkRecord rec(schedule);
    rec.Set("S_DESCRIPTION4", Bytes("x")).Set("S_START_DATE", Bytes(k31Dec2003));
    WorkRecord work(AddressField::Count);
    work.Text(AddressField::F_Name, "F").Text(AddressField::L_Name, "L").Text(AddressField::F_Name_Yomi, "f");
    work.Set(AddressField::Birthday, Bytes(L(19701210, 4)));
    TestHeap heap;
    for (uint32_t dbId : {0u, 2u, 15u, 17u}) {
        EXPECT_EQ(ConvertLinkToWorking(kNewModel, dbId, rec.get(), heap.get(), schedule.get()), nullptr) << dbId;
        EXPECT_EQ(ConvertToLinkRecord(kNewModel, dbId, work.get(), heap.get(), address.get()), nullptr) << dbId;
    }
    {
        // A record's slots and values are one block.
        TestHeap fresh;
        PlatformFailCall("HeapAlloc", 1, 0);
        EXPECT_EQ(ConvertLinkToWorking(kNewModel, 1, rec.get(), fresh.get(), schedule.get()), nullptr);
        PlatformClearFaults();
    }
    for (unsigned nth = 1; nth <= 7; ++nth) {
        TestHeap fresh;
        PlatformFailCall("HeapAlloc", nth, 0);
        EXPECT_EQ(ConvertToLinkRecord(kNewModel, 7, work.get(), fresh.get(), address.get()), nullptr) << nth;
        PlatformClearFaults();
    }
    EXPECT_NE(ConvertLinkToWorking(kNewModel, 1, rec.get(), heap.get(), schedule.get()), nullptr);
    EXPECT_NE(ConvertToLinkRecord(kNewModel, 7, work.get(), heap.get(), address.get()), nullptr);
}

}  // namespace
