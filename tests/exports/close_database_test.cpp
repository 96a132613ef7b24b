// Closing a database through the exports, a whole small pass as the trace
// shows it, and the memory a normal export holds.
#include "exports/export_world.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's runtime: the bytes its allocator has handed out.
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

using namespace export_tests;
using session_tests::SessionWorld;
using tethra_sim::DeviceImage;

namespace {

constexpr uint32_t kMemoDb = 8;
constexpr uint32_t kMailDb = 16;
constexpr uint32_t kCompanionDb = 15;

// Memo with one record the PC has seen changed and one added.
void PrepareMemos(DeviceImage& image, uint32_t* changed, uint32_t* added) {
    *changed = image.AddRecord(kMemoDb, Memo("groceries"));
    image.AddRecord(kMemoDb, Memo("books"));
    Settle(image, kMemoDb);
    *added = image.AddRecord(kMemoDb, Memo("films"));
    image.ChangeRecord(kMemoDb, *changed, Memo("groceries, more"));
}

size_t PendingChanges() {
    const tethra_sim::Database* db = tethra_sim::LiveDevice()->Find(kMemoDb);
    return db->changes[0].size() + db->changes[1].size() + db->changes[2].size();
}

// An opened Memo export; the trace is taken.
void OpenMemos(SessionWorld& world) {
    uint32_t changed = 0, added = 0;
    PrepareMemos(world.image(), &changed, &added);
    StartPaired(world);
    world.api().DIZ_API_BeginExport(kStamp);
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(kMemoSection, "", ""));
    TakeTrace(world);
}

const char kClose[] = "***** DIZ_API_CloseDatabase(4)";
const char kCleanUp[] = "     ------ QAPI.QPC_CleanUpAllSyncState( db=8 )";
const char kCloseDb[] = "     ------ QAPI.QPC_CloseDataBase()";

// The close variants a host uses.
struct CloseRow {
    const char* name;
    int32_t finish, abandon;
    const char* failing;  // a device operation made to fail, or null
    int32_t result;
    size_t changesLeft;  // of the two pending changes
    Lines trace;
};
const CloseRow kCloseRows[] = {
    {"CacheOnly", 0, 0, nullptr, 0, 2, {kClose}},
    {"Commit", 1, 0, nullptr, 0, 0, {kClose, kCleanUp, kCloseDb}},
    {"Abandon", 1, 1, nullptr, 0, 2, {kClose, kCloseDb}},
    {"CleanUpFails", 1, 0, "S_DVXCleanUpAllSyncState", 0, 2,
     {kClose, kCleanUp, "S_DVXCleanUpAllSyncState failed.", "***** ***** Last Quenda Error: 10000099", kCloseDb}},
    {"CloseFails", 1, 1, "S_DVXCloseDataBase", -3, 2,
     {kClose, kCloseDb, "S_DVXCloseDataBase failed.", "***** ***** Last Quenda Error: 10000099"}},
};

class CloseDatabase : public testing::TestWithParam<CloseRow> {};

TEST_P(CloseDatabase, DropsTheCacheAndFinishesTheDeviceSideAsAsked) {
    const CloseRow& row = GetParam();
    SessionWorld world;
    OpenMemos(world);
    if (row.failing != nullptr) tethra_sim::LiveDevice()->FailCall(row.failing, 1, 0x10000099, false);

    EXPECT_EQ(row.result, world.api().DIZ_API_CloseDatabase(kMemoSection, row.finish, row.abandon));
    EXPECT_EQ(row.trace, TakeTrace(world));
    EXPECT_EQ(row.changesLeft, PendingChanges());
    EXPECT_EQ(row.failing != nullptr ? 0x10000099u : 0u, world.LastError());

    uint32_t count = 9;
    EXPECT_EQ(0, world.api().DIZ_API_GetRecordCount(kMemoSection, kStamp, &count));
    EXPECT_EQ(0u, count);
    uint32_t status = 9;
    EXPECT_EQ(-7, world.api().DIZ_API_GetFirstRecord(kMemoSection, kStamp, &status));

    // Finishing closes the working database; the next open reopens it.
    world.api().DIZ_API_BeginExport(kStamp);
    TakeTrace(world);
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(kMemoSection, "", ""));
    const Lines reopen = TakeTrace(world);
    ASSERT_GE(reopen.size(), 3u);
    EXPECT_EQ(row.finish != 0, reopen[1] == "     ------ QAPI.QPC_OpenDataBase()") << reopen[1];
}

