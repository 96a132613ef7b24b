// A careless or hostile host: null pointers, texts of any length, exports in any order (random
// sequences are fuzz_export_sequence's).  The adapter must answer each with a status, write nothing
// through a null pointer or past a host buffer's bounds, and still serve a normal session afterwards.
// Buffers have exactly the promised size, so that a sanitized build stops at the first byte beyond.
// Then a device that breaks the link library's promises.
#include "exports/export_world.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string.h>

using namespace export_tests;
using testing_support::AdapterExports;
using tethra_sim::DeviceImage;
using tethra_sim::FaultEffect;
using tethra_sim::TextValue;

namespace {

// Bounds a host relies on: field text and its terminator, record id text.
constexpr size_t kFieldTextBytes = 49152 + 1;
constexpr size_t kRecordIdBytes = 12;

using Call = std::function<int32_t(const AdapterExports&)>;

// One export call (its text names it), its result and, when not null, a trace line it writes.
struct Row {
    const char* what;
    Call call;
    int32_t result;
    const char* line = nullptr;
};
// ROW(result, call) and ROW_LINE(result, line, call): a row of api.call (a void export followed by ", 0").
#define ROW_LINE(result, line, ...) \
    Row { #__VA_ARGS__, [&](const AdapterExports& a) -> int32_t { return a.__VA_ARGS__; }, result, line }
#define ROW(result, ...) ROW_LINE(result, nullptr, __VA_ARGS__)

// Runs every row in order; a row's line must be among the lines it wrote.
void RunRows(SessionWorld& world, const std::vector<Row>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        EXPECT_EQ(row.result, row.call(world.api())) << "row " << i << ": " << row.what;
        const Lines trace = world.TakeTrace();
        if (row.line != nullptr) {
            EXPECT_TRUE(HasLine(trace, row.line)) << "row " << i << ": " << row.what;
        }
    }
}

// A buffer of exactly n bytes on the heap, filled with 'Z'.
std::unique_ptr<char[]> HostBuffer(size_t n) {
    std::unique_ptr<char[]> buffer(new char[n]);
    memset(buffer.get(), 'Z', n);
    return buffer;
}

std::string FieldText(const AdapterExports& api, const char* id, int32_t* result) {
    std::unique_ptr<char[]> out = HostBuffer(kFieldTextBytes);
    *result = api.DIZ_API_GetField(id, out.get());
    EXPECT_NE(nullptr, memchr(out.get(), '\0', kFieldTextBytes)) << id;
    return std::string(out.get(), strnlen(out.get(), kFieldTextBytes));
}

// A session started and a normal export of every Memo record, which no misuse before may spoil.
void ExpectNormalSession(SessionWorld& world) {
    const AdapterExports& api = world.api();
    ASSERT_EQ(0, api.DIZ_API_Initialize("", ""));
    std::vector<std::string> titles;
    api.DIZ_API_BeginExport(0);
    EXPECT_EQ(0, api.DIZ_API_OpenDatabase(kMemoSection, "", ""));
    uint32_t status = 0;
    for (int32_t r = api.DIZ_API_GetFirstRecord(kMemoSection, 0, &status); r == 0;
         r = api.DIZ_API_GetNextRecord(kMemoSection, 0, &status)) {
        int32_t result = -1;
        titles.push_back(FieldText(api, "1", &result));
        EXPECT_EQ(0, result);
    }
    EXPECT_EQ(0, api.DIZ_API_CloseDatabase(kMemoSection, 1, 0));
    EXPECT_EQ(std::vector<std::string>{"first note"}, titles);
}

TEST(UntrustedHost, NullPointersAreEmptyTextsAndUnwrittenOutputs) {
    SessionWorld world;
    world.image().AddRecord(kMemoDb, Memo("kept"));
    StartImport(world, kMailSection);
    RunRows(world, {
        ROW_LINE(0, "***** DIZ_API_Initialize('(null)', '(null)')", DIZ_API_Initialize(nullptr, nullptr)),
        ROW(0, DIZ_API_SetFolderID(1)),
        ROW(0, DIZ_API_InsertRecord()),
        ROW_LINE(-8, "***** DIZ_API_PutField('(null)', 'x')", DIZ_API_PutField(nullptr, "x")),
        ROW_LINE(0, "***** DIZ_API_PutField('9', '(null)')", DIZ_API_PutField("9", nullptr)),
        ROW(0, DIZ_API_GetFieldByWriteRec(1, nullptr)),
        ROW(0, DIZ_API_AddRecord(nullptr)),
        ROW(0, DIZ_API_GetRecordID_Attachment(nullptr)),
        ROW_LINE(-10, "***** DIZ_API_DeleteRecord('(null)')", DIZ_API_DeleteRecord(nullptr)),
        ROW_LINE(-11, "***** DIZ_API_FindRecord('(null)')", DIZ_API_FindRecord(nullptr)),
        ROW(0, DIZ_API_CloseDatabase(kMailSection, 1, 0)),
        ROW(0, DIZ_API_QueryFullSync(kMemoSection, 0, nullptr)),
        ROW(0, DIZ_API_BeginExport(0), 0),
        ROW_LINE(0, "***** DIZ_API_OpenDatabase(4, '(null)', '(null)')",
                 DIZ_API_OpenDatabase(kMemoSection, nullptr, nullptr)),
        ROW(0, DIZ_API_GetRecordCount(kMemoSection, 0, nullptr)),
        ROW(0, DIZ_API_GetFirstRecord(kMemoSection, 0, nullptr)),
        ROW_LINE(0, "Returning 'kept note'", DIZ_API_GetField("1", nullptr)),
        ROW_LINE(-8, "***** DIZ_API_GetField('(null)', [OUT])", DIZ_API_GetField(nullptr, nullptr)),
        ROW(0, DIZ_API_GetRepeatInfo(nullptr)),
        ROW(0, DIZ_API_GetFolderID(nullptr)),
        ROW(-7, DIZ_API_GetNextRecord(kMemoSection, 0, nullptr)),
        ROW(0, GetEmailBodyLength(nullptr)),
        ROW(1, GetInstallPath(nullptr)),
        ROW(0, DIZ_API_GetLastErrorCode(nullptr), 0),
    });
    // The mail written without an id buffer reached the device.
    EXPECT_EQ(1u, LiveDb(kMailDb).records.size() + LiveDb(kCompanionDb).records.size());
}

// Every export, in an order no host should use, on a library never started; then a normal session.
TEST(UntrustedHost, ExportsInAnyOrderBeforeAndAfterTheSession) {
    SessionWorld world;
    world.PairBothSides();
    world.image().AddRecord(kMemoDb, Memo("first"));
    world.Load();
    char id[kRecordIdBytes] = "";
    RepeatInfo info = {};
    uint32_t out = 0;
    RunRows(world, {
        ROW(0, DIZ_API_Uninitialize()),
        ROW(0, DIZ_API_CloseSyncApp()),
        ROW(-6, DIZ_API_GetRecordCount(kMemoSection, 0, &out)),
        ROW(-6, DIZ_API_GetFirstRecord(kMemoSection, 0, &out)),
        ROW(0, DIZ_API_GetField("1", HostBuffer(kFieldTextBytes).get())),
        ROW(0, DIZ_API_PutField("1", "x")),
        ROW(0, DIZ_API_SetAlarm()),
        ROW(0, DIZ_API_SetEventFlag()),
        ROW(0, DIZ_API_WriteFolderID(1)),
        ROW(0, DIZ_API_PutRepeatInfo(info)),
        ROW(-12, DIZ_API_AddRecord(id)),
        ROW(-12, DIZ_API_FlushRecord()),
        ROW(0, DIZ_API_GetRepeatInfo(&info)),
        ROW(-4, DIZ_API_GetIdDBRec(1)),
        ROW(0, DIZ_API_ReleaseReadRecord()),
        ROW(-10, DIZ_API_DeleteRecord("1")),
        ROW(-11, DIZ_API_FindRecord("1")),
        ROW(0, DIZ_API_CloseDatabase(kMemoSection, 1, 0)),
        ROW(0, DIZ_API_CloseDatabase(kMemoSection, 1, 0)),  // again
        ROW(0, DIZ_API_QueryFullSync(kMemoSection, 0, &out)),
        ROW(-6, DIZ_API_CancelCheck(kMemoSection)),
        ROW_LINE(-4, "Database not enabled on device: [8]", DIZ_API_OpenDatabase(kMemoSection, "", "")),
    });
    ExpectNormalSession(world);
    // The session closed under an open database with its record cache (found by fuzz_export_sequence:
    // the cache's entries were touched after their private heap was gone).
    RunRows(world, {
        ROW(0, DIZ_API_BeginExport(0), 0),
        ROW(0, DIZ_API_OpenDatabase(kMemoSection, "", "")),
        ROW(0, DIZ_API_GetFirstRecord(kMemoSection, 0, &out)),
        ROW(0, DIZ_API_CloseSyncApp()),
        // After CloseSyncApp:
        ROW_LINE(0, "Quenda field id 0 not found (qdb:8)", DIZ_API_GetField("1", HostBuffer(kFieldTextBytes).get())),
        ROW(-7, DIZ_API_GetNextRecord(kMemoSection, 0, &out)),
        ROW(0, DIZ_API_CloseDatabase(kMemoSection, 1, 0)),
        ROW(0, DIZ_API_CloseDatabase(kMemoSection, 1, 0)),    // twice
        ROW(-12, DIZ_API_FlushRecord()),                       // before any FindRecord
        ROW(0, DIZ_API_CloseSyncApp()),                        // twice
        ROW(0, DIZ_API_Uninitialize()),
        ROW(0, DIZ_API_Uninitialize()),                        // twice
        ROW(-4, DIZ_API_OpenDatabase(kMemoSection, "", "")),  // after Uninitialize
    });
    ExpectNormalSession(world);
}

// A record loaded by id after an open that failed before making its field table current: the Schedule
// table stays, the values are a Memo's (found by fuzz_export_sequence: a read past the Memo's slots).
TEST(UntrustedHost, RecordLoadedAfterAFailedOpenIsReadWithinItsSlots) {
    SessionWorld world;
    world.PairBothSides();
    const uint32_t memoId = world.image().AddRecord(kMemoDb, Memo("first"));
    world.Load();
    RepeatInfo info = {};
    RunRows(world, {
        ROW(0, DIZ_API_Initialize("", "")),
        ROW(0, DIZ_API_OpenDatabase(kScheduleSection, "", "")),
        ROW(0, DIZ_API_CloseSyncApp()),
        ROW(0, DIZ_API_Uninitialize()),
        // Unconnected: the Memo open fails.
        ROW_LINE(-4, "Database not enabled on device: [8]", DIZ_API_OpenDatabase(kMemoSection, "", "")),
        ROW(0, DIZ_API_Initialize("", "")),
        ROW(1, DIZ_API_GetIdDBRec(memoId)),
        // A Schedule field past the Memo's.
        ROW_LINE(0, "Quenda field id 6 not found (qdb:8)", DIZ_API_GetField("7", HostBuffer(kFieldTextBytes).get())),
        ROW(0, DIZ_API_GetRepeatInfo(&info)),
        ROW(0, DIZ_API_CloseSyncApp()),
        ROW(0, DIZ_API_Uninitialize()),
    });
    ExpectNormalSession(world);
}

// Texts far beyond anything a host should send, and device values far beyond a host buffer.
TEST(UntrustedHost, TextsOfAnyLengthStayWithinTheHostsBounds) {
    SessionWorld world;
    std::string lines;
    for (int i = 0; i < 40000; ++i) lines += "ab\n";  // 120,000 bytes, 160,000 as host text
    world.image().AddRecord(kMemoDb, {{"S_PAGE_NOTE", TextValue(std::string(100000, 't') + "\n" + lines)}});
    world.image().AddRecord(kAddressDb, {{"S_NAME", TextValue(lines)}, {"S_NOTE1", TextValue(lines)}});
    StartImport(world, kAddressSection);
    const AdapterExports& api = world.api();

    const std::string megabyte(1 << 20, 'm');
    const std::string longId(5000, '7');
    const std::string pointedId = "2." + std::string(5000, 'D');
    ASSERT_EQ(0, api.DIZ_API_InsertRecord());
    EXPECT_EQ(0, api.DIZ_API_PutField("1", megabyte.c_str()));
    std::unique_ptr<char[]> copy = HostBuffer(kFieldTextBytes);
    EXPECT_EQ(0, api.DIZ_API_GetFieldByWriteRec(0, copy.get()));
    EXPECT_EQ(kFieldTextBytes - 1, strlen(copy.get()));
    EXPECT_EQ(0, api.DIZ_API_PutField(longId.c_str(), "x"));
    EXPECT_EQ(0, api.DIZ_API_PutField(pointedId.c_str(), megabyte.c_str()));
    std::unique_ptr<char[]> id = HostBuffer(kRecordIdBytes);
    EXPECT_EQ(0, api.DIZ_API_AddRecord(id.get()));
    EXPECT_EQ(0, api.DIZ_API_CloseDatabase(kAddressSection, 1, 0));
    // Record id texts read as their signed decimal prefix, wrapped to 32 bits: FindRecord accepts any id
    // but 0, no such record is on the device.
    const std::vector<std::pair<std::string, int32_t>> recordIds = {
        {"99999999999999999999", 0}, {"-99999999999999999999", 0}, {"4294967296", -11}, {"-2147483649", 0},
        {"+-1", -11},                {" 12", 0},                    {"0x10", -11},       {longId, 0},
    };
    for (const auto& [text, found] : recordIds) {
        EXPECT_EQ(found, api.DIZ_API_FindRecord(text.c_str())) << text;
        EXPECT_EQ(-10, api.DIZ_API_DeleteRecord(text.c_str())) << text;
    }
    for (int32_t section : {kMemoSection, kAddressSection}) {
        api.DIZ_API_BeginExport(0);
        ASSERT_EQ(0, api.DIZ_API_OpenDatabase(section, "", ""));
        uint32_t status = 0;
        for (int32_t r = api.DIZ_API_GetFirstRecord(section, 0, &status); r == 0;
             r = api.DIZ_API_GetNextRecord(section, 0, &status)) {
            for (const char* field : {"1", "3", "31", "UID", longId.c_str(), pointedId.c_str()}) {
                int32_t result = -1;
                const std::string text = FieldText(api, field, &result);
                EXPECT_LE(text.size(), kFieldTextBytes - 1) << field;
                EXPECT_TRUE(result == 0 || result == -8) << field;
            }
        }
        EXPECT_EQ(0, api.DIZ_API_CloseDatabase(section, 1, 0));
    }
}

// A device whose replies break the link library's promises: lists missing behind their counts, values
// with a length but no bytes or shorter than their type, records not or half filled, field names without
// their terminating zero, field lists that do not match the adapter's tables.  The host must get what it
// gets for a missing or empty value, and the adapter must read nothing that is not there.
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
    std::string line = "";  // a trace line of the open, "" none
};
void PrintTo(const UntrustedRow& row, std::ostream* out) { *out << row.name; }

