// A record the host writes, stored on the device and read back: working ->
// link -> working gives the host's values again, except where the device
// schema has no link field or the link form adds precision.
#include "link_records.h"
#include "schema/field_table.h"
#include "schema/record_convert.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace test_records;

// Runs rec through both conversions and returns the fields read back.
class RoundTrip {
public:
    RoundTrip(uint32_t dbId, const WorkRecord& rec, ConversionOptions options = ConversionOptions{0, 0})
        : info_(DeviceFields(dbId)) {
        _tagDVXFIELD* sent = ConvertToLinkRecord(options, dbId, rec.get(), heap_.get(), info_.get());
        EXPECT_NE(sent, nullptr);
        if (sent == nullptr) return;
        linkRecord_ = _tagDVXDBREC{kLinkRecordSize, info_.count(), 9, sent};
        back_ = ConvertLinkToWorking(options, dbId, &linkRecord_, heap_.get(), info_.get());
        EXPECT_NE(back_, nullptr);
    }
    const WorkingField* back() const { return back_; }

private:
    TestHeap heap_;
    LinkInfo info_;
    _tagDVXDBREC linkRecord_{};
    WorkingField* back_ = nullptr;
};

// Every field of the record must come back as written, except those listed
// in changed (id -> expected bytes, or absent from the map and empty).
void ExpectSameExcept(uint32_t dbId, const WorkRecord& written, const WorkingField* back,
                      const std::map<uint32_t, std::string>& changed) {
    ASSERT_NE(back, nullptr);
    const FieldTable& table = *SelectFieldTable(dbId);
    for (uint32_t i = 0; i < table.fieldCount; ++i) {
        const WorkingField& in = written.get()->fields[i];
        const WorkingField& out = back[i];
        auto it = changed.find(i);
        if (it != changed.end()) {
            EXPECT_EQ(TextOf(out), it->second) << table.descriptors[i].name;
            continue;
        }
        EXPECT_EQ(out.length, in.length) << table.descriptors[i].name;
        EXPECT_EQ(TextOf(out), TextOf(in)) << table.descriptors[i].name;
    }
}

TEST(RecordRoundTrip, Schedule) {
    WorkRecord rec(23);
    rec.Number(ScheduleField::ScheduleID, 1234)
        .Byte(ScheduleField::RepeatFlag, 1)
        .Number(ScheduleField::FromDate, 20031231)
        .Number(ScheduleField::ToDate, 20040229)
        .Short(ScheduleField::FromTime, 1745)
        .Short(ScheduleField::ToTime, 2359)
        .Text(ScheduleField::Description, "Dentist")
        .Text(ScheduleField::Location, "Main St. 5")
        .Byte(ScheduleField::AllDayFlag, 0)
        .Byte(ScheduleField::EventFlag, 1)
        .Byte(ScheduleField::AlarmFlag, 1)
        .Short(ScheduleField::AlarmTime, 30)
        .Byte(ScheduleField::AlarmUnit, 1)
        .Byte(ScheduleField::RepeatPeriod, 2)
        .Byte(ScheduleField::RepeatCount, 3)
        .Text(ScheduleField::NoteMemo, "bring card\nand cash")
        .Byte(ScheduleField::DeleteFlag, 0)
        .Number(ScheduleField::Secret, 1)
        .Text(ScheduleField::Category, "Health")
        .Byte(ScheduleField::SilentLoud, 1)
        .Short(ScheduleField::TimeZone, 9)
        .Short(ScheduleField::DayPattern, 0x3E)
        .Number(ScheduleField::RepeatEndDate, 20041231);
    RoundTrip rt(1, rec);
    // Flags and small numbers travel as 4 bytes and come back as 4; the
    // three fields without a link counterpart come back empty.
    ExpectSameExcept(1, rec, rt.back(),
                     {{ScheduleField::ScheduleID, ""},
                      {ScheduleField::AlarmUnit, ""},
                      {ScheduleField::TimeZone, ""},
                      {ScheduleField::RepeatFlag, std::string("\1\0\0\0", 4)},
                      {ScheduleField::AllDayFlag, std::string("\0\0\0\0", 4)},
                      {ScheduleField::EventFlag, std::string("\1\0\0\0", 4)},
                      {ScheduleField::AlarmFlag, std::string("\1\0\0\0", 4)},
                      {ScheduleField::RepeatPeriod, std::string("\2\0\0\0", 4)},
                      {ScheduleField::RepeatCount, std::string("\3\0\0\0", 4)},
                      {ScheduleField::DeleteFlag, std::string("\0\0\0\0", 4)},
                      {ScheduleField::SilentLoud, std::string("\1\0\0\0", 4)},
                      {ScheduleField::DayPattern, std::string("\x3E\0\0\0", 4)}});
}

