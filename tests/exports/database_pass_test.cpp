// The export pass: opening a database, walking its record cache, closing it, the memory a normal export
// holds; and the e-mail section over the device's two e-mail databases.
#include "exports/export_world.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's runtime: the bytes its allocator has handed out.
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

using namespace export_tests;
using tethra_sim::DeviceImage;
using tethra_sim::TextValue;

namespace {

// DIZ_API_GetRecordCount of section, which must succeed.
uint32_t RecordCount(SessionWorld& world, int32_t section) {
    uint32_t count = 9;
    EXPECT_EQ(0, world.api().DIZ_API_GetRecordCount(section, kStamp, &count)) << section;
    return count;
}

// A paired session on a Schedule with three records the PC has seen, then one added, one changed and
// one deleted on the device.
class ScheduleExport : public testing::Test {
protected:
    void SetUp() override {
        DeviceImage& image = world.image();
        deleted = image.AddRecord(kScheduleDb, Schedule("dentist"));
        changed = image.AddRecord(kScheduleDb, Schedule("rent"));
        image.AddRecord(kScheduleDb, Schedule("gym"));
        Settle(image, kScheduleDb);
        added = image.AddRecord(kScheduleDb, Schedule("concert"));
        image.ChangeRecord(kScheduleDb, changed, Schedule("rent, raised"));
        image.DeleteRecord(kScheduleDb, deleted);
        StartPaired(world);
        world.api().DIZ_API_BeginExport(kStamp);
    }
    SessionWorld world;
    uint32_t added = 0, changed = 0, deleted = 0;
};

TEST_F(ScheduleExport, ReadsTheChangeListsInOrderAndFetchesEachRecordWhenReached) {
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(kScheduleSection, "Schedule", ""));
    EXPECT_TRUE(HasLine(world.TakeTrace(), "forceResyncForThisDatabase[false] = db[false] || PCID[false] || "
                                           "null SyncStamp 1700000000 " + CtimeText(kStamp)));
    uint32_t fullSync = 7;
    EXPECT_EQ(0, world.api().DIZ_API_QueryFullSync(kScheduleSection, kStamp, &fullSync));
    EXPECT_EQ(0u, fullSync);
    EXPECT_EQ(3u, RecordCount(world, kScheduleSection));

    CountCalls("S_DVXGetRecordData");
    world.TakeTrace();
    // Status and device fetches so far after each step; a deletion has no values to fetch.
    const uint32_t kSteps[][2] = {{2, 1}, {3, 2}, {4, 2}};
    uint32_t status = 99;
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(0, i == 0 ? world.api().DIZ_API_GetFirstRecord(kScheduleSection, kStamp, &status)
                            : world.api().DIZ_API_GetNextRecord(kScheduleSection, kStamp, &status));
        EXPECT_EQ(kSteps[i][0], status) << i;
        EXPECT_EQ(kSteps[i][1], CallsSeen("S_DVXGetRecordData")) << i;
        // Description, device field 6; a deletion has no such field.
        if (i != 1) {
            EXPECT_EQ(i == 0 ? "concert" : "", Field(world, "7"));
        }
    }
    EXPECT_EQ(-7, world.api().DIZ_API_GetNextRecord(kScheduleSection, kStamp, &status));
    EXPECT_EQ(0u, status);
    const Lines trace = world.TakeTrace();
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {{added, 2}, {changed, 4}, {deleted, 8}};
    EXPECT_EQ(expected, RecordsRead(trace));
    EXPECT_TRUE(HasLines(trace, {"***** DIZ_API_GetField('7', [OUT])", "Quenda field id 6 not found (qdb:1)"}));
}

