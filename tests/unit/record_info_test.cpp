// Record information the host reads as a whole: the repeat rule, the
// e-mail folder, the write record's id and the host's e-mail body length.
#include "app/morvane_app.h"
#include "field_record.h"
#include "fields/get_field.h"
#include "fields/record_info.h"
#include "fields/write_record.h"
#include "platform/platform_test.h"
#include "session/sync_session.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <string>

using field_testing::FieldRecord;
using field_testing::ReadField;
using testing_support::Sandbox;

namespace {

using namespace ScheduleField;

// A RepeatInfo as the host would lay it out, to compare all 31 bytes.
RepeatInfo Expected(uint8_t period, uint8_t count, uint8_t deleteFlag, const char* start, const char* end,
                    uint8_t repeating, const uint8_t (&days)[7]) {
    RepeatInfo info;
    memset(&info, 0, sizeof info);
    info.repeatPeriod = period;
    info.repeatCount = count;
    info.deleteFlag = deleteFlag;
    strcpy(info.startDate, start);
    strcpy(info.endDate, end);
    info.isRepeating = repeating;
    memcpy(info.weekDays, days, 7);
    return info;
}

RepeatInfo Fill() {
    RepeatInfo info;
    memset(&info, 0xAA, sizeof info);
    EXPECT_EQ(FillRepeatInfo(&info), 0);
    return info;
}

void ExpectSame(const RepeatInfo& actual, const RepeatInfo& expected) {
    EXPECT_EQ(actual.repeatPeriod, expected.repeatPeriod);
    EXPECT_EQ(actual.repeatCount, expected.repeatCount);
    EXPECT_EQ(actual.deleteFlag, expected.deleteFlag);
    EXPECT_STREQ(actual.startDate, expected.startDate);
    EXPECT_STREQ(actual.endDate, expected.endDate);
    EXPECT_EQ(actual.isRepeating, expected.isRepeating);
    EXPECT_EQ(memcmp(&actual, &expected, sizeof actual), 0) << "some byte differs";
}

constexpr uint8_t kNoDays[7] = {0, 0, 0, 0, 0, 0, 0};

// A weekly event that the host has seen repeat by reading its field 2.
void MakeRepeating(FieldRecord& record) {
    record.SetByte(RepeatFlag, 1);
    record.SetByte(RepeatPeriod, 2);
    record.SetByte(RepeatCount, 3);
    record.SetByte(DeleteFlag, 1);
    record.SetNumber(FromDate, 20030415);
    record.SetNumber(RepeatEndDate, 20031231);
    record.SetShort(DayPattern, 0x41);
    g_session.recordRepeats = 0;
    ASSERT_EQ(ReadField("2").text, "Yes");
}

TEST(GetRepeatInfo, RepeatRuleAfterFieldTwoWasRead) {
    Sandbox sandbox;
    FieldRecord record(kScheduleDbId);
    MakeRepeating(record);
    theApp.lastErrorCode = 0x10000004u;
    const uint8_t days[7] = {1, 1, 0, 0, 0, 0, 0};
    ExpectSame(Fill(), Expected(2, 3, 1, "20030415", "20031231", 1, days));
    EXPECT_EQ(theApp.lastErrorCode, 0u);
    std::string trace = sandbox.DebugOutput();
    std::string entry = "***** DIZ_API_GetRepeatInfo()\n";
    ASSERT_GE(trace.size(), entry.size());
    EXPECT_EQ(trace.substr(trace.size() - entry.size()), entry);
    // An end date of 0 has no end; no value leaves it empty.
    record.SetNumber(RepeatEndDate, 0);
    EXPECT_STREQ(Fill().endDate, "-1");
    record.SetAbsent(RepeatEndDate);
    EXPECT_STREQ(Fill().endDate, "");
}

TEST(GetRepeatInfo, DayPatternBits) {
    struct {
        int16_t pattern;
        uint8_t days[7];
    } cases[] = {
        {0x41, {1, 1, 0, 0, 0, 0, 0}}, {0x7F, {1, 1, 1, 1, 1, 1, 1}}, {0x80, {0, 0, 0, 0, 0, 0, 0}},
        {0x20, {0, 0, 0, 0, 0, 0, 1}}, {0x40, {1, 0, 0, 0, 0, 0, 0}}, {0x0A, {0, 0, 1, 0, 1, 0, 0}},
    };
    FieldRecord record(kScheduleDbId);
    MakeRepeating(record);
    for (const auto& c : cases) {
        record.SetShort(DayPattern, c.pattern);
        EXPECT_EQ(memcmp(Fill().weekDays, c.days, 7), 0) << std::hex << c.pattern;
    }
}

TEST(GetRepeatInfo, MissingFieldEndsTheRuleWhereItIs) {
    struct {
        uint32_t missing;
        const char* line;
        RepeatInfo expected;
    } cases[] = {
        {RepeatPeriod, "Quenda field RepeatPeriod-> Schedule field not found *****\n",
         Expected(0, 0, 0, "", "", 1, kNoDays)},
        {RepeatCount, "Quenda field RepeatCount-> Schedule field not found *****\n",
         Expected(2, 0, 0, "", "", 1, kNoDays)},
        {DeleteFlag, "Quenda field DeleteFlag -> Schedule field not found *****\n",
         Expected(2, 3, 0, "", "", 1, kNoDays)},
        {FromDate, "Quenda field FromDate -> Schedule field not found *****\n",
         Expected(2, 3, 1, "", "", 1, kNoDays)},
        {RepeatEndDate, "Quenda field RpEndDate -> Schedule field not found *****\n",
         Expected(2, 3, 1, "20030415", "", 1, kNoDays)},
        {DayPattern, "Quenda field DayPattern -> Schedule field not found *****\n",
         Expected(2, 3, 1, "20030415", "20031231", 1, kNoDays)},
    };
    for (const auto& c : cases) {
        FieldRecord record(kScheduleDbId, {c.missing});
        auto present = [&](uint32_t id) { return id != c.missing; };
        record.SetByte(RepeatFlag, 1);
        if (present(RepeatPeriod)) record.SetByte(RepeatPeriod, 2);
        if (present(RepeatCount)) record.SetByte(RepeatCount, 3);
        if (present(DeleteFlag)) record.SetByte(DeleteFlag, 1);
        if (present(FromDate)) record.SetNumber(FromDate, 20030415);
        if (present(RepeatEndDate)) record.SetNumber(RepeatEndDate, 20031231);
        if (present(DayPattern)) record.SetShort(DayPattern, 0x41);
        g_session.recordRepeats = 1;
        Sandbox sandbox;
        ExpectSame(Fill(), c.expected);
        EXPECT_EQ(sandbox.DebugOutput(), std::string("***** DIZ_API_GetRepeatInfo()\n") + c.line);
    }
}

// A single event (field 2 not read, whatever the repeat fields hold): start
// and end dates, stopping silently at a missing field.
TEST(GetRepeatInfo, EventDates) {
    struct {
        uint32_t missing;  // Count: none
        int allDay;        // -1: no value
        bool fromSet;
        int32_t to;
        const char* start;
        const char* end;
    } cases[] = {
        {Count, 0, true, 20030415, "20030415", "20030415"},  // 0
        {Count, 1, true, 20030417, "20030415", "20030417"},
        {Count, 0, true, 20030417, "20030415", "20030415"},
        {Count, 1, true, 0, "20030415", "-1"},
        {Count, 1, true, 20030415, "20030415", "20030415"},
        {Count, -1, true, 20030417, "20030415", "20030415"},  // 5
        {Count, 0, false, 20030417, "", "0"},
        {Count, 1, false, 20030417, "", "20030417"},
        {AllDayFlag, -1, true, 20030417, "", ""},
        {ToDate, 0, true, 0, "20030415", ""},
    };
    int row = 0;
    for (const auto& c : cases) {
        Sandbox sandbox;
        FieldRecord record(kScheduleDbId, {c.missing});
        record.SetByte(RepeatFlag, 1);
        record.SetByte(RepeatPeriod, 2);
        if (c.allDay >= 0) record.SetByte(AllDayFlag, static_cast<uint8_t>(c.allDay));
        if (c.fromSet) record.SetNumber(FromDate, 20030415);
        if (c.missing != ToDate) record.SetNumber(ToDate, c.to);
        g_session.recordRepeats = 0;
        ExpectSame(Fill(), Expected(0, 0, 0, c.start, c.end, 0, kNoDays));
        EXPECT_EQ(sandbox.DebugOutput(), "***** DIZ_API_GetRepeatInfo()\n") << "row " << row;
        ++row;
    }
}

// Folders: device 0-3 are host 1-4.
TEST(ReadFolderId, DeviceFolderPlusOne) {
    struct {
        int32_t device;  // -1: no value
        int32_t result;
        uint32_t host;
    } cases[] = {{0, 0, 1}, {1, 0, 2}, {2, 0, 3}, {3, 0, 4}, {-1, 0, 1}, {4, -999, 9}, {7, -999, 9}, {-2, -999, 9}};
    for (const auto& c : cases) {
        FieldRecord record(kMailDbId);
        if (c.device != -1) record.SetNumber(MailField::FolderID, c.device);
        g_session.hostFolderId = 9;
        EXPECT_EQ(ReadFolderId(), c.result) << c.device;
        EXPECT_EQ(g_session.hostFolderId, c.host) << c.device;
    }
}

TEST(ReadFolderId, KeepsTheLastErrorAndTraces) {
    Sandbox sandbox;
    FieldRecord record(kMailDbId);
    record.SetNumber(MailField::FolderID, 1);
    theApp.lastErrorCode = 0x1234u;
    EXPECT_EQ(ReadFolderId(), 0);
    EXPECT_EQ(theApp.lastErrorCode, 0x1234u);
    EXPECT_EQ(sandbox.DebugOutput(), "***** DIZ_API_ReadFolderID()\n");
}

TEST(ReadFolderId, OtherDatabasesAndMissingFieldLeaveTheFolder) {
    {
        Sandbox sandbox;
        FieldRecord record(kAddressDbId);
        g_session.hostFolderId = 3;
        EXPECT_EQ(ReadFolderId(), 0);
        EXPECT_EQ(g_session.hostFolderId, 3u);
        uint32_t folder = 0;
        EXPECT_EQ(GetFolderId(&folder), 0);
        EXPECT_EQ(folder, 3u);
    }
    Sandbox sandbox;
    FieldRecord record(kMailDbId, {MailField::FolderID});
    EXPECT_EQ(ReadFolderId(), 0);
    EXPECT_EQ(g_session.hostFolderId, 3u);
    EXPECT_EQ(sandbox.DebugOutput(), "***** DIZ_API_ReadFolderID()\nQuenda field FolderId not found *****\n");
}

TEST(GetFolderId, FolderOutsideTheDeviceRangeIsNotFound) {
    Sandbox sandbox;
    FieldRecord record(kMailDbId);
    record.SetNumber(MailField::FolderID, 7);
    g_session.hostFolderId = 2;
    uint32_t folder = 77;
    EXPECT_EQ(GetFolderId(&folder), -11);
    EXPECT_EQ(folder, 77u);
    EXPECT_EQ(g_session.hostFolderId, 2u);
    EXPECT_EQ(sandbox.DebugOutput(), "***** DIZ_API_GetFolderID\n***** DIZ_API_ReadFolderID()\nisSent not found \n");
}

TEST(GetWriteRecordId, RecordIdInSignedDecimal) {
    Sandbox sandbox;
    g_session.writeRecord = WorkingRecord{kWorkingRecordSize, 5, 0x80000001u, nullptr, 0};
    char out[16];
    memset(out, 'Z', sizeof out);
    EXPECT_EQ(GetWriteRecordId(out), 0);
    EXPECT_STREQ(out, "-2147483647");
    EXPECT_EQ(out[12], 'Z');
    g_session.writeRecord.recordId = 0;
    EXPECT_EQ(GetWriteRecordId(out), 0);
    EXPECT_STREQ(out, "0");
    EXPECT_EQ(sandbox.DebugOutput(), "");
}

// "ilsync.psf": the body length at byte 9,446.
std::string BodyLengthFile(size_t size, const unsigned char (&number)[4]) {
    std::string bytes(size, '\x11');
    for (size_t i = 0; i < 4 && 9446 + i < size; ++i) bytes[9446 + i] = static_cast<char>(number[i]);
    return bytes;
}

// Beyond the two cases the export tests read: a folder without its
// backslash, files of exactly 9,450 bytes or one short, a file that cannot
// be opened for update.
TEST(EmailBodyLength, FileSizesAndFailures) {
    struct {
        size_t size;
        unsigned char number[4];
        bool failOpen;
        int result;
        int32_t length;
    } cases[] = {
        {9450, {0x00, 0x10, 0x00, 0x00}, false, 1, 4096},
        {9450, {0xFF, 0xFF, 0xFF, 0xFF}, false, 1, -1},
        {10000, {0x78, 0x56, 0x34, 0x12}, false, 1, 0x12345678},
        {9449, {1, 2, 3, 4}, false, 1, 4096},
        {10000, {1, 2, 3, 4}, true, 0, 4096},
    };
    for (const auto& c : cases) {
        Sandbox sandbox;
        sandbox.WriteStandardRegistry("C:\\Korvell\\Data", -1);
        testing_support::WriteFile(sandbox.HostPath("C:\\Korvell\\Data\\ilsync.psf"),
                                   BodyLengthFile(c.size, c.number));
        if (c.failOpen) PlatformFailCall("CreateFileA", 1, 0);
        int32_t length = -7;
        EXPECT_EQ(ReadEmailBodyLength(&length), c.result) << c.size;
        EXPECT_EQ(length, c.length) << c.size;
        PlatformClearFaults();
    }
}

TEST(EmailBodyLength, WithoutDataFolderTheFileIsLookedForInTheCurrentFolder) {
    Sandbox sandbox;
    sandbox.WriteRegistry("Windows Registry Editor Version 5.00\r\n");
    const unsigned char number[4] = {0x2A, 0, 0, 0};
    testing_support::WriteFile(sandbox.root() + "/ilsync.psf", BodyLengthFile(9450, number));
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(sandbox.root().c_str()), 0);
    int32_t length = -1;
    EXPECT_EQ(ReadEmailBodyLength(&length), 1);
    EXPECT_EQ(length, 42);
    ASSERT_EQ(chdir(previous), 0);
}

}  // namespace
