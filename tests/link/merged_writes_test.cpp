// Writing to the merged e-mail database: records placed by id or folder,
// companion ids marked on the way back, first-synchronisation bulk writes.
#include "link_fixture.h"

namespace link_testing {
namespace {

using tethra_sim::kErrFirstSyncNotAllowed;

constexpr uint32_t kLowBits = 0x7FFFFFFFu;

// Only a folder value whose first byte is 0 keeps a new mail in database
// 16; while the folder field is unknown every new mail goes to 15.
TEST_F(LinkTest, PutRecordDataPlacesNewRecordsByTheirFolder) {
    enum FolderKind { kEmptySlot, kAbsentSlot, kValue, kFieldUnknown };
    const struct {
        FolderKind kind;
        std::vector<uint8_t> folder;
        uint32_t expectedDb;
    } kRows[] = {
        {kFieldUnknown, Folder(0), 15},  // 0
        {kEmptySlot, {}, 15},
        {kAbsentSlot, {}, 15},
        {kValue, Folder(0), 16},
        {kValue, Folder(1), 15},
        {kValue, Folder(3), 15},  // 5
        {kValue, Folder(0x100), 16},  // the first byte decides
        {kValue, {0}, 16},
        {kValue, {2}, 15},
    };
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    ASSERT_EQ(-1, link_->folderFieldIndex);
    const std::vector<tethra_sim::LinkField> builtIn = tethra_sim::BuiltInFields(16);
    for (size_t i = 0; i < sizeof kRows / sizeof kRows[0]; ++i) {
        const auto& row = kRows[i];
        SCOPED_TRACE(i);
        const std::string subject = "new mail " + std::to_string(i);
        OutgoingRecord mail(0, row.kind == kFieldUnknown ? builtIn : MailFields());
        mail.SetText("S_SUBJECT", subject);
        if (row.kind != kEmptySlot) mail.Set("S_FOLDERID", row.folder, row.kind == kAbsentSlot);
        _tagDVXDBREC* records[1] = {mail.get()};
        uint32_t written = 0;
        ASSERT_EQ(1, link_->PutRecordData(16, records, 1, &written));
        EXPECT_EQ(1u, written);
        EXPECT_EQ(row.expectedDb == 15, IsCompanionRecordId(mail.id())) << std::hex << mail.id();
        EXPECT_EQ(subject, StoredSubject(row.expectedDb, mail.id() & kLowBits));
        EXPECT_NE(subject, StoredSubject(row.expectedDb == 15 ? 16 : 15, mail.id() & kLowBits));
    }
}

// A batch of changed and new records: each lands in its database and comes
// back with the id the rest of the adapter knows it by.  When database 16
// refuses, 15 is not written; when 15 refuses, 16 keeps what it took; either
// way the companion records keep the device ids they were given.
TEST_F(LinkTest, PutRecordDataWritesEachRecordToItsDatabase) {
    AddRecordWithId(16, 4, "old main");
    AddRecordWithId(15, 2, "old companion");
    for (uint32_t failing : {1u, 2u, 0u}) {
        SCOPED_TRACE(failing);
        ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
        const std::vector<tethra_sim::LinkField> fields = MailFields();
        OutgoingRecord companion(0x80000002u, fields), main(4, fields), freshMain(0, fields), freshCompanion(0, fields);
        companion.SetText("S_SUBJECT", "changed companion");
        main.SetText("S_SUBJECT", "changed main");
        freshMain.SetText("S_SUBJECT", "fresh main");
        freshMain.Set("S_FOLDERID", Folder(0));
        freshCompanion.SetText("S_SUBJECT", "fresh companion");
        _tagDVXDBREC* records[4] = {companion.get(), main.get(), freshMain.get(), freshCompanion.get()};
        if (failing != 0) Fail("S_DVXPutRecordData", failing);
        CountCalls("S_DVXPutRecordData");
        uint32_t written = 99;
        EXPECT_EQ(failing == 0 ? 1 : 0, link_->PutRecordData(16, records, 4, &written));
        EXPECT_EQ(failing == 0 ? 4u : failing == 1 ? 0u : 2u, written);
        EXPECT_EQ(failing == 1 ? 1u : 2u, Calls("S_DVXPutRecordData"));
        EXPECT_EQ(failing == 0 ? "changed companion" : "old companion", StoredSubject(15, 2));
        EXPECT_EQ(failing == 1 ? "old main" : "changed main", StoredSubject(16, 4));
        EXPECT_EQ(failing == 0 ? 0x80000002u : 2u, companion.id());
        EXPECT_EQ(4u, main.id());
        if (failing == 0) {
            EXPECT_FALSE(IsCompanionRecordId(freshMain.id()));
            EXPECT_EQ("fresh main", StoredSubject(16, freshMain.id()));
            ASSERT_TRUE(IsCompanionRecordId(freshCompanion.id()));
            EXPECT_EQ("fresh companion", StoredSubject(15, freshCompanion.id() & kLowBits));
        } else {
            EXPECT_EQ(kInjectedError, link_->GetLastError());
        }
        if (failing == 1) {
            EXPECT_EQ(0u, freshCompanion.id());
        }
        link_->CloseLink();
    }
    ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
    CountCalls("S_DVXPutRecordData");
    uint32_t written = 99;
    EXPECT_EQ(1, link_->PutRecordData(16, nullptr, 0, &written));
    EXPECT_EQ(0u, written);
    EXPECT_EQ(0u, Calls("S_DVXPutRecordData")) << "writing nothing calls no database";
}

// An old model writes every record of database 16 to database 16, in plain
// and bulk writes alike.
TEST_F(LinkTest, WithoutMergeWritesGoToDatabase16Only) {
    ASSERT_NO_FATAL_FAILURE(ConnectModel(31));
    OutgoingRecord mail(0, MailFields()), inbox(0, MailFields()), filed(0x80000005u, MailFields());
    mail.SetText("S_SUBJECT", "old model");
    _tagDVXDBREC* records[1] = {mail.get()};
    uint32_t written = 0;
    ASSERT_EQ(1, link_->PutRecordData(16, records, 1, &written));
    EXPECT_FALSE(IsCompanionRecordId(mail.id()));
    EXPECT_EQ("old model", StoredSubject(16, mail.id()));
    filed.Set("S_FOLDERID", Folder(2));
    _tagDVXDBREC* batch[2] = {inbox.get(), filed.get()};
    CountCalls("S_DVXPutFirstSyncRecordData");
    EXPECT_EQ(1, link_->PutFirstSyncRecordData(16, batch, 2));
    EXPECT_EQ(1u, Calls("S_DVXPutFirstSyncRecordData"));
    EXPECT_EQ(3u, DeviceDb(16).records.size());
    EXPECT_TRUE(DeviceDb(15).records.empty());
}

// The bulk write sends the main folder's records to 16 and the rest to 15,
// which is called even with nothing for it.  When 16 fails, 15 is not
// written; the companion records are marked whatever 15 answered.
TEST_F(LinkTest, PutFirstSyncRecordDataSplitsTheBatch) {
    enum Setup { kCompanionEmpty, kMainFails, kCompanionRefuses };
    for (Setup setup : {kCompanionEmpty, kMainFails, kCompanionRefuses}) {
        SCOPED_TRACE(setup);
        image_ = tethra_sim::EmptyImage();
        image_.Find(15)->firstSyncPutAllowed = setup != kCompanionRefuses;
        ASSERT_NO_FATAL_FAILURE(ConnectModel(32));
        OutgoingRecord inbox(0, MailFields()), unfiled(0, MailFields()), filed(0x80000005u, MailFields());
        inbox.SetText("S_SUBJECT", "inbox");
        inbox.Set("S_FOLDERID", Folder(0));
        unfiled.SetText("S_SUBJECT", "unfiled");
        filed.SetText("S_SUBJECT", "filed");
        filed.Set("S_FOLDERID", Folder(2));
        _tagDVXDBREC* records[3] = {inbox.get(), unfiled.get(), filed.get()};
        const uint32_t count = setup == kCompanionEmpty ? 1 : 3;
        if (setup != kCompanionRefuses) Fail("S_DVXPutFirstSyncRecordData", setup == kMainFails ? 1 : 2);
        CountCalls("S_DVXPutFirstSyncRecordData");
        EXPECT_EQ(0, link_->PutFirstSyncRecordData(16, records, count));
        EXPECT_EQ(setup == kMainFails ? 1u : 2u, Calls("S_DVXPutFirstSyncRecordData"));
        EXPECT_EQ(setup == kCompanionRefuses ? kErrFirstSyncNotAllowed : kInjectedError, link_->GetLastError());
        EXPECT_EQ(setup == kMainFails ? "<none>" : "inbox", StoredSubject(16, inbox.id()));
        EXPECT_TRUE(DeviceDb(15).records.empty());
        if (setup != kCompanionEmpty) {
            EXPECT_EQ(setup == kMainFails ? 0u : 0x80000000u, unfiled.id());
            EXPECT_EQ(setup == kMainFails ? 0x80000005u : 5u, filed.id());
        }
        link_->CloseLink();
    }
}

}  // namespace
}  // namespace link_testing