INSTANTIATE_TEST_SUITE_P(Variants, CloseDatabase, testing::ValuesIn(kCloseRows),
                         [](const testing::TestParamInfo<CloseRow>& info) { return std::string(info.param.name); });

std::string Hex(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<uint32_t>(value));
    return text;
}

TEST(WholePass, TraceOfASmallNormalExport) {
    SessionWorld world;
    uint32_t changed = 0, added = 0;
    PrepareMemos(world.image(), &changed, &added);
    StartPaired(world);

    uint32_t value = 0;
    world.api().DIZ_API_BeginExport(kStamp);
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(kMemoSection, "Memo", "Pad"));
    ASSERT_EQ(0, world.api().DIZ_API_QueryFullSync(kMemoSection, kStamp, &value));
    ASSERT_EQ(0, world.api().DIZ_API_GetRecordCount(kMemoSection, kStamp, &value));
    ASSERT_EQ(0, world.api().DIZ_API_GetFirstRecord(kMemoSection, kStamp, &value));
    ASSERT_EQ(0, world.api().DIZ_API_ReleaseReadRecord());
    ASSERT_EQ(0, world.api().DIZ_API_GetNextRecord(kMemoSection, kStamp, &value));
    ASSERT_EQ(0, world.api().DIZ_API_ReleaseReadRecord());
    ASSERT_EQ(-7, world.api().DIZ_API_GetNextRecord(kMemoSection, kStamp, &value));
    ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(kMemoSection, 1, 0));

    const std::string at = Hex(kStamp) + ", [OUT])  " + CtimeText(kStamp);
    Lines expected = {"***** DIZ_API_BeginExport(1700000000)  " + CtimeText(kStamp),
                      "***** DIZ_API_OpenDatabase(4, 'Memo', 'Pad')",
                      "     ------ QAPI.QPC_GetDBInfo(db=8, hHeap, &TTdbInfo)",
                      "",
                      "QV Field Info:",
                      "{",
                      "     0) ID:   0  Type:  9  Name: Title",
                      "     1) ID:   1  Type:  9  Name: TimeStamp",
                      "     2) ID:   2  Type:  9  Name: NoteText",
                      "     3) ID:   3  Type:  9  Name: Category",
                      "     4) ID:   4  Type:  6  Name: Secret",
                      "}",
                      "",
                      "",
                      "TT Field Info:",
                      "{"};
    expected = session_tests::Join(expected, LinkFieldDump(kMemoDb));
    expected = session_tests::Join(
        expected,
        {"}", "", "DIZ_API_OpenDatabase, in the exporting branch.",
         "     ------ QAPI.QPC_GetSyncContractInfo(...all DBID...)",
         "forceResyncForThisDatabase[false] = db[false] || PCID[false] || null SyncStamp 1700000000 " +
             CtimeText(kStamp),
         "     ------ QAPI.QPC_GetAllSyncRecordList() : db=8 ", "rec: dwRecId=" + std::to_string(added) +
                                                                   " dwSyncAttr=2",
         "rec: dwRecId=" + std::to_string(changed) + " dwSyncAttr=4", "End of records.  Cache contains 2 entries.",
         "***** DIZ_API_QueryFullSync(4, " + at, "returning FALSE", "***** DIZ_API_GetRecordCount(4, " + at,
         "DIZ_API_GetRecordCount returning nRecordCount=2", "***** DIZ_API_GetFirstRecord(4, " + at,
         "Pointing the cache cursor to the head of the cache, punting to DIZ_API_GetNextRecord()",
         "***** DIZ_API_GetNextRecord(4, " + at, "record being read: dwRecId=" + std::to_string(added) +
                                                     " dwSyncAttr=2",
         "***** DIZ_API_GetNextRecord(4, " + at, "record being read: dwRecId=" + std::to_string(changed) +
                                                     " dwSyncAttr=4",
         "***** DIZ_API_GetNextRecord(4, " + at, "The cache is exhausted [1].  Returning 'end of data' status.",
         kClose, kCleanUp, kCloseDb});
    EXPECT_EQ(expected, TakeTrace(world));
}

