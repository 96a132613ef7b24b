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

struct Converted {
    TestHeap heap;
    WorkingField* fields = nullptr;
    uint32_t count = 0;
};

void Convert(uint32_t dbId, const LinkInfo& info, const LinkRecord& record, Converted* out,
             ConversionOptions options = kNewModel) {
    out->fields = ConvertLinkToWorking(options, dbId, record.get(), out->heap.get(), info.get());
    out->count = SelectFieldTable(dbId)->fieldCount;
}

void ExpectEmpty(const WorkingField& f, const char* what) {
    EXPECT_EQ(f.size, kWorkingFieldSize) << what;
    EXPECT_EQ(f.length, 0u) << what;
    EXPECT_EQ(f.data, nullptr) << what;
}

TEST(LinkToWorking, ScheduleDatesTimesFlagsAndText) {
    LinkInfo info(DeviceFields(1));
    LinkRecord rec(info);
    rec.Date("S_START_DATE", k31Dec2003)
        .Date("S_END_DATE", k31Dec2003 + 1)
        .Date("S_FIELD_REPEAT_END", 0.0)
        .Date("S_START_TIME", k1745)
        .Date("S_END_TIME", k31Dec2003 + k0930)
        .Date("S_ALARM_TIME", 15 / 1440.0)
        .Text("S_DESCRIPTION4", "Dentist")
        .Text("S_LOCATION", "")
        .Byte("S_ALLDAY_FLAG", 1)
        .Byte("S_REPEAT_COUNT", 4)
        .Set("S_DAYPATTERN", Le(0x0102, 2))
        .Set("S_CONFIDENTIAL1", Le(1, 4));
    Converted c;
    Convert(1, info, rec, &c);
    ASSERT_NE(c.fields, nullptr);
    const WorkingField* f = c.fields;
    EXPECT_EQ(f[ScheduleField::FromDate].length, 4u);
    EXPECT_EQ(UnsignedOf(f[ScheduleField::FromDate]), 20031231u);
    EXPECT_EQ(UnsignedOf(f[ScheduleField::ToDate]), 20040101u);
    // A date of 0 is the number 0, not an empty field.
    EXPECT_EQ(f[ScheduleField::RepeatEndDate].length, 4u);
    EXPECT_EQ(UnsignedOf(f[ScheduleField::RepeatEndDate]), 0u);
    EXPECT_EQ(f[ScheduleField::FromTime].length, 2u);
    EXPECT_EQ(UnsignedOf(f[ScheduleField::FromTime]), 1745u);
    EXPECT_EQ(UnsignedOf(f[ScheduleField::ToTime]), 930u);  // the date part is dropped
    EXPECT_EQ(UnsignedOf(f[ScheduleField::AlarmTime]), 15u);
    EXPECT_EQ(TextOf(f[ScheduleField::Description]), "Dentist");
    EXPECT_EQ(f[ScheduleField::Description].length, 7u);
    ExpectEmpty(f[ScheduleField::Location], "empty text");
    EXPECT_EQ(f[ScheduleField::AllDayFlag].length, 1u);
    EXPECT_EQ(f[ScheduleField::AllDayFlag].data[0], 1);
    EXPECT_EQ(f[ScheduleField::RepeatCount].data[0], 4);
    EXPECT_EQ(f[ScheduleField::DayPattern].length, 2u);
    EXPECT_EQ(UnsignedOf(f[ScheduleField::DayPattern]), 0x0102u);
    EXPECT_EQ(UnsignedOf(f[ScheduleField::Secret]), 1u);
    // Fields the link does not carry, and link fields the record left empty.
    ExpectEmpty(f[ScheduleField::ScheduleID], "ScheduleID");
    ExpectEmpty(f[ScheduleField::AlarmUnit], "AlarmUnit");
    ExpectEmpty(f[ScheduleField::TimeZone], "TimeZone");
    ExpectEmpty(f[ScheduleField::NoteMemo], "NoteMemo");
    for (uint32_t i = 0; i < c.count; ++i) EXPECT_EQ(f[i].size, kWorkingFieldSize) << i;
}

struct PriorityCase {
    uint8_t device;
    uint8_t newModel;
};

