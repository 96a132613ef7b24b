// Reading fields of device records as a host does in an export pass (the record made current by the
// cursor or loaded by id), and what the field exports give before any record.
#include "exports/export_world.h"

#include "platform/platform_test.h"

#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

using namespace export_tests;
using tethra_sim::ByteValue;
using tethra_sim::DateTimeValue;
using tethra_sim::DateValue;
using tethra_sim::TextValue;
using tethra_sim::TimeValue;

namespace {

// A paired session exporting the one record of dbId, made current by the cursor or by its id.
uint32_t ExportOnly(SessionWorld& world, int32_t section, uint32_t dbId, const tethra_sim::FieldValues& values,
                    bool byId = false) {
    Settle(world.image(), dbId);
    const uint32_t id = world.image().AddRecord(dbId, values);
    StartPaired(world);
    OpenExport(world, section);
    uint32_t status = 0;
    EXPECT_EQ(byId ? 1 : 0, byId ? world.api().DIZ_API_GetIdDBRec(id)
                                 : world.api().DIZ_API_GetFirstRecord(section, kStamp, &status));
    EXPECT_EQ(byId ? 0u : 2u, status);
    world.TakeTrace();
    return id;
}

// One GetField call, in the row's order (a read may change what the next gives).  A non-empty trace is
// every line the call writes.
struct Read {
    const char* id;
    const char* text;  // "#" stands for the record's id
    int32_t result = 0;
    Lines trace = {};
};

struct RecordRow {
    const char* name;
    int32_t section;
    uint32_t dbId;
    tethra_sim::FieldValues values;
    bool byId;
    std::vector<Read> reads;
};
void PrintTo(const RecordRow& row, std::ostream* out) { *out << row.name; }

// A Schedule entry starting at date and time whose alarm, when on, leads by the link time lead (read
// as HHMM minutes): the alarm's time and date, and for an alarm on an earlier day field 13 gives that
// date once.
RecordRow Alarm(const char* name, uint8_t on, const tethra_sim::LinkValue& date, const tethra_sim::LinkValue& time,
                const tethra_sim::LinkValue& lead, const char* alarmTime, const char* alarmDate, bool earlierDay) {
    RecordRow row{name, kScheduleSection, kScheduleDb,
                  {{"S_START_DATE", date}, {"S_START_TIME", time}, {"S_ALARM_FLAG", ByteValue(on)},
                   {"S_ALARM_TIME", lead}},
                  false, {{"12.T", alarmTime}, {"12.D", alarmDate}}};
    if (earlierDay) row.reads.push_back({"13", alarmDate});
    return row;
}
tethra_sim::LinkValue Clock(int hour, int minute) { return TimeValue(hour, minute, 0); }

const tethra_sim::LinkValue kApril15 = DateValue(2003, 4, 15);
const RecordRow kRecords[] = {
    Alarm("AlarmOnTheSameDay", 1, kApril15, Clock(9, 30), Clock(0, 15), "0915", "20030415", false),
    Alarm("AlarmWithoutLead", 1, kApril15, Clock(17, 45), Clock(0, 0), "1745", "20030415", false),
    Alarm("AlarmADayBefore", 1, kApril15, Clock(0, 0), Clock(14, 40), "0000", "20030414", true),
    Alarm("AlarmTwoDaysBefore", 1, kApril15, Clock(0, 0), Clock(14, 41), "2359", "20030413", true),
    Alarm("AlarmInTheYearBefore", 1, DateValue(2003, 1, 1), Clock(0, 5), Clock(0, 10), "2355", "20021231", true),
    Alarm("AlarmOnALeapDay", 1, DateValue(2000, 3, 1), Clock(0, 0), Clock(1, 0), "2220", "20000229", true),
    Alarm("AlarmOff", 0, kApril15, Clock(0, 0), Clock(0, 30), "0000", "00000000", false),
    {"ScheduleEventWithAnAlarmBeforeMidnight", kScheduleSection, kScheduleDb,
     {{"S_DESCRIPTION4", TextValue("Night train\nplatform 4")}, {"S_START_DATE", kApril15}, {"S_END_DATE", kApril15},
      {"S_START_TIME", Clock(0, 10)}, {"S_END_TIME", Clock(1, 5)}, {"S_ALARM_FLAG", ByteValue(1)},
      {"S_ALARM_TIME", Clock(0, 30)}, {"S_CATEGORY", TextValue("Undefined")}},
     false,
     {{"UID", "#"}, {"7", "Night train\r\nplatform 4"}, {"3", "20030415"}, {"5", "0010"}, {"6", "0105"},
      {"19", "Undefined"},
      {"12.T", "2340", 0,
       {"***** DIZ_API_GetField('12.T', [OUT])", "alarm info:  fromDate[20030415] fromTime[0010] coef[30] unit[1]",
        "Returning '2340'"}},
      {"12.D", "20030414"}, {"13", "20030414"}, {"13", "2"},
      // Fields the device never fills and ids that name no field.
      {"1", "", 0, {"***** DIZ_API_GetField('1', [OUT])"}},
      {"12", "", -8, {"***** DIZ_API_GetField('12', [OUT])", "Invalid field format (1) in scheule/alarm field"}},
      {"uid", "", -8},
      {"24", "", 0, {"***** DIZ_API_GetField('24', [OUT])", "Quenda field id 23 not found (qdb:1)"}}}},
    {"ToDoPriorityCompletionAndCategory", kToDoSection, kToDoDb,
     {{"S_DESCRIPTION3", TextValue("File taxes")}, {"S_PRIORITY", ByteValue(4)}, {"S_COMPLETED", ByteValue(1)},
      {"S_COMPLETION_DATE", DateValue(2003, 5, 1)}, {"S_CATEGORY", TextValue("Undefined")}},
     false,
     // Priority: link 4 is device 3, host 2.
     {{"2", "File taxes"}, {"4", "2"}, {"9", "20030501"}, {"3", "1"}, {"6", ""}, {"7", "0"}}},
    {"MemoTitleTextAndTimeStamp", kMemoSection, kMemoDb,
     {{"S_PAGE_TITLE", TextValue("ignored")}, {"S_PAGE_NOTE", TextValue("Shopping\nmilk\neggs")},
      {"S_START_DATETIME", DateTimeValue(2003, 4, 15, 12, 30, 0)}, {"S_NOTE_CATEGORIES", TextValue("Home")}},
     false,
     {{"1", "Shopping"}, {"3", "milk\r\neggs"}, {"1", "milk"}, {"2.D", "20030415"}, {"2.T", "1230"}, {"2", "", -8},
      {"4", ""}}},
    // The received date the record lacks empties SendDate's length; the send date is still given.
    {"MailLoadedById", kMailSection, kMailDb,
     {{"S_SUBJECT", TextValue("Minutes")}, {"S_FOLDERID", tethra_sim::NumberValue(3)},
      {"S_SEND_DATE", DateTimeValue(2003, 4, 15, 9, 30, 0)}, {"S_IS_READ", ByteValue(1)},
      {"S_PRIORITY", ByteValue(3)}},
     true,
     {{"9", "Minutes"}, {"11.D", "20030415"}, {"11.T", "0930"}, {"13", "1"}, {"23", "2"}}},
};

class ExportFieldRead : public testing::TestWithParam<RecordRow> {};

TEST_P(ExportFieldRead, GivesTheHostsTexts) {
    const RecordRow& row = GetParam();
    SessionWorld world;
    const uint32_t id = ExportOnly(world, row.section, row.dbId, row.values, row.byId);
    for (const Read& read : row.reads) {
        int32_t result = 99;
        const std::string text = Field(world, read.id, &result);
        EXPECT_EQ(read.text == std::string("#") ? std::to_string(id) : read.text, text) << read.id;
        EXPECT_EQ(read.result, result) << read.id;
        const Lines trace = world.TakeTrace();
        EXPECT_TRUE(read.trace.empty() || read.trace == trace) << read.id << ": " << testing::PrintToString(trace);
    }
    EXPECT_EQ(world.LastError(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Records, ExportFieldRead, testing::ValuesIn(kRecords), RowName());

// The host's folder is the device's plus one (none reads as the inbox); a device folder outside 0-3
// fails both exports; a record of another database leaves the host's folder as it was.
TEST(ExportFieldRead, MailFolderOfTheRecord) {
    const tethra_sim::LinkValue kNone{true, {}};
    const struct {
        uint32_t dbId;
        tethra_sim::LinkValue folder;
        int32_t result;
        uint32_t host;
    } kRows[] = {
        {kMailDb, tethra_sim::NumberValue(0), 0, 1}, {kMailDb, tethra_sim::NumberValue(3), 0, 4},
        {kMailDb, kNone, 0, 1}, {kMailDb, tethra_sim::NumberValue(4), -999, 0},
        {kMailDb, tethra_sim::NumberValue(-2), -999, 0}, {kAddressDb, kNone, 0, 2},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(testing::Message() << row.dbId << " " << row.result << " " << row.host);
        SessionWorld world;
        const bool mail = row.dbId == kMailDb;
        ExportOnly(world, mail ? kMailSection : kAddressSection, row.dbId,
                   {{mail ? "S_FOLDERID" : "S_NAME", row.folder}}, true);
        ASSERT_EQ(0, world.api().DIZ_API_SetFolderID(2));
        world.TakeTrace();
        EXPECT_EQ(row.result, world.api().DIZ_API_ReadFolderID());
        uint32_t folder = 77;
        EXPECT_EQ(row.result == 0 ? 0 : -11, world.api().DIZ_API_GetFolderID(&folder));
        EXPECT_EQ(row.result == 0 ? row.host : 77u, folder);
        Lines trace = {"***** DIZ_API_ReadFolderID()", "***** DIZ_API_GetFolderID", "***** DIZ_API_ReadFolderID()"};
        if (row.result != 0) trace.push_back("isSent not found ");
        EXPECT_EQ(trace, world.TakeTrace());
        EXPECT_EQ(0u, world.LastError());
    }
}

// DIZ_API_GetRepeatInfo of a Schedule entry: its rule once the host has seen field 2 read "Yes" (day
// pattern bit 6 is Sunday, bits 0-5 Monday to Saturday, bit 7 none; an end date of 0 has no end, no
// value leaves it empty), otherwise a single event's dates (an all-day event ends on its end date, any
// other on its start; an end of 0 is none).
struct RuleRow {
    const char* name;
    tethra_sim::FieldValues values;
    bool readField2;
    const char* rule;  // period count delete [start] [end] repeating days
};
void PrintTo(const RuleRow& row, std::ostream* out) { *out << row.name; }

tethra_sim::FieldValues Weekly(const tethra_sim::LinkValue& pattern, const tethra_sim::LinkValue& end) {
    return {{"S_REPEAT_FLAG", ByteValue(1)}, {"S_REPEAT_PREIOD", ByteValue(2)}, {"S_REPEAT_COUNT", ByteValue(3)},
            {"S_DELETE_FLAG", ByteValue(1)}, {"S_START_DATE", kApril15}, {"S_FIELD_REPEAT_END", end},
            {"S_DAYPATTERN", pattern}};
}
tethra_sim::FieldValues Single(int allDay, const tethra_sim::LinkValue& end) {
    tethra_sim::FieldValues values = {{"S_START_DATE", kApril15}, {"S_END_DATE", end}};
    if (allDay >= 0) values.push_back({"S_ALLDAY_FLAG", ByteValue(static_cast<uint8_t>(allDay))});
    return values;
}

const tethra_sim::LinkValue kEnd = DateValue(2003, 12, 31), kNoDate = DateValue(1899, 12, 30), kAbsent{true, {}};
const RuleRow kRules[] = {
    {"Weekly", Weekly(ByteValue(0x41), kEnd), true, "2 3 1 [20030415] [20031231] 1 1100000"},
    {"EveryDay", Weekly(ByteValue(0x7F), kEnd), true, "2 3 1 [20030415] [20031231] 1 1111111"},
    {"Bit7", Weekly(ByteValue(0x80), kEnd), true, "2 3 1 [20030415] [20031231] 1 0000000"},
    {"Sunday", Weekly(ByteValue(0x20), kEnd), true, "2 3 1 [20030415] [20031231] 1 0000001"},
    {"NoEnd", Weekly(ByteValue(0x0A), kNoDate), true, "2 3 1 [20030415] [-1] 1 0010100"},
    {"EndWithoutValue", Weekly(ByteValue(0x0A), kAbsent), true, "2 3 1 [20030415] [] 1 0010100"},
    {"Field2Unread", Weekly(ByteValue(0x41), kEnd), false, "0 0 0 [20030415] [20030415] 0 0000000"},
    {"OneDay", Single(0, DateValue(2003, 4, 15)), false, "0 0 0 [20030415] [20030415] 0 0000000"},
    {"AllDayToItsEnd", Single(1, DateValue(2003, 4, 17)), false, "0 0 0 [20030415] [20030417] 0 0000000"},
    {"TimedEndsOnItsStart", Single(0, DateValue(2003, 4, 17)), false, "0 0 0 [20030415] [20030415] 0 0000000"},
    {"AllDayWithoutEnd", Single(1, kNoDate), false, "0 0 0 [20030415] [-1] 0 0000000"},
    {"NoAllDayValue", Single(-1, DateValue(2003, 4, 17)), false, "0 0 0 [20030415] [20030415] 0 0000000"},
};

std::string Describe(const RepeatInfo& info) {
    std::string days;
    for (uint8_t day : info.weekDays) days += std::to_string(day);
    return std::to_string(info.repeatPeriod) + " " + std::to_string(info.repeatCount) + " " +
           std::to_string(info.deleteFlag) + " [" + std::string(info.startDate, strnlen(info.startDate, 10)) + "] [" +
           std::string(info.endDate, strnlen(info.endDate, 10)) + "] " + std::to_string(info.isRepeating) + " " + days;
}

class RepeatInfoRead : public testing::TestWithParam<RuleRow> {};

// The whole structure is written, the last error cleared, one trace line.
TEST_P(RepeatInfoRead, GivesTheRuleOrTheEventsDates) {
    const RuleRow& row = GetParam();
    SessionWorld world;
    const uint32_t id = ExportOnly(world, kScheduleSection, kScheduleDb, row.values, true);
    if (row.readField2) {
        ASSERT_EQ("Yes", Field(world, "2"));
    }
    EXPECT_EQ(-4, world.api().DIZ_API_GetIdDBRec(id + 1000)) << "sets the last error";
    ASSERT_EQ(1, world.api().DIZ_API_GetIdDBRec(id));
    world.TakeTrace();
    ASSERT_NE(0u, world.LastError());
    RepeatInfo info;
    memset(&info, 0xAA, sizeof info);
    EXPECT_EQ(0, world.api().DIZ_API_GetRepeatInfo(&info));
    EXPECT_EQ(row.rule, Describe(info));
    // Every byte Describe does not show (the dates' tails) is zero.
    for (size_t i = strnlen(info.startDate, 10); i < 10; ++i) EXPECT_EQ(0, info.startDate[i]) << "start " << i;
    for (size_t i = strnlen(info.endDate, 10); i < 10; ++i) EXPECT_EQ(0, info.endDate[i]) << "end " << i;
    EXPECT_EQ(0u, world.LastError());
    EXPECT_EQ(Lines({"***** DIZ_API_GetRepeatInfo()"}), world.TakeTrace());
}

INSTANTIATE_TEST_SUITE_P(Rules, RepeatInfoRead, testing::ValuesIn(kRules), RowName());

// A freshly loaded adapter, before any database is open.
TEST(FieldExports, BeforeAnyRecord) {
    SessionWorld world;
    world.Load();
    const testing_support::AdapterExports& api = world.api();
    char out[64];
    memset(out, 'Z', sizeof out);
    EXPECT_EQ(api.DIZ_API_GetField("3", out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(out[1], 'Z');
    EXPECT_EQ(world.TakeTrace(), Lines({"***** DIZ_API_GetField('3', [OUT])", "Quenda field id 2 not found (qdb:0)"}));
    EXPECT_EQ(api.DIZ_API_GetField("abc", out), -8);
    EXPECT_EQ(world.LastError(), 0u);
    EXPECT_TRUE(HasLine(world.TakeTrace(), "Field ID ('abc') is invalid in this context (converts to 0)"));

    RepeatInfo info;
    memset(&info, 0xAA, sizeof info);
    EXPECT_EQ(api.DIZ_API_GetRepeatInfo(&info), 0);
    const RepeatInfo zero = {};
    EXPECT_EQ(memcmp(&info, &zero, sizeof info), 0);
    uint32_t folder = 99;
    EXPECT_EQ(api.DIZ_API_GetFolderID(&folder), 0);
    EXPECT_EQ(folder, 0u);
    EXPECT_EQ(api.DIZ_API_ReadFolderID(), 0);
    EXPECT_EQ(world.TakeTrace(), Lines({"***** DIZ_API_GetRepeatInfo()", "***** DIZ_API_GetFolderID",
                                        "***** DIZ_API_ReadFolderID()", "***** DIZ_API_ReadFolderID()"}));

    // No write record yet; a failed find or insert (no open database, no slots) still begins one, the
    // insert's of id 0, and the attachment id clears the out-of-memory code.
    memset(out, 'Z', sizeof out);
    EXPECT_EQ(api.DIZ_API_GetRecordID_Attachment(out), -11);
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(world.TakeTrace().empty());
    EXPECT_EQ(api.DIZ_API_FindRecord("12"), -11);
    EXPECT_EQ(api.DIZ_API_InsertRecord(), -9);
    EXPECT_EQ(world.LastError(), 0x10000004u);
    const Lines noSlots = {"Failed to get enough memory for 0 fields.",
                           "***** ***** Manually setting Quenda Error: 10000004"};
    EXPECT_EQ(world.TakeTrace(),
              Join({{"***** DIZ_API_FindRecord('12')"}, noSlots, {"***** DIZ_API_InsertRecord()"}, noSlots}));
    EXPECT_EQ(api.DIZ_API_GetRecordID_Attachment(out), 0);
    EXPECT_STREQ(out, "0");
    EXPECT_EQ(world.LastError(), 0u);
}

// A database opened for import has no record to read from.
TEST(FieldExports, NoRecordInAnImportPass) {
    SessionWorld world;
    world.image().AddRecord(kScheduleDb, Schedule("dentist"));
    StartImport(world, kScheduleSection);
    EXPECT_EQ("", Field(world, "7"));
    EXPECT_EQ("", Field(world, "UID"));
    EXPECT_EQ(world.TakeTrace(), Lines({"***** DIZ_API_GetField('7', [OUT])", "Quenda field id 6 not found (qdb:1)",
                                        "***** DIZ_API_GetField('UID', [OUT])", "Returning ''"}));
}

// The host's e-mail body length, found under its C++ name and read from "ilsync.psf" in the data-file
// folder (the current folder when the registry names none) at byte 9,446; 4,096 when the file is too
// short or cannot be opened for update.  No trace line.
TEST(FieldExports, EmailBodyLength) {
    const struct {
        size_t size;  // 0: no file
        uint32_t number;
        bool failOpen, noFolder;
        int32_t result, length;
    } kRows[] = {
        {9500, 0x2000, false, false, 1, 0x2000},  {0, 0, false, false, 0, 4096},
        {9450, 0xFFFFFFFFu, false, false, 1, -1}, {9449, 0x04030201, false, false, 1, 4096},
        {10000, 0x04030201, true, false, 0, 4096}, {9450, 42, false, true, 1, 42},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(testing::Message() << row.size << " bytes");
        SessionWorld world;
        std::string bytes(row.size, '\x7F');
        for (size_t i = 0; i < 4 && 9446 + i < row.size; ++i)
            bytes[9446 + i] = static_cast<char>(row.number >> (8 * i));
        std::string file = world.sandbox().HostPath(std::string(kDataFolder) + "ilsync.psf");
        char previous[4096];
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        if (row.noFolder) {
            world.sandbox().WriteRegistry("Windows Registry Editor Version 5.00\r\n");
            file = world.sandbox().root() + "/ilsync.psf";
            ASSERT_EQ(chdir(world.sandbox().root().c_str()), 0);
        }
        if (row.size != 0) testing_support::WriteFile(file, bytes);
        world.Load();
        ASSERT_NE(world.api().GetEmailBodyLength, nullptr);
        if (row.failOpen) PlatformFailCall("CreateFileA", 1, 0);
        int32_t length = 0;
        EXPECT_EQ(world.api().GetEmailBodyLength(&length), row.result);
        PlatformClearFaults();
        EXPECT_EQ(length, row.length);
        EXPECT_TRUE(world.TakeTrace().empty());
        ASSERT_EQ(chdir(previous), 0);
    }
}

}  // namespace
