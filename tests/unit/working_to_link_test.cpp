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
constexpr double kOneMinute = 1 / 1440.0;

class Sent {
public:
    Sent(uint32_t dbId, const WorkRecord& record, ConversionOptions options = kNewModel)
        : Sent(dbId, record, DeviceFields(dbId), options) {}
    Sent(uint32_t dbId, const WorkRecord& record, const std::vector<std::pair<std::string, uint32_t>>& fields,
         ConversionOptions options = kNewModel)
        : info_(fields) {
        slots_ = ConvertToLinkRecord(options, dbId, record.get(), heap_.get(), info_.get());
    }
    bool ok() const { return slots_ != nullptr; }
    const _tagDVXFIELD& operator[](const std::string& name) const {
        static const _tagDVXFIELD kMissing{0, 0xDEADBEEFu, nullptr};
        int j = info_.Position(name);
        EXPECT_GE(j, 0) << name;
        return j < 0 ? kMissing : slots_[j];
    }
    const LinkInfo& info() const { return info_; }
    const _tagDVXFIELD* slots() const { return slots_; }

private:
    TestHeap heap_;
    LinkInfo info_;
    _tagDVXFIELD* slots_ = nullptr;
};

void ExpectDate(const _tagDVXFIELD& slot, double expected, const char* what) {
    EXPECT_EQ(slot.length, 8u) << what;
    EXPECT_NEAR(DateOf(slot), expected, 1e-9) << what;
}

void ExpectZeroDate(const _tagDVXFIELD& slot, const char* what) {
    ASSERT_EQ(slot.length, 8u) << what;
    ASSERT_NE(slot.data, nullptr) << what;
    for (int b = 0; b < 8; ++b) EXPECT_EQ(slot.data[b], 0) << what;
}

void ExpectEmpty(const _tagDVXFIELD& slot, const char* what) {
    EXPECT_EQ(slot.length, 0u) << what;
    EXPECT_EQ(slot.data, nullptr) << what;
}

TEST(WorkingToLink, ScheduleDatesAndTimesBecomeOleDates) {
    WorkRecord rec(23);
    rec.Number(ScheduleField::FromDate, 20031231)
        .Number(ScheduleField::ToDate, 20040101)
        .Number(ScheduleField::RepeatEndDate, 0)
        .Short(ScheduleField::FromTime, 1745)
        .Short(ScheduleField::ToTime, 0)
        .Short(ScheduleField::AlarmTime, -1)
        .Number(ScheduleField::ScheduleID, 77)
        .Byte(ScheduleField::AlarmUnit, 2)
        .Text(ScheduleField::Description, "Dentist")
        .Byte(ScheduleField::AllDayFlag, 1)
        .Byte(ScheduleField::EventFlag, 0)
        .Short(ScheduleField::DayPattern, 0x41);
    Sent s(1, rec);
    ASSERT_TRUE(s.ok());
    ExpectDate(s["S_START_DATE"], k31Dec2003, "date");
    ExpectDate(s["S_END_DATE"], k31Dec2003 + 1, "next day");
    ExpectEmpty(s["S_FIELD_REPEAT_END"], "date 0 is no date");
    ExpectDate(s["S_START_TIME"], k1745, "17:45 on 30 December 1899");
    ExpectZeroDate(s["S_END_TIME"], "time 0 is midnight, not empty");
    ExpectDate(s["S_ALARM_TIME"], kOneMinute, "time -1 reads as 00:01");
    EXPECT_EQ(TextOf(s["S_DESCRIPTION4"]), "Dentist");
    EXPECT_EQ(s["S_ALLDAY_FLAG"].length, 4u);
    EXPECT_EQ(UnsignedOf(s["S_ALLDAY_FLAG"]), 1u);
    EXPECT_EQ(s["S_EVENT_FLAG"].length, 4u);
    EXPECT_EQ(UnsignedOf(s["S_EVENT_FLAG"]), 0u);
    EXPECT_EQ(s["S_DAYPATTERN"].length, 4u);  // a byte field takes up to 4 bytes
    EXPECT_EQ(UnsignedOf(s["S_DAYPATTERN"]), 0x41u);
    // Nothing else is sent, and every slot carries its own size.
    ExpectEmpty(s["S_LOCATION"], "not written");
    for (uint32_t j = 0; j < s.info().count(); ++j) EXPECT_EQ(s.slots()[j].size, kLinkFieldSize) << j;
}

