// The fields derived from several host values: the Schedule alarm lead,
// the repeat rule, the all-day event flag and the E-mail folder.
#include "write_record_fixture.h"

#include "app/morvane_app.h"
#include "fields/field_write.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using Raw = std::vector<uint8_t>;

class DerivedFields : public WriteRecordTest {};

struct AlarmRow {
    const char* name;
    int32_t startDate;
    int16_t startTime;
    int32_t alarmDate;
    int16_t alarmTime;
    uint16_t lead;
};
const AlarmRow kAlarmRows[] = {
    {"FifteenMinutesBefore", 20030415, 930, 20030415, 915, 15},
    {"EveningBefore", 20030416, 900, 20030415, 2100, 720},
    {"TwentyMinutesAfter", 20030415, 930, 20030415, 950, 0xFFEC},
    {"FiftyDaysBefore", 20030604, 900, 20030415, 900, 0xFFFF},
    {"AcrossAYearEnd", 20040101, 30, 20031231, 2345, 45},
};

TEST_F(DerivedFields, AlarmLeadInMinutes) {
    for (const AlarmRow& row : kAlarmRows) {
        WriteState state{};
        state.pendingStartDate = row.startDate;
        state.pendingStartTime = row.startTime;
        state.pendingAlarmDate = row.alarmDate;
        state.pendingAlarmTime = row.alarmTime;
        EXPECT_EQ(AlarmLeadMinutes(state), row.lead) << row.name;
    }
}

TEST_F(DerivedFields, SetAlarmWritesLeadAndUnit) {
    Open(kScheduleDbId);
    ASSERT_EQ(PutFieldText("3.D", "20030415"), 0);
    ASSERT_EQ(PutFieldText("5", "0930"), 0);
    ASSERT_EQ(PutFieldText("11", "1"), 0);
    ASSERT_EQ(PutFieldText("12.D", "20030415"), 0);
    ASSERT_EQ(PutFieldText("12.T", "0915"), 0);
    theApp.lastErrorCode = 0x10000099u;
    TakeTrace();
    EXPECT_EQ(DeriveAlarm(), 0);
    EXPECT_EQ(TakeTrace(), "***** DIZ_API_SetAlarm('915', '20030415')\n");
    EXPECT_EQ(theApp.lastErrorCode, 0x10000099u);
    EXPECT_EQ(Bytes(ScheduleField::AlarmTime), (Raw{15, 0}));
    EXPECT_EQ(Bytes(ScheduleField::AlarmUnit), Raw{1});
}

TEST_F(DerivedFields, NoAlarmWithoutTheFlagInThisRecord) {
    Open(kScheduleDbId);
    ASSERT_EQ(PutFieldText("11", "1"), 0);
    Open(kScheduleDbId);  // the next record: the flag is cleared
    g_session.writeState.pendingAlarmTime = 900;
    EXPECT_EQ(DeriveAlarm(), 0);
    EXPECT_EQ(Slot(ScheduleField::AlarmTime).data, nullptr);
    EXPECT_EQ(Slot(ScheduleField::AlarmUnit).data, nullptr);
}

RepeatInfo Rule(uint8_t repeating, const char* start, const char* end, std::vector<uint8_t> days) {
    RepeatInfo info{};
    info.repeatPeriod = 2;
    info.repeatCount = 3;
    info.deleteFlag = 1;
    std::snprintf(info.startDate, sizeof info.startDate, "%s", start);
    std::snprintf(info.endDate, sizeof info.endDate, "%s", end);
    info.isRepeating = repeating;
    for (size_t i = 0; i < days.size() && i < 7; ++i) info.weekDays[i] = days[i];
    return info;
}