// Bytes the process holds from malloc, where the platform's heaps live
// (in a sanitized build, AddressSanitizer's own allocator holds them).
size_t HeldBytes() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

// Reads 1500 memos (or mails, walked once per host folder) of more than
// 2000 bytes each in a normal export and returns how many bytes the
// process gained between the 100th record read and the last.
size_t GrowthWhileReading(bool release, bool mail = false) {
    constexpr uint32_t kRecords = 1500;
    SessionWorld world;
    DeviceImage& image = world.image();
    for (uint32_t db : {kMemoDb, kMailDb, kCompanionDb}) Settle(image, db);
    const std::string note(2000, 'n');
    for (uint32_t i = 0; i < kRecords; ++i) {
        const std::string title = "record " + std::to_string(i);
        if (!mail)
            image.AddRecord(kMemoDb, {{"S_PAGE_TITLE", tethra_sim::TextValue(title)},
                                      {"S_PAGE_NOTE", tethra_sim::TextValue(note)}});
        else
            image.AddRecord(i % 2 != 0 ? kCompanionDb : kMailDb,
                            {{"S_SUBJECT", tethra_sim::TextValue(title)},
                             {"S_FOLDERID", tethra_sim::NumberValue(static_cast<int32_t>(i % 4))},
                             {"S_BODY", tethra_sim::TextValue(note)}});
    }
    world.PairBothSides();
    world.Load();
    EXPECT_EQ(0, world.api().DIZ_API_Initialize("", ""));
    world.api().DIZ_API_BeginExport(kStamp);
    const int32_t section = mail ? kMailSection : kMemoSection;
    EXPECT_EQ(0, world.api().DIZ_API_OpenDatabase(section, "", ""));
    CountCalls("S_DVXGetRecordData");

    uint32_t status = 0, read = 0;
    size_t before = 0;
    for (int32_t folder = 1; folder <= (mail ? 4 : 1); ++folder) {
        if (mail) world.api().DIZ_API_SetFolderID(folder);
        int32_t result = world.api().DIZ_API_GetFirstRecord(section, kStamp, &status);
        for (; result == 0; result = world.api().DIZ_API_GetNextRecord(section, kStamp, &status)) {
            if (release) world.api().DIZ_API_ReleaseReadRecord();
            if (++read == 100) before = HeldBytes();
        }
        EXPECT_EQ(-7, result);
    }
    EXPECT_EQ(kRecords, read);
    // A mail is fetched for the walk of its own folder, and once more by
    // the first walk when that passes it over.
    if (mail && release) {
        EXPECT_EQ(kRecords + kRecords * 3 / 4, CallsSeen("S_DVXGetRecordData"));
    }
    const size_t after = HeldBytes();
    return after > before ? after - before : 0;
}

TEST(Memory, ANormalExportHoldsOnlyTheRecordJustRead) {
    // 1400 records of more than 2000 bytes each pass between the two
    // measurements; released, none of them stays.
    EXPECT_LT(GrowthWhileReading(true), 256u * 1024u);
    EXPECT_LT(GrowthWhileReading(true, true), 256u * 1024u) << "E-mail";
}

TEST(Memory, RecordsNotReleasedStayUntilTheClose) {
    // The same walk without releases keeps every record's values: the
    // measurement above would see them.
    EXPECT_GT(GrowthWhileReading(false), 1400u * 2000u);
}

}  // namespace