TEST(WorkingToLink, DateNumberGivesTheSameValueAsDateOrDateTime) {
    WorkRecord rec(9);
    rec.Number(ToDoField::DueDate, 20031231).Number(ToDoField::StartDate, 20031231);
    Sent s(6, rec, {{"S_END_DATE", kDate}, {"S_START_DATE", kDateTime}});
    ASSERT_TRUE(s.ok());
    ExpectDate(s["S_END_DATE"], k31Dec2003, "type 5");
    ExpectDate(s["S_START_DATE"], k31Dec2003, "type 7");
}

TEST(WorkingToLink, ToDoWithoutDueDateSendsEightZeroBytes) {
    WorkRecord rec(9);
    rec.Number(ToDoField::DueDate, -1).Number(ToDoField::EndDate, 20030415).Text(ToDoField::Description, "Taxes");
    Sent s(6, rec);
    ASSERT_TRUE(s.ok());
    ExpectZeroDate(s["S_END_DATE"], "due date -1");
    ExpectDate(s["S_COMPLETION_DATE"], k15Apr2003, "EndDate goes to the completion date");
    EXPECT_EQ(TextOf(s["S_DESCRIPTION3"]), "Taxes");
}

struct PriorityCase {
    uint8_t host;
    uint32_t newModel;
};

TEST(WorkingToLink, ToDoPriorityUnfoldsOntoTheDeviceScale) {
    const PriorityCase cases[] = {{0, 2}, {1, 2}, {2, 3}, {3, 4}, {5, 4}};
    for (const PriorityCase& pc : cases) {
        WorkRecord rec(9);
        rec.Byte(ToDoField::Priority, pc.host);
        Sent fresh(6, rec, kNewModel), old(6, rec, kOldModel);
        ASSERT_TRUE(fresh.ok() && old.ok());
        EXPECT_EQ(fresh["S_PRIORITY"].length, 4u);
        EXPECT_EQ(UnsignedOf(fresh["S_PRIORITY"]), pc.newModel) << int(pc.host);
        EXPECT_EQ(UnsignedOf(old["S_PRIORITY"]), pc.host) << int(pc.host);
    }
}

TEST(WorkingToLink, MemoTimeStampGetsZeroSeconds) {
    WorkRecord rec(5);
    rec.Text(MemoField::TimeStamp, "200304150930").Text(MemoField::Title, "Shopping").Number(MemoField::Secret, 1);
    Sent s(8, rec);
    ASSERT_TRUE(s.ok());
    ExpectDate(s["S_START_DATETIME"], k15Apr2003 + k0930, "time stamp");
    EXPECT_EQ(TextOf(s["S_PAGE_TITLE"]), "Shopping");
    EXPECT_EQ(UnsignedOf(s["S_CONFIDENTIAL1"]), 1u);
    ExpectEmpty(s["S_CREATION_DATETIME"], "link-only");
}

struct TextDateCase {
    const char* text;
    double expected;  // -1: eight zero bytes; -2: empty
};

TEST(WorkingToLink, DateTimeTextsAndTheirValidity) {
    const TextDateCase cases[] = {
        {"20030415093000", k15Apr2003 + k0930},
        {"20030415093059", k15Apr2003 + k0930 + 59 / 86400.0},
        {"00000000000000", -2},
        {"000000000000", -1},          // short, so padded: month 0
        {"20031331000000", -1},        // month 13
        {"20030230000000", -1},        // 30 February
        {"19000229000000", -1},        // 1900 is not a leap year
        {"20000229000000", 36585.0},   // 2000 is
        {"20030415240000", -1},        // hour 24
        {"20030415236000", -1},        // minute 60
        {"00991231000000", -1},        // before year 100
        {"2003", -1},                  // padded: month 0
    };
    for (const TextDateCase& tc : cases) {
        WorkRecord rec(5);
        rec.Text(MemoField::TimeStamp, tc.text);
        Sent s(8, rec);
        ASSERT_TRUE(s.ok());
        if (tc.expected == -2)
            ExpectEmpty(s["S_START_DATETIME"], tc.text);
        else if (tc.expected == -1)
            ExpectZeroDate(s["S_START_DATETIME"], tc.text);
        else
            ExpectDate(s["S_START_DATETIME"], tc.expected, tc.text);
    }
}

