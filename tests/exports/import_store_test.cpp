// Storing records through the exports against the simulated device:
// changed records, the first-synchronisation queue, deletes, the e-mail
// folder, and every way storing can fail.
#include "exports/import_world.h"

#include "platform/platform_test.h"

#include <gtest/gtest.h>
#include <string>

using namespace import_tests;
using export_tests::Lines;
using export_tests::TakeTrace;
using session_tests::SessionWorld;
using tethra_sim::TextValue;

namespace {

constexpr uint32_t kToDoDb = 6;
constexpr uint32_t kMailDb = 16;
constexpr uint32_t kCompanionDb = 15;
constexpr uint32_t kError = 0x10000077u;

tethra_sim::FieldValues Task(const std::string& description) {
    return {{"S_DESCRIPTION3", TextValue(description)},
            {"S_NOTEMEMO", TextValue("keep me")},
            {"S_PRIORITY", tethra_sim::ByteValue(4)},
            {"S_START_DATE", tethra_sim::DateValue(2024, 3, 1)}};
}

TEST(ChangedRecord, UnwrittenFieldsKeepTheirDeviceValues) {
    SessionWorld world;
    const uint32_t id = world.image().AddRecord(kToDoDb, Task("old"));
    StartImport(world, export_tests::kToDoSection);
    const std::string idText = std::to_string(id);
    ASSERT_EQ(0, world.api().DIZ_API_FindRecord(idText.c_str()));
    ASSERT_EQ(0, world.api().DIZ_API_PutField("2", "new"));
    TakeTrace(world);
    EXPECT_EQ(0, world.api().DIZ_API_FlushRecord());
    EXPECT_EQ(TakeTrace(world), (Lines{"***** DIZ_API_FlushRecord()",
                                       "     ------ QAPI.QPC_PutRecordData(dwDBID=6, &TTwriteRec, 1, &count) dwRecId=" +
                                           idText}));
    ASSERT_EQ(1u, LiveDb(kToDoDb).records.size());
    EXPECT_EQ(Stored(kToDoDb, id, "S_DESCRIPTION3"), TextValue("new"));
    EXPECT_EQ(Stored(kToDoDb, id, "S_NOTEMEMO"), TextValue("keep me"));
    EXPECT_EQ(Stored(kToDoDb, id, "S_PRIORITY"), tethra_sim::ByteValue(4));
    EXPECT_EQ(Stored(kToDoDb, id, "S_START_DATE"), tethra_sim::DateValue(2024, 3, 1));
}

TEST(ChangedRecord, FlushOfAnUnknownRecordFails) {
    SessionWorld world;
    StartImport(world, export_tests::kToDoSection);
    ASSERT_EQ(0, world.api().DIZ_API_FindRecord("99"));
    TakeTrace(world);
    EXPECT_EQ(-12, world.api().DIZ_API_FlushRecord());
    EXPECT_EQ(world.LastError(), tethra_sim::kErrRecordNotFound);
    const Lines trace = TakeTrace(world);
    EXPECT_TRUE(HasLine(trace, "S_DVXPutRecordData failed"));
    EXPECT_TRUE(HasLine(trace, "***** ***** Last Quenda Error: 1000000b"));
    EXPECT_EQ(0, world.api().DIZ_API_PutField("2", "again"));  // the write record forgot its fields
    EXPECT_TRUE(HasLine(TakeTrace(world), "Quenda field id 1 not found (qdb:6)"));
}

// An export pass that reads the database in full, then the import pass.
void StartFirstSync(SessionWorld& world, int32_t section) {
    export_tests::StartPaired(world);
    world.api().DIZ_API_BeginExport(0);
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(section, "", ""));
    ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(section, 0, 0));
    world.api().DIZ_API_BeginImport();
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(section, "", ""));
    TakeTrace(world);
}

TEST(FirstSync, RecordsAreQueuedWithProvisionalIdsAndWrittenAtClose) {
    SessionWorld world;
    StartFirstSync(world, export_tests::kToDoSection);
    for (const char* expected : {"1", "2", "3"}) {
        std::string id;
        ASSERT_EQ(0, AddNew(world, {{"2", std::string("task ") + expected}}, &id));
        EXPECT_EQ(id, expected);
    }
    EXPECT_EQ(0u, LiveDb(kToDoDb).records.size());
    export_tests::CountCalls("S_DVXPutFirstSyncRecordData");
    ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(export_tests::kToDoSection, 1, 0));
    EXPECT_EQ(1u, export_tests::CallsSeen("S_DVXPutFirstSyncRecordData"));
    ASSERT_EQ(3u, LiveDb(kToDoDb).records.size());
    const tethra_sim::Database& db = LiveDb(kToDoDb);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Stored(kToDoDb, db.records[i].id, "S_DESCRIPTION3"), TextValue("task " + std::to_string(i + 1)));
    }
}

