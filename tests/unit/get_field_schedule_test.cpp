// Reading Schedule fields: the repeat flag, times of all-day events, the
// alarm as date and time and its day shift, and the other special cases.
#include "field_record.h"
#include "fields/get_field.h"
#include "session/sync_session.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <string>

using field_testing::FieldRecord;
using field_testing::ReadField;
using testing_support::Sandbox;

namespace {

using namespace ScheduleField;

TEST(GetFieldSchedule, RepeatFlagIsYesOrNoAndMarksTheRecordRepeating) {
    FieldRecord record(kScheduleDbId);
    g_session.recordRepeats = 0;
    EXPECT_EQ(ReadField("2").text, "No");  // without value
    record.SetByte(RepeatFlag, 0);
    EXPECT_EQ(ReadField("2").text, "No");
    EXPECT_EQ(g_session.recordRepeats, 0);
    record.SetByte(RepeatFlag, 3);
    EXPECT_EQ(ReadField("2").text, "Yes");
    EXPECT_EQ(g_session.recordRepeats, 1);
    // "No" leaves the flag as it was.
    record.SetByte(RepeatFlag, 0);
    EXPECT_EQ(ReadField("2").text, "No");
    EXPECT_EQ(g_session.recordRepeats, 1);
}

TEST(GetFieldSchedule, TimesAreFourDigitsUnlessAllDay) {
    FieldRecord record(kScheduleDbId);
    record.SetShort(FromTime, 930);
    record.SetShort(ToTime, 1745);
    EXPECT_EQ(ReadField("5").text, "0930");
    EXPECT_EQ(ReadField("6").text, "1745");
    record.SetByte(AllDayFlag, 0);
    EXPECT_EQ(ReadField("5").text, "0930");
    record.SetByte(AllDayFlag, 1);
    auto from = ReadField("5");
    EXPECT_EQ(from.result, 0);
    EXPECT_EQ(from.text, "");
    EXPECT_EQ(ReadField("6").text, "");
    // An all-day flag the device reported absent does not count.
    record.SetAbsent(AllDayFlag);
    EXPECT_EQ(ReadField("6").text, "1745");
}

TEST(GetFieldSchedule, PlainFieldsFollowTheGeneralRule) {
    Sandbox sandbox;
    FieldRecord record(kScheduleDbId);
    record.SetNumber(ToDate, 0);
    record.SetText(Category, "Undefined");
    record.SetText(Description, "Lunch\nwith Ann");
    record.SetByte(Secret, 1);
    EXPECT_EQ(ReadField("4").text, "0");
    EXPECT_EQ(ReadField("19").text, "Undefined");
    EXPECT_EQ(ReadField("7").text, "Lunch\r\nwith Ann");
    EXPECT_EQ(ReadField("18").text, "1");
    record.SetAbsent(Secret);
    EXPECT_EQ(ReadField("18").text, "0");
    // ScheduleID never has a value: empty text, no "Returning" line.
    auto id = ReadField("1");
    EXPECT_EQ(id.result, 0);
    EXPECT_EQ(id.text, "");
    std::string trace = sandbox.DebugOutput();
    std::string last = "***** DIZ_API_GetField('1', [OUT])\n";
    ASSERT_GE(trace.size(), last.size());
    EXPECT_EQ(trace.substr(trace.size() - last.size()), last);
}

TEST(GetFieldSchedule, RepeatPeriodAndCountHaveNoDefault) {
    FieldRecord record(kScheduleDbId);
    EXPECT_EQ(ReadField("14").text, "");
    EXPECT_EQ(ReadField("15").text, "");
    record.SetByte(RepeatPeriod, 3);
    record.SetByte(RepeatCount, 0);
    EXPECT_EQ(ReadField("14").text, "3");
    EXPECT_EQ(ReadField("15").text, "0");
}

// Alarm: start date and time, lead in minutes, and the alarm's time, date
// and day shift.
struct AlarmCase {
    int32_t fromDate;
    int16_t fromTime;
    int16_t lead;
    const char* time;
    const char* date;
    int32_t shift;
};

const AlarmCase kAlarmCases[] = {
    {20030415, 930, 15, "0915", "20030415", 0},  // 0
    {20030415, 10, 30, "2340", "20030414", 1},
    {20030415, 0, 1440, "0000", "20030414", 1},
    {20030415, 0, 1441, "2359", "20030413", 2},
    {20030101, 5, 10, "2355", "20021231", 1},
    {20000301, 0, 60, "2300", "20000229", 1},    // 5
    {20030415, 1745, 0, "1745", "20030415", 0},
};

TEST(GetFieldScheduleAlarm, DateAndTimeFromStartAndLead) {
    int row = 0;
    for (const AlarmCase& c : kAlarmCases) {
        FieldRecord record(kScheduleDbId);
        record.SetByte(AlarmFlag, 1);
        record.SetNumber(FromDate, c.fromDate);
        record.SetShort(FromTime, c.fromTime);
        record.SetShort(AlarmTime, c.lead);
        g_session.alarmDayShift = 9;
        auto time = ReadField("12.T");
        EXPECT_EQ(time.result, 0) << "row " << row;
        EXPECT_EQ(time.text, c.time) << "row " << row;
        EXPECT_EQ(g_session.alarmDayShift, c.shift) << "row " << row;
        g_session.alarmDayShift = 9;
        EXPECT_EQ(ReadField("12.D").text, c.date) << "row " << row;
        EXPECT_EQ(g_session.alarmDayShift, c.shift) << "row " << row;
        ++row;
    }
}

TEST(GetFieldScheduleAlarm, TracesTheAlarmInfo) {
    Sandbox sandbox;
    FieldRecord record(kScheduleDbId);
    record.SetByte(AlarmFlag, 1);
    record.SetNumber(FromDate, 20030415);
    record.SetShort(FromTime, 10);
    record.SetShort(AlarmTime, 30);
    ReadField("12.T");
    EXPECT_EQ(sandbox.DebugOutput(),
              "***** DIZ_API_GetField('12.T', [OUT])\n"
              "alarm info:  fromDate[20030415] fromTime[0010] coef[30] unit[1]\n"
              "Returning '2340'\n");
}

TEST(GetFieldScheduleAlarm, AlarmOffGivesZerosAndKeepsTheShift) {
    FieldRecord record(kScheduleDbId);
    record.SetByte(AlarmFlag, 0);
    record.SetNumber(FromDate, 20030415);
    record.SetShort(AlarmTime, 30);
    g_session.alarmDayShift = 3;
    EXPECT_EQ(ReadField("12.T").text, "0000");
    EXPECT_EQ(ReadField("12.D").text, "00000000");
    EXPECT_EQ(g_session.alarmDayShift, 3);
}

TEST(GetFieldScheduleAlarm, SelectorIsRequired) {
    struct {
        const char* id;
        const char* line;
    } cases[] = {
        {"12", "Invalid field format (1) in scheule/alarm field\n"},
        {"12.X", "Invalid field format (2) in scheule/alarm field\n"},
        {"12.", "Invalid field format (2) in scheule/alarm field\n"},
        {"12.d", "Invalid field format (2) in scheule/alarm field\n"},
    };
    for (const auto& c : cases) {
        Sandbox sandbox;
        FieldRecord record(kScheduleDbId);
        record.SetByte(AlarmFlag, 1);
        auto read = ReadField(c.id);
        EXPECT_EQ(read.result, -8) << c.id;
        EXPECT_EQ(read.text, "") << c.id;
        EXPECT_EQ(sandbox.DebugOutput(), std::string("***** DIZ_API_GetField('") + c.id + "', [OUT])\n" + c.line);
    }
}

TEST(GetFieldScheduleAlarm, MissingFieldEndsTheRead) {
    struct {
        uint32_t missing;
        const char* line;
    } cases[] = {
        {AlarmFlag, "in alarm special case: AlarmFlag not found\n"},
        {FromDate, "in alarm special case: FromDate not found\n"},
        {FromTime, "in alarm special case: FromTime not found\n"},
        {AlarmUnit, "in alarm special case: AlarmUnit not found\n"},
    };
    for (const auto& c : cases) {
        Sandbox sandbox;
        FieldRecord record(kScheduleDbId, {c.missing});
        auto read = ReadField("12.D");
        EXPECT_EQ(read.result, 0);
        EXPECT_EQ(read.text, "");
        EXPECT_EQ(sandbox.DebugOutput(), std::string("***** DIZ_API_GetField('12.D', [OUT])\n") + c.line);
    }
}

TEST(GetFieldScheduleAlarm, ShiftIsConsumedOnceByFieldThirteen) {
    FieldRecord record(kScheduleDbId);
    record.SetByte(AlarmFlag, 1);
    record.SetNumber(FromDate, 20030415);
    record.SetShort(FromTime, 10);
    record.SetShort(AlarmTime, 30);
    EXPECT_EQ(ReadField("12.D").text, "20030414");
    EXPECT_EQ(ReadField("13").text, "20030414");
    EXPECT_EQ(g_session.alarmDayShift, 0);
    // Once the shift is used, a timed event gives AlarmUnit, which has no
    // link field and so no value: the default 2.
    EXPECT_EQ(ReadField("13").text, "2");
}

TEST(GetFieldScheduleAlarm, ShiftOfTwoDaysCarriesIntoFieldThirteen) {
    FieldRecord record(kScheduleDbId);
    record.SetByte(AlarmFlag, 1);
    record.SetNumber(FromDate, 20030301);
    record.SetShort(FromTime, 0);
    record.SetShort(AlarmTime, 1441);
    EXPECT_EQ(ReadField("12.T").text, "2359");
    EXPECT_EQ(ReadField("13").text, "20030227");
}

TEST(GetFieldScheduleAlarm, AllDayAlarmDateInFieldThirteen) {
    FieldRecord record(kScheduleDbId);
    record.SetByte(AllDayFlag, 1);
    record.SetByte(AlarmFlag, 1);
    record.SetNumber(FromDate, 20030415);
    record.SetShort(AlarmTime, 0);
    EXPECT_EQ(ReadField("13").text, "20030415");
    record.SetShort(AlarmTime, 720);
    EXPECT_EQ(ReadField("13").text, "20030414");
    record.SetNumber(FromDate, 20030101);
    EXPECT_EQ(ReadField("13").text, "20021231");
    // Alarm off: the stored unit.
    record.SetByte(AlarmFlag, 0);
    record.SetByte(AlarmUnit, 1);
    EXPECT_EQ(ReadField("13").text, "1");
}

TEST(GetFieldScheduleAlarm, FieldThirteenNeedsItsFields) {
    struct {
        uint32_t missing;
        const char* line;
    } cases[] = {
        {AlarmFlag, "in alarm special case: AlarmFlag not found\n"},
        {FromDate, "in alarm special case: FromDate not found\n"},
        {AlarmTime, "in alarm time special case: AlarmTime not found\n"},
    };
    for (const auto& c : cases) {
        Sandbox sandbox;
        FieldRecord record(kScheduleDbId, {c.missing});
        g_session.alarmDayShift = 1;
        auto read = ReadField("13");
        EXPECT_EQ(read.result, 0);
        EXPECT_EQ(read.text, "");
        EXPECT_EQ(sandbox.DebugOutput(), std::string("***** DIZ_API_GetField('13', [OUT])\n") + c.line);
    }
}

}  // namespace
