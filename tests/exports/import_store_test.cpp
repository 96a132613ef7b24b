// Storing records through the exports against the simulated device:
// changed records, the first-synchronisation queue, deletes, the e-mail
// folder, and every way storing can fail.
#include "exports/export_world.h"

#include "platform/platform_test.h"

#include <gtest/gtest.h>
#include <string>

using namespace export_tests;
using tethra_sim::TextValue;

namespace {

TEST(ChangedRecord, UnwrittenFieldsKeepTheirDeviceValues) {
    SessionWorld world;
    const tethra_sim::FieldValues task = {{"S_DESCRIPTION3", TextValue("old")},
                                          {"S_NOTEMEMO", TextValue("keep me")},
                                          {"S_PRIORITY", tethra_sim::ByteValue(4)},
                                          {"S_START_DATE", tethra_sim::DateValue(2024, 3, 1)}};
    const uint32_t id = world.image().AddRecord(kToDoDb, task);
    StartImport(world, kToDoSection);
    ASSERT_EQ(0, world.api().DIZ_API_FindRecord(std::to_string(id).c_str()));
    ASSERT_EQ(0, world.api().DIZ_API_PutField("2", "new"));
    EXPECT_EQ(0, world.api().DIZ_API_FlushRecord());
    ASSERT_EQ(1u, LiveDb(kToDoDb).records.size());
    EXPECT_EQ(Stored(kToDoDb, id, "S_DESCRIPTION3"), TextValue("new"));
    for (size_t i = 1; i < task.size(); ++i) EXPECT_EQ(Stored(kToDoDb, id, task[i].first), task[i].second);
}

// An export pass that reads the database in full, then the import pass.
void StartFirstSync(SessionWorld& world, int32_t section) {
    StartPaired(world);
    world.api().DIZ_API_BeginExport(0);
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(section, "", ""));
    ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(section, 0, 0));
    world.api().DIZ_API_BeginImport();
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(section, "", ""));
    world.TakeTrace();
}

TEST(FirstSync, RecordsAreQueuedWithProvisionalIdsAndWrittenAtClose) {
    SessionWorld world;
    StartFirstSync(world, kToDoSection);
    for (const char* expected : {"1", "2", "3"}) {
        std::string id;
        ASSERT_EQ(0, AddNew(world, {{"2", std::string("task ") + expected}}, &id));
        EXPECT_EQ(id, expected);
    }
    EXPECT_EQ(0u, LiveDb(kToDoDb).records.size());
    CountCalls("S_DVXPutFirstSyncRecordData");
    ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(kToDoSection, 1, 0));
    EXPECT_EQ(1u, CallsSeen("S_DVXPutFirstSyncRecordData"));
    const tethra_sim::Database& db = LiveDb(kToDoDb);
    ASSERT_EQ(3u, db.records.size());
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(Stored(kToDoDb, db.records[i].id, "S_DESCRIPTION3"), TextValue("task " + std::to_string(i + 1)));
}

TEST(FirstSync, MailIsSplitBetweenMainAndCompanionDatabase) {
    SessionWorld world;
    StartFirstSync(world, kMailSection);
    const std::pair<int32_t, const char*> kMails[] = {{1, "1"}, {2, "-2147483647"}, {1, "2"}, {4, "-2147483646"}};
    for (const auto& [folder, expected] : kMails) {
        ASSERT_EQ(0, world.api().DIZ_API_SetFolderID(folder));
        std::string id;
        ASSERT_EQ(0, AddNew(world, {{"9", std::string("mail ") + expected}}, &id));
        EXPECT_EQ(id, expected);
    }
    EXPECT_EQ(0u, LiveDb(kMailDb).records.size() + LiveDb(kCompanionDb).records.size());
    ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(kMailSection, 1, 0));
    ASSERT_EQ(2u, LiveDb(kMailDb).records.size());
    ASSERT_EQ(2u, LiveDb(kCompanionDb).records.size());
    const uint32_t companion = LiveDb(kCompanionDb).records[1].id;
    EXPECT_EQ(Stored(kMailDb, LiveDb(kMailDb).records[1].id, "S_SUBJECT"), TextValue("mail 2"));
    EXPECT_EQ(Stored(kCompanionDb, companion, "S_SUBJECT"), TextValue("mail -2147483646"));
    EXPECT_EQ(Stored(kCompanionDb, companion, "S_FOLDERID"), tethra_sim::NumberValue(3));
}