TEST_F(DerivedFields, RepeatRuleIntoTheScheduleFields) {
    Open(kScheduleDbId);
    TakeTrace();
    EXPECT_EQ(PutRepeatRule(Rule(1, "20030415", "-1", {1, 0, 1, 0, 0, 0, 0})), 0);
    EXPECT_EQ(TakeTrace(), "***** DIZ_API_PutRepeatInfo(...)\n");
    EXPECT_EQ(Bytes(ScheduleField::RepeatFlag), Raw{1});
    EXPECT_EQ(Bytes(ScheduleField::RepeatPeriod), Raw{2});
    EXPECT_EQ(Bytes(ScheduleField::RepeatCount), Raw{3});
    EXPECT_EQ(Bytes(ScheduleField::DeleteFlag), Raw{1});
    EXPECT_EQ(Bytes(ScheduleField::FromDate), (Raw{0xCF, 0xA3, 0x31, 0x01}));
    EXPECT_EQ(Bytes(ScheduleField::RepeatEndDate), (Raw{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Bytes(ScheduleField::DayPattern), Raw{0x42});  // length 1: the low byte only
    EXPECT_EQ(Slot(ScheduleField::ToDate).length, 0u);
}

TEST_F(DerivedFields, RepeatKeepsAWrittenStartAndMakesAllDayEventsOneDay) {
    Open(kScheduleDbId);
    ASSERT_EQ(PutFieldText("3", "20030401"), 0);
    ASSERT_EQ(PutFieldText("5", ""), 0);
    ASSERT_EQ(PutFieldText("9", ""), 0);
    ASSERT_EQ(PutFieldText("4", "20030402"), 0);
    EXPECT_EQ(PutRepeatRule(Rule(1, "20030415", "20031231", {0, 0, 0, 0, 0, 0, 1})), 0);
    EXPECT_EQ(Bytes(ScheduleField::FromDate), (Raw{0xC1, 0xA3, 0x31, 0x01}));  // 20030401 kept
    EXPECT_EQ(Bytes(ScheduleField::ToDate), (Raw{0xCF, 0xA3, 0x31, 0x01}));    // the rule's start
    EXPECT_EQ(Bytes(ScheduleField::DayPattern), Raw{0x20});
}

TEST_F(DerivedFields, SingleEventTakesTheStructuresDates) {
    Open(kScheduleDbId);
    ASSERT_EQ(PutFieldText("3", "20030401"), 0);
    ASSERT_EQ(PutFieldText("4", "20030402"), 0);
    EXPECT_EQ(PutRepeatRule(Rule(0, "20030415", "20030417", {1, 1, 1, 1, 1, 1, 1})), 0);
    EXPECT_EQ(Bytes(ScheduleField::FromDate), (Raw{0xCF, 0xA3, 0x31, 0x01}));
    EXPECT_EQ(Bytes(ScheduleField::ToDate), (Raw{0xD1, 0xA3, 0x31, 0x01}));
    EXPECT_EQ(Slot(ScheduleField::RepeatFlag).data, nullptr);
    EXPECT_EQ(Slot(ScheduleField::DayPattern).data, nullptr);
}

TEST_F(DerivedFields, EventFlagOnlyForAllDayRecords) {
    Open(kScheduleDbId);
    TakeTrace();
    EXPECT_EQ(DeriveEventFlag(), 0);
    EXPECT_EQ(Slot(ScheduleField::EventFlag).data, nullptr);
    ASSERT_EQ(PutFieldText("5", ""), 0);
    EXPECT_EQ(DeriveEventFlag(), 0);
    EXPECT_EQ(Bytes(ScheduleField::EventFlag), Raw{1});
}

TEST_F(DerivedFields, SetFolderAcceptsZeroToFour) {
    for (int32_t folder : {0, 1, 4}) {
        EXPECT_EQ(ChooseHostFolder(folder), 0);
        EXPECT_EQ(g_session.hostFolderId, static_cast<uint32_t>(folder));
    }
    TakeTrace();
    for (int32_t folder : {5, -1}) {
        EXPECT_EQ(ChooseHostFolder(folder), -8);
        EXPECT_EQ(g_session.hostFolderId, 4u);
    }
    EXPECT_EQ(TakeTrace(),
              "***** DIZ_API_SetFolderID(5)\nInvalid folder ID [5] passed in to DIZ_API_SetFolderID.\n"
              "***** DIZ_API_SetFolderID(-1)\nInvalid folder ID [-1] passed in to DIZ_API_SetFolderID.\n");
}

struct FolderRow {
    int32_t host;
    uint8_t folderId, type;
};
const FolderRow kFolderRows[] = {{1, 0, 0}, {2, 1, 1}, {3, 2, 1}, {4, 3, 1}};

TEST_F(DerivedFields, WriteFolderFillsFolderIdTypeAndSms) {
    for (const FolderRow& row : kFolderRows) {
        Open(kMailDbId);
        EXPECT_EQ(WriteFolderFields(row.host), 0);
        EXPECT_EQ(Bytes(MailField::FolderID), (Raw{row.folderId, 0, 0, 0})) << row.host;
        EXPECT_EQ(Bytes(MailField::Type), Raw{row.type}) << row.host;
        EXPECT_EQ(Bytes(MailField::IsSMS), Raw{0}) << row.host;
    }
    TakeTrace();
    EXPECT_EQ(WriteFolderFields(0), -8);
    EXPECT_EQ(WriteFolderFields(5), -8);
    EXPECT_EQ(TakeTrace(),
              "***** DIZ_API_WriteFolderID(0)\nInvalid folder ID [0] passed in to DIZ_API_WriteFolderID.\n"
              "***** DIZ_API_WriteFolderID(5)\nInvalid folder ID [5] passed in to DIZ_API_WriteFolderID.\n");
}

// Outside the databases they are made for, the derived writes stop at the
// first field the open database lacks, writing what came before: Memo has
// fields 1 and 2 but none of the others.
TEST_F(DerivedFields, OutsideTheirDatabaseTheyStopAtTheFirstMissingField) {
    struct {
        std::function<int32_t()> call;
        const char* trace;
        Raw timeStamp;  // what field 1 (Memo's TimeStamp) holds afterwards
    } cases[] = {
        {[] { return DeriveAlarm(); },
         "***** DIZ_API_SetAlarm('0', '0')\nin alarm special case: AlarmDate not found\n", {}},
        {[] { return PutRepeatRule(Rule(1, "20030415", "-1", {1})); },
         "***** DIZ_API_PutRepeatInfo(...)\nin alarm special case: RepeatPeriod not found\n", {1}},
        {[] { return DeriveEventFlag(); }, "***** DIZ_API_SetEventFlag()\nField EventFlag not found\n", {}},
        {[] { return WriteFolderFields(2); }, "***** DIZ_API_WriteFolderID(2)\nField isSMS not found\n", {1, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        Open(kMemoDbId);
        g_session.writeState.alarmFlagSet = 1;
        g_session.writeState.allDay = 1;
        TakeTrace();
        EXPECT_EQ(c.call(), 0);
        EXPECT_EQ(TakeTrace(), c.trace);
        EXPECT_EQ(Bytes(MemoField::TimeStamp), c.timeStamp) << c.trace;
        EXPECT_EQ(Slot(MemoField::NoteText).data, nullptr) << c.trace;
    }
}

}  // namespace