TEST(WorkingToLink, MailSendDateFeedsBothLinkDates) {
    WorkRecord rec(26);
    rec.Text(MailField::SendDate, "20030415093000")
        .Text(MailField::RecvDate, "20040101000000")
        .Text(MailField::MailAddress, "a@example.org")
        .Text(MailField::Subject, "Hello")
        .Number(MailField::FolderID, 3)
        .Byte(MailField::Priority, 5)
        .Byte(MailField::IsRead, 1);
    Sent s(16, rec);
    ASSERT_TRUE(s.ok());
    ExpectDate(s["S_SEND_DATE"], k15Apr2003 + k0930, "send");
    ExpectDate(s["S_RECEIVED_DATE"], k15Apr2003 + k0930, "received");
    EXPECT_EQ(TextOf(s["S_SUBJECT"]), "Hello");
    EXPECT_EQ(UnsignedOf(s["S_FOLDERID"]), 3u);
    EXPECT_EQ(UnsignedOf(s["S_PRIORITY"]), 5u);  // E-mail priority is not remapped
    EXPECT_EQ(s["S_IS_READ"].length, 4u);
    EXPECT_EQ(UnsignedOf(s["S_IS_READ"]), 1u);
    for (const char* linkOnly : {"S_SIZE", "S_MAILID", "S_MAILINFO", "S_CONFIDENTIAL1"}) ExpectEmpty(s[linkOnly], linkOnly);
}

TEST(WorkingToLink, EmptyAndAbsentValuesKeepTheirKind) {
    WorkRecord rec(26);
    rec.Text(MailField::Subject, "").Absent(MailField::Body).Absent(MailField::SendDate).Absent(MailField::IsRead);
    Sent s(16, rec);
    ASSERT_TRUE(s.ok());
    ExpectEmpty(s["S_SUBJECT"], "empty");
    EXPECT_EQ(s["S_BODY"].length, 0xFFFFFFFFu);
    EXPECT_EQ(s["S_SEND_DATE"].length, 0xFFFFFFFFu);
    EXPECT_EQ(s["S_RECEIVED_DATE"].length, 0xFFFFFFFFu);
    EXPECT_EQ(s["S_IS_READ"].length, 0xFFFFFFFFu);
    EXPECT_EQ(s["S_IS_READ"].data, nullptr);
}

TEST(WorkingToLink, TypeOneFieldTakesAtMostFourBytes) {
    WorkRecord rec(9);
    rec.Text(ToDoField::Description, "abcdefgh").Number(ToDoField::Secret, 0x01020304);
    Sent s(6, rec, {{"S_DESCRIPTION3", kByte}, {"S_CONFIDENTIAL1", kByte}});
    ASSERT_TRUE(s.ok());
    EXPECT_EQ(TextOf(s["S_DESCRIPTION3"]), "abcd");
    EXPECT_EQ(UnsignedOf(s["S_CONFIDENTIAL1"]), 0x01020304u);
}

struct NameCase {
    const char* first;
    const char* middle;
    const char* last;
    ConversionOptions options;
    const char* expected;
};

TEST(WorkingToLink, AddressBookComposesTheFullName) {
    const NameCase cases[] = {
        {"F", "M", "L", kNewModel, "L, F M"},
        {"F", "", "L", kNewModel, "L, F"},
        {"F", "", "", kNewModel, "F "},
        {"", "", "L", kNewModel, "L"},
        {"", "M", "L", kNewModel, "M L"},
        {"F", "M", "", kNewModel, "F M "},
        {"", "", "", kNewModel, ""},
        {"F", "M", "L", kFamilyFirst, "L M F"},
        {"F", "", "L", kFamilyFirst, "L F"},
        {"", "", "L", kFamilyFirst, "L "},
        {"Taro", "", "Yamada", kFamilyFirst, "Yamada Taro"},
    };
    for (const NameCase& nc : cases) {
        WorkRecord rec(44);
        rec.Text(AddressField::F_Name, nc.first).Text(AddressField::M_Name, nc.middle).Text(AddressField::L_Name, nc.last);
        Sent s(7, rec, nc.options);
        ASSERT_TRUE(s.ok());
        EXPECT_EQ(TextOf(s["S_NAME"]), nc.expected) << nc.first << "|" << nc.middle << "|" << nc.last;
        EXPECT_EQ(s["S_NAME"].length, strlen(nc.expected));
    }
}

TEST(WorkingToLink, AbsentNamePartSendsTheFullNameEmpty) {
    WorkRecord rec(44);
    rec.Absent(AddressField::F_Name).Text(AddressField::L_Name, "L").Text(AddressField::M_Name, "M");
    Sent s(7, rec);
    ASSERT_TRUE(s.ok());
    ExpectEmpty(s["S_NAME"], "first name absent");
    EXPECT_EQ(s["S_FIRST_NAME"].length, 0xFFFFFFFFu);
}