TEST(FirstSync, MailIsSplitBetweenMainAndCompanionDatabase) {
    SessionWorld world;
    StartFirstSync(world, export_tests::kMailSection);
    const struct {
        int32_t folder;
        const char* id;
    } rows[] = {{1, "1"}, {2, "-2147483647"}, {1, "2"}, {4, "-2147483646"}};
    for (const auto& row : rows) {
        ASSERT_EQ(0, world.api().DIZ_API_SetFolderID(row.folder));
        std::string id;
        ASSERT_EQ(0, AddNew(world, {{"9", std::string("mail ") + row.id}}, &id));
        EXPECT_EQ(id, row.id);
    }
    EXPECT_EQ(0u, LiveDb(kMailDb).records.size() + LiveDb(kCompanionDb).records.size());
    ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(export_tests::kMailSection, 1, 0));
    ASSERT_EQ(2u, LiveDb(kMailDb).records.size());
    ASSERT_EQ(2u, LiveDb(kCompanionDb).records.size());
    EXPECT_EQ(Stored(kMailDb, LiveDb(kMailDb).records[1].id, "S_SUBJECT"), TextValue("mail 2"));
    EXPECT_EQ(Stored(kCompanionDb, LiveDb(kCompanionDb).records[1].id, "S_SUBJECT"), TextValue("mail -2147483646"));
    EXPECT_EQ(Stored(kCompanionDb, LiveDb(kCompanionDb).records[1].id, "S_FOLDERID"), tethra_sim::NumberValue(3));
}

TEST(FirstSync, QueueStaysOffWhenTheFirstRecordCameWithoutAFullRead) {
    SessionWorld world;
    StartImport(world, export_tests::kToDoSection);
    std::string first;
    ASSERT_EQ(0, AddNew(world, {{"2", "direct"}}, &first));
    ASSERT_EQ(1u, LiveDb(kToDoDb).records.size());
    EXPECT_EQ(first, std::to_string(LiveDb(kToDoDb).records[0].id));
    // A full read now does not switch queueing on before the next BeginImport.
    world.api().DIZ_API_BeginExport(0);
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(export_tests::kToDoSection, "", ""));
    std::string second;
    ASSERT_EQ(0, AddNew(world, {{"2", "direct too"}}, &second));
    ASSERT_EQ(2u, LiveDb(kToDoDb).records.size());
    EXPECT_EQ(second, std::to_string(LiveDb(kToDoDb).records[1].id));
}

TEST(FirstSync, FailedQueueCopyFailsTheAdd) {
    SessionWorld world;
    StartFirstSync(world, export_tests::kToDoSection);
    ASSERT_EQ(0, world.api().DIZ_API_InsertRecord());
    ASSERT_EQ(0, world.api().DIZ_API_PutField("2", "lost"));
    // The conversion heap is the first heap the add creates, the batch's the second.
    PlatformFailCall("HeapCreate", 2, 0);
    char id[16] = "unchanged";
    EXPECT_EQ(-9, world.api().DIZ_API_AddRecord(id));
    PlatformClearFaults();
    EXPECT_STREQ(id, "unchanged");
    EXPECT_EQ(world.LastError(), 0x10000004u);
    EXPECT_TRUE(HasLine(TakeTrace(world), "S_DVXPutRecordData(IsGetFirstPutRecord) failed"));
}

TEST(Delete, MainAndCompanionMailRecords) {
    SessionWorld world;
    const uint32_t main = world.image().AddRecord(kMailDb, export_tests::Mail("main", 0));
    world.image().AddRecord(kCompanionDb, export_tests::Mail("other", 1));
    const uint32_t companion = world.image().AddRecord(kCompanionDb, export_tests::Mail("companion", 2));
    StartImport(world, export_tests::kMailSection);
    const std::string companionText = std::to_string(static_cast<int32_t>(companion + 0x80000000u));
    EXPECT_EQ(0, world.api().DIZ_API_DeleteRecord(companionText.c_str()));
    EXPECT_EQ(TakeTrace(world), (Lines{"***** DIZ_API_DeleteRecord('" + companionText + "')",
                                       "     ------ QAPI.QPC_DeleteRecordData(db=16, id=" + companionText + ")"}));
    ASSERT_EQ(1u, LiveDb(kCompanionDb).records.size());
    EXPECT_NE(LiveDb(kCompanionDb).records[0].id, companion);
    EXPECT_EQ(0, world.api().DIZ_API_DeleteRecord((std::to_string(main) + "abc").c_str()));
    EXPECT_EQ(0u, LiveDb(kMailDb).records.size());
}

TEST(Delete, DeviceRefusal) {
    SessionWorld world;
    StartImport(world, export_tests::kMailSection);
    EXPECT_EQ(-10, world.api().DIZ_API_DeleteRecord("5"));
    EXPECT_EQ(world.LastError(), tethra_sim::kErrRecordNotFound);
    const Lines trace = TakeTrace(world);
    EXPECT_TRUE(HasLine(trace, "S_DVXDeleteRecordData failed"));
}

