// A Schedule entry written by the host (fields, repeat rule, alarm) and
// read back by a later export: the same dates, times, repeat rule, day
// pattern and alarm.
#include "exports/import_world.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

using namespace import_tests;
using session_tests::SessionWorld;

namespace {

constexpr uint32_t kScheduleDb = 1;

RepeatInfo WeeklyRule() {
    RepeatInfo info{};
    info.repeatPeriod = 2;
    info.repeatCount = 1;
    std::snprintf(info.startDate, sizeof info.startDate, "%s", "20030415");
    std::snprintf(info.endDate, sizeof info.endDate, "%s", "20031231");
    info.isRepeating = 1;
    const uint8_t days[7] = {1, 0, 1, 0, 0, 1, 0};
    std::memcpy(info.weekDays, days, sizeof days);
    return info;
}

// Writes a timed entry on 15 April 2003, 09:30 to 10:30, with the alarm at
// alarmTime on alarmDate, and stores it; with a rule when repeating.
void WriteEntry(SessionWorld& world, const char* alarmDate, const char* alarmTime, bool repeating) {
    ASSERT_EQ(0, world.api().DIZ_API_InsertRecord());
    const Puts puts = {{"3.D", "20030415"}, {"4", "20030415"},  {"5", "0930"},         {"6", "1030"},
                       {"7", "Weekly"},     {"11", "1"},         {"12.D", alarmDate},  {"12.T", alarmTime}};
    for (const auto& put : puts) ASSERT_EQ(0, world.api().DIZ_API_PutField(put.first.c_str(), put.second.c_str()));
    if (repeating) {
        ASSERT_EQ(0, world.api().DIZ_API_PutRepeatInfo(WeeklyRule()));
    }
    char id[16] = "";
    ASSERT_EQ(0, world.api().DIZ_API_AddRecord(id));
    ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(export_tests::kScheduleSection, 1, 0));
}

TEST(ScheduleRoundTrip, DatesTimesRepeatRuleAndDayPatternComeBack) {
    SessionWorld world;
    StartImport(world, export_tests::kScheduleSection);
    WriteEntry(world, "20030415", "0915", true);
    ExportFirst(world, export_tests::kScheduleSection);
    EXPECT_EQ(Field(world, "2"), "Yes");
    EXPECT_EQ(Field(world, "3"), "20030415");
    EXPECT_EQ(Field(world, "4"), "20030415");
    EXPECT_EQ(Field(world, "5"), "0930");
    EXPECT_EQ(Field(world, "6"), "1030");
    EXPECT_EQ(Field(world, "7"), "Weekly");
    EXPECT_EQ(Field(world, "11"), "1");
    EXPECT_EQ(Field(world, "12.D"), "20030415");
    EXPECT_EQ(Field(world, "12.T"), "0915");

    RepeatInfo info;
    std::memset(&info, 0x5A, sizeof info);
    EXPECT_EQ(0, world.api().DIZ_API_GetRepeatInfo(&info));
    EXPECT_EQ(info.isRepeating, 1);
    EXPECT_EQ(info.repeatPeriod, 2);
    EXPECT_EQ(info.repeatCount, 1);
    EXPECT_STREQ(info.startDate, "20030415");
    EXPECT_STREQ(info.endDate, "20031231");
    const uint8_t days[7] = {1, 0, 1, 0, 0, 1, 0};
    EXPECT_EQ(0, std::memcmp(info.weekDays, days, sizeof days));
    EXPECT_EQ(Stored(kScheduleDb, LiveDb(kScheduleDb).records.at(0).id, "S_DAYPATTERN"), Wide(0x52));
}

// Alarms before the start, all on the start day.
struct LeadRow {
    const char* name;
    const char* alarmDate;
    const char* alarmTime;
    bool survives;
};
const LeadRow kLeadRows[] = {
    {"AtTheStart", "20030415", "0930", true},
    {"OneMinute", "20030415", "0929", true},
    {"FiftyNineMinutes", "20030415", "0831", true},
    {"OneHour", "20030415", "0830", false},
    {"NinetyMinutes", "20030415", "0800", false},
};

class AlarmLead : public testing::TestWithParam<LeadRow> {};

TEST_P(AlarmLead, SurvivesOnlyBelowAnHour) {
    const LeadRow& row = GetParam();
    SessionWorld world;
    StartImport(world, export_tests::kScheduleSection);
    WriteEntry(world, row.alarmDate, row.alarmTime, false);
    ExportFirst(world, export_tests::kScheduleSection);
    if (row.survives) {
        EXPECT_EQ(Field(world, "12.D"), row.alarmDate);
        EXPECT_EQ(Field(world, "12.T"), row.alarmTime);
    } else {
        // The link carries the lead as a time of day: an hour or more is no
        // valid minute, the device keeps no lead, and the alarm reads as
        // the start.
        EXPECT_EQ(Field(world, "12.D"), "20030415");
        EXPECT_EQ(Field(world, "12.T"), "0930");
    }
}

INSTANTIATE_TEST_SUITE_P(Leads, AlarmLead, testing::ValuesIn(kLeadRows),
                         [](const testing::TestParamInfo<LeadRow>& info) { return info.param.name; });

}  // namespace