TEST_F(ScheduleExport, ValuesStayLoadedUntilReleasedAndGetIdDBRecLoadsById) {
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(kScheduleSection, "", ""));
    CountCalls("S_DVXGetRecordData");
    uint32_t status = 0;
    ASSERT_EQ(0, world.api().DIZ_API_GetFirstRecord(kScheduleSection, kStamp, &status));
    ASSERT_EQ(0, world.api().DIZ_API_GetFirstRecord(kScheduleSection, kStamp, &status));
    EXPECT_EQ(1u, CallsSeen("S_DVXGetRecordData")) << "read again before release: no new fetch";
    EXPECT_EQ(0, world.api().DIZ_API_ReleaseReadRecord());
    ASSERT_EQ(0, world.api().DIZ_API_GetFirstRecord(kScheduleSection, kStamp, &status));
    EXPECT_EQ(2u, CallsSeen("S_DVXGetRecordData")) << "released values are fetched again";

    world.TakeTrace();
    EXPECT_EQ(1, world.api().DIZ_API_GetIdDBRec(changed));
    EXPECT_EQ(3u, CallsSeen("S_DVXGetRecordData"));
    EXPECT_TRUE(world.TakeTrace().empty()) << "no trace line";
    EXPECT_EQ("rent, raised", Field(world, "7"));
    world.TakeTrace();
    EXPECT_EQ(-4, world.api().DIZ_API_GetIdDBRec(deleted)) << "no longer on the device";
    EXPECT_EQ(tethra_sim::kErrRecordNotFound, world.LastError());
    EXPECT_TRUE(world.TakeTrace().empty()) << "no trace line";
}

TEST_F(ScheduleExport, OtherSectionsAreRefusedAndASecondOpenKeepsTheCache) {
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(kScheduleSection, "", ""));
    world.TakeTrace();
    uint32_t value = 9;
    EXPECT_EQ(-6, world.api().DIZ_API_GetRecordCount(kMemoSection, kStamp, &value));
    EXPECT_EQ(0u, value);
    value = 9;
    EXPECT_EQ(-6, world.api().DIZ_API_GetFirstRecord(kMemoSection, kStamp, &value));
    EXPECT_EQ(0u, value);
    EXPECT_EQ(-6, world.api().DIZ_API_GetNextRecord(kMailSection, kStamp, &value));
    const Lines trace = world.TakeTrace();
    EXPECT_EQ(3, std::count(trace.begin(), trace.end(), "Database switched without a new call to OpenDatabase."));

    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(kScheduleSection, "", ""));
    const Lines again = world.TakeTrace();
    EXPECT_FALSE(std::any_of(again.begin(), again.end(), [](const std::string& l) { return l.find("rec: ") == 0; }));
    EXPECT_EQ(3u, RecordCount(world, kScheduleSection));
}

// How the open treats a record list the device could not give.
struct ListFailure {
    const char* name;
    uint32_t code;
    int32_t result;
    uint32_t lastError;
    Lines tail;
};
void PrintTo(const ListFailure& row, std::ostream* out) { *out << row.name; }
const char kListCall[] = "     ------ QAPI.QPC_GetAllSyncRecordList() : db=1 ";
const ListFailure kListFailures[] = {
    {"Code1000002C", 0x1000002C, 0, 0, {kListCall, "End of records.  Cache contains 0 entries."}},
    {"Code10000005", 0x10000005, 0, 0, {kListCall, "End of records.  Cache contains 0 entries."}},
    {"Code1000000A", 0x1000000A, -6, 0x1000000A,
     {kListCall, "S_DVXGetRecordList failed.", "***** ***** Manually setting Quenda Error: 1000000a"}},
};

class RecordListFailure : public ScheduleExport, public testing::WithParamInterface<ListFailure> {};