TEST(WorkingToLink, AddressBookComposesTheReadingName) {
    WorkRecord rec(44);
    rec.Text(AddressField::F_Name_Yomi, "taro").Text(AddressField::L_Name_Yomi, "yamada");
    Sent s(7, rec);
    ASSERT_TRUE(s.ok());
    EXPECT_EQ(TextOf(s["S_YOMI_NAME"]), "yamada taro");

    WorkRecord firstOnly(44);
    firstOnly.Text(AddressField::F_Name_Yomi, "taro");
    Sent f(7, firstOnly);
    EXPECT_EQ(TextOf(f["S_YOMI_NAME"]), "taro");

    WorkRecord absent(44);
    absent.Text(AddressField::F_Name_Yomi, "taro").Absent(AddressField::L_Name_Yomi);
    Sent a(7, absent);
    ExpectEmpty(a["S_YOMI_NAME"], "reading of the last name absent");
}

TEST(WorkingToLink, FullNameFieldIsFoundWithoutRegardToCase) {
    std::vector<std::pair<std::string, uint32_t>> fields = {
        {"S_FIRST_NAME", kText}, {"S_LAST_NAME", kText}, {"S_MIDDLE_NAME", kText},
        {"S_Name", kText},       {"s_name", kText},      {"S_NAMES", kText}};
    WorkRecord rec(44);
    rec.Text(AddressField::F_Name, "F").Text(AddressField::L_Name, "L");
    Sent s(7, rec, fields);
    ASSERT_TRUE(s.ok());
    ExpectEmpty(s["S_Name"], "an earlier match");
    EXPECT_EQ(TextOf(s["s_name"]), "L, F");  // the last match counts
    ExpectEmpty(s["S_NAMES"], "another name");
}

TEST(WorkingToLink, OnlyAddressBookComposesNames) {
    // A ToDo whose device listed "S_NAME" leaves it alone.
    WorkRecord rec(9);
    rec.Text(ToDoField::Description, "x");
    Sent s(6, rec, {{"S_DESCRIPTION3", kText}, {"S_NAME", kText}});
    ASSERT_TRUE(s.ok());
    ExpectEmpty(s["S_NAME"], "not composed");
}

TEST(WorkingToLink, AddressBookLinkOnlyFieldsAreSentEmpty) {
    WorkRecord rec(44);
    rec.Text(AddressField::F_Name, "Ada").Text(AddressField::Custom1, "c1").Text(AddressField::SMS, "sms");
    rec.Number(AddressField::Birthday, 19750520);
    Sent s(7, rec);
    ASSERT_TRUE(s.ok());
    for (const char* name : {"S_HOME_PHONE2", "S_HOME_ADDRESS", "S_BUSINESS_PHONE2", "S_BUSINESS_ADDRESS",
                             "S_ATTACHMENT2", "S_YOMI_MIDDLE_NAME", "SNYOMI_NAME", "SNYOMI_COMPANY"})
        ExpectEmpty(s[name], name);
    ExpectDate(s["S_BIRTHDAY"], 27534.0, "birthday");
    EXPECT_EQ(TextOf(s["S_NAME"]), "Ada ");
}

TEST(WorkingToLink, RecordWithoutFieldsSendsEverythingEmpty) {
    WorkRecord rec(9);
    WorkingRecord bare = *rec.get();
    bare.fields = nullptr;
    TestHeap heap;
    LinkInfo info(DeviceFields(6));
    _tagDVXFIELD* slots = ConvertToLinkRecord(kNewModel, 6, &bare, heap.get(), info.get());
    ASSERT_NE(slots, nullptr);
    for (uint32_t j = 0; j < info.count(); ++j) ExpectEmpty(slots[j], info.NameAt(j));
}

TEST(WorkingToLink, UnknownDatabaseGivesNull) {
    WorkRecord rec(9);
    TestHeap heap;
    LinkInfo info(DeviceFields(6));
    for (uint32_t dbId : {0u, 3u, 15u})
        EXPECT_EQ(ConvertToLinkRecord(kNewModel, dbId, rec.get(), heap.get(), info.get()), nullptr) << dbId;
}

TEST(WorkingToLink, OutOfMemoryGivesNull) {
    WorkRecord rec(44);
    rec.Text(AddressField::F_Name, "F").Text(AddressField::L_Name, "L").Text(AddressField::F_Name_Yomi, "f");
    LinkInfo info(DeviceFields(7));
    // The array, three values, then "S_NAME" and "S_YOMI_NAME".
    for (unsigned nth = 1; nth <= 6; ++nth) {
        TestHeap heap;
        PlatformFailCall("HeapAlloc", nth, 0);
        EXPECT_EQ(ConvertToLinkRecord(kNewModel, 7, rec.get(), heap.get(), info.get()), nullptr) << nth;
        PlatformClearFaults();
    }
    TestHeap heap;
    EXPECT_NE(ConvertToLinkRecord(kNewModel, 7, rec.get(), heap.get(), info.get()), nullptr);
}

}  // namespace
