// Storing records: working records into link fields for the device.
#include "link_records.h"
#include "platform/platform_test.h"
#include "schema/field_table.h"
#include "schema/record_convert.h"

#include <gtest/gtest.h>

namespace {

using namespace test_records;

constexpr ConversionOptions kNewModel{0, 0};
constexpr ConversionOptions kOldModel{1, 0};
constexpr ConversionOptions kFamilyFirst{0, 1};

constexpr double k31Dec2003 = 37986.0;
constexpr double k15Apr2003 = 37726.0;
constexpr double k1745 = (17 * 60 + 45) / 1440.0;
constexpr double k0930 = (9 * 60 + 30) / 1440.0;

std::string L(uint32_t v, size_t width) { return LeText(v, width); }

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

// A memo whose time stamp text is text, and what the link date becomes.
Row Stamp(const char* text, double date) {
    return {text, 8, {Tx(M::TimeStamp, text)}, {date < 0 ? Zero("S_START_DATETIME") : Dt("S_START_DATETIME", date)}};
}
// An address whose names are given, and the full name the link gets.
Row Name(const char* first, const char* middle, const char* last, ConversionOptions options, const char* full) {
    return {full,
            7,
            {Tx(Ad::F_Name, first), Tx(Ad::M_Name, middle), Tx(Ad::L_Name, last)},
            {Ex("S_NAME", full)},
            options};
}

const Row kRows[] = {
    {"ScheduleDatesAndTimesBecomeOleDates",
     1,
     {Num(FromDate, 20031231), Num(ToDate, 20040101), Num(RepeatEndDate, 0), Sh(FromTime, 1745), Sh(ToTime, 0),
      Sh(AlarmTime, -1), Num(ScheduleID, 77), By(AlarmUnit, 2), Tx(Description, "Dentist"), By(AllDayFlag, 1),
      By(EventFlag, 0), Sh(DayPattern, 0x41)},
     {Dt("S_START_DATE", k31Dec2003), Dt("S_END_DATE", k31Dec2003 + 1),
      Ex("S_FIELD_REPEAT_END", ""),                  // date 0 is no date
      Dt("S_START_TIME", k1745),                     // 17:45 on 30 December 1899
      Zero("S_END_TIME"),                            // time 0 is midnight, not empty
      Dt("S_ALARM_TIME", 1 / 1440.0),                // time -1 reads as 00:01
      Ex("S_DESCRIPTION4", "Dentist"), Ex("S_ALLDAY_FLAG", L(1, 4)), Ex("S_EVENT_FLAG", L(0, 4)),
      Ex("S_DAYPATTERN", L(0x41, 4)),  // a byte field takes up to 4 bytes
      Ex("S_LOCATION", "")}},
    {"DateNumberGivesTheSameValueAsDateOrDateTime",
     6,
     {Num(T::DueDate, 20031231), Num(T::StartDate, 20031231)},
     {Dt("S_END_DATE", k31Dec2003), Dt("S_START_DATE", k31Dec2003)},
     kNewModel,
     {{"S_END_DATE", kDate}, {"S_START_DATE", kDateTime}}},
    {"ToDoWithoutDueDateSendsEightZeroBytes",
     6,
     {Num(T::DueDate, -1), Num(T::EndDate, 20030415), Tx(T::Description, "Taxes")},
     {Zero("S_END_DATE"), Dt("S_COMPLETION_DATE", k15Apr2003), Ex("S_DESCRIPTION3", "Taxes")}},
    // Date-time texts and their validity; a short text is padded.  (A
    // memo's and a mail's time stamps reaching the device are the import
    // tests'.)
    Stamp("200304150930", k15Apr2003 + k0930),
    Stamp("20030415093059", k15Apr2003 + k0930 + 59 / 86400.0),
    {"AllZeroStampIsNoDate", 8, {Tx(M::TimeStamp, "00000000000000")}, {Ex("S_START_DATETIME", "")}},
    Stamp("000000000000", -1),
    Stamp("20031331000000", -1),  // month 13
    Stamp("20030230000000", -1),  // 30 February
    Stamp("19000229000000", -1),  // 1900 is not a leap year
    Stamp("20000229000000", 36585.0),
    Stamp("20030415240000", -1),  // hour 24
    Stamp("20030415236000", -1),  // minute 60
    Stamp("00991231000000", -1),  // before year 100
    Stamp("2003", -1),
    {"EmptyAndAbsentValuesKeepTheirKind",
     16,
     {Tx(E::Subject, ""), Ab(E::Body), Ab(E::SendDate), Ab(E::IsRead)},
     {Ex("S_SUBJECT", ""), None("S_BODY"), None("S_SEND_DATE"), None("S_RECEIVED_DATE"), None("S_IS_READ")}},
    {"TypeOneFieldTakesAtMostFourBytes",
     6,
     {Tx(T::Description, "abcdefgh"), Num(T::Secret, 0x01020304)},
     {Ex("S_DESCRIPTION3", "abcd"), Ex("S_CONFIDENTIAL1", L(0x01020304, 4))},
     kNewModel,
     {{"S_DESCRIPTION3", kByte}, {"S_CONFIDENTIAL1", kByte}}},
    // The address book composes the full name from its parts.
    Name("F", "M", "L", kNewModel, "L, F M"),
    Name("F", "", "L", kNewModel, "L, F"),
    Name("F", "", "", kNewModel, "F "),
    Name("", "", "L", kNewModel, "L"),
    Name("", "M", "L", kNewModel, "M L"),
    Name("F", "M", "", kNewModel, "F M "),
    Name("", "", "", kNewModel, ""),
    Name("F", "M", "L", kFamilyFirst, "L M F"),
    Name("F", "", "L", kFamilyFirst, "L F"),
    Name("", "", "L", kFamilyFirst, "L "),
    Name("Taro", "", "Yamada", kFamilyFirst, "Yamada Taro"),
    {"AbsentNamePartSendsTheFullNameEmpty",
     7,
     {Ab(Ad::F_Name), Tx(Ad::L_Name, "L"), Tx(Ad::M_Name, "M")},
     {Ex("S_NAME", ""), None("S_FIRST_NAME")}},
    {"ReadingName", 7, {Tx(Ad::F_Name_Yomi, "taro"), Tx(Ad::L_Name_Yomi, "yamada")}, {Ex("S_YOMI_NAME", "yamada taro")}},
    {"ReadingOfTheFirstNameOnly", 7, {Tx(Ad::F_Name_Yomi, "taro")}, {Ex("S_YOMI_NAME", "taro")}},
    {"AbsentReadingOfTheLastName",
     7,
     {Tx(Ad::F_Name_Yomi, "taro"), Ab(Ad::L_Name_Yomi)},
     {Ex("S_YOMI_NAME", "")}},
    // The full name field is found without regard to case; the last match counts.
    {"FullNameFieldIsFoundWithoutRegardToCase",
     7,
     {Tx(Ad::F_Name, "F"), Tx(Ad::L_Name, "L")},
     {Ex("S_Name", ""), Ex("s_name", "L, F"), Ex("S_NAMES", "")},
     kNewModel,
     {{"S_FIRST_NAME", kText}, {"S_LAST_NAME", kText}, {"S_MIDDLE_NAME", kText}, {"S_Name", kText},
      {"s_name", kText}, {"S_NAMES", kText}}},
    {"OnlyAddressBookComposesNames",
     6,
     {Tx(T::Description, "x")},
     {Ex("S_NAME", "")},
     kNewModel,
     {{"S_DESCRIPTION3", kText}, {"S_NAME", kText}}},
    {"AddressBookLinkOnlyFieldsAreSentEmpty",
     7,
     {Tx(Ad::F_Name, "Ada"), Tx(Ad::Custom1, "c1"), Tx(Ad::SMS, "sms"), Num(Ad::Birthday, 19750520)},
     {Ex("S_HOME_PHONE2", ""), Ex("S_HOME_ADDRESS", ""), Ex("S_BUSINESS_PHONE2", ""), Ex("S_BUSINESS_ADDRESS", ""),
      Ex("S_ATTACHMENT2", ""), Ex("S_YOMI_MIDDLE_NAME", ""), Ex("SNYOMI_NAME", ""), Ex("SNYOMI_COMPANY", ""),
      Dt("S_BIRTHDAY", 27534.0), Ex("S_NAME", "Ada ")}},
};

// Converts the working record rec for database db into a link record.
class Sent {
public:
    Sent(uint32_t db, const WorkRecord& rec, const Fields& fields, ConversionOptions options)
        : info_(fields.empty() ? DeviceFields(db) : fields) {
        slots_ = ConvertToLinkRecord(options, db, rec.get(), heap_.get(), info_.get());
    }
    const _tagDVXFIELD* slots() const { return slots_; }
    const LinkInfo& info() const { return info_; }

private:
    TestHeap heap_;
    LinkInfo info_;
    _tagDVXFIELD* slots_ = nullptr;
};

TEST(WorkingToLink, EachRecordGivesItsLinkFields) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        WorkRecord rec(SelectFieldTable(row.db)->fieldCount);
        for (const In& in : row.values) {
            if (in.absent)
                rec.Absent(in.id);
            else
                rec.Set(in.id, Bytes(in.bytes));
        }
        Sent s(row.db, rec, row.fields, row.options);
        ASSERT_NE(s.slots(), nullptr);
        for (uint32_t j = 0; j < s.info().count(); ++j) EXPECT_EQ(s.slots()[j].size, kLinkFieldSize) << j;
        for (const Out& out : row.expected) {
            SCOPED_TRACE(out.name);
            const int j = s.info().Position(out.name);
            ASSERT_GE(j, 0);
            const _tagDVXFIELD& slot = s.slots()[j];
            if (out.kind == kDateValue) {
                EXPECT_EQ(slot.length, 8u);
                EXPECT_NEAR(DateOf(slot), out.date, 1e-9);
                continue;
            }
            ExpectValue(slot, out.bytes, out.kind == kAbsent);
        }
    }
}

