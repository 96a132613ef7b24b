// Reading records: link records from the device into working fields.
#include "link_records.h"
#include "platform/platform_test.h"
#include "schema/field_table.h"
#include "schema/record_convert.h"

#include <gtest/gtest.h>

namespace {

using namespace test_records;

constexpr ConversionOptions kNewModel{0, 0};
constexpr ConversionOptions kOldModel{1, 0};

// OLE dates: days since 30 December 1899, the fraction the time of day.
constexpr double k31Dec2003 = 37986.0;
constexpr double k15Apr2003 = 37726.0;
constexpr double k1745 = (17 * 60 + 45) / 1440.0;
constexpr double k0930 = (9 * 60 + 30) / 1440.0;

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
std::string L(uint32_t v, size_t width) { return LeText(v, width); }
std::string B1(uint8_t v) { return std::string(1, static_cast<char>(v)); }

using Fields = std::vector<std::pair<std::string, uint32_t>>;
struct Row {
    const char* name;
    uint32_t db;
    std::vector<In> values;
    std::vector<Out> expected;
    Fields fields = {};  // the device's field list; none: DeviceFields(db)
};

WorkingField* Convert(uint32_t db, const LinkInfo& info, const LinkRecord& rec, const TestHeap& heap,
                      ConversionOptions options = kNewModel) {
    return ConvertLinkToWorking(options, db, rec.get(), heap.get(), info.get());
}

using namespace ScheduleField;
namespace T = ToDoField;
namespace E = MailField;
namespace Ad = AddressField;

const Row kRows[] = {
    {"ScheduleDatesTimesFlagsAndText",
     1,
     {D("S_START_DATE", k31Dec2003), D("S_END_DATE", k31Dec2003 + 1), D("S_FIELD_REPEAT_END", 0.0),
      D("S_START_TIME", k1745), D("S_END_TIME", k31Dec2003 + k0930), D("S_ALARM_TIME", 15 / 1440.0),
      Tx("S_DESCRIPTION4", "Dentist"), Tx("S_LOCATION", ""), By("S_ALLDAY_FLAG", 1), By("S_REPEAT_COUNT", 4),
      {"S_DAYPATTERN", Le(0x0102, 2)}, {"S_CONFIDENTIAL1", Le(1, 4)}},
     {{FromDate, L(20031231, 4)}, {ToDate, L(20040101, 4)},
      {RepeatEndDate, L(0, 4)},  // a date of 0 is the number 0, not an empty field
      {FromTime, L(1745, 2)}, {ToTime, L(930, 2)},  // the date part is dropped
      {AlarmTime, L(15, 2)}, {Description, "Dentist"}, {Location, ""}, {AllDayFlag, B1(1)}, {RepeatCount, B1(4)},
      {DayPattern, L(0x0102, 2)}, {Secret, L(1, 4)},
      // Fields the link does not carry, and link fields left empty.
      {ScheduleID, ""}, {AlarmUnit, ""}, {TimeZone, ""}, {NoteMemo, ""}}},
    {"AbsentValueStaysAbsent",
     1,
     {Ab("S_DESCRIPTION4"), Ab("S_START_DATE"), Ab("S_ALLDAY_FLAG")},
     {{Description, "", kAbsent}, {FromDate, "", kAbsent}, {AllDayFlag, "", kAbsent}}},
    {"ToDoDatesAreCrossWired",
     6,
     {D("S_END_DATE", k31Dec2003), D("S_COMPLETION_DATE", k15Apr2003), D("S_START_DATE", 0.0),
      Tx("S_DESCRIPTION3", "Taxes"), By("S_COMPLETED", 1)},
     {{T::DueDate, L(20031231, 4)}, {T::EndDate, L(20030415, 4)}, {T::StartDate, L(0, 4)},
      {T::Description, "Taxes"}, {T::FinishFlag, B1(1)}}},
    {"AddressBookTextAndDates",
     7,
     {Tx("S_HOME_PHONE_MOBILE", "555-0101"), Tx("S_NOTE1", "line1\nline2"), Tx("S_NAME", "Lovelace, Ada"),
      D("S_BIRTHDAY", 27534.0), D("S_ANIVERSARY", 40330.0)},
     {{Ad::HomeMb, "555-0101"}, {Ad::NoteMemo, "line1\nline2"}, {Ad::Birthday, L(19750520, 4)},
      {Ad::Aniversary, L(20100601, 4)}, {Ad::SMS, ""}, {Ad::Custom1, ""}, {Ad::Custom4, ""}, {Ad::F_Name, ""}}},
    {"MemoTimeStampIsFourteenCharacters",
     8,
     {Tx("S_PAGE_TITLE", "Shopping"), D("S_START_DATETIME", k15Apr2003 + k0930), D("S_CREATION_DATETIME", 1.5)},
     {{MemoField::TimeStamp, "20030415093000"}, {MemoField::Title, "Shopping"}}},
    {"DateZeroInATextFieldIsTheTextZero", 8, {D("S_START_DATETIME", 0.0)}, {{MemoField::TimeStamp, "0"}}},
    {"DateOutsideTheCalendar", 8, {D("S_START_DATETIME", 1e12)}, {{MemoField::TimeStamp, "Invalid DateTime"}}},
    {"DateBeforeTheCalendar", 6, {D("S_END_DATE", -1e9)}, {{T::DueDate, L(0, 4)}}},
    {"MailReceivedDateReplacesSendDate",
     16,
     {D("S_SEND_DATE", k31Dec2003 + k0930), D("S_RECEIVED_DATE", k15Apr2003 + k1745), Tx("S_SUBJECT", "Hello"),
      {"S_FOLDERID", Le(2, 4)}, By("S_PRIORITY", 5), By("S_IS_READ", 1)},
     {{E::SendDate, "20030415174500"}, {E::RecvDate, ""}, {E::Subject, "Hello"}, {E::FolderID, L(2, 4)},
      {E::Priority, B1(5)},  // only the ToDo priority is remapped
      {E::IsRead, B1(1)}, {E::MailAddress, ""}, {E::MessageID, ""}, {E::PDU, ""}, {E::FromMail, ""}}},
    {"EmptyReceivedDateEmptiesTheSendDate",
     16,
     {D("S_SEND_DATE", k31Dec2003), Tx("S_RECEIVED_DATE", "")},
     {{E::SendDate, "", kLengthZero}}},
    {"AbsentReceivedDateMakesTheSendDateAbsent",
     16,
     {D("S_SEND_DATE", k31Dec2003), Ab("S_RECEIVED_DATE")},
     {{E::SendDate, "", kLengthAbsent}}},
    {"AbsentSendDateTakesTheReceivedDate",
     16,
     {Ab("S_SEND_DATE"), D("S_RECEIVED_DATE", k31Dec2003)},
     {{E::SendDate, "20031231000000"}}},
    {"LinkFieldTheDeviceDoesNotListLeavesItsFieldEmpty",
     1,
     {D("S_END_DATE", k31Dec2003), Tx("S_CATEGORY", "Work")},
     {{FromDate, ""}, {ToDate, L(20031231, 4)}, {Category, "Work"}},
     {{"S_END_DATE", kDate}, {"S_CATEGORY", kText}}},
    {"LinkNamesAreMatchedWithCase",
     6,
     {Tx("s_description3", "lower"), Tx("S_NOTEMEMO", "upper")},
     {{T::Description, ""}, {T::Note, "upper"}},
     {{"s_description3", kText}, {"S_NOTEMEMO", kText}}},
    {"DateFeedingAFlagOrSmallNumberStoresNothing",
     6,
     {D("S_COMPLETED", k31Dec2003), D("S_PRIORITY", k1745)},
     {{T::FinishFlag, ""}, {T::Priority, ""}},
     {{"S_COMPLETED", kDate}, {"S_PRIORITY", kTime}}},
    // Unusual pairings follow the device field's type: the text of the date
    // read as a number (20031231000000 keeps its low 32 bits), or kept as
    // text.
    {"DateTimeIntoNumberAndTimeIntoText",
     6,
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
        for (const In& in : row.values) {
            if (in.absent)
                rec.Absent(in.name);
            else
                rec.Set(in.name, in.bytes);
        }
        TestHeap heap;
        const WorkingField* f = Convert(row.db, info, rec, heap);
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

TEST(LinkToWorking, ToDoPriorityFoldsOntoThreeLevels) {
    const uint8_t cases[][2] = {{0, 1}, {1, 1}, {2, 1}, {3, 2}, {4, 3}, {5, 3}, {200, 3}};
    LinkInfo info(DeviceFields(6));
    for (const auto& pc : cases) {
        LinkRecord rec(info);
        rec.Byte("S_PRIORITY", pc[0]);
        TestHeap heap;
        const WorkingField* fresh = Convert(6, info, rec, heap, kNewModel);
        const WorkingField* old = Convert(6, info, rec, heap, kOldModel);
        ASSERT_TRUE(fresh != nullptr && old != nullptr);
        EXPECT_EQ(TextOf(fresh[ToDoField::Priority]), B1(pc[1])) << int(pc[0]);
        EXPECT_EQ(TextOf(old[ToDoField::Priority]), B1(pc[0])) << int(pc[0]);
    }
}

TEST(LinkToWorking, UnknownDatabaseOrNoMemoryGivesNull) {
    LinkInfo info(DeviceFields(1));
    LinkRecord rec(info);
    rec.Text("S_DESCRIPTION4", "x").Date("S_START_DATE", k31Dec2003);
    TestHeap heap;
    for (uint32_t dbId : {0u, 2u, 15u, 17u}) EXPECT_EQ(Convert(dbId, info, rec, heap), nullptr) << dbId;
    for (unsigned nth = 1; nth <= 3; ++nth) {
        TestHeap fresh;
        PlatformFailCall("HeapAlloc", nth, 0);
        EXPECT_EQ(Convert(1, info, rec, fresh), nullptr) << nth;
        PlatformClearFaults();
    }
    EXPECT_NE(Convert(1, info, rec, heap), nullptr);
}

}  // namespace