TEST(LinkToWorking, ToDoPriorityFoldsOntoThreeLevels) {
    const PriorityCase cases[] = {{0, 1}, {1, 1}, {2, 1}, {3, 2}, {4, 3}, {5, 3}, {200, 3}};
    LinkInfo info(DeviceFields(6));
    for (const PriorityCase& pc : cases) {
        LinkRecord rec(info);
        rec.Byte("S_PRIORITY", pc.device);
        Converted fresh, old;
        Convert(6, info, rec, &fresh, kNewModel);
        Convert(6, info, rec, &old, kOldModel);
        ASSERT_NE(fresh.fields, nullptr);
        ASSERT_NE(old.fields, nullptr);
        EXPECT_EQ(fresh.fields[ToDoField::Priority].length, 1u);
        EXPECT_EQ(fresh.fields[ToDoField::Priority].data[0], pc.newModel) << int(pc.device);
        EXPECT_EQ(old.fields[ToDoField::Priority].data[0], pc.device) << int(pc.device);
    }
}

TEST(LinkToWorking, ToDoDatesAreCrossWired) {
    LinkInfo info(DeviceFields(6));
    LinkRecord rec(info);
    rec.Date("S_END_DATE", k31Dec2003)
        .Date("S_COMPLETION_DATE", k15Apr2003)
        .Date("S_START_DATE", 0.0)
        .Text("S_DESCRIPTION3", "Taxes")
        .Byte("S_COMPLETED", 1);
    Converted c;
    Convert(6, info, rec, &c);
    ASSERT_NE(c.fields, nullptr);
    EXPECT_EQ(UnsignedOf(c.fields[ToDoField::DueDate]), 20031231u);
    EXPECT_EQ(UnsignedOf(c.fields[ToDoField::EndDate]), 20030415u);
    EXPECT_EQ(c.fields[ToDoField::StartDate].length, 4u);
    EXPECT_EQ(UnsignedOf(c.fields[ToDoField::StartDate]), 0u);
    EXPECT_EQ(TextOf(c.fields[ToDoField::Description]), "Taxes");
    EXPECT_EQ(c.fields[ToDoField::FinishFlag].data[0], 1);
}

TEST(LinkToWorking, AddressBookTextAndDates) {
    LinkInfo info(DeviceFields(7));
    LinkRecord rec(info);
    rec.Text("S_FIRST_NAME", "Ada")
        .Text("S_LAST_NAME", "Lovelace")
        .Text("S_HOME_PHONE_MOBILE", "555-0101")
        .Text("S_NOTE1", "line1\nline2")
        .Text("S_BUSINESS_WEBPAGE", "http://example.org/")
        .Text("S_NAME", "Lovelace, Ada")
        .Date("S_BIRTHDAY", 27534.0)
        .Date("S_ANIVERSARY", 40330.0);
    Converted c;
    Convert(7, info, rec, &c);
    ASSERT_NE(c.fields, nullptr);
    EXPECT_EQ(TextOf(c.fields[AddressField::F_Name]), "Ada");
    EXPECT_EQ(TextOf(c.fields[AddressField::L_Name]), "Lovelace");
    EXPECT_EQ(TextOf(c.fields[AddressField::HomeMb]), "555-0101");
    EXPECT_EQ(TextOf(c.fields[AddressField::NoteMemo]), "line1\nline2");
    EXPECT_EQ(TextOf(c.fields[AddressField::URL]), "http://example.org/");
    EXPECT_EQ(UnsignedOf(c.fields[AddressField::Birthday]), 19750520u);
    EXPECT_EQ(UnsignedOf(c.fields[AddressField::Aniversary]), 20100601u);
    for (uint32_t id : {AddressField::SMS, AddressField::Custom1, AddressField::Custom2, AddressField::Custom3,
                        AddressField::Custom4, AddressField::M_Name})
        ExpectEmpty(c.fields[id], "no value");
}

TEST(LinkToWorking, MemoTimeStampBecomesFourteenCharacterText) {
    LinkInfo info(DeviceFields(8));
    LinkRecord rec(info);
    rec.Text("S_PAGE_TITLE", "Shopping").Date("S_START_DATETIME", k15Apr2003 + k0930).Date("S_CREATION_DATETIME", 1.5);
    Converted c;
    Convert(8, info, rec, &c);
    ASSERT_NE(c.fields, nullptr);
    EXPECT_EQ(TextOf(c.fields[MemoField::TimeStamp]), "20030415093000");
    EXPECT_EQ(c.fields[MemoField::TimeStamp].length, 14u);
    EXPECT_EQ(TextOf(c.fields[MemoField::Title]), "Shopping");
}