constexpr FaultEffect kNone = FaultEffect::kFail, kNullValues = FaultEffect::kNullValues,
                      kNullLists = FaultEffect::kNullLists, kShort = FaultEffect::kShortRecords;
const char kRead[] = "S_DVXGetRecordData", kFullRead[] = "S_DVXGetFirstSyncRecordData",
           kLists[] = "S_DVXGetAllSyncRecordList";

const UntrustedRow kRows[] = {
    {"Intact", kToDo, Task, false, "", 0, kNone, 1, kTaskReads},
    {"ValuesWithoutData", kToDo, Task, false, kRead, 1, kNullValues, 1, kEmptyTaskReads},
    {"FullReadValuesWithoutData", kToDo, Task, true, kFullRead, 1, kNullValues, 1, kEmptyTaskReads},
    {"RecordNotFilled", kToDo, Task, false, kRead, 1, FaultEffect::kZeroCount, 1, kEmptyTaskReads},
    {"RecordWithHalfItsSlots", kToDo, Task, false, kRead, 1, kShort, 1, kHalfTaskReads},
    {"FullReadRecordsWithHalfTheirSlots", kToDo, Task, true, kFullRead, 1, kShort, 1, kHalfTaskReads},
    // Zero-extended, the 7 bytes are a date a moment after day 0.
    {"ShortValues", kToDo, ShortTask, true, "", 0, kNone, 1, {{"8", "18991230"}, {"7", "1"}}},
    {"NameWithoutZero", kToDo, TaskWithUnterminatedName, true, "", 0, kNone, 1,
     {{"2", "task"}, {"5", ""}, {"7", "1"}}, "     6) ID:   0  Type: 16  Name: " + kLongNoteName},
    {"OtherFieldList", kToDo, TaskInOtherFieldList, true, "", 0, kNone, 1,
     {{"2", "task"}, {"8", "20240301"}, {"4", "1"}, {"5", "note"}, {"7", "1"}},
     "     0) ID:   0  Type: 16  Name: S_UNKNOWN"},
    {"FieldInfoWithoutList", kToDo, Task, true, "S_DVXGetDBInfo", 1, kNullLists, 1, kEmptyTaskReads},
    {"ChangeListsWithoutIds", kToDo, Task, false, kLists, 1, kNullLists, 0, {}},
    {"FullReadWithoutRecords", kToDo, Task, true, kFullRead, 1, kNullLists, 0, {}},
    {"MainMailChangeListsWithoutIds", kMail, MailInBothDatabases, false, kLists, 1, kNullLists, 1, kCompanionMail},
    {"CompanionMailChangeListsWithoutIds", kMail, MailInBothDatabases, false, kLists, 2, kNullLists, 1, kMainMail},
    {"MainMailFullReadWithoutRecords", kMail, MailInBothDatabases, true, kFullRead, 1, kNullLists, 1,
     kCompanionMail},
    {"CompanionMailFullReadWithoutRecords", kMail, MailInBothDatabases, true, kFullRead, 2, kNullLists, 1,
     kMainMail},
    // The send date stays behind the received date's empty length.
    {"SendDateUnderEmptyReceivedDate", kMail, MailWithZeroSendDate, true, "", 0, kNone, 1,
     {{"11.D", "0"}, {"11.T", ""}, {"9", "dated"}}},
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