TEST(MailFolder, NoFolderSetFailsWithNothingOnTheDevice) {
    SessionWorld world;
    StartImport(world, export_tests::kMailSection);
    std::string id = "unchanged";
    EXPECT_EQ(-9, AddNew(world, {{"9", "nowhere"}}, &id));
    EXPECT_EQ(id, "");
    EXPECT_EQ(world.LastError(), 0u);
    const Lines trace = TakeTrace(world);
    EXPECT_TRUE(HasLine(trace, "Invalid folder ID [0] passed in to DIZ_API_WriteFolderID."));
    EXPECT_TRUE(HasLine(trace, "Bad return from DIZ_API_WriteFolderID, failing."));
    EXPECT_EQ(0, world.api().DIZ_API_SetFolderID(0));
    ASSERT_EQ(0, world.api().DIZ_API_FindRecord("3"));
    EXPECT_EQ(-9, world.api().DIZ_API_FlushRecord());
    EXPECT_EQ(0u, LiveDb(kMailDb).records.size() + LiveDb(kCompanionDb).records.size());
}

// Faults in the steps of AddRecord (new ToDo or Schedule record).
struct AddFaultRow {
    const char* name;
    int32_t section;
    const char* operation;  // a device or platform operation made to fail
    bool platform;
    unsigned nth;
    int32_t result;
    uint32_t lastError;
    const char* line;
};
const AddFaultRow kAddFaults[] = {
    {"PutRecordData", export_tests::kToDoSection, "S_DVXPutRecordData", false, 1, -9, kError,
     "S_DVXPutRecordData failed"},
    {"Conversion", export_tests::kToDoSection, "HeapCreate", true, 1, -12, 0, "QVTOTT CONVERT failed"},
    {"Alarm", export_tests::kScheduleSection, "HeapAlloc", true, 1, -9, 0x10000004u,
     "Bad return from DIZ_API_SetAlarm, failing."},
};

class AddFault : public testing::TestWithParam<AddFaultRow> {};

TEST_P(AddFault, FailsWithNothingOnTheDevice) {
    const AddFaultRow& row = GetParam();
    SessionWorld world;
    StartImport(world, row.section);
    ASSERT_EQ(0, world.api().DIZ_API_InsertRecord());
    ASSERT_EQ(0, world.api().DIZ_API_PutField("2", "x"));
    ASSERT_EQ(0, world.api().DIZ_API_PutField("11", "1"));  // ToDo Description; Schedule AlarmFlag
    TakeTrace(world);
    if (row.platform) PlatformFailCall(row.operation, row.nth, 0);
    else tethra_sim::LiveDevice()->FailCall(row.operation, row.nth, kError, false);
    char id[16] = "unchanged";
    EXPECT_EQ(row.result, world.api().DIZ_API_AddRecord(id));
    PlatformClearFaults();
    EXPECT_STREQ(id, "unchanged");
    EXPECT_EQ(world.LastError(), row.lastError);
    EXPECT_TRUE(HasLine(TakeTrace(world), row.line));
    EXPECT_EQ(0u, LiveDb(row.section == export_tests::kToDoSection ? kToDoDb : 1u).records.size());
    char value[8] = "marker";
    EXPECT_EQ(0, world.api().DIZ_API_GetFieldByWriteRec(1, value));
    EXPECT_STREQ(value, "marker");
}

INSTANTIATE_TEST_SUITE_P(Steps, AddFault, testing::ValuesIn(kAddFaults),
                         [](const testing::TestParamInfo<AddFaultRow>& info) { return info.param.name; });

TEST(FlushFault, EachDerivedStepAndTheConversion) {
    SessionWorld world;
    const uint32_t id = world.image().AddRecord(1, export_tests::Schedule("kept"));
    StartImport(world, export_tests::kScheduleSection);
    const std::string idText = std::to_string(id);
    struct Step {
        const char* put;        // field written as "" or "1" before the fault
        unsigned nth;           // HeapAlloc (or HeapCreate) call made to fail
        const char* function;
        int32_t result;
        const char* line;       // expected trace line, or ""
    } steps[] = {
        {"11", 1, "HeapAlloc", -9, ""},                                                 // SetAlarm
        {"5", 1, "HeapAlloc", -9, "Bad return from DIZ_API_SetEventFlag, failing."},    // SetEventFlag
        {"7", 1, "HeapCreate", -12, "QVTOTT CONVERT failed"},                           // conversion
    };
    for (const Step& step : steps) {
        ASSERT_EQ(0, world.api().DIZ_API_FindRecord(idText.c_str()));
        ASSERT_EQ(0, world.api().DIZ_API_PutField(step.put, std::string(step.put) == "5" ? "" : "1"));
        TakeTrace(world);
        PlatformFailCall(step.function, step.nth, 0);
        EXPECT_EQ(step.result, world.api().DIZ_API_FlushRecord()) << step.put;
        PlatformClearFaults();
        if (step.line[0] != '\0') {
            EXPECT_TRUE(HasLine(TakeTrace(world), step.line)) << step.put;
        }
    }
    EXPECT_EQ(Stored(1, id, "S_DESCRIPTION4"), TextValue("kept"));
}

}  // namespace
