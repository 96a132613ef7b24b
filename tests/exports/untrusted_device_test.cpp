// A device whose replies break the link library's promises: lists that are
// not there behind their counts, values with a length but no bytes, values
// shorter than their type, records it did not fill or filled only in part,
// field names without their terminating zero, field lists that do not
// match the adapter's tables.  The host must get what it gets for a
// missing or empty value, and the adapter must read nothing that is not
// there.
#include "exports/export_world.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace export_tests;
using tethra_sim::DeviceImage;
using tethra_sim::FaultEffect;
using tethra_sim::TextValue;

namespace {

constexpr int32_t kToDo = kToDoSection, kMail = kMailSection;

// A task with a value in every field the reads below look at.
void Task(DeviceImage& image) {
    image.AddRecord(kToDoDb, {{"S_DESCRIPTION3", TextValue("task")},
                              {"S_START_DATE", tethra_sim::DateValue(2024, 3, 1)},
                              {"S_PRIORITY", tethra_sim::ByteValue(4)},
                              {"S_NOTEMEMO", TextValue("note")},
                              {"S_CONFIDENTIAL1", tethra_sim::NumberValue(1)}});
}

// The task with a 7-byte start date and a 1-byte secret flag number.
void ShortTask(DeviceImage& image) {
    Task(image);
    tethra_sim::Database& db = *image.Find(kToDoDb);
    tethra_sim::Record& record = db.records.back();
    record.values[db.FieldIndex("S_START_DATE")].bytes.resize(7);
    record.values[db.FieldIndex("S_CONFIDENTIAL1")].bytes.resize(1);
}

// "S_NOTEMEMO" grown to fill all 96 bytes of its name.
const std::string kLongNoteName = "S_NOTEMEMO" + std::string(86, 'X');

void TaskWithUnterminatedName(DeviceImage& image) {
    Task(image);
    tethra_sim::Database& db = *image.Find(kToDoDb);
    db.fields[db.FieldIndex("S_NOTEMEMO")].name = kLongNoteName;
}

// The device lists its fields backwards, without "S_PRIORITY" and with one
// the adapter does not know.
void TaskInOtherFieldList(DeviceImage& image) {
    Task(image);
    tethra_sim::Database& db = *image.Find(kToDoDb);
    tethra_sim::Record& record = db.records.back();
    const int priority = db.FieldIndex("S_PRIORITY");
    db.fields.erase(db.fields.begin() + priority);
    record.values.erase(record.values.begin() + priority);
    db.fields.push_back({"S_UNKNOWN", tethra_sim::kLinkText});
    record.values.push_back(TextValue("unknown"));
    std::reverse(db.fields.begin(), db.fields.end());
    std::reverse(record.values.begin(), record.values.end());
}

void MailInBothDatabases(DeviceImage& image) {
    image.AddRecord(kMailDb, Mail("main", 0));
    image.AddRecord(kCompanionDb, Mail("companion", 0));
}

// A send date of 0 (the text "0") under an empty received date.
void MailWithZeroSendDate(DeviceImage& image) {
    tethra_sim::FieldValues values = Mail("dated", 0);
    tethra_sim::LinkValue zero;
    zero.bytes.assign(8, 0);
    values.push_back({"S_SEND_DATE", zero});
    image.AddRecord(kMailDb, values);
}

// Host field id and the text read from the first record.
using Reads = Puts;

const Reads kTaskReads = {{"2", "task"}, {"8", "20240301"}, {"4", "2"}, {"5", "note"}, {"7", "1"}};
const Reads kEmptyTaskReads = {{"2", ""}, {"8", ""}, {"4", "1"}, {"5", ""}, {"7", "0"}};
const Reads kHalfTaskReads = {{"2", "task"}, {"8", "20240301"}, {"4", "1"}, {"5", ""}, {"7", "0"}};
const Reads kMainMail = {{"UID", "1"}, {"9", "main"}};
const Reads kCompanionMail = {{"UID", "-2147483647"}, {"9", "companion"}};

struct UntrustedRow {
    const char* name;
    int32_t section;
    void (*prepare)(DeviceImage&);
    bool full;              // the pass reads the database in full, else its change lists
    const char* operation;  // device operation whose reply is damaged, "" none
    unsigned nth;
    FaultEffect effect;
    uint32_t count;         // records the host is given
    Reads reads;            // of the first record
    std::string line;       // a trace line of the open, "" none
};
void PrintTo(const UntrustedRow& row, std::ostream* out) { *out << row.name; }

const UntrustedRow kRows[] = {
    {"Intact", kToDo, Task, false, "", 0, FaultEffect::kFail, 1, kTaskReads, ""},
    {"ValuesWithoutData", kToDo, Task, false, "S_DVXGetRecordData", 1, FaultEffect::kNullValues, 1,
     kEmptyTaskReads, ""},
    {"FullReadValuesWithoutData", kToDo, Task, true, "S_DVXGetFirstSyncRecordData", 1, FaultEffect::kNullValues, 1,
     kEmptyTaskReads, ""},
    {"RecordNotFilled", kToDo, Task, false, "S_DVXGetRecordData", 1, FaultEffect::kZeroCount, 1, kEmptyTaskReads,
     ""},
    {"RecordWithHalfItsSlots", kToDo, Task, false, "S_DVXGetRecordData", 1, FaultEffect::kShortRecords, 1,
     kHalfTaskReads, ""},
    {"FullReadRecordsWithHalfTheirSlots", kToDo, Task, true, "S_DVXGetFirstSyncRecordData", 1,
     FaultEffect::kShortRecords, 1, kHalfTaskReads, ""},
    // Zero-extended, the 7 bytes are a date a moment after day 0.
    {"ShortValues", kToDo, ShortTask, true, "", 0, FaultEffect::kFail, 1, {{"8", "18991230"}, {"7", "1"}}, ""},
    {"NameWithoutZero", kToDo, TaskWithUnterminatedName, true, "", 0, FaultEffect::kFail, 1,
     {{"2", "task"}, {"5", ""}, {"7", "1"}}, "     6) ID:   0  Type: 16  Name: " + kLongNoteName},
    {"OtherFieldList", kToDo, TaskInOtherFieldList, true, "", 0, FaultEffect::kFail, 1,
     {{"2", "task"}, {"8", "20240301"}, {"4", "1"}, {"5", "note"}, {"7", "1"}},
     "     0) ID:   0  Type: 16  Name: S_UNKNOWN"},
    {"FieldInfoWithoutList", kToDo, Task, true, "S_DVXGetDBInfo", 1, FaultEffect::kNullLists, 1, kEmptyTaskReads,
     ""},
    {"ChangeListsWithoutIds", kToDo, Task, false, "S_DVXGetAllSyncRecordList", 1, FaultEffect::kNullLists, 0, {},
     ""},
    {"FullReadWithoutRecords", kToDo, Task, true, "S_DVXGetFirstSyncRecordData", 1, FaultEffect::kNullLists, 0, {},
     ""},
    {"MainMailChangeListsWithoutIds", kMail, MailInBothDatabases, false, "S_DVXGetAllSyncRecordList", 1,
     FaultEffect::kNullLists, 1, kCompanionMail, ""},
    {"CompanionMailChangeListsWithoutIds", kMail, MailInBothDatabases, false, "S_DVXGetAllSyncRecordList", 2,
     FaultEffect::kNullLists, 1, kMainMail, ""},
    {"MainMailFullReadWithoutRecords", kMail, MailInBothDatabases, true, "S_DVXGetFirstSyncRecordData", 1,
     FaultEffect::kNullLists, 1, kCompanionMail, ""},
    {"CompanionMailFullReadWithoutRecords", kMail, MailInBothDatabases, true, "S_DVXGetFirstSyncRecordData", 2,
     FaultEffect::kNullLists, 1, kMainMail, ""},
    // The send date stays behind the received date's empty length.
    {"SendDateUnderEmptyReceivedDate", kMail, MailWithZeroSendDate, true, "", 0, FaultEffect::kFail, 1,
     {{"11.D", "0"}, {"11.T", ""}, {"9", "dated"}}, ""},
};

class UntrustedDevice : public testing::TestWithParam<UntrustedRow> {};

TEST_P(UntrustedDevice, HostReadsMissingValues) {
    const UntrustedRow& row = GetParam();
    SessionWorld world;
    row.prepare(world.image());
    for (uint32_t dbId : {kToDoDb, kMailDb, kCompanionDb}) world.image().Find(dbId)->syncEnabled = !row.full;
    // Through the image file: the fault counts calls from when the device loads it.
    if (row.operation[0] != '\0') world.image().FailCall(row.operation, row.nth, kInjected, false, row.effect);
    StartPaired(world);
    ASSERT_EQ(0, world.api().DIZ_API_SetFolderID(1));
    world.api().DIZ_API_BeginExport(kStamp);
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(row.section, "", ""));
    EXPECT_TRUE(row.line.empty() || HasLine(world.TakeTrace(), row.line)) << row.line;
    uint32_t count = 0;
    ASSERT_EQ(0, world.api().DIZ_API_GetRecordCount(row.section, kStamp, &count));
    ASSERT_EQ(row.count, count);
    if (count == 0) return;
    uint32_t status = 0;
    ASSERT_EQ(0, world.api().DIZ_API_GetFirstRecord(row.section, kStamp, &status));
    for (const auto& [id, text] : row.reads) EXPECT_EQ(Field(world, id), text) << id;
}

INSTANTIATE_TEST_SUITE_P(Replies, UntrustedDevice, testing::ValuesIn(kRows), RowName());

}  // namespace
