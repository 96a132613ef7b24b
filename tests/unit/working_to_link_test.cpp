// Storing records: working records into link fields for the device.
// (Every host field of a record of each database also reaches the
// simulated device in the export tests; the rows here are the special
// cases.)
#include "link_records.h"
#include "schema/field_table.h"

#include <gtest/gtest.h>

namespace {

using namespace test_records;


// A working value by device field id; absent when flagged.
struct In {
    uint32_t id;
    std::string bytes;
    bool absent = false;
};
In Num(uint32_t id, int32_t v) { return {id, L(static_cast<uint32_t>(v), 4)}; }
In Sh(uint32_t id, int16_t v) { return {id, L(static_cast<uint16_t>(v), 2)}; }
In By(uint32_t id, uint8_t v) { return {id, std::string(1, static_cast<char>(v))}; }
In Tx(uint32_t id, const std::string& t) { return {id, t}; }
In Ab(uint32_t id) { return {id, "", true}; }

// What a link field must hold: exactly these bytes (none: length 0 and no
// data), no value, or an OLE date of eight bytes.
enum Kind { kBytes, kAbsent, kDateValue };
struct Out {
    std::string name;
    Kind kind;
    std::string bytes;
    double date;
};
Out Ex(const std::string& n, const std::string& b) { return {n, kBytes, b, 0}; }
Out Dt(const std::string& n, double d) { return {n, kDateValue, "", d}; }
Out Zero(const std::string& n) { return {n, kBytes, std::string(8, '\0'), 0}; }
Out None(const std::string& n) { return {n, kAbsent, "", 0}; }

using Fields = std::vector<std::pair<std::string, uint32_t>>;
struct Row {
    const char* name;
    uint32_t db;
    std::vector<In> values;
    std::vector<Out> expected;
    ConversionOptions options = kNewModel;
    Fields fields = {};  // the device's field list; none: DeviceFields(db)
};

using namespace ScheduleField;
namespace T = ToDoField;
namespace M = MemoField;
namespace E = MailField;
namespace Ad = AddressField;

// A memo whose time stamp text is text, and what the link date becomes
// (negative: eight zero bytes, no valid date).
Row Stamp(const char* text, double date) {
    return {text, 8, {Tx(M::TimeStamp, text)}, {date < 0 ? Zero("S_START_DATETIME") : Dt("S_START_DATETIME", date)}};
}
// An address whose names are given, and the full name the link gets.
Row Name(const char* first, const char* middle, const char* last, ConversionOptions options, const char* full) {
    return {full, 7, {Tx(Ad::F_Name, first), Tx(Ad::M_Name, middle), Tx(Ad::L_Name, last)}, {Ex("S_NAME", full)},
            options};
}

const Row kRows[] = {
    {"ScheduleDatesAndTimesBecomeOleDates", 1,
     {Num(FromDate, 20031231), Num(RepeatEndDate, 0), Sh(FromTime, 1745), Sh(ToTime, 0), Sh(AlarmTime, -1),
      Num(ScheduleID, 77), By(AllDayFlag, 1), Sh(DayPattern, 0x41)},
     {Dt("S_START_DATE", k31Dec2003), Ex("S_FIELD_REPEAT_END", ""),  // date 0 is no date
      Dt("S_START_TIME", k1745),                                     // 17:45 on 30 December 1899
      Zero("S_END_TIME"),                                            // time 0 is midnight, not empty
      Dt("S_ALARM_TIME", 1 / 1440.0),                                // time -1 reads as 00:01
      Ex("S_ALLDAY_FLAG", L(1, 4)), Ex("S_DAYPATTERN", L(0x41, 4)),  // a byte field takes up to 4 bytes
      Ex("S_LOCATION", "")}},
    {"DateNumberGivesTheSameValueAsDateOrDateTime", 6, {Num(T::DueDate, 20031231), Num(T::StartDate, 20031231)},
     {Dt("S_END_DATE", k31Dec2003), Dt("S_START_DATE", k31Dec2003)}, kNewModel,
     {{"S_END_DATE", kDate}, {"S_START_DATE", kDateTime}}},
    {"ToDoWithoutDueDateSendsEightZeroBytes", 6, {Num(T::DueDate, -1)}, {Zero("S_END_DATE")}},
    // Date-time texts and their validity; a short text is padded.
    Stamp("200304150930", k15Apr2003 + k0930), Stamp("20030415093059", k15Apr2003 + k0930 + 59 / 86400.0),
    {"AllZeroStampIsNoDate", 8, {Tx(M::TimeStamp, "00000000000000")}, {Ex("S_START_DATETIME", "")}},
    Stamp("000000000000", -1), Stamp("20031331000000", -1), Stamp("20030230000000", -1),
    Stamp("19000229000000", -1),  // 1900 is not a leap year
    Stamp("20000229000000", 36585.0), Stamp("20030415240000", -1), Stamp("20030415236000", -1),
    Stamp("00991231000000", -1),  // before year 100
    Stamp("2003", -1),
    {"EmptyAndAbsentValuesKeepTheirKind", 16, {Tx(E::Subject, ""), Ab(E::Body), Ab(E::SendDate), Ab(E::IsRead)},
     {Ex("S_SUBJECT", ""), None("S_BODY"), None("S_SEND_DATE"), None("S_RECEIVED_DATE"), None("S_IS_READ")}},
    {"TypeOneFieldTakesAtMostFourBytes", 6, {Tx(T::Description, "abcdefgh"), Num(T::Secret, 0x01020304)},
     {Ex("S_DESCRIPTION3", "abcd"), Ex("S_CONFIDENTIAL1", L(0x01020304, 4))}, kNewModel,
     {{"S_DESCRIPTION3", kByte}, {"S_CONFIDENTIAL1", kByte}}},
    // The address book composes the full name from its parts.
    Name("F", "", "L", kNewModel, "L, F"),
    Name("F", "", "", kNewModel, "F "), Name("", "", "L", kNewModel, "L"), Name("", "M", "L", kNewModel, "M L"),
    Name("F", "M", "", kNewModel, "F M "), Name("", "", "", kNewModel, ""),
    Name("F", "M", "L", kFamilyFirst, "L M F"), Name("F", "", "L", kFamilyFirst, "L F"),
    Name("", "", "L", kFamilyFirst, "L "),
    {"AbsentNamePartSendsTheFullNameEmpty", 7, {Ab(Ad::F_Name), Tx(Ad::L_Name, "L"), Tx(Ad::M_Name, "M")},
     {Ex("S_NAME", ""), None("S_FIRST_NAME")}},
    {"ReadingOfTheFirstNameOnly", 7, {Tx(Ad::F_Name_Yomi, "taro")}, {Ex("S_YOMI_NAME", "taro")}},
    {"AbsentReadingOfTheLastName", 7, {Tx(Ad::F_Name_Yomi, "taro"), Ab(Ad::L_Name_Yomi)}, {Ex("S_YOMI_NAME", "")}},
    // The full name field is found without regard to case; the last match counts.
    {"FullNameFieldIsFoundWithoutRegardToCase", 7, {Tx(Ad::F_Name, "F"), Tx(Ad::L_Name, "L")},
     {Ex("S_Name", ""), Ex("s_name", "L, F"), Ex("S_NAMES", "")}, kNewModel,
     {{"S_FIRST_NAME", kText}, {"S_LAST_NAME", kText}, {"S_MIDDLE_NAME", kText}, {"S_Name", kText},
      {"s_name", kText}, {"S_NAMES", kText}}},
    {"OnlyAddressBookComposesNames", 6, {Tx(T::Description, "x")}, {Ex("S_NAME", "")}, kNewModel,
     {{"S_DESCRIPTION3", kText}, {"S_NAME", kText}}},
    {"AddressBookLinkOnlyFieldsAreSentEmpty", 7, {Tx(Ad::F_Name, "Ada"), Tx(Ad::Custom1, "c1"), Tx(Ad::SMS, "sms")},
     {Ex("S_HOME_PHONE2", ""), Ex("S_BUSINESS_ADDRESS", ""), Ex("S_ATTACHMENT2", ""), Ex("SNYOMI_NAME", "")}},
};

TEST(WorkingToLink, EachRecordGivesItsLinkFields) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        WorkRecord rec(SelectFieldTable(row.db)->fieldCount);
        for (const In& in : row.values) rec.Set(in.id, Bytes(in.bytes), in.absent);
        TestHeap heap;
        LinkInfo info(row.fields.empty() ? DeviceFields(row.db) : row.fields);
        const _tagDVXFIELD* slots = ConvertToLinkRecord(row.options, row.db, rec.get(), heap.get(), info.get());
        ASSERT_NE(slots, nullptr);
        for (uint32_t j = 0; j < info.count(); ++j) EXPECT_EQ(slots[j].size, kLinkFieldSize) << j;
        for (const Out& out : row.expected) {
            SCOPED_TRACE(out.name);
            const int j = info.Position(out.name);
            ASSERT_GE(j, 0);
            if (out.kind == kDateValue) {
                EXPECT_EQ(slots[j].length, 8u);
                EXPECT_NEAR(DateOf(slots[j]), out.date, 1e-9);
                continue;
            }
            ExpectValue(slots[j], out.bytes, out.kind == kAbsent);
        }
    }
}

}  // namespace
