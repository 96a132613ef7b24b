// Closing a database through the exports, and the memory a normal export
// holds.
#include "exports/export_world.h"

#include <gtest/gtest.h>
#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's runtime: the bytes its allocator has handed out.
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

using namespace export_tests;

namespace {

const char kClose[] = "***** DIZ_API_CloseDatabase(4)";
const char kCleanUp[] = "     ------ QAPI.QPC_CleanUpAllSyncState( db=8 )";
const char kCloseDb[] = "     ------ QAPI.QPC_CloseDataBase()";
const char kFailed[] = "***** ***** Last Quenda Error: 10000099";

// The close variants a host uses, on an opened Memo export with one record
// changed and one added on the device.
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
     {kClose, kCleanUp, "S_DVXCleanUpAllSyncState failed.", kFailed, kCloseDb}},
    {"CloseFails", 1, 1, "S_DVXCloseDataBase", -3, 2, {kClose, kCloseDb, "S_DVXCloseDataBase failed.", kFailed}},
};

class CloseDatabase : public testing::TestWithParam<CloseRow> {};

TEST_P(CloseDatabase, DropsTheCacheAndFinishesTheDeviceSideAsAsked) {
    const CloseRow& row = GetParam();
    SessionWorld world;
    const uint32_t changed = world.image().AddRecord(kMemoDb, Memo("groceries"));
    Settle(world.image(), kMemoDb);
    world.image().AddRecord(kMemoDb, Memo("films"));
    world.image().ChangeRecord(kMemoDb, changed, Memo("groceries, more"));
    StartPaired(world);
    OpenExport(world, kMemoSection);
    if (row.failing != nullptr) tethra_sim::LiveDevice()->FailCall(row.failing, 1, 0x10000099, false);

    EXPECT_EQ(row.result, world.api().DIZ_API_CloseDatabase(kMemoSection, row.finish, row.abandon));
    EXPECT_EQ(row.trace, world.TakeTrace());
    size_t pending = 0;
    for (const auto& list : LiveDb(kMemoDb).changes) pending += list.size();
    EXPECT_EQ(row.changesLeft, pending);
    EXPECT_EQ(row.failing != nullptr ? 0x10000099u : 0u, world.LastError());

    uint32_t count = 9;
    EXPECT_EQ(0, world.api().DIZ_API_GetRecordCount(kMemoSection, kStamp, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(-7, world.api().DIZ_API_GetFirstRecord(kMemoSection, kStamp, &count));

    // Finishing closes the working database; the next open reopens it.
    world.api().DIZ_API_BeginExport(kStamp);
    world.TakeTrace();
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(kMemoSection, "", ""));
    const Lines reopen = world.TakeTrace();
    ASSERT_GE(reopen.size(), 3u);
    EXPECT_EQ(row.finish != 0, reopen[1] == "     ------ QAPI.QPC_OpenDataBase()") << reopen[1];
}

INSTANTIATE_TEST_SUITE_P(Variants, CloseDatabase, testing::ValuesIn(kCloseRows),
                         [](const testing::TestParamInfo<CloseRow>& info) { return std::string(info.param.name); });

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
    for (uint32_t db : {kMemoDb, kMailDb, kCompanionDb}) Settle(world.image(), db);
    const tethra_sim::LinkValue note = tethra_sim::TextValue(std::string(2000, 'n'));
    for (uint32_t i = 0; i < kRecords; ++i) {
        if (!mail) {
            world.image().AddRecord(kMemoDb, {{"S_PAGE_NOTE", note}});
        } else {
            world.image().AddRecord(i % 2 != 0 ? kCompanionDb : kMailDb,
                                    {{"S_FOLDERID", tethra_sim::NumberValue(static_cast<int32_t>(i % 4))},
                                     {"S_BODY", note}});
        }
    }
    StartPaired(world);
    const int32_t section = mail ? kMailSection : kMemoSection;
    OpenExport(world, section);
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

// 1400 records of 2000 bytes each pass between the two measurements:
// released, none of them stays; not released, every one does.
TEST(Memory, ANormalExportHoldsOnlyTheRecordJustRead) {
    EXPECT_LT(GrowthWhileReading(true), 256u * 1024u);
    EXPECT_LT(GrowthWhileReading(true, true), 256u * 1024u) << "E-mail";
}
TEST(Memory, RecordsNotReleasedStayUntilTheClose) { EXPECT_GT(GrowthWhileReading(false), 1400u * 2000u); }

}  // namespace
