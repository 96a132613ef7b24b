// The merged e-mail database read and administered: databases 16 and 15 as
// one, companion ids marked by bit 31; an old model (system information
// below 32) reads database 16 alone.
#include "link_fixture.h"

#include "platform/platform_test.h"

namespace link_testing {
namespace {

using tethra_sim::kErrRecordNotFound;

// Merged, the change lists are joined with companion ids marked, in the
// caller's heap; otherwise database 16's are listed alone.
TEST_F(LinkTest, GetAllSyncRecordListJoinsTheListsWhenMerged) {
    image_.Find(16)->changes[0] = {5, 9};
    image_.Find(16)->changes[1] = {3};
    image_.Find(15)->changes[0] = {5};
    image_.Find(15)->changes[2] = {7, 1};
    for (uint32_t model : {32u, 31u}) {
        SCOPED_TRACE(model);
        ASSERT_NO_FATAL_FAILURE(ConnectModel(model));
        uint32_t* lists[3] = {};
        uint32_t counts[3] = {99, 99, 99};
        ASSERT_EQ(1, link_->GetAllSyncRecordList(16, Heap(), &lists[0], &counts[0], &lists[1], &counts[1], &lists[2],
                                                 &counts[2]));
        const std::vector<uint32_t> added(lists[0], lists[0] + counts[0]), deleted(lists[2], lists[2] + counts[2]);
        using Ids = std::vector<uint32_t>;
        EXPECT_EQ(model == 32 ? Ids({5, 9, 0x80000005u}) : Ids({5, 9}), added);
        EXPECT_EQ(model == 32 ? Ids({0x80000007u, 0x80000001u}) : Ids(), deleted);
        EXPECT_EQ(1u, counts[1]);
        EXPECT_TRUE(HeapValidate(Heap(), 0, lists[0]));
        if (model == 32) {
            EXPECT_TRUE(HeapValidate(Heap(), 0, lists[2]));
        }
        link_->CloseLink();
    }
}

// A failure on either database, or no room for the temporary heap, leaves
// every out argument as it was.
TEST_F(LinkTest, GetAllSyncRecordListFailsWithoutTouchingItsOutArguments) {
    image_.Find(16)->changes[0] = {5};
    image_.Find(15)->changes[0] = {6};
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    HANDLE heap = Heap();
    for (uint32_t failing = 1; failing <= 3; ++failing) {
        SCOPED_TRACE(failing);
        CountCalls("S_DVXGetAllSyncRecordList");
        if (failing == 3)
            PlatformFailCall("HeapCreate", 1, 0);
        else
            Fail("S_DVXGetAllSyncRecordList", failing);
        uint32_t sentinel = 0xDEAD;
        uint32_t* lists[3] = {&sentinel, &sentinel, &sentinel};
        uint32_t counts[3] = {77, 77, 77};
        EXPECT_EQ(0, link_->GetAllSyncRecordList(16, heap, &lists[0], &counts[0], &lists[1], &counts[1], &lists[2],
                                                 &counts[2]));
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(&sentinel, lists[k]);
            EXPECT_EQ(77u, counts[k]);
        }
        EXPECT_EQ(failing == 3 ? 0u : failing, Calls("S_DVXGetAllSyncRecordList"));
        PlatformClearFaults();
        Device().faults.clear();
    }
}

// Each database is asked only for its own records; a failed read leaves the
// companion records with their device ids and the count unset.  An old
// model asks database 16 for the id as given.
TEST_F(LinkTest, GetRecordDataAsksEachDatabaseForItsOwnRecords) {
    AddRecordWithId(16, 3, "main three");
    AddRecordWithId(15, 7, "companion seven");
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    _tagDVXDBREC companion = {16, 0, 0x80000007u, nullptr}, main = {16, 0, 3, nullptr};
    _tagDVXDBREC* records[2] = {&companion, &main};
    uint32_t count = 55;
    CountCalls("S_DVXGetRecordData");
    ASSERT_EQ(1, link_->GetRecordData(16, records, 1, Heap(), &count));
    EXPECT_EQ(1u, Calls("S_DVXGetRecordData"));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(0x80000007u, companion.recordId);
    EXPECT_EQ("companion seven", SubjectOf(15, companion));
    EXPECT_EQ(1, link_->GetRecordData(16, records, 0, Heap(), &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(1u, Calls("S_DVXGetRecordData"));
    for (uint32_t failing = 1; failing <= 2; ++failing) {
        SCOPED_TRACE(failing);
        Fail("S_DVXGetRecordData", failing);
        companion = {16, 0, 0x80000007u, nullptr};
        count = 55;
        EXPECT_EQ(0, link_->GetRecordData(16, records, 2, Heap(), &count));
        EXPECT_EQ(55u, count);
        EXPECT_EQ(7u, companion.recordId);
        EXPECT_EQ(3u, main.recordId);
        EXPECT_EQ(kInjectedError, link_->GetLastError());
    }
    link_->CloseLink();
    ASSERT_NO_FATAL_FAILURE(ConnectModel(31));
    companion = {16, 0, 0x80000007u, nullptr};
    EXPECT_EQ(0, link_->GetRecordData(16, records, 1, Heap(), &count));
    EXPECT_EQ(kErrRecordNotFound, link_->GetLastError());
    EXPECT_EQ(0x80000007u, companion.recordId);
}

// Merged, the first-sync read joins both databases, companion ids marked;
// otherwise it reads database 16 alone.  A failure leaves the out arguments.
TEST_F(LinkTest, GetFirstSyncRecordDataJoinsBothDatabasesWhenMerged) {
    AddRecordWithId(16, 1, "main one");
    AddRecordWithId(16, 2, "main two");
    AddRecordWithId(15, 4, "companion four");
    const uint32_t ids[3] = {1, 2, 0x80000004u};
    const char* subjects[3] = {"main one", "main two", "companion four"};
    for (uint32_t model : {31u, 32u}) {
        if (link_) link_->CloseLink();
        ASSERT_NO_FATAL_FAILURE(ConnectModel(model));
        _tagDVXDBREC* records = nullptr;
        uint32_t count = 0;
        ASSERT_EQ(1, link_->GetFirstSyncRecordData(16, &records, &count, Heap()));
        ASSERT_EQ(model == 32 ? 3u : 2u, count);
        EXPECT_TRUE(HeapValidate(Heap(), 0, records));
        for (uint32_t i = 0; i < count; ++i) {
            EXPECT_EQ(ids[i], records[i].recordId);
            EXPECT_EQ(subjects[i], SubjectOf(16, records[i]));
        }
    }
    for (uint32_t failing = 1; failing <= 2; ++failing) {
        Fail("S_DVXGetFirstSyncRecordData", failing);
        _tagDVXDBREC sentinel;
        _tagDVXDBREC* records = &sentinel;
        uint32_t count = 77;
        EXPECT_EQ(0, link_->GetFirstSyncRecordData(16, &records, &count, Heap())) << failing;
        EXPECT_EQ(&sentinel, records);
        EXPECT_EQ(77u, count);
        EXPECT_EQ(kInjectedError, link_->GetLastError());
    }
}

// The folder field is found only in the merged database, by its exact
// name, the first one counting; once found, its place stays, and a failed
// or unmerged read leaves it unknown.
TEST_F(LinkTest, GetDBInfoFindsTheFolderFieldOfTheMergedDatabase) {
    std::vector<tethra_sim::LinkField>& fields = image_.Find(16)->fields;
    const int original = image_.Find(16)->FieldIndex("S_FOLDERID");
    ASSERT_GT(original, 0);
    fields[original].name = "s_folderid";
    fields[4].name = "S_FOLDERID ";
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    _tagS_DVXDBINFO info;
    memset(&info, 0, sizeof info);
    ASSERT_EQ(1, link_->GetDBInfo(16, Heap(), &info));
    EXPECT_EQ(-1, link_->folderFieldIndex);
    DeviceDb(16).fields[6].name = "S_FOLDERID";
    DeviceDb(16).fields[8].name = "S_FOLDERID";
    ASSERT_EQ(1, link_->GetDBInfo(15, Heap(), &info));
    EXPECT_EQ(-1, link_->folderFieldIndex);
    Fail("S_DVXGetDBInfo", 1);
    EXPECT_EQ(0, link_->GetDBInfo(16, Heap(), &info));
    EXPECT_EQ(-1, link_->folderFieldIndex);
    ASSERT_EQ(1, link_->GetDBInfo(16, Heap(), &info));
    EXPECT_EQ(6, link_->folderFieldIndex);
    DeviceDb(16).fields[6].name = "S_OTHER";
    ASSERT_EQ(1, link_->GetDBInfo(16, Heap(), &info));
    EXPECT_EQ(6, link_->folderFieldIndex);
    link_->CloseLink();
    ASSERT_NO_FATAL_FAILURE(ConnectModel(31));
    EXPECT_EQ(1, link_->GetDBInfo(16, Heap(), &info));
    EXPECT_EQ(-1, link_->folderFieldIndex);
}

// Merged or not, a companion id of database 16 deletes in database 15;
// the same id of another database is its own.  (The merged case from the
// host's side is the export tests'.)
TEST_F(LinkTest, DeleteRecordDataMapsCompanionIdsOfDatabase16) {
    AddRecordWithId(16, 3, "main three");
    AddRecordWithId(15, 3, "companion three");
    AddRecordWithId(6, 0x80000003u, "todo with a high id");
    ASSERT_NO_FATAL_FAILURE(ConnectModel(31));
    EXPECT_EQ(1, link_->DeleteRecordData(16, 0x80000003u));
    EXPECT_EQ("<none>", StoredSubject(15, 3));
    EXPECT_EQ("main three", StoredSubject(16, 3));
    EXPECT_EQ(1, link_->DeleteRecordData(6, 0x80000003u));
    EXPECT_EQ("<none>", StoredSubject(6, 0x80000003u));
}

TEST_F(LinkTest, SetDBSyncModeEnablesTheCompanionWithDatabase16) {
    const struct {
        uint32_t systemInfoValue;
        std::vector<uint32_t> ids, enabled;  // databases taking part afterwards
        bool fails;
    } kRows[] = {
        {32, {16}, {15, 16}, false},  // 0
        {32, {6, 16, 7}, {6, 7, 15, 16}, false},
        {32, {6}, {6}, false},
        {32, {15}, {15}, false},
        {31, {16}, {16}, false},
        {31, {6, 16}, {6, 16}, false},  // 5
        {32, {16}, {}, true},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.systemInfoValue);
        image_ = tethra_sim::EmptyImage();
        image_.systemInfoValue = row.systemInfoValue;
        ASSERT_NO_FATAL_FAILURE(Connect());
        if (row.fails) Fail("S_DVXSetDBSyncMode", 1);
        EXPECT_EQ(row.fails ? 0 : 1, link_->SetDBSyncMode(1, row.ids.data(), static_cast<uint32_t>(row.ids.size())));
        for (const tethra_sim::Database& db : Device().databases) {
            bool expected = false;
            for (uint32_t id : row.enabled) expected = expected || id == db.id;
            EXPECT_EQ(expected, db.syncEnabled) << "database " << db.id;
        }
        link_->CloseLink();
    }
}

// Merged, both change lists are emptied, database 16's first; otherwise
// the companion's stays.
TEST_F(LinkTest, CleanUpAllSyncStateEmptiesBothChangeListsWhenMerged) {
    for (uint32_t model : {32u, 31u}) {
        image_ = tethra_sim::EmptyImage();
        image_.Find(16)->changes[0] = {1};
        image_.Find(15)->changes[1] = {2};
        ASSERT_NO_FATAL_FAILURE(ConnectModel(model));
        EXPECT_EQ(1, link_->CleanUpAllSyncState(16));
        EXPECT_TRUE(DeviceDb(16).changes[0].empty());
        EXPECT_EQ(model == 32 ? 0u : 1u, DeviceDb(15).changes[1].size()) << model;
        link_->CloseLink();
    }
    image_.Find(15)->changes[1] = {2};
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    Fail("S_DVXCleanUpAllSyncState", 1);
    EXPECT_EQ(0, link_->CleanUpAllSyncState(16));
    EXPECT_EQ(1u, DeviceDb(15).changes[1].size());
    Fail("S_DVXCleanUpAllSyncState", 2);
    EXPECT_EQ(0, link_->CleanUpAllSyncState(16)) << "the companion's failure is the result";
}

}  // namespace
}  // namespace link_testing