TEST(FirstSync, QueueStaysOffWhenTheFirstRecordCameWithoutAFullRead) {
    SessionWorld world;
    StartImport(world, kToDoSection);
    std::string first, second;
    ASSERT_EQ(0, AddNew(world, {{"2", "direct"}}, &first));
    // A full read now does not switch queueing on before the next BeginImport.
    OpenExport(world, kToDoSection, 0);
    ASSERT_EQ(0, AddNew(world, {{"2", "direct too"}}, &second));
    ASSERT_EQ(2u, LiveDb(kToDoDb).records.size());
    EXPECT_EQ(first, std::to_string(LiveDb(kToDoDb).records[0].id));
    EXPECT_EQ(second, std::to_string(LiveDb(kToDoDb).records[1].id));
}

TEST(Delete, MainAndCompanionMailRecordsAndADeviceRefusal) {
    SessionWorld world;
    const uint32_t main = world.image().AddRecord(kMailDb, Mail("main", 0));
    world.image().AddRecord(kCompanionDb, Mail("other", 1));
    const uint32_t companion = world.image().AddRecord(kCompanionDb, Mail("companion", 2));
    StartImport(world, kMailSection);
    const std::string companionText = std::to_string(static_cast<int32_t>(companion + kCompanionBit));
    EXPECT_EQ(0, world.api().DIZ_API_DeleteRecord(companionText.c_str()));
    EXPECT_EQ(world.TakeTrace(), (Lines{"***** DIZ_API_DeleteRecord('" + companionText + "')",
                                        "     ------ QAPI.QPC_DeleteRecordData(db=16, id=" + companionText + ")"}));
    ASSERT_EQ(1u, LiveDb(kCompanionDb).records.size());
    EXPECT_NE(LiveDb(kCompanionDb).records[0].id, companion);
    EXPECT_EQ(0, world.api().DIZ_API_DeleteRecord((std::to_string(main) + "abc").c_str()));
    EXPECT_EQ(0u, LiveDb(kMailDb).records.size());

    EXPECT_EQ(-10, world.api().DIZ_API_DeleteRecord("5"));
    EXPECT_EQ(world.LastError(), tethra_sim::kErrRecordNotFound);
    EXPECT_TRUE(HasLine(world.TakeTrace(), "S_DVXDeleteRecordData failed"));
}

// Every way AddRecord and FlushRecord can fail.  The database holds one
// record with the text "kept"; the host writes "new" into that record
// (FlushRecord) or into a new one (AddRecord), and maybe one field more,
// then a platform function or device operation is made to fail at its n-th
// call from the store on.  Nothing may reach the device, and the write
// record must be gone.
enum class Store { kAdd, kFlush };

struct StoreFaultRow {
    const char* name;
    Store store;
    int32_t section;
    const char* field;      // a host field written besides the text, "" none
    const char* value;
    int32_t folder;         // DIZ_API_SetFolderID before the record, -1 none
    bool firstSync;         // the pass reads the database in full first
    const char* operation;  // platform function or device operation, "" none
    unsigned nth;
    tethra_sim::FaultEffect effect;  // of a device operation
    int32_t result;
    uint32_t lastError;
    Lines trace;            // of the store call; "#" stands for the record's id
};

