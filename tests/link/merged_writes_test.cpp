// Writing to the merged e-mail database: records placed by id or folder,
// companion ids marked on the way back, first-synchronisation bulk writes
// and reads.
#include "link_fixture.h"

#include <string.h>

namespace link_testing {
namespace {

using tethra_sim::kErrFirstSyncNotAllowed;

constexpr uint32_t kLowBits = 0x7FFFFFFFu;

enum FolderKind { kEmptySlot, kAbsentSlot, kValue };

struct PlacementRow {
    FolderKind kind;
    std::vector<uint8_t> folder;
    uint32_t expectedDb;
};

// Only a folder value whose first byte is 0 keeps a new mail in database 16.
TEST_F(MergedMailTest, PutRecordDataPlacesNewRecordsByTheirFolder) {
    const PlacementRow rows[] = {
        {kEmptySlot, {}, 15},  // 0
        {kAbsentSlot, {}, 15},
        {kValue, Folder(0), 16},
        {kValue, Folder(1), 15},
        {kValue, Folder(3), 15},
        {kValue, Folder(0x100), 16},  // 5: the first byte decides
        {kValue, {0}, 16},
        {kValue, {2}, 15},
    };
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    const std::vector<tethra_sim::LinkField> fields = MailFields();
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        const PlacementRow& row = rows[i];
        SCOPED_TRACE(i);
        const std::string subject = "new mail " + std::to_string(i);
        OutgoingRecord mail(0, fields);
        mail.SetText("S_SUBJECT", subject);
        if (row.kind == kAbsentSlot) mail.SetAbsent("S_FOLDERID");
        if (row.kind == kValue) mail.Set("S_FOLDERID", row.folder);
        _tagDVXDBREC* records[1] = {mail.get()};
        uint32_t written = 0;
        ASSERT_EQ(1, link_->PutRecordData(16, records, 1, &written));
        EXPECT_EQ(1u, written);
        const uint32_t id = mail.get()->recordId;
        EXPECT_EQ(row.expectedDb == 15, IsCompanionRecordId(id)) << std::hex << id;
        EXPECT_EQ(subject, StoredSubject(row.expectedDb, id & kLowBits));
        EXPECT_NE(subject, StoredSubject(row.expectedDb == 15 ? 16 : 15, id & kLowBits));
    }
}

TEST_F(MergedMailTest, PutRecordDataSendsNewRecordsToTheCompanionWhileTheFolderFieldIsUnknown) {
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    ASSERT_EQ(-1, link_->folderFieldIndex);
    OutgoingRecord mail(0, tethra_sim::BuiltInFields(16));
    mail.SetText("S_SUBJECT", "folder unknown");
    mail.Set("S_FOLDERID", Folder(0));
    _tagDVXDBREC* records[1] = {mail.get()};
    uint32_t written = 0;
    ASSERT_EQ(1, link_->PutRecordData(16, records, 1, &written));
    EXPECT_TRUE(IsCompanionRecordId(mail.get()->recordId));
    EXPECT_EQ("folder unknown", StoredSubject(15, mail.get()->recordId & kLowBits));
}

// A batch of changed and new records: each lands in its database and comes
// back with the id the rest of the adapter knows it by.
class MixedBatch {
public:
    explicit MixedBatch(const std::vector<tethra_sim::LinkField>& fields)
        : companion(0x80000002u, fields), main(4, fields), freshMain(0, fields), freshCompanion(0, fields) {
        companion.SetText("S_SUBJECT", "changed companion");
        main.SetText("S_SUBJECT", "changed main");
        freshMain.SetText("S_SUBJECT", "fresh main");
        freshMain.Set("S_FOLDERID", tethra_sim::NumberValue(0).bytes);
        freshCompanion.SetText("S_SUBJECT", "fresh companion");
    }
    OutgoingRecord companion, main, freshMain, freshCompanion;
    _tagDVXDBREC* records[4] = {companion.get(), main.get(), freshMain.get(), freshCompanion.get()};
};

TEST_F(MergedMailTest, PutRecordDataWritesEachRecordToItsDatabase) {
    AddRecordWithId(16, 4, "old main");
    AddRecordWithId(15, 2, "old companion");
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    MixedBatch batch(MailFields());
    CountCalls("S_DVXPutRecordData");
    uint32_t written = 0;
    ASSERT_EQ(1, link_->PutRecordData(16, batch.records, 4, &written));
    EXPECT_EQ(4u, written);
    EXPECT_EQ(2u, Calls("S_DVXPutRecordData"));
    EXPECT_EQ(0x80000002u, batch.companion.get()->recordId);
    EXPECT_EQ(4u, batch.main.get()->recordId);
    EXPECT_EQ("changed companion", StoredSubject(15, 2));
    EXPECT_EQ("changed main", StoredSubject(16, 4));
    const uint32_t freshMain = batch.freshMain.get()->recordId;
    const uint32_t freshCompanion = batch.freshCompanion.get()->recordId;
    EXPECT_FALSE(IsCompanionRecordId(freshMain));
    EXPECT_NE(0u, freshMain);
    ASSERT_TRUE(IsCompanionRecordId(freshCompanion));
    EXPECT_EQ("fresh main", StoredSubject(16, freshMain));
    EXPECT_EQ("fresh companion", StoredSubject(15, freshCompanion & kLowBits));
}

// When database 16 refuses, database 15 is not written and its records keep
// the device ids they were given for the write.
TEST_F(MergedMailTest, PutRecordDataStopsWhenDatabase16Fails) {
    AddRecordWithId(16, 4, "old main");
    AddRecordWithId(15, 2, "old companion");
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    MixedBatch batch(MailFields());
    Device().FailCall("S_DVXPutRecordData", 1, kInjectedError, false);
    CountCalls("S_DVXPutRecordData");
    uint32_t written = 99;
    EXPECT_EQ(0, link_->PutRecordData(16, batch.records, 4, &written));
    EXPECT_EQ(0u, written);
    EXPECT_EQ(1u, Calls("S_DVXPutRecordData"));
    EXPECT_EQ("old companion", StoredSubject(15, 2));
    EXPECT_EQ(2u, batch.companion.get()->recordId);
    EXPECT_EQ(0u, batch.freshCompanion.get()->recordId);
    EXPECT_EQ(kInjectedError, link_->GetLastError());
}

TEST_F(MergedMailTest, PutRecordDataReportsTheCompanionFailure) {
    AddRecordWithId(16, 4, "old main");
    AddRecordWithId(15, 2, "old companion");
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    MixedBatch batch(MailFields());
    Device().FailCall("S_DVXPutRecordData", 2, kInjectedError, false);
    uint32_t written = 99;
    EXPECT_EQ(0, link_->PutRecordData(16, batch.records, 4, &written));
    EXPECT_EQ(2u, written) << "the two records database 16 took";
    EXPECT_EQ("changed main", StoredSubject(16, 4));
    EXPECT_EQ("old companion", StoredSubject(15, 2));
    EXPECT_EQ(2u, batch.companion.get()->recordId);
}

TEST_F(MergedMailTest, PutRecordDataOfNothingCallsNoDatabase) {
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    CountCalls("S_DVXPutRecordData");
    uint32_t written = 99;
    EXPECT_EQ(1, link_->PutRecordData(16, nullptr, 0, &written));
    EXPECT_EQ(0u, written);
    EXPECT_EQ(0u, Calls("S_DVXPutRecordData"));
}

TEST_F(MergedMailTest, WithoutMergePutRecordDataWritesDatabase16Only) {
    ASSERT_NO_FATAL_FAILURE(ConnectModel(31));
    OutgoingRecord mail(0, MailFields());
    mail.SetText("S_SUBJECT", "old model");
    _tagDVXDBREC* records[1] = {mail.get()};
    uint32_t written = 0;
    ASSERT_EQ(1, link_->PutRecordData(16, records, 1, &written));
    EXPECT_FALSE(IsCompanionRecordId(mail.get()->recordId));
    EXPECT_EQ("old model", StoredSubject(16, mail.get()->recordId));
    EXPECT_TRUE(DeviceDb(15).records.empty());
}

// Three first-sync records: main folder, no folder, another folder.
class FirstSyncBatchOfThree {
public:
    explicit FirstSyncBatchOfThree(const std::vector<tethra_sim::LinkField>& fields)
        : inbox(0, fields), unfiled(0, fields), filed(0x80000005u, fields) {
        inbox.SetText("S_SUBJECT", "inbox");
        inbox.Set("S_FOLDERID", tethra_sim::NumberValue(0).bytes);
        unfiled.SetText("S_SUBJECT", "unfiled");
        filed.SetText("S_SUBJECT", "filed");
        filed.Set("S_FOLDERID", tethra_sim::NumberValue(2).bytes);
    }
    OutgoingRecord inbox, unfiled, filed;
    _tagDVXDBREC* records[3] = {inbox.get(), unfiled.get(), filed.get()};
};

TEST_F(MergedMailTest, PutFirstSyncRecordDataCallsTheCompanionEvenWithNothingForIt) {
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    OutgoingRecord inbox(0, MailFields());
    inbox.SetText("S_SUBJECT", "inbox only");
    inbox.Set("S_FOLDERID", Folder(0));
    _tagDVXDBREC* records[1] = {inbox.get()};
    Device().FailCall("S_DVXPutFirstSyncRecordData", 2, kInjectedError, false);
    EXPECT_EQ(0, link_->PutFirstSyncRecordData(16, records, 1));
    EXPECT_EQ(kInjectedError, link_->GetLastError());
    EXPECT_EQ("inbox only", StoredSubject(16, inbox.get()->recordId));
}

TEST_F(MergedMailTest, PutFirstSyncRecordDataStopsWhenDatabase16Fails) {
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    FirstSyncBatchOfThree batch(MailFields());
    Device().FailCall("S_DVXPutFirstSyncRecordData", 1, kInjectedError, false);
    CountCalls("S_DVXPutFirstSyncRecordData");
    EXPECT_EQ(0, link_->PutFirstSyncRecordData(16, batch.records, 3));
    EXPECT_EQ(1u, Calls("S_DVXPutFirstSyncRecordData"));
    EXPECT_TRUE(DeviceDb(15).records.empty());
    EXPECT_EQ(0u, batch.unfiled.get()->recordId);
    EXPECT_EQ(0x80000005u, batch.filed.get()->recordId);
}

// The companion records are marked whatever the companion database answered.
TEST_F(MergedMailTest, PutFirstSyncRecordDataMarksTheCompanionRecordsEvenOnFailure) {
    image_.Find(15)->firstSyncPutAllowed = false;
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    FirstSyncBatchOfThree batch(MailFields());
    EXPECT_EQ(0, link_->PutFirstSyncRecordData(16, batch.records, 3));
    EXPECT_EQ(kErrFirstSyncNotAllowed, link_->GetLastError());
    EXPECT_EQ("inbox", StoredSubject(16, batch.inbox.get()->recordId));
    EXPECT_EQ(0x80000000u, batch.unfiled.get()->recordId);
    EXPECT_EQ(0x00000005u, batch.filed.get()->recordId);
}

TEST_F(MergedMailTest, WithoutMergePutFirstSyncRecordDataWritesDatabase16Only) {
    ASSERT_NO_FATAL_FAILURE(ConnectModel(31));
    FirstSyncBatchOfThree batch(MailFields());
    CountCalls("S_DVXPutFirstSyncRecordData");
    EXPECT_EQ(1, link_->PutFirstSyncRecordData(16, batch.records, 3));
    EXPECT_EQ(1u, Calls("S_DVXPutFirstSyncRecordData"));
    EXPECT_EQ(3u, DeviceDb(16).records.size());
    EXPECT_TRUE(DeviceDb(15).records.empty());
}

// Merged, the first-sync read joins both databases, companion ids marked;
// otherwise it reads database 16 alone.
TEST_F(MergedMailTest, GetFirstSyncRecordDataJoinsBothDatabasesWhenMerged) {
    AddRecordWithId(16, 1, "main one");
    AddRecordWithId(16, 2, "main two");
    AddRecordWithId(15, 4, "companion four");
    const uint32_t ids[3] = {1, 2, 0x80000004u};
    const char* subjects[3] = {"main one", "main two", "companion four"};
    for (uint32_t model : {32u, 31u}) {
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
        link_->CloseLink();
    }
}

TEST_F(MergedMailTest, GetFirstSyncRecordDataFailureLeavesTheOutArguments) {
    AddRecordWithId(16, 1, "main one");
    AddRecordWithId(15, 4, "companion four");
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    for (uint32_t failing = 1; failing <= 2; ++failing) {
        SCOPED_TRACE(failing);
        Device().FailCall("S_DVXGetFirstSyncRecordData", failing, kInjectedError, false);
        _tagDVXDBREC sentinel;
        _tagDVXDBREC* records = &sentinel;
        uint32_t count = 77;
        EXPECT_EQ(0, link_->GetFirstSyncRecordData(16, &records, &count, Heap()));
        EXPECT_EQ(&sentinel, records);
        EXPECT_EQ(77u, count);
        EXPECT_EQ(kInjectedError, link_->GetLastError());
    }
}

}  // namespace
}  // namespace link_testing