TEST_P(RecordListFailure, IsToleratedOnlyForTwoCodes) {
    const ListFailure& row = GetParam();
    tethra_sim::LiveDevice()->FailCall("S_DVXGetAllSyncRecordList", 1, row.code, false);
    world.TakeTrace();
    EXPECT_EQ(row.result, world.api().DIZ_API_OpenDatabase(kScheduleSection, "", ""));
    EXPECT_EQ(row.lastError, world.LastError());
    const Lines trace = world.TakeTrace();
    ASSERT_GE(trace.size(), row.tail.size());
    EXPECT_EQ(row.tail, Lines(trace.end() - static_cast<std::ptrdiff_t>(row.tail.size()), trace.end()));
    EXPECT_EQ(0u, RecordCount(world, kScheduleSection));
}

INSTANTIATE_TEST_SUITE_P(Codes, RecordListFailure, testing::ValuesIn(kListFailures), RowName());

// The three causes of a full export.
struct FullCause {
    const char* name;
    bool flagOff;       // the database does not take part in sync
    bool renewPairing;  // the device's sync time is older: the pairing is renewed
    int32_t stamp;
    uint32_t reported;  // what DIZ_API_QueryFullSync answers
    const char* decision;
};
void PrintTo(const FullCause& row, std::ostream* out) { *out << row.name; }
const FullCause kFullCauses[] = {
    {"ContractFlagOff", true, false, kStamp, 1, "forceResyncForThisDatabase[true] = db[true] || PCID[false]"},
    {"PairingRenewed", false, true, kStamp, 1, "forceResyncForThisDatabase[true] = db[false] || PCID[true]"},
    {"ExportTimeZero", false, false, 0, 0, "forceResyncForThisDatabase[true] = db[false] || PCID[false]"},
};

class FullExport : public testing::TestWithParam<FullCause> {};

TEST_P(FullExport, ReadsEveryRecordWithValuesDuringTheOpen) {
    const FullCause& row = GetParam();
    SessionWorld world;
    DeviceImage& image = world.image();
    const uint32_t first = image.AddRecord(kMemoDb, Memo("groceries"));
    const uint32_t second = image.AddRecord(kMemoDb, Memo("books"));
    Settle(image, kMemoDb);
    image.DeleteRecord(kMemoDb, first);
    const uint32_t third = image.AddRecord(kMemoDb, Memo("films"));
    image.Find(kMemoDb)->syncEnabled = !row.flagOff;
    world.PairBothSides();
    if (row.renewPairing) image.syncTime = "20200101000000";
    world.Load();
    ASSERT_EQ(0, world.api().DIZ_API_Initialize("", ""));
    // Renewing the pairing takes every database out of sync; put this one back so the renewal decides.
    if (row.renewPairing) tethra_sim::LiveDevice()->Find(kMemoDb)->syncEnabled = true;
    world.api().DIZ_API_BeginExport(row.stamp);
    world.TakeTrace();

    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(kMemoSection, "", ""));
    const Lines open = world.TakeTrace();
    const std::string decision = std::string(row.decision) + " || null SyncStamp " + std::to_string(row.stamp) +
                                 " " + (row.stamp == 0 ? std::string("[FULL SYNC]") : CtimeText(row.stamp));
    EXPECT_TRUE(HasLine(open, decision)) << decision;
    EXPECT_TRUE(HasLines(open, {RecLine(second, 2), RecLine(third, 2)}));
    EXPECT_TRUE(LiveDb(kMemoDb).syncEnabled);

    uint32_t fullSync = 7;
    EXPECT_EQ(0, world.api().DIZ_API_QueryFullSync(kMemoSection, 0, &fullSync));
    EXPECT_EQ(row.reported, fullSync);
    CountCalls("S_DVXGetRecordData");
    const Walk walk = WalkAll(world, kMemoSection);
    EXPECT_EQ(std::vector<uint32_t>({2, 2}), walk.statuses);
    EXPECT_EQ(-7, walk.end);
    EXPECT_EQ(0u, CallsSeen("S_DVXGetRecordData")) << "values were loaded during the open";
}

INSTANTIATE_TEST_SUITE_P(Causes, FullExport, testing::ValuesIn(kFullCauses), RowName());

