// The merged e-mail database: databases 16 and 15 as one, companion ids
// marked by bit 31, new records placed by their folder.
#include "link_fixture.h"

#include "platform/platform_test.h"

#include <string.h>

namespace link_testing {
namespace {

using tethra_sim::kErrRecordNotFound;

TEST_F(MergedMailTest, GetAllSyncRecordListJoinsTheListsWithCompanionIdsMarked) {
    image_.Find(16)->changes[0] = {5, 9};
    image_.Find(16)->changes[1] = {3};
    image_.Find(15)->changes[0] = {5};
    image_.Find(15)->changes[2] = {7, 1};
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    uint32_t *added = nullptr, *changed = nullptr, *deleted = nullptr;
    uint32_t addedCount = 99, changedCount = 99, deletedCount = 99;
    ASSERT_EQ(1, link_->GetAllSyncRecordList(16, Heap(), &added, &addedCount, &changed, &changedCount, &deleted,
                                             &deletedCount));
    ASSERT_EQ(3u, addedCount);
    EXPECT_EQ(5u, added[0]);
    EXPECT_EQ(9u, added[1]);
    EXPECT_EQ(0x80000005u, added[2]);
    ASSERT_EQ(1u, changedCount);
    EXPECT_EQ(3u, changed[0]);
    ASSERT_EQ(2u, deletedCount);
    EXPECT_EQ(0x80000007u, deleted[0]);
    EXPECT_EQ(0x80000001u, deleted[1]);
    EXPECT_TRUE(HeapValidate(Heap(), 0, added)) << "the joined lists belong to the caller's heap";
    EXPECT_TRUE(HeapValidate(Heap(), 0, deleted));
}

TEST_F(MergedMailTest, WithoutMergeDatabase16ListsOnlyItsOwnIds) {
    image_.Find(16)->changes[0] = {5, 9};
    image_.Find(15)->changes[0] = {5};
    ASSERT_NO_FATAL_FAILURE(ConnectModel(31));
    uint32_t *added = nullptr, *changed = nullptr, *deleted = nullptr;
    uint32_t addedCount = 0, changedCount = 0, deletedCount = 0;
    CountCalls("S_DVXGetAllSyncRecordList");
    ASSERT_EQ(1, link_->GetAllSyncRecordList(16, Heap(), &added, &addedCount, &changed, &changedCount, &deleted,
                                             &deletedCount));
    EXPECT_EQ(1u, Calls("S_DVXGetAllSyncRecordList"));
    ASSERT_EQ(2u, addedCount);
    EXPECT_EQ(5u, added[0]);
    EXPECT_EQ(9u, added[1]);
}

// A failure on either database, or no room for the temporary heap, leaves
// every out argument as it was.
TEST_F(MergedMailTest, GetAllSyncRecordListFailsWithoutTouchingItsOutArguments) {
    image_.Find(16)->changes[0] = {5};
    image_.Find(15)->changes[0] = {6};
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    HANDLE heap = Heap();
    for (int failing = 1; failing <= 3; ++failing) {
        SCOPED_TRACE(failing);
        CountCalls("S_DVXGetAllSyncRecordList");
        if (failing == 3)
            PlatformFailCall("HeapCreate", 1, 0);
        else
            Device().FailCall("S_DVXGetAllSyncRecordList", static_cast<uint32_t>(failing), kInjectedError, false);
        uint32_t sentinel = 0xDEAD;
        uint32_t *lists[3] = {&sentinel, &sentinel, &sentinel};
        uint32_t counts[3] = {77, 77, 77};
        EXPECT_EQ(0, link_->GetAllSyncRecordList(16, heap, &lists[0], &counts[0], &lists[1], &counts[1], &lists[2],
                                                 &counts[2]));
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(&sentinel, lists[k]);
            EXPECT_EQ(77u, counts[k]);
        }
        EXPECT_EQ(failing == 3 ? 0u : static_cast<uint32_t>(failing), Calls("S_DVXGetAllSyncRecordList"));
        if (failing != 3) {
            EXPECT_EQ(kInjectedError, link_->GetLastError());
        }
        PlatformClearFaults();
        Device().faults.clear();
    }
}

TEST_F(MergedMailTest, GetRecordDataAsksOnlyTheDatabasesItNeeds) {
    AddRecordWithId(15, 4, "companion four");
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    _tagDVXDBREC record = {16, 0, 0x80000004u, nullptr};
    _tagDVXDBREC* records[1] = {&record};
    uint32_t count = 0;
    CountCalls("S_DVXGetRecordData");
    ASSERT_EQ(1, link_->GetRecordData(16, records, 1, Heap(), &count));
    EXPECT_EQ(1u, Calls("S_DVXGetRecordData"));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(0x80000004u, record.recordId);

    count = 55;
    EXPECT_EQ(1, link_->GetRecordData(16, records, 0, Heap(), &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(1u, Calls("S_DVXGetRecordData"));
}

// A failed read leaves the companion records with their device ids and the
// count unset.
TEST_F(MergedMailTest, GetRecordDataFailureOnEitherDatabase) {
    AddRecordWithId(16, 3, "main three");
    AddRecordWithId(15, 7, "companion seven");
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    for (uint32_t failing = 1; failing <= 2; ++failing) {
        SCOPED_TRACE(failing);
        Device().FailCall("S_DVXGetRecordData", failing, kInjectedError, false);
        _tagDVXDBREC companion = {16, 0, 0x80000007u, nullptr};
        _tagDVXDBREC main = {16, 0, 3, nullptr};
        _tagDVXDBREC* records[2] = {&companion, &main};
        uint32_t count = 55;
        EXPECT_EQ(0, link_->GetRecordData(16, records, 2, Heap(), &count));
        EXPECT_EQ(55u, count);
        EXPECT_EQ(7u, companion.recordId);
        EXPECT_EQ(3u, main.recordId);
        EXPECT_EQ(kInjectedError, link_->GetLastError());
    }
}

TEST_F(MergedMailTest, WithoutMergeGetRecordDataAsksDatabase16ForTheIdAsGiven) {
    AddRecordWithId(15, 7, "companion seven");
    ASSERT_NO_FATAL_FAILURE(ConnectModel(31));
    _tagDVXDBREC record = {16, 0, 0x80000007u, nullptr};
    _tagDVXDBREC* records[1] = {&record};
    uint32_t count = 0;
    EXPECT_EQ(0, link_->GetRecordData(16, records, 1, Heap(), &count));
    EXPECT_EQ(kErrRecordNotFound, link_->GetLastError());
    EXPECT_EQ(0x80000007u, record.recordId);
}

TEST_F(MergedMailTest, GetDBInfoFindsTheFolderFieldOfTheMergedDatabaseOnly) {
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    _tagS_DVXDBINFO info;
    memset(&info, 0, sizeof info);
    ASSERT_EQ(1, link_->GetDBInfo(15, Heap(), &info));
    EXPECT_EQ(-1, link_->folderFieldIndex);
    ASSERT_EQ(1, link_->GetDBInfo(16, Heap(), &info));
    EXPECT_EQ(DeviceDb(16).FieldIndex("S_FOLDERID"), link_->folderFieldIndex);
    EXPECT_NE(0, link_->folderFieldIndex) << "the folder field is not the first";
}

// The folder field is found by its exact name, the first one counting; once
// found, its place stays.
TEST_F(MergedMailTest, GetDBInfoMatchesTheFolderFieldByExactName) {
    std::vector<tethra_sim::LinkField>& fields = image_.Find(16)->fields;
    const int original = image_.Find(16)->FieldIndex("S_FOLDERID");
    ASSERT_GE(original, 0);
    fields[original].name = "s_folderid";
    fields[4].name = "S_FOLDERID ";
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    _tagS_DVXDBINFO info;
    memset(&info, 0, sizeof info);
    ASSERT_EQ(1, link_->GetDBInfo(16, Heap(), &info));
    EXPECT_EQ(-1, link_->folderFieldIndex);

    DeviceDb(16).fields[6].name = "S_FOLDERID";
    DeviceDb(16).fields[8].name = "S_FOLDERID";
    ASSERT_EQ(1, link_->GetDBInfo(16, Heap(), &info));
    EXPECT_EQ(6, link_->folderFieldIndex);
    DeviceDb(16).fields[6].name = "S_OTHER";
    ASSERT_EQ(1, link_->GetDBInfo(16, Heap(), &info));
    EXPECT_EQ(6, link_->folderFieldIndex);
}

TEST_F(MergedMailTest, GetDBInfoWithoutMergeOrOnFailureLeavesTheFolderFieldUnknown) {
    ASSERT_NO_FATAL_FAILURE(ConnectModel(31));
    _tagS_DVXDBINFO info;
    memset(&info, 0, sizeof info);
    EXPECT_EQ(1, link_->GetDBInfo(16, Heap(), &info));
    EXPECT_EQ(-1, link_->folderFieldIndex);
    link_->noMerge = 0;
    Device().FailCall("S_DVXGetDBInfo", 1, kInjectedError, false);
    EXPECT_EQ(0, link_->GetDBInfo(16, Heap(), &info));
    EXPECT_EQ(-1, link_->folderFieldIndex);
}

// Merged or not, a companion id of database 16 deletes in database 15.
TEST_F(MergedMailTest, DeleteRecordDataMapsCompanionIdsOfDatabase16) {
    AddRecordWithId(16, 2, "main two");
    AddRecordWithId(15, 2, "companion two");
    AddRecordWithId(15, 3, "companion three");
    AddRecordWithId(6, 0x80000002u, "todo with a high id");
    ASSERT_NO_FATAL_FAILURE(ConnectModel(31));
    EXPECT_EQ(1, link_->DeleteRecordData(16, 0x80000003u));
    EXPECT_EQ("<none>", StoredSubject(15, 3));
    link_->CloseLink();
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));

    EXPECT_EQ(1, link_->DeleteRecordData(16, 0x80000002u));
    EXPECT_EQ("<none>", StoredSubject(15, 2));
    EXPECT_EQ("main two", StoredSubject(16, 2));

    EXPECT_EQ(1, link_->DeleteRecordData(6, 0x80000002u));
    EXPECT_EQ("<none>", StoredSubject(6, 0x80000002u));

    EXPECT_EQ(1, link_->DeleteRecordData(16, 2));
    EXPECT_EQ("<none>", StoredSubject(16, 2));
    EXPECT_EQ(0, link_->DeleteRecordData(16, 2));
    EXPECT_EQ(kErrRecordNotFound, link_->GetLastError());
}

struct SyncModeRow {
    uint32_t systemInfoValue;
    std::vector<uint32_t> ids;
    std::vector<uint32_t> enabled;  // databases taking part afterwards
};

TEST_F(MergedMailTest, SetDBSyncModeEnablesTheCompanionWithDatabase16) {
    const SyncModeRow rows[] = {
        {32, {16}, {15, 16}},  // 0
        {32, {6, 16, 7}, {6, 7, 15, 16}},
        {32, {6}, {6}},
        {32, {15}, {15}},
        {31, {16}, {16}},
        {31, {6, 16}, {6, 16}},  // 5
    };
    for (const SyncModeRow& row : rows) {
        SCOPED_TRACE(row.systemInfoValue);
        image_ = tethra_sim::EmptyImage();
        image_.systemInfoValue = row.systemInfoValue;
        ASSERT_NO_FATAL_FAILURE(Connect());
        EXPECT_EQ(1, link_->SetDBSyncMode(1, row.ids.data(), static_cast<uint32_t>(row.ids.size())));
        for (const tethra_sim::Database& db : Device().databases) {
            bool expected = false;
            for (uint32_t id : row.enabled) expected = expected || id == db.id;
            EXPECT_EQ(expected, db.syncEnabled) << "database " << db.id;
        }
        link_->CloseLink();
    }
}

TEST_F(MergedMailTest, SetDBSyncModePassesTheDeviceResultOn) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    Device().FailCall("S_DVXSetDBSyncMode", 1, kInjectedError, false);
    const uint32_t ids[1] = {16};
    EXPECT_EQ(0, link_->SetDBSyncMode(1, ids, 1));
    EXPECT_EQ(kInjectedError, link_->GetLastError());
    EXPECT_FALSE(DeviceDb(15).syncEnabled);
}

// Merged, both change lists are emptied; otherwise the companion's stays.
TEST_F(MergedMailTest, CleanUpAllSyncStateEmptiesBothChangeListsWhenMerged) {
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
}

TEST_F(MergedMailTest, CleanUpAllSyncStateStopsWhenDatabase16Fails) {
    image_.Find(15)->changes[1] = {2};
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    Device().FailCall("S_DVXCleanUpAllSyncState", 1, kInjectedError, false);
    EXPECT_EQ(0, link_->CleanUpAllSyncState(16));
    EXPECT_EQ(1u, DeviceDb(15).changes[1].size());
    Device().FailCall("S_DVXCleanUpAllSyncState", 2, kInjectedError, false);
    EXPECT_EQ(0, link_->CleanUpAllSyncState(16)) << "the companion's failure is the result";
}

}  // namespace
}  // namespace link_testing