TEST(WorkingToLink, ToDoPriorityUnfoldsOntoTheDeviceScale) {
    const uint8_t cases[][2] = {{0, 2}, {1, 2}, {2, 3}, {3, 4}, {5, 4}};
    for (const auto& pc : cases) {
        WorkRecord rec(9);
        rec.Byte(ToDoField::Priority, pc[0]);
        Sent fresh(6, rec, {}, kNewModel), old(6, rec, {}, kOldModel);
        const int j = fresh.info().Position("S_PRIORITY");
        ASSERT_TRUE(fresh.slots() != nullptr && old.slots() != nullptr);
        EXPECT_EQ(TextOf(fresh.slots()[j]), L(pc[1], 4)) << int(pc[0]);
        EXPECT_EQ(TextOf(old.slots()[j]), L(pc[0], 4)) << int(pc[0]);
    }
}

TEST(WorkingToLink, RecordWithoutFieldsSendsEverythingEmpty) {
    WorkRecord rec(9);
    WorkingRecord bare = *rec.get();
    bare.fields = nullptr;
    TestHeap heap;
    LinkInfo info(DeviceFields(6));
    _tagDVXFIELD* slots = ConvertToLinkRecord(kNewModel, 6, &bare, heap.get(), info.get());
    ASSERT_NE(slots, nullptr);
    for (uint32_t j = 0; j < info.count(); ++j) {
        EXPECT_EQ(slots[j].length, 0u) << info.NameAt(j);
        EXPECT_EQ(slots[j].data, nullptr) << info.NameAt(j);
    }
}

TEST(WorkingToLink, UnknownDatabaseOrNoMemoryGivesNull) {
    WorkRecord rec(44);
    rec.Text(AddressField::F_Name, "F").Text(AddressField::L_Name, "L").Text(AddressField::F_Name_Yomi, "f");
    LinkInfo info(DeviceFields(7));
    TestHeap heap;
    for (uint32_t dbId : {0u, 3u, 15u})
        EXPECT_EQ(ConvertToLinkRecord(kNewModel, dbId, rec.get(), heap.get(), info.get()), nullptr) << dbId;
    // The array, three values, then "S_NAME" and "S_YOMI_NAME".
    for (unsigned nth = 1; nth <= 6; ++nth) {
        TestHeap fresh;
        PlatformFailCall("HeapAlloc", nth, 0);
        EXPECT_EQ(ConvertToLinkRecord(kNewModel, 7, rec.get(), fresh.get(), info.get()), nullptr) << nth;
        PlatformClearFaults();
    }
    EXPECT_NE(ConvertToLinkRecord(kNewModel, 7, rec.get(), heap.get(), info.get()), nullptr);
}

}  // namespace