TEST(ReadingRecords, AFetchFailingMidWalkReportsItAndTheWalkGoesOn) {
    SessionWorld world;
    Settle(world.image(), kScheduleDb);
    const uint32_t a = world.image().AddRecord(kScheduleDb, Schedule("a"));
    world.image().AddRecord(kScheduleDb, Schedule("b"));
    const uint32_t c = world.image().AddRecord(kScheduleDb, Schedule("c"));
    StartPaired(world);
    OpenExport(world, kScheduleSection);
    tethra_sim::LiveDevice()->FailCall("S_DVXGetRecordData", 2, kInjected, false);

    uint32_t status = 0;
    EXPECT_EQ(0, world.api().DIZ_API_GetFirstRecord(kScheduleSection, kStamp, &status));
    status = 9;
    EXPECT_EQ(-4, world.api().DIZ_API_GetNextRecord(kScheduleSection, kStamp, &status));
    EXPECT_EQ(0u, status);
    EXPECT_EQ(kInjected, world.LastError());
    EXPECT_EQ(0, world.api().DIZ_API_GetNextRecord(kScheduleSection, kStamp, &status));
    EXPECT_EQ(2u, status);
    EXPECT_EQ(0u, world.LastError());
    const Lines trace = world.TakeTrace();
    EXPECT_EQ((std::vector<std::pair<uint32_t, uint32_t>>{{a, 2}, {c, 2}}), RecordsRead(trace));
    EXPECT_FALSE(HasLine(trace, DeviceErrorLine(kInjected))) << "a failed fetch writes no line";
}

TEST(OpenDatabase, FailuresBeforeTheCache) {
    SessionWorld world;
    DeviceImage& image = world.image();
    image.databases.erase(std::remove_if(image.databases.begin(), image.databases.end(),
                                         [](const tethra_sim::Database& db) { return db.id == kMemoDb; }),
                          image.databases.end());
    StartPaired(world);
    world.api().DIZ_API_BeginExport(kStamp);
    world.TakeTrace();

    EXPECT_EQ(-4, world.api().DIZ_API_OpenDatabase(kMemoSection, "a", "b"));
    EXPECT_EQ(0x1000000Du, world.LastError());
    EXPECT_EQ(Lines({"***** DIZ_API_OpenDatabase(4, 'a', 'b')", "Database not enabled on device: [8]",
                     "***** ***** Manually setting Quenda Error: 1000000d"}),
              world.TakeTrace());
    EXPECT_EQ(-4, world.api().DIZ_API_OpenDatabase(9, "", ""));
    EXPECT_EQ(0u, world.LastError());
    EXPECT_EQ(Lines({"***** DIZ_API_OpenDatabase(9, '', '')", "Unknown database identifier: [9]",
                     "Section id did not resolve to known DB id [9]"}),
              world.TakeTrace());
    // The failed translation left no database open; section 0 names none.
    EXPECT_EQ(0u, RecordCount(world, 0));
    uint32_t count = 0;
    EXPECT_EQ(-6, world.api().DIZ_API_GetRecordCount(kScheduleSection, kStamp, &count));
}

TEST(OpenDatabase, AnImportOpenLeavesTheDeviceAlone) {
    SessionWorld world;
    world.image().AddRecord(kMemoDb, Memo("groceries"));
    StartImport(world, kMemoSection);
    EXPECT_FALSE(LiveDb(kMemoDb).syncEnabled);
    EXPECT_EQ(0u, RecordCount(world, kMemoSection)) << "no record cache";
}

const char kClose[] = "***** DIZ_API_CloseDatabase(4)";
const char kCleanUp[] = "     ------ QAPI.QPC_CleanUpAllSyncState( db=8 )";
const char kCloseDb[] = "     ------ QAPI.QPC_CloseDataBase()";
const char kFailed[] = "***** ***** Last Quenda Error: 10000099";