using tethra_sim::FaultEffect;
constexpr FaultEffect kFails = FaultEffect::kFail;
const char kAddLine[] = "***** DIZ_API_AddRecord('unchanged')";
const char kFlushLine[] = "***** DIZ_API_FlushRecord()";
const std::string kPut = "     ------ QAPI.QPC_PutRecordData(dwDBID=6, &TTwriteRec, 1, &count) dwRecId=";
const std::string kAddPut = kPut + "0 pszRecordID='unchanged'";
const std::string kFlushPut = kPut + "#";
const char kAlarmLine[] = "***** DIZ_API_SetAlarm('0', '0')";
const char kNoMemory1[] = "Failed to get enough memory (1 B) for data value.";
const char kNoMemory4[] = "Failed to get enough memory (4 B) for data value.";
const char kSetNoMemory[] = "***** ***** Manually setting Quenda Error: 10000004";
const char kCountZero[] = "Written record count came back 0 from QV_DVXPutRecordData";
const char kInvalidFolder[] = "Invalid folder ID [0] passed in to DIZ_API_WriteFolderID.";
const char kBadFolderReturn[] = "Bad return from DIZ_API_WriteFolderID, failing.";
constexpr uint32_t kNoMemory = 0x10000004u;
constexpr int32_t kSchedule = kScheduleSection, kToDo = kToDoSection, kMail = kMailSection;

const StoreFaultRow kStoreFaults[] = {
    {"AddAlarm", Store::kAdd, kSchedule, "11", "1", -1, false, "HeapAlloc", 1, kFails, -9, kNoMemory,
     {kAddLine, kAlarmLine, kNoMemory1, kSetNoMemory, "Bad return from DIZ_API_SetAlarm, failing."}},
    {"AddFolderNotSet", Store::kAdd, kMail, "", "", -1, false, "", 0, kFails, -9, 0,
     {kAddLine, "***** DIZ_API_WriteFolderID(0)", kInvalidFolder, kBadFolderReturn}},
    {"AddFolderMemory", Store::kAdd, kMail, "", "", 1, false, "HeapAlloc", 1, kFails, -9, kNoMemory,
     {kAddLine, "***** DIZ_API_WriteFolderID(1)", kNoMemory4, kSetNoMemory, kBadFolderReturn}},
    {"AddConversion", Store::kAdd, kToDo, "", "", -1, false, "HeapCreate", 1, kFails, -12, 0,
     {kAddLine, "QVTOTT CONVERT failed"}},
    // The conversion heap is the first heap the add creates, the batch's the second.
    {"AddQueueCopy", Store::kAdd, kToDo, "", "", -1, true, "HeapCreate", 2, kFails, -9, kNoMemory,
     {kAddLine, kAddPut, "S_DVXPutRecordData(IsGetFirstPutRecord) failed"}},
    {"AddPut", Store::kAdd, kToDo, "", "", -1, false, "S_DVXPutRecordData", 1, kFails, -9, kInjected,
     {kAddLine, kAddPut, "S_DVXPutRecordData failed"}},
    {"AddCountZero", Store::kAdd, kToDo, "", "", -1, false, "S_DVXPutRecordData", 1, FaultEffect::kZeroCount, -9,
     kInjected, {kAddLine, kAddPut, "id after put: 0", kCountZero, DeviceErrorLine(kInjected)}},
    {"FlushAlarm", Store::kFlush, kSchedule, "11", "1", -1, false, "HeapAlloc", 1, kFails, -9, kNoMemory,
     {kFlushLine, kAlarmLine, kNoMemory1, kSetNoMemory}},
    {"FlushEventFlag", Store::kFlush, kSchedule, "5", "", -1, false, "HeapAlloc", 1, kFails, -9, kNoMemory,
     {kFlushLine, kAlarmLine, "***** DIZ_API_SetEventFlag()", kNoMemory1, kSetNoMemory,
      "Bad return from DIZ_API_SetEventFlag, failing."}},
    {"FlushFolderNotSet", Store::kFlush, kMail, "", "", 0, false, "", 0, kFails, -9, 0,
     {kFlushLine, "***** DIZ_API_WriteFolderID(0)", kInvalidFolder}},
    {"FlushFolderMemory", Store::kFlush, kMail, "", "", 4, false, "HeapAlloc", 1, kFails, -9, kNoMemory,
     {kFlushLine, "***** DIZ_API_WriteFolderID(4)", kNoMemory4, kSetNoMemory}},
    {"FlushConversion", Store::kFlush, kToDo, "", "", -1, false, "HeapCreate", 1, kFails, -12, 0,
     {kFlushLine, "QVTOTT CONVERT failed"}},
    {"FlushPut", Store::kFlush, kToDo, "", "", -1, false, "S_DVXPutRecordData", 1, kFails, -12, kInjected,
     {kFlushLine, kFlushPut, "S_DVXPutRecordData failed", DeviceErrorLine(kInjected)}},
    {"FlushCountZero", Store::kFlush, kToDo, "", "", -1, false, "S_DVXPutRecordData", 1, FaultEffect::kZeroCount,
     -12, 0, {kFlushLine, kFlushPut, kCountZero}},
};