TEST(RecordRoundTrip, ToDoPriorityComesBackOnTheHostScale) {
    for (uint8_t priority : {1, 2, 3}) {
        WorkRecord rec(9);
        rec.Number(ToDoField::DueDate, 20030415)
            .Text(ToDoField::Description, "Taxes")
            .Byte(ToDoField::FinishFlag, 1)
            .Byte(ToDoField::Priority, priority)
            .Text(ToDoField::Note, "form B")
            .Text(ToDoField::Category, "Home")
            .Number(ToDoField::Secret, 0)
            .Number(ToDoField::StartDate, 20030401)
            .Number(ToDoField::EndDate, 20030416);
        RoundTrip rt(6, rec);
        ExpectSameExcept(6, rec, rt.back(),
                         {{ToDoField::FinishFlag, std::string("\1\0\0\0", 4)},
                          {ToDoField::Priority, std::string(1, static_cast<char>(priority)) + std::string(3, '\0')}});
    }
}

TEST(RecordRoundTrip, ToDoWithoutDueDateComesBackAsZero) {
    WorkRecord rec(9);
    rec.Number(ToDoField::DueDate, -1).Text(ToDoField::Description, "Someday");
    RoundTrip rt(6, rec);
    ExpectSameExcept(6, rec, rt.back(), {{ToDoField::DueDate, std::string("\0\0\0\0", 4)}});
}

TEST(RecordRoundTrip, AddressBook) {
    WorkRecord rec(44);
    const FieldTable& table = *SelectFieldTable(7);
    std::map<uint32_t, std::string> changed;
    for (uint32_t i = 0; i < table.fieldCount; ++i) {
        if (table.descriptors[i].fieldType == kFieldTypeText) rec.Text(i, std::string("v_") + table.descriptors[i].name);
    }
    rec.Number(AddressField::Secret, 1).Number(AddressField::Birthday, 19750520).Number(AddressField::Aniversary, 0);
    for (uint32_t id : {AddressField::SMS, AddressField::Custom1, AddressField::Custom2, AddressField::Custom3,
                        AddressField::Custom4})
        changed[id] = "";
    // An anniversary of 0 is not sent, so it comes back empty.
    changed[AddressField::Aniversary] = "";
    RoundTrip rt(7, rec);
    ExpectSameExcept(7, rec, rt.back(), changed);
}

TEST(RecordRoundTrip, MemoTimeStampGainsSeconds) {
    WorkRecord rec(5);
    rec.Text(MemoField::Title, "Shopping")
        .Text(MemoField::TimeStamp, "200304150930")
        .Text(MemoField::NoteText, "milk\neggs")
        .Text(MemoField::Category, "Home")
        .Number(MemoField::Secret, 0);
    RoundTrip rt(8, rec);
    ExpectSameExcept(8, rec, rt.back(), {{MemoField::TimeStamp, "20030415093000"}});
}

TEST(RecordRoundTrip, Mail) {
    WorkRecord rec(26);
    rec.Text(MailField::MailAddress, "me@example.org")
        .Number(MailField::FolderID, 1)
        .Byte(MailField::Type, 0)
        .Text(MailField::To, "you@example.org")
        .Text(MailField::From, "me@example.org")
        .Text(MailField::Cc, "")
        .Text(MailField::Subject, "Hello")
        .Text(MailField::Body, "Hi,\nsee you.")
        .Text(MailField::SendDate, "20031231235959")
        .Text(MailField::RecvDate, "20040101000001")
        .Byte(MailField::IsRead, 1)
        .Byte(MailField::IsAttachment, 0)
        .Byte(MailField::Priority, 5)
        .Text(MailField::AttachmentInfo, "a.txt");
    RoundTrip rt(16, rec);
    ExpectSameExcept(16, rec, rt.back(),
                     {{MailField::MailAddress, ""},
                      {MailField::RecvDate, ""},
                      {MailField::Type, std::string("\0\0\0\0", 4)},
                      {MailField::IsRead, std::string("\1\0\0\0", 4)},
                      {MailField::IsAttachment, std::string("\0\0\0\0", 4)},
                      {MailField::Priority, std::string("\5\0\0\0", 4)}});
}

}  // namespace