// The close variants a host uses, on an opened Memo export with one record changed and one added.
struct CloseRow {
    const char* name;
    int32_t finish, abandon;
    const char* failing;  // a device operation made to fail, or null
    int32_t result;
    size_t changesLeft;  // of the two pending changes
    Lines trace;
};
void PrintTo(const CloseRow& row, std::ostream* out) { *out << row.name; }
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
    EXPECT_EQ(row.changesLeft, PendingChanges(kMemoDb));
    EXPECT_EQ(row.failing != nullptr ? 0x10000099u : 0u, world.LastError());

    EXPECT_EQ(0u, RecordCount(world, kMemoSection));
    uint32_t status = 0;
    EXPECT_EQ(-7, world.api().DIZ_API_GetFirstRecord(kMemoSection, kStamp, &status));

    // Finishing closes the working database; the next open reopens it.
    world.api().DIZ_API_BeginExport(kStamp);
    world.TakeTrace();
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(kMemoSection, "", ""));
    const Lines reopen = world.TakeTrace();
    ASSERT_GE(reopen.size(), 3u);
    EXPECT_EQ(row.finish != 0, reopen[1] == "     ------ QAPI.QPC_OpenDataBase()") << reopen[1];
}

INSTANTIATE_TEST_SUITE_P(Variants, CloseDatabase, testing::ValuesIn(kCloseRows), RowName());

// Bytes the process holds from malloc, where the platform's heaps live (or AddressSanitizer's allocator).
size_t HeldBytes() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

// Reads 1500 memos (or mails, walked once per host folder) of over 2000 bytes each in a normal export;
// returns the bytes the process gained between the 100th record read and the last.
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
    // The first walk fetches every mail to read its folder; the values stay for the other folders.
    if (mail) {
        EXPECT_EQ(kRecords, CallsSeen("S_DVXGetRecordData"));
    }
    const size_t after = HeldBytes();
    return after > before ? after - before : 0;
}

// 1400 records of 2000 bytes pass between the measurements: released, none stays; not released, all
// do.  E-mail keeps every mail read until the close, released or not (over 1000 fetched after the 100th).
TEST(Memory, ANormalExportHoldsOnlyTheRecordJustRead) { EXPECT_LT(GrowthWhileReading(true), 256u * 1024u); }
TEST(Memory, RecordsNotReleasedStayUntilTheClose) {
    EXPECT_GT(GrowthWhileReading(false), 1400u * 2000u);
    EXPECT_GT(GrowthWhileReading(true, true), 1000u * 2000u) << "E-mail";
}

