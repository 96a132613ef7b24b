// Record information the host reads as a whole, in what a device record
// cannot bring to the export tests: fields missing from the record, a
// start date without bytes.
#include "field_record.h"
#include "fields/field_write.h"
#include "fields/get_field.h"
#include "fields/record_info.h"
#include "session/sync_session.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

using field_testing::FieldRecord;
using testing_support::Sandbox;

namespace {

using namespace ScheduleField;

// A RepeatInfo as the host would lay it out, days as seven '0' or '1'.
RepeatInfo Expected(uint8_t period, uint8_t count, uint8_t deleteFlag, const char* start, const char* end,
                    uint8_t repeating, const char* days = "0000000") {
    RepeatInfo info = RepeatInfo{period, count, deleteFlag, {}, {}, repeating, {}};
    strcpy(info.startDate, start);
    strcpy(info.endDate, end);
    for (int i = 0; i < 7; ++i) info.weekDays[i] = days[i] == '1';
    return info;
}

// Every field of the rule as text, to compare with a readable difference.
std::string Describe(const RepeatInfo& info) {
    std::string days;
    for (uint8_t day : info.weekDays) days += std::to_string(day);
    return "period " + std::to_string(info.repeatPeriod) + " count " + std::to_string(info.repeatCount) + " delete " +
           std::to_string(info.deleteFlag) + " [" + std::string(info.startDate, strnlen(info.startDate, 10)) + "] [" +
           std::string(info.endDate, strnlen(info.endDate, 10)) + "] repeating " +
           std::to_string(info.isRepeating) + " days " + days;
}

// Fills a RepeatInfo of 0xAA bytes and compares all its 31 bytes.
void ExpectRule(const RepeatInfo& expected) {
    RepeatInfo info;
    memset(&info, 0xAA, sizeof info);
    EXPECT_EQ(FillRepeatInfo(&info), 0);
    EXPECT_EQ(Describe(info), Describe(expected));
    EXPECT_EQ(memcmp(&info, &expected, sizeof info), 0) << "some byte differs";
}

// A weekly event whose fields are all there but for missing, its field 2
// not read yet.
void MakeRepeating(FieldRecord& record, uint32_t missing) {
    record.SetByte(RepeatFlag, 1);
    if (missing != RepeatPeriod) record.SetByte(RepeatPeriod, 2);
    if (missing != RepeatCount) record.SetByte(RepeatCount, 3);
    if (missing != DeleteFlag) record.SetByte(DeleteFlag, 1);
    if (missing != FromDate) record.SetNumber(FromDate, 20030415);
    if (missing != RepeatEndDate) record.SetNumber(RepeatEndDate, 20031231);
    if (missing != DayPattern) record.SetShort(DayPattern, 0x41);
    g_session.recordRepeats = 0;
}

TEST(GetRepeatInfo, MissingFieldEndsTheRuleWhereItIs) {
    const struct {
        uint32_t missing;
        const char* line;
        RepeatInfo expected;
    } cases[] = {
        {RepeatPeriod, "RepeatPeriod-> Schedule", Expected(0, 0, 0, "", "", 1)},
        {RepeatCount, "RepeatCount-> Schedule", Expected(2, 0, 0, "", "", 1)},
        {DeleteFlag, "DeleteFlag -> Schedule", Expected(2, 3, 0, "", "", 1)},
        {FromDate, "FromDate -> Schedule", Expected(2, 3, 1, "", "", 1)},
        {RepeatEndDate, "RpEndDate -> Schedule", Expected(2, 3, 1, "20030415", "", 1)},
        {DayPattern, "DayPattern -> Schedule", Expected(2, 3, 1, "20030415", "20031231", 1)},
    };
    for (const auto& c : cases) {
        FieldRecord record(kScheduleDbId, {c.missing});
        MakeRepeating(record, c.missing);
        g_session.recordRepeats = 1;
        Sandbox sandbox;
        ExpectRule(c.expected);
        EXPECT_EQ(sandbox.DebugOutput(),
                  std::string("***** DIZ_API_GetRepeatInfo()\nQuenda field ") + c.line + " field not found *****\n");
    }
}

// A single event (field 2 not read, whatever the repeat fields hold) whose
// start date is empty, or whose record lacks a field: the dates stop
// silently there.
TEST(GetRepeatInfo, EventDates) {
    const struct {
        uint32_t missing;  // Count: none
        int allDay;        // -1: no value
        bool fromSet;
        int32_t to;
        const char *start, *end;
    } cases[] = {
        {Count, 0, false, 20030417, "", "0"}, {Count, 1, false, 20030417, "", "20030417"},
        {AllDayFlag, -1, true, 20030417, "", ""}, {ToDate, 0, true, 0, "20030415", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "missing " << c.missing << " all day " << c.allDay << " to " << c.to);
        Sandbox sandbox;
        FieldRecord record(kScheduleDbId, {c.missing});
        MakeRepeating(record, c.fromSet ? Count : FromDate);
        if (c.allDay >= 0) record.SetByte(AllDayFlag, static_cast<uint8_t>(c.allDay));
        if (c.missing != ToDate) record.SetNumber(ToDate, c.to);
        ExpectRule(Expected(0, 0, 0, c.start, c.end, 0));
        EXPECT_EQ(sandbox.DebugOutput(), "***** DIZ_API_GetRepeatInfo()\n");
    }
}

// A record without the folder field (which no device record converts to)
// leaves the host's folder as it was.  (The folder values are the export
// tests'.)
TEST(ReadFolderId, RecordWithoutTheField) {
    Sandbox sandbox;
    FieldRecord record(kMailDbId, {MailField::FolderID});
    ASSERT_EQ(ChooseHostFolder(3), 0);
    const size_t before = sandbox.DebugOutput().size();
    EXPECT_EQ(ReadFolderId(), 0);
    uint32_t folder = 77;
    EXPECT_EQ(GetFolderId(&folder), 0);
    EXPECT_EQ(folder, 3u);
    EXPECT_EQ(sandbox.DebugOutput().substr(before),
              "***** DIZ_API_ReadFolderID()\nQuenda field FolderId not found *****\n***** DIZ_API_GetFolderID\n"
              "***** DIZ_API_ReadFolderID()\nQuenda field FolderId not found *****\n");
}

}  // namespace
