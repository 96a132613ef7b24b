// Reading fields of device records through the exports, as a host does in
// an export pass: the record made current by the cursor (or loaded by id),
// then DIZ_API_GetField, DIZ_API_GetRepeatInfo and the folder exports.
#include "exports/export_world.h"

#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

using session_tests::SessionWorld;
using tethra_sim::ByteValue;
using tethra_sim::DateTimeValue;
using tethra_sim::DateValue;
using tethra_sim::NumberValue;
using tethra_sim::TextValue;
using tethra_sim::TimeValue;
using export_tests::kMailSection;
using export_tests::kMemoSection;
using export_tests::kScheduleSection;
using export_tests::kStamp;
using export_tests::kToDoSection;
using export_tests::Lines;
using export_tests::Settle;
using export_tests::TakeTrace;

namespace {

constexpr uint32_t kScheduleDb = 1;
constexpr uint32_t kToDoDb = 6;
constexpr uint32_t kMemoDb = 8;
constexpr uint32_t kMailDb = 16;
// Room for the longest field text.
constexpr size_t kFieldBuffer = 49153;

// A paired session exporting `section`, its first record current.
void OpenAndReadFirst(SessionWorld& world, int32_t section) {
    world.PairBothSides();
    world.Load();
    ASSERT_EQ(world.api().DIZ_API_Initialize("", ""), 0);
    world.api().DIZ_API_BeginExport(kStamp);
    ASSERT_EQ(world.api().DIZ_API_OpenDatabase(section, "", ""), 0);
    uint32_t status = 0;
    ASSERT_EQ(world.api().DIZ_API_GetFirstRecord(section, kStamp, &status), 0);
    ASSERT_EQ(status, 2u);
    TakeTrace(world);
}

struct Field {
    int32_t result;
    std::string text;
};

Field Get(SessionWorld& world, const char* id) {
    std::vector<char> buffer(kFieldBuffer + 16, 'Z');
    Field field;
    field.result = world.api().DIZ_API_GetField(id, buffer.data());
    field.text = buffer.data();
    return field;
}

std::string Text(SessionWorld& world, const char* id) { return Get(world, id).text; }

TEST(ExportFieldRead, ScheduleEventWithAnAlarmBeforeMidnight) {
    SessionWorld world;
    Settle(world.image(), kScheduleDb);
    uint32_t id = world.image().AddRecord(
        kScheduleDb, {{"S_DESCRIPTION4", TextValue("Night train\nplatform 4")},
                      {"S_START_DATE", DateValue(2003, 4, 15)},
                      {"S_END_DATE", DateValue(2003, 4, 15)},
                      {"S_START_TIME", TimeValue(0, 10, 0)},
                      {"S_END_TIME", TimeValue(1, 5, 0)},
                      {"S_ALARM_FLAG", ByteValue(1)},
                      {"S_ALARM_TIME", TimeValue(0, 30, 0)},
                      {"S_CATEGORY", TextValue("Undefined")}});
    ASSERT_NE(id, 0u);
    OpenAndReadFirst(world, kScheduleSection);

    EXPECT_EQ(Text(world, "UID"), std::to_string(id));
    EXPECT_EQ(Text(world, "7"), "Night train\r\nplatform 4");
    EXPECT_EQ(Text(world, "3"), "20030415");
    EXPECT_EQ(Text(world, "5"), "0010");
    EXPECT_EQ(Text(world, "6"), "0105");
    EXPECT_EQ(Text(world, "19"), "Undefined");
    TakeTrace(world);
    EXPECT_EQ(Text(world, "12.T"), "2340");
    EXPECT_EQ(TakeTrace(world), Lines({"***** DIZ_API_GetField('12.T', [OUT])",
                                       "alarm info:  fromDate[20030415] fromTime[0010] coef[30] unit[1]",
                                       "Returning '2340'"}));
    EXPECT_EQ(Text(world, "12.D"), "20030414");
    EXPECT_EQ(Text(world, "13"), "20030414");
    EXPECT_EQ(Text(world, "13"), "2");
    EXPECT_EQ(world.LastError(), 0u);
}

TEST(ExportFieldRead, FieldsTheDeviceNeverFillsAndBadIds) {
    SessionWorld world;
    Settle(world.image(), kScheduleDb);
    world.image().AddRecord(kScheduleDb, {{"S_DESCRIPTION4", TextValue("x")}});
    OpenAndReadFirst(world, kScheduleSection);

    Field scheduleId = Get(world, "1");
    EXPECT_EQ(scheduleId.result, 0);
    EXPECT_EQ(scheduleId.text, "");
    EXPECT_EQ(TakeTrace(world), Lines({"***** DIZ_API_GetField('1', [OUT])"}));
    EXPECT_EQ(Get(world, "12").result, -8);
    EXPECT_EQ(TakeTrace(world), Lines({"***** DIZ_API_GetField('12', [OUT])",
                                       "Invalid field format (1) in scheule/alarm field"}));
    EXPECT_EQ(Get(world, "uid").result, -8);
    EXPECT_EQ(Get(world, "24").result, 0);
    EXPECT_EQ(TakeTrace(world).back(), "Quenda field id 23 not found (qdb:1)");
}

TEST(ExportFieldRead, RepeatRuleOnlyAfterTheRepeatFlagWasRead) {
    SessionWorld world;
    Settle(world.image(), kScheduleDb);
    world.image().AddRecord(kScheduleDb, {{"S_START_DATE", DateValue(2003, 4, 15)},
                                          {"S_END_DATE", DateValue(2003, 4, 15)},
                                          {"S_REPEAT_FLAG", ByteValue(1)},
                                          {"S_REPEAT_PREIOD", ByteValue(2)},
                                          {"S_REPEAT_COUNT", ByteValue(1)},
                                          {"S_DAYPATTERN", ByteValue(0x41)},
                                          {"S_FIELD_REPEAT_END", DateValue(2003, 12, 31)}});
    OpenAndReadFirst(world, kScheduleSection);

    RepeatInfo info;
    memset(&info, 0xAA, sizeof info);
    EXPECT_EQ(world.api().DIZ_API_GetRepeatInfo(&info), 0);
    EXPECT_EQ(info.isRepeating, 0);
    EXPECT_STREQ(info.startDate, "20030415");
    EXPECT_STREQ(info.endDate, "20030415");

    EXPECT_EQ(Text(world, "2"), "Yes");
    TakeTrace(world);
    memset(&info, 0xAA, sizeof info);
    EXPECT_EQ(world.api().DIZ_API_GetRepeatInfo(&info), 0);
    EXPECT_EQ(TakeTrace(world), Lines({"***** DIZ_API_GetRepeatInfo()"}));
    EXPECT_EQ(info.isRepeating, 1);
    EXPECT_EQ(info.repeatPeriod, 2);
    EXPECT_EQ(info.repeatCount, 1);
    EXPECT_EQ(info.deleteFlag, 0);
    EXPECT_STREQ(info.startDate, "20030415");
    EXPECT_STREQ(info.endDate, "20031231");
    const uint8_t days[7] = {1, 1, 0, 0, 0, 0, 0};
    EXPECT_EQ(memcmp(info.weekDays, days, 7), 0);

}

TEST(ExportFieldRead, ToDoPriorityCompletionAndCategory) {
    SessionWorld world;
    Settle(world.image(), kToDoDb);
    world.image().AddRecord(kToDoDb, {{"S_DESCRIPTION3", TextValue("File taxes")},
                                      {"S_PRIORITY", ByteValue(4)},
                                      {"S_COMPLETED", ByteValue(1)},
                                      {"S_COMPLETION_DATE", DateValue(2003, 5, 1)},
                                      {"S_CATEGORY", TextValue("Undefined")}});
    OpenAndReadFirst(world, kToDoSection);

    EXPECT_EQ(Text(world, "2"), "File taxes");
    EXPECT_EQ(Text(world, "4"), "2");  // link 4 is device 3, host 2
    EXPECT_EQ(Text(world, "9"), "20030501");
    EXPECT_EQ(Text(world, "3"), "1");
    EXPECT_EQ(Text(world, "6"), "");
    EXPECT_EQ(Text(world, "7"), "0");
}

TEST(ExportFieldRead, MemoTitleTextAndTimeStamp) {
    SessionWorld world;
    Settle(world.image(), kMemoDb);
    world.image().AddRecord(kMemoDb, {{"S_PAGE_TITLE", TextValue("ignored")},
                                      {"S_PAGE_NOTE", TextValue("Shopping\nmilk\neggs")},
                                      {"S_START_DATETIME", DateTimeValue(2003, 4, 15, 12, 30, 0)},
                                      {"S_NOTE_CATEGORIES", TextValue("Home")}});
    OpenAndReadFirst(world, kMemoSection);

    EXPECT_EQ(Text(world, "1"), "Shopping");
    EXPECT_EQ(Text(world, "3"), "milk\r\neggs");
    EXPECT_EQ(Text(world, "1"), "milk");
    EXPECT_EQ(Text(world, "2.D"), "20030415");
    EXPECT_EQ(Text(world, "2.T"), "1230");
    EXPECT_EQ(Get(world, "2").result, -8);
    EXPECT_EQ(Text(world, "4"), "");
}

TEST(ExportFieldRead, MailLoadedByIdAndItsFolder) {
    SessionWorld world;
    Settle(world.image(), kMailDb);
    uint32_t id = world.image().AddRecord(kMailDb, {{"S_SUBJECT", TextValue("Minutes")},
                                                    {"S_FOLDERID", NumberValue(3)},
                                                    {"S_SEND_DATE", DateTimeValue(2003, 4, 15, 9, 30, 0)},
                                                    {"S_IS_READ", ByteValue(1)},
                                                    {"S_PRIORITY", ByteValue(3)}});
    world.PairBothSides();
    world.Load();
    ASSERT_EQ(world.api().DIZ_API_Initialize("", ""), 0);
    world.api().DIZ_API_BeginExport(kStamp);
    ASSERT_EQ(world.api().DIZ_API_OpenDatabase(kMailSection, "", ""), 0);
    ASSERT_EQ(world.api().DIZ_API_GetIdDBRec(id), 1);
    TakeTrace(world);

    EXPECT_EQ(Text(world, "9"), "Minutes");
    // The received date the record lacks empties SendDate's length; the
    // send date is still given.
    EXPECT_EQ(Text(world, "11.D"), "20030415");
    EXPECT_EQ(Text(world, "11.T"), "0930");
    EXPECT_EQ(Text(world, "13"), "1");
    EXPECT_EQ(Text(world, "23"), "2");
    TakeTrace(world);

    uint32_t folder = 0;
    EXPECT_EQ(world.api().DIZ_API_GetFolderID(&folder), 0);
    EXPECT_EQ(folder, 4u);
    EXPECT_EQ(TakeTrace(world), Lines({"***** DIZ_API_GetFolderID", "***** DIZ_API_ReadFolderID()"}));
    EXPECT_EQ(world.api().DIZ_API_ReadFolderID(), 0);
}

TEST(ExportFieldRead, NoWriteRecordBeforeAnImport) {
    SessionWorld world;
    world.Load();
    char out[16];
    memset(out, 'Z', sizeof out);
    EXPECT_EQ(world.api().DIZ_API_GetRecordID_Attachment(out), -11);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(world.LastError(), 0u);
    EXPECT_TRUE(TakeTrace(world).empty());
}

TEST(ExportFieldRead, EmailBodyLengthUnderItsCxxName) {
    SessionWorld world;
    std::string bytes(9450, '\0');
    bytes[9446] = 0x00;
    bytes[9447] = 0x20;
    testing_support::WriteFile(world.sandbox().HostPath(std::string(session_tests::kDataFolder) + "ilsync.psf"),
                               bytes);
    world.Load();
    ASSERT_NE(world.api().GetEmailBodyLength, nullptr);
    int32_t length = 0;
    EXPECT_EQ(world.api().GetEmailBodyLength(&length), 1);
    EXPECT_EQ(length, 0x2000);
    EXPECT_TRUE(TakeTrace(world).empty());
}

}  // namespace