// The e-mail section against the device's two e-mail databases.  From system information 32 on, the
// device keeps the main folder's mail in database 16 and every other folder's in 15; the host sees one
// database whose companion ids carry bit 31.  An older model has database 16 alone.
TEST(MergedMail, ListsBothDeviceDatabasesAndFiltersByFolder) {
    SessionWorld world;
    DeviceImage& image = world.image();
    const uint32_t inbox = image.AddRecord(kMailDb, Mail("hello", 0));
    image.AddRecord(kCompanionDb, Mail("old", 2));
    const uint32_t gone = image.AddRecord(kCompanionDb, Mail("gone", 3));
    Settle(image, kMailDb);
    Settle(image, kCompanionDb);
    const uint32_t fresh = image.AddRecord(kMailDb, Mail("news", 1));
    const uint32_t sent = image.AddRecord(kCompanionDb, Mail("sent", 0));
    image.ChangeRecord(kMailDb, inbox, Mail("hello again", 0));
    image.DeleteRecord(kCompanionDb, gone);
    StartPaired(world);
    world.api().DIZ_API_BeginExport(kStamp);
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(kMailSection, "", ""));
    EXPECT_TRUE(HasLines(world.TakeTrace(), {RecLine(fresh, 2), RecLine(sent + kCompanionBit, 2), RecLine(inbox, 4),
                                             RecLine(gone + kCompanionBit, 8),
                                             "End of records.  Cache contains 4 entries."}));

    // The host's folder is 0 until it names one: every record is tested (fetched unless deleted) and
    // passed over.
    CountCalls("S_DVXGetRecordData");
    uint32_t status = 9;
    EXPECT_EQ(-7, world.api().DIZ_API_GetFirstRecord(kMailSection, kStamp, &status));
    EXPECT_EQ(0u, status);
    EXPECT_EQ(3u, CallsSeen("S_DVXGetRecordData"));
    const Lines walk = world.TakeTrace();
    ASSERT_FALSE(walk.empty());
    EXPECT_EQ("The cache is exhausted [2].  Returning 'end of data' status.", walk.back());
    EXPECT_EQ(4, std::count(walk.begin(), walk.end(),
                            "IsOfValidFolderType: isFolderMatch[false] isValidType[false] returning[false]"));
    EXPECT_EQ(-7, world.api().DIZ_API_GetNextRecord(kMailSection, kStamp, &status));
    EXPECT_EQ("The cache is exhausted [1].  Returning 'end of data' status.", world.TakeTrace().back());
    // A companion record by its merged id.
    EXPECT_EQ(1, world.api().DIZ_API_GetIdDBRec(sent + kCompanionBit));
    EXPECT_EQ(4u, CallsSeen("S_DVXGetRecordData"));
    // Finishing the pass clears both databases' change lists.
    ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(kMailSection, 1, 0));
    EXPECT_EQ(0u, PendingChanges(kMailDb));
    EXPECT_EQ(0u, PendingChanges(kCompanionDb));
}

TEST(MergedMail, TheHostsFolderTakesOnlyItsMails) {
    SessionWorld world;
    DeviceImage& image = world.image();
    Settle(image, kMailDb);
    Settle(image, kCompanionDb);
    image.AddRecord(kMailDb, Mail("inbox", 0));
    const uint32_t outbox = image.AddRecord(kMailDb, Mail("outbox", 1));
    const uint32_t archived = image.AddRecord(kCompanionDb, Mail("archived", 1));
    image.AddRecord(kCompanionDb, Mail("draft", 2));
    StartPaired(world);
    OpenExport(world, kMailSection);
    // The host takes its folder from a mail of folder 1 (host folder 2).
    ASSERT_EQ(1, world.api().DIZ_API_GetIdDBRec(outbox));
    ASSERT_EQ(0, world.api().DIZ_API_ReadFolderID());
    world.TakeTrace();

    const Walk walk = WalkAll(world, kMailSection);
    EXPECT_EQ(std::vector<uint32_t>({2, 2}), walk.statuses);
    EXPECT_EQ(-7, walk.end);
    const std::vector<std::pair<uint32_t, uint32_t>> read = {{outbox, 2}, {archived + kCompanionBit, 2}};
    EXPECT_EQ(read, RecordsRead(world.TakeTrace()));
}

// A database not yet in synchronisation is read in full during the open, both device databases joined;
// enabling it enables both.
TEST(MergedMail, AFullReadJoinsBothDatabasesAndEnablesBoth) {
    for (const uint32_t model : {32u, 31u}) {
        SCOPED_TRACE(model);
        SessionWorld world;
        DeviceImage& image = world.image();
        image.systemInfoValue = model;
        const uint32_t main = image.AddRecord(kMailDb, Mail("main", 0));
        const uint32_t companion = image.AddRecord(kCompanionDb, Mail("companion", 2));
        StartPaired(world);
        OpenExport(world, kMailSection, 0);
        EXPECT_TRUE(LiveDb(kMailDb).syncEnabled);
        EXPECT_EQ(model == 32, LiveDb(kCompanionDb).syncEnabled);
        uint32_t count = 0;
        EXPECT_EQ(0, world.api().DIZ_API_GetRecordCount(kMailSection, 0, &count));
        EXPECT_EQ(model == 32 ? 2u : 1u, count);
        EXPECT_EQ(1, world.api().DIZ_API_GetIdDBRec(main));
        EXPECT_EQ("main", Field(world, "9"));
        EXPECT_EQ(model == 32 ? 1 : -4, world.api().DIZ_API_GetIdDBRec(companion + kCompanionBit));
        if (model == 32) {
            EXPECT_EQ("companion", Field(world, "9"));
        }
    }
}