TEST(LinkToWorking, DateZeroInATextFieldIsTheTextZero) {
    LinkInfo info(DeviceFields(8));
    LinkRecord rec(info);
    rec.Date("S_START_DATETIME", 0.0);
    Converted c;
    Convert(8, info, rec, &c);
    ASSERT_NE(c.fields, nullptr);
    EXPECT_EQ(c.fields[MemoField::TimeStamp].length, 1u);
    EXPECT_EQ(TextOf(c.fields[MemoField::TimeStamp]), "0");
}

TEST(LinkToWorking, MailReceivedDateReplacesSendDate) {
    LinkInfo info(DeviceFields(16));
    LinkRecord rec(info);
    rec.Date("S_SEND_DATE", k31Dec2003 + k0930)
        .Date("S_RECEIVED_DATE", k15Apr2003 + k1745)
        .Text("S_SUBJECT", "Hello")
        .Set("S_FOLDERID", Le(2, 4))
        .Byte("S_PRIORITY", 5)
        .Byte("S_IS_READ", 1);
    Converted c;
    Convert(16, info, rec, &c);
    ASSERT_NE(c.fields, nullptr);
    EXPECT_EQ(TextOf(c.fields[MailField::SendDate]), "20030415174500");
    ExpectEmpty(c.fields[MailField::RecvDate], "RecvDate has no link field");
    EXPECT_EQ(TextOf(c.fields[MailField::Subject]), "Hello");
    EXPECT_EQ(UnsignedOf(c.fields[MailField::FolderID]), 2u);
    // Only the ToDo priority is remapped.
    EXPECT_EQ(c.fields[MailField::Priority].data[0], 5);
    EXPECT_EQ(c.fields[MailField::IsRead].data[0], 1);
    for (uint32_t id : {MailField::MailAddress, MailField::MessageID, MailField::ServiceCenterAddress,
                        MailField::PDU, MailField::Replytoaddr, MailField::FromMail})
        ExpectEmpty(c.fields[id], "device-only field");
}

TEST(LinkToWorking, EmptyOrAbsentReceivedDateOverridesTheSendDateLength) {
    LinkInfo info(DeviceFields(16));
    {
        LinkRecord rec(info);
        rec.Date("S_SEND_DATE", k31Dec2003).Text("S_RECEIVED_DATE", "");
        Converted c;
        Convert(16, info, rec, &c);
        ASSERT_NE(c.fields, nullptr);
        EXPECT_EQ(c.fields[MailField::SendDate].length, 0u);
    }
    {
        LinkRecord rec(info);
        rec.Date("S_SEND_DATE", k31Dec2003).Absent("S_RECEIVED_DATE");
        Converted c;
        Convert(16, info, rec, &c);
        ASSERT_NE(c.fields, nullptr);
        EXPECT_EQ(c.fields[MailField::SendDate].length, 0xFFFFFFFFu);
    }
    {
        LinkRecord rec(info);
        rec.Absent("S_SEND_DATE").Date("S_RECEIVED_DATE", k31Dec2003);
        Converted c;
        Convert(16, info, rec, &c);
        ASSERT_NE(c.fields, nullptr);
        EXPECT_EQ(TextOf(c.fields[MailField::SendDate]), "20031231000000");
    }
}

TEST(LinkToWorking, AbsentValueStaysAbsent) {
    LinkInfo info(DeviceFields(1));
    LinkRecord rec(info);
    rec.Absent("S_DESCRIPTION4").Absent("S_START_DATE").Absent("S_ALLDAY_FLAG");
    Converted c;
    Convert(1, info, rec, &c);
    ASSERT_NE(c.fields, nullptr);
    for (uint32_t id : {ScheduleField::Description, ScheduleField::FromDate, ScheduleField::AllDayFlag}) {
        EXPECT_EQ(c.fields[id].length, 0xFFFFFFFFu) << id;
        EXPECT_EQ(c.fields[id].data, nullptr) << id;
    }
}

TEST(LinkToWorking, LinkFieldTheDeviceDoesNotListLeavesItsFieldEmpty) {
    std::vector<std::pair<std::string, uint32_t>> fields = DeviceFields(1);
    std::vector<std::pair<std::string, uint32_t>> without;
    for (const auto& f : fields)
        if (f.first != "S_START_DATE") without.push_back(f);
    LinkInfo info(without);
    LinkRecord rec(info);
    rec.Date("S_END_DATE", k31Dec2003).Text("S_CATEGORY", "Work");
    Converted c;
    Convert(1, info, rec, &c);
    ASSERT_NE(c.fields, nullptr);
    ExpectEmpty(c.fields[ScheduleField::FromDate], "unlisted");
    EXPECT_EQ(UnsignedOf(c.fields[ScheduleField::ToDate]), 20031231u);
    EXPECT_EQ(TextOf(c.fields[ScheduleField::Category]), "Work");
}

