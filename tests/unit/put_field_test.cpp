// DIZ_API_PutField: host text into the native values of the write record.
#include "write_record_fixture.h"

#include "app/morvane_app.h"
#include "fields/field_write.h"
#include "platform/platform_test.h"

#include <string>
#include <vector>

namespace {

using Raw = std::vector<uint8_t>;

class PutField : public WriteRecordTest {};

TEST_F(PutField, IdentifiersWithoutANumberAreRejected) {
    Open(kToDoDbId);
    for (const char* id : {"0", "abc", "0.5", ""}) {
        TakeTrace();
        EXPECT_EQ(PutFieldText(id, "x"), -8) << id;
        EXPECT_EQ(TakeTrace(), "***** DIZ_API_PutField('" + std::string(id) + "', 'x')\n" +
                                   "Field ID ('" + id + "') is invalid in this context (converts to 0)\n");
    }
}

TEST_F(PutField, ClearsTheLastErrorOnEntry) {
    Open(kToDoDbId);
    theApp.lastErrorCode = 0x10000099u;
    EXPECT_EQ(PutFieldText("2", "Call Bob"), 0);
    EXPECT_EQ(theApp.lastErrorCode, 0u);
}

TEST_F(PutField, FieldTheDatabaseLacksIsSkipped) {
    Open(kToDoDbId);
    TakeTrace();
    EXPECT_EQ(PutFieldText("99", "x"), 0);
    EXPECT_EQ(TakeTrace(), "***** DIZ_API_PutField('99', 'x')\nQuenda field id 98 not found (qdb:6)\n");
}

TEST_F(PutField, PrefixRulesApplyInEveryDatabase) {
    Open(kAddressDbId);
    EXPECT_EQ(PutFieldText("13", "20031224 home"), 0);
    EXPECT_EQ(Text(AddressField::Fax_H), "20031224 home");
    EXPECT_EQ(g_session.writeState.pendingAlarmDate, 20031224);
}

TEST_F(PutField, StartDatePartAndFieldTwoPrefix) {
    Open(kScheduleDbId);
    g_session.writeState.pendingAlarmTime = 915;
    g_session.writeState.pendingStartTime = 930;
    EXPECT_EQ(PutFieldText("3.D", "20030415"), 0);
    EXPECT_EQ(g_session.writeState.pendingStartDate, 20030415);
    EXPECT_EQ(Bytes(ScheduleField::FromDate), (Raw{0xCF, 0xA3, 0x31, 0x01}));  // 20030415
    EXPECT_EQ(PutFieldText("2.x", "1"), 0);
    EXPECT_EQ(g_session.writeState.pendingAlarmTime, 0);
    EXPECT_EQ(g_session.writeState.pendingStartTime, 0);
}

TEST_F(PutField, EmptyTextFillsOnlyAnUnfilledSlot) {
    Open(kToDoDbId);
    EXPECT_EQ(PutFieldText("2", ""), 0);
    EXPECT_EQ(Slot(ToDoField::Description).length, 0u);
    EXPECT_EQ(Slot(ToDoField::Description).data, nullptr);
    EXPECT_EQ(PutFieldText("5", "bring milk"), 0);
    EXPECT_EQ(PutFieldText("5", ""), 0);
    EXPECT_EQ(Text(ToDoField::Note), "bring milk");
}

TEST_F(PutField, EmptyDueDateMeansNoDueDate) {
    Open(kToDoDbId);
    EXPECT_EQ(PutFieldText("1", ""), 0);
    EXPECT_EQ(Bytes(ToDoField::DueDate), (Raw{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(PutField, EmptyStartTimeMakesTheEntryAllDay) {
    Open(kScheduleDbId);
    EXPECT_EQ(PutFieldText("5", ""), 0);
    EXPECT_EQ(PutFieldText("6", ""), 0);
    EXPECT_EQ(g_session.writeState.allDay, 1);
    EXPECT_EQ(Bytes(ScheduleField::FromTime), (Raw{0, 0}));
    EXPECT_EQ(Bytes(ScheduleField::ToTime), (Raw{0, 0}));
    EXPECT_EQ(PutFieldText("9", "0"), 0);  // AllDayFlag: the text does not count
    EXPECT_EQ(PutFieldText("10", ""), 0);  // EventFlag
    EXPECT_EQ(Bytes(ScheduleField::AllDayFlag), Raw{1});
    EXPECT_EQ(Bytes(ScheduleField::EventFlag), Raw{1});
}

TEST_F(PutField, EmptyEndTimeOfATimedEntry) {
    Open(kScheduleDbId);
    EXPECT_EQ(PutFieldText("5", "930"), 0);
    EXPECT_EQ(PutFieldText("6", ""), 0);
    EXPECT_EQ(g_session.writeState.allDay, 0);
    EXPECT_EQ(g_session.writeState.pendingStartTime, 930);
    EXPECT_EQ(Bytes(ScheduleField::FromTime), (Raw{0xA2, 0x03}));
    EXPECT_EQ(Bytes(ScheduleField::ToTime), (Raw{0xFF, 0xFF}));
    EXPECT_EQ(PutFieldText("9", "1"), 0);
    EXPECT_EQ(Bytes(ScheduleField::AllDayFlag), Raw{0});
}

struct PriorityRow {
    const char* text;
    uint8_t stored;
    int32_t raw;
};
const PriorityRow kPriorityRows[] = {
    {"0", 1, 1},
    {"4", 5, 5},
    {"9", 5, 10},
    {"-3", 0xFE, -2},
};

TEST_F(PutField, PrioritiesRunOneAboveTheHostsUpToFive) {
    for (uint32_t db : {kToDoDbId, kMailDbId}) {
        Open(db);
        const uint32_t field = db == kToDoDbId ? uint32_t{ToDoField::Priority} : uint32_t{MailField::Priority};
        const std::string id = std::to_string(field + 1);
        for (const PriorityRow& row : kPriorityRows) {
            TakeTrace();
            EXPECT_EQ(PutFieldText(id.c_str(), row.text), 0);
            EXPECT_EQ(Bytes(field), Raw{row.stored}) << row.text;
            const int32_t actual = row.raw > 5 ? 5 : row.raw;
            EXPECT_EQ(TakeTrace(), "***** DIZ_API_PutField('" + id + "', '" + row.text + "')\n" +
                                       "Priority field passed in:  " + std::to_string(row.raw - 1) + "\n" +
                                       "Priority field sent to Quenda, raw:  " + std::to_string(row.raw) + "\n" +
                                       "Priority field sent to Quenda, actual:  " + std::to_string(actual) + "\n");
        }
    }
}

TEST_F(PutField, FlagsAreSetOnlyByTheTextOne) {
    Open(kScheduleDbId);
    EXPECT_EQ(PutFieldText("2", "yes"), 0);
    EXPECT_EQ(Bytes(ScheduleField::RepeatFlag), Raw{0});
    EXPECT_EQ(g_session.recordRepeats, 0);
    EXPECT_EQ(PutFieldText("2", "1"), 0);
    EXPECT_EQ(Bytes(ScheduleField::RepeatFlag), Raw{1});
    EXPECT_EQ(g_session.recordRepeats, 1);
    EXPECT_EQ(PutFieldText("11", "1"), 0);
    EXPECT_EQ(g_session.writeState.alarmFlagSet, 1);
    EXPECT_EQ(PutFieldText("20", "0"), 0);  // SilentLoud is always on
    EXPECT_EQ(Bytes(ScheduleField::SilentLoud), Raw{1});
}

TEST_F(PutField, SecretFieldsAndNumbers) {
    Open(kMemoDbId);
    EXPECT_EQ(PutFieldText("5", "1"), 0);
    EXPECT_EQ(Bytes(MemoField::Secret), (Raw{1, 0, 0, 0}));
    EXPECT_EQ(PutFieldText("5", "2"), 0);
    EXPECT_EQ(Bytes(MemoField::Secret), (Raw{0, 0, 0, 0}));
    Open(kMailDbId);
    EXPECT_EQ(PutFieldText("20", "-2"), 0);  // TotalNumber, a plain number
    EXPECT_EQ(Bytes(MailField::TotalNumber), (Raw{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(PutFieldText("13", "0"), 0);  // IsRead
    EXPECT_EQ(Bytes(MailField::IsRead), Raw{0});
    EXPECT_EQ(PutFieldText("13", "yes"), 0);
    EXPECT_EQ(Bytes(MailField::IsRead), Raw{1});
    EXPECT_EQ(PutFieldText("3", "1"), 0);  // Type: filled by the folder, not here
    EXPECT_EQ(Bytes(MailField::Type), Raw{0});
}

TEST_F(PutField, AlarmPartsWaitForTheStore) {
    Open(kScheduleDbId);
    EXPECT_EQ(PutFieldText("12.T", "915"), 0);
    EXPECT_EQ(PutFieldText("12.D", "20030415"), 0);
    EXPECT_EQ(g_session.writeState.pendingAlarmTime, 915);
    EXPECT_EQ(g_session.writeState.pendingAlarmDate, 20030415);
    EXPECT_EQ(Bytes(ScheduleField::AlarmTime), (Raw{0, 0}));
    TakeTrace();
    EXPECT_EQ(PutFieldText("12", "915"), -8);
    EXPECT_EQ(PutFieldText("12.X", "915"), -8);
    EXPECT_EQ(TakeTrace(),
              "***** DIZ_API_PutField('12', '915')\nInvalid field format (1) in schedule/alarm field\n"
              "***** DIZ_API_PutField('12.X', '915')\nInvalid field format (2) in scheule/alarm field\n");
}

TEST_F(PutField, MemoTimeStampFromItsParts) {
    Open(kMemoDbId);
    EXPECT_EQ(PutFieldText("2.T", "0930"), 0);  // no date part since loading
    EXPECT_EQ(Slot(MemoField::TimeStamp).length, 0u);
    EXPECT_EQ(PutFieldText("2.D", "20030415"), 0);
    EXPECT_STREQ(g_session.writeState.memoDateStash, "20030415");
    EXPECT_EQ(PutFieldText("2.T", "0930"), 0);
    EXPECT_EQ(Text(MemoField::TimeStamp), "200304150930");
    TakeTrace();
    EXPECT_EQ(PutFieldText("2", "0930"), -8);
    EXPECT_EQ(TakeTrace(),
              "***** DIZ_API_PutField('2', '0930')\nInvalid field format (1) in memo/timestamp field\n");
    EXPECT_EQ(Text(MemoField::TimeStamp), "200304150930");
}

TEST_F(PutField, MemoNoteRepeatsTheTitleAsItsFirstLine) {
    Open(kMemoDbId);
    EXPECT_EQ(PutFieldText("1", "Shop"), 0);
    EXPECT_EQ(PutFieldText("3", "Hello"), 0);
    EXPECT_EQ(Text(MemoField::NoteText), "Shop\r\nHello");
    Open(kMemoDbId, 7);  // a changed memo whose title the host did not send
    EXPECT_EQ(PutFieldText("3", "Hello"), 0);
    EXPECT_EQ(Text(MemoField::NoteText), "\r\nHello");
}

TEST_F(PutField, MailSendDateFromItsParts) {
    Open(kMailDbId);
    EXPECT_EQ(PutFieldText("11.D", "20030415"), 0);
    EXPECT_EQ(Slot(MailField::SendDate).data, nullptr);
    EXPECT_EQ(PutFieldText("11.T", "0930"), 0);
    EXPECT_EQ(Text(MailField::SendDate), "20030415093000");
    Open(kMailDbId);
    EXPECT_EQ(PutFieldText("11.D", ""), 0);
    EXPECT_EQ(Slot(MailField::SendDate).length, 0u);
    EXPECT_STREQ(g_session.writeState.mailDateStash, "20030415");
    TakeTrace();
    EXPECT_EQ(PutFieldText("11.X", "0930"), -8);
    EXPECT_EQ(PutFieldText("11", "0930"), -8);
    EXPECT_EQ(TakeTrace(),
              "***** DIZ_API_PutField('11.X', '0930')\nInvalid field format (1) in email/timestamp field\n"
              "***** DIZ_API_PutField('11', '0930')\nInvalid field format (1) in email/timestamp field\n");
}

TEST_F(PutField, ChangedRecordKeepsUnwrittenFieldsAbsent) {
    Open(kAddressDbId, 42);
    EXPECT_EQ(PutFieldText("1", "Ada"), 0);
    EXPECT_EQ(Text(AddressField::F_Name), "Ada");
    for (uint32_t id = AddressField::M_Name; id < AddressField::Count; ++id) {
        EXPECT_EQ(Slot(id).length, kValueAbsent) << id;
    }
}

TEST_F(PutField, ExhaustedHeapFailsTheWrite) {
    Open(kToDoDbId);
    PlatformFailCall("HeapAlloc", 1, 0);
    TakeTrace();
    EXPECT_EQ(PutFieldText("2", "Call Bob"), -9);
    PlatformClearFaults();
    EXPECT_EQ(theApp.lastErrorCode, 0x10000004u);
    EXPECT_EQ(Slot(ToDoField::Description).data, nullptr);
    EXPECT_EQ(TakeTrace(),
              "***** DIZ_API_PutField('2', 'Call Bob')\nFailed to get enough memory (8 B) for data value.\n"
              "***** ***** Manually setting Quenda Error: 10000004\n");
}

TEST_F(PutField, StoredRecordHasNoFieldsLeft) {
    Open(kToDoDbId);
    ReleaseWriteRecord();
    TakeTrace();
    EXPECT_EQ(PutFieldText("2", "Call Bob"), 0);
    EXPECT_EQ(TakeTrace(), "***** DIZ_API_PutField('2', 'Call Bob')\nQuenda field id 1 not found (qdb:6)\n");
}

}  // namespace