// New mail goes to the database of its folder (host folder 1 is the device's main one) and a companion
// mail keeps its id when changed; an older model keeps every mail in database 16.  One by one and in
// the bulk write alike; queued mail gets a companion-marked provisional id unless bound for database
// 16's folder, which an older model's link never looks for.
TEST(MergedMail, NewMailGoesToTheDatabaseOfItsFolder) {
    for (const uint32_t model : {32u, 31u}) {
        for (const bool bulk : {false, true}) {
            SCOPED_TRACE(testing::Message() << model << (bulk ? " bulk" : " one by one"));
            SessionWorld world;
            world.image().systemInfoValue = model;
            const uint32_t filed = world.image().AddRecord(kCompanionDb, Mail("filed", 2));
            (bulk ? StartFirstSync : StartImport)(world, kMailSection);
            for (const int32_t folder : {1, 2, 4}) {
                ASSERT_EQ(0, world.api().DIZ_API_SetFolderID(folder));
                std::string id;
                ASSERT_EQ(0, AddNew(world, {{"9", "folder " + std::to_string(folder)}}, &id));
                const bool companionId = folder != 1 ? model == 32 || bulk : bulk && model == 31;
                EXPECT_EQ(companionId, std::stol(id) < 0) << id;
                // Provisional ids count up per device database.
                if (bulk && model == 32) {
                    EXPECT_EQ(id, folder == 1 ? "1" : folder == 2 ? "-2147483647" : "-2147483646");
                }
            }
            if (bulk) {
                EXPECT_EQ(1u, LiveDb(kMailDb).records.size() + LiveDb(kCompanionDb).records.size()) << "all queued";
            }
            if (model == 32) {
                const std::string filedText = std::to_string(static_cast<int32_t>(filed + kCompanionBit));
                ASSERT_EQ(0, world.api().DIZ_API_FindRecord(filedText.c_str()));
                char idText[16] = "";
                EXPECT_EQ(0, world.api().DIZ_API_GetRecordID_Attachment(idText));
                EXPECT_EQ(filedText, idText);
                ASSERT_EQ(0, world.api().DIZ_API_PutField("9", "refiled"));
                ASSERT_EQ(0, world.api().DIZ_API_FlushRecord());
                EXPECT_EQ(Stored(kCompanionDb, filed, "S_SUBJECT"), TextValue("refiled"));
            }
            ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(kMailSection, 1, 0));
            const tethra_sim::Database& main = LiveDb(kMailDb);
            ASSERT_EQ(model == 32 ? 1u : 3u, main.records.size());
            EXPECT_EQ(Stored(kMailDb, main.records[0].id, "S_SUBJECT"), TextValue("folder 1"));
            const tethra_sim::Database& companion = LiveDb(kCompanionDb);
            ASSERT_EQ(model == 32 ? 3u : 1u, companion.records.size());
            EXPECT_EQ(companion.records[0].id, filed);
            if (model == 32) {
                EXPECT_EQ(Stored(kCompanionDb, companion.records[2].id, "S_SUBJECT"), TextValue("folder 4"));
                EXPECT_EQ(Stored(kCompanionDb, companion.records[2].id, "S_FOLDERID"), tethra_sim::NumberValue(3));
            } else {
                EXPECT_EQ(Stored(kMailDb, main.records[2].id, "S_SUBJECT"), TextValue("folder 4"));
            }
        }
    }
}

}  // namespace