TEST(LinkToWorking, LinkNamesAreMatchedWithCase) {
    LinkInfo info({{"s_description3", kText}, {"S_NOTEMEMO", kText}});
    LinkRecord rec(info);
    rec.Text("s_description3", "lower").Text("S_NOTEMEMO", "upper");
    Converted c;
    Convert(6, info, rec, &c);
    ASSERT_NE(c.fields, nullptr);
    ExpectEmpty(c.fields[ToDoField::Description], "lower-case link name");
    EXPECT_EQ(TextOf(c.fields[ToDoField::Note]), "upper");
}

TEST(LinkToWorking, DateFeedingAFlagOrSmallNumberStoresNothing) {
    LinkInfo info({{"S_COMPLETED", kDate}, {"S_PRIORITY", kTime}});
    LinkRecord rec(info);
    rec.Date("S_COMPLETED", k31Dec2003).Date("S_PRIORITY", k1745);
    Converted c;
    Convert(6, info, rec, &c);
    ASSERT_NE(c.fields, nullptr);
    ExpectEmpty(c.fields[ToDoField::FinishFlag], "flag");
    ExpectEmpty(c.fields[ToDoField::Priority], "small number");
}

TEST(LinkToWorking, DateTimeIntoNumberAndTimeIntoText) {
    // Unusual pairings follow the device field's type: the text of the date
    // read as a number, or kept as text.
    LinkInfo info({{"S_START_DATE", kDateTime}, {"S_DESCRIPTION3", kTime}, {"S_END_DATE", kTime}});
    LinkRecord rec(info);
    rec.Date("S_START_DATE", k31Dec2003).Date("S_DESCRIPTION3", k1745).Date("S_END_DATE", k0930);
    Converted c;
    Convert(6, info, rec, &c);
    ASSERT_NE(c.fields, nullptr);
    EXPECT_EQ(TextOf(c.fields[ToDoField::Description]), "1745");
    EXPECT_EQ(UnsignedOf(c.fields[ToDoField::DueDate]), 930u);
    // 20031231000000 does not fit 32 bits: its low 32 bits are kept.
    EXPECT_EQ(UnsignedOf(c.fields[ToDoField::StartDate]), static_cast<uint32_t>(20031231000000ULL));
}

TEST(LinkToWorking, DateOutsideTheCalendarIsDefined) {
    LinkInfo info(DeviceFields(8));
    LinkRecord rec(info);
    rec.Date("S_START_DATETIME", 1e12);
    Converted c;
    Convert(8, info, rec, &c);
    ASSERT_NE(c.fields, nullptr);
    EXPECT_EQ(TextOf(c.fields[MemoField::TimeStamp]), "Invalid DateTime");

    LinkInfo todo(DeviceFields(6));
    LinkRecord date(todo);
    date.Date("S_END_DATE", -1e9);
    Converted d;
    Convert(6, todo, date, &d);
    ASSERT_NE(d.fields, nullptr);
    EXPECT_EQ(d.fields[ToDoField::DueDate].length, 4u);
    EXPECT_EQ(UnsignedOf(d.fields[ToDoField::DueDate]), 0u);
}

TEST(LinkToWorking, UnknownDatabaseGivesNoFields) {
    LinkInfo info(DeviceFields(1));
    LinkRecord rec(info);
    TestHeap heap;
    for (uint32_t dbId : {0u, 2u, 15u, 17u})
        EXPECT_EQ(ConvertLinkToWorking(kNewModel, dbId, rec.get(), heap.get(), info.get()), nullptr) << dbId;
}

TEST(LinkToWorking, OutOfMemoryGivesNull) {
    LinkInfo info(DeviceFields(1));
    LinkRecord rec(info);
    rec.Text("S_DESCRIPTION4", "x").Date("S_START_DATE", k31Dec2003);
    for (unsigned nth = 1; nth <= 3; ++nth) {
        TestHeap heap;
        PlatformFailCall("HeapAlloc", nth, 0);
        EXPECT_EQ(ConvertLinkToWorking(kNewModel, 1, rec.get(), heap.get(), info.get()), nullptr) << nth;
        PlatformClearFaults();
    }
    TestHeap heap;
    EXPECT_NE(ConvertLinkToWorking(kNewModel, 1, rec.get(), heap.get(), info.get()), nullptr);
}

}  // namespace