// Per section: the device database and the text field the host writes.
struct TextField {
    uint32_t dbId;
    const char* hostField;
    int32_t deviceField;
    const char* linkName;
};

TextField TextFieldOf(int32_t section) {
    if (section == kSchedule) return {kScheduleDb, "7", 6, "S_DESCRIPTION4"};
    if (section == kMail) return {kMailDb, "9", 8, "S_SUBJECT"};
    return {kToDoDb, "2", 1, "S_DESCRIPTION3"};
}

Lines WithRecordId(Lines lines, uint32_t id) {
    for (std::string& line : lines) {
        const size_t at = line.find('#');
        if (at != std::string::npos) line.replace(at, 1, std::to_string(id));
    }
    return lines;
}

class StoreFault : public testing::TestWithParam<StoreFaultRow> {};

TEST_P(StoreFault, FailsWithNothingOnTheDevice) {
    const StoreFaultRow& row = GetParam();
    const TextField text = TextFieldOf(row.section);
    SessionWorld world;
    const uint32_t id = world.image().AddRecord(text.dbId, {{text.linkName, TextValue("kept")}});
    if (row.firstSync) {
        StartFirstSync(world, row.section);
    } else {
        StartImport(world, row.section);
    }
    if (row.folder >= 0) {
        ASSERT_EQ(0, world.api().DIZ_API_SetFolderID(row.folder));
    }
    ASSERT_EQ(0, row.store == Store::kAdd ? world.api().DIZ_API_InsertRecord()
                                          : world.api().DIZ_API_FindRecord(std::to_string(id).c_str()));
    ASSERT_EQ(0, world.api().DIZ_API_PutField(text.hostField, "new"));
    if (row.field[0] != '\0') {
        ASSERT_EQ(0, world.api().DIZ_API_PutField(row.field, row.value));
    }
    world.TakeTrace();

    const std::string operation = row.operation;
    if (operation.rfind("S_DVX", 0) == 0) {
        tethra_sim::LiveDevice()->FailCall(operation, row.nth, kInjected, false, row.effect);
    } else if (!operation.empty()) {
        PlatformFailCall(row.operation, row.nth, 0);
    }
    char idText[16] = "unchanged";
    EXPECT_EQ(row.result, row.store == Store::kAdd ? world.api().DIZ_API_AddRecord(idText)
                                                   : world.api().DIZ_API_FlushRecord());
    PlatformClearFaults();
    EXPECT_STREQ(idText, "unchanged");
    EXPECT_EQ(world.LastError(), row.lastError);
    EXPECT_EQ(world.TakeTrace(), WithRecordId(row.trace, id));

    ASSERT_EQ(1u, LiveDb(text.dbId).records.size());
    EXPECT_EQ(Stored(text.dbId, id, text.linkName), TextValue("kept"));
    EXPECT_EQ(0u, LiveDb(kCompanionDb).records.size());
    char value[8] = "marker";
    EXPECT_EQ(0, world.api().DIZ_API_GetFieldByWriteRec(text.deviceField, value));
    EXPECT_STREQ(value, "marker");
}

INSTANTIATE_TEST_SUITE_P(Paths, StoreFault, testing::ValuesIn(kStoreFaults),
                         [](const testing::TestParamInfo<StoreFaultRow>& info) { return info.param.name; });

}  // namespace
