// The record cursor's small rules: host record status by sync attribute,
// and which mails the host's folder takes.
#include "database/record_cursor.h"
#include "schema/field_table.h"
#include "session/sync_session.h"

#include <gtest/gtest.h>
#include <string.h>

namespace {

TEST(SyncAttrToRecordStatus, MapsTheDeviceAttributesToHostStatuses) {
    struct Row {
        uint32_t syncAttr, status;
    };
    const Row rows[] = {
        {1, 1}, {2, 2}, {4, 3}, {8, 4}, {0, 0},  // 0
        {3, 0}, {16, 0}, {0xFFFFFFFF, 0},
    };
    for (const Row& row : rows) EXPECT_EQ(row.status, SyncAttrToRecordStatus(row.syncAttr)) << row.syncAttr;
}

// A mail in the open E-mail database whose FolderID holds folder, or a
// record without values when folder is negative.
class MailFolder : public testing::Test {
protected:
    void SetUp() override {
        g_session.currentFieldTable = *SelectFieldTable(kMailDbId);
        memset(slots_, 0, sizeof slots_);
        for (WorkingField& slot : slots_) slot.size = kWorkingFieldSize;
        record_ = WorkingRecord{kWorkingRecordSize, MailField::Count, 5, slots_, 2};
    }
    const WorkingRecord* Mail(int32_t folder) {
        if (folder < 0) {
            record_.fields = nullptr;
            return &record_;
        }
        folder_ = folder;
        slots_[MailField::FolderID] = WorkingField{kWorkingFieldSize, 4, reinterpret_cast<uint8_t*>(&folder_)};
        return &record_;
    }

    WorkingField slots_[MailField::Count];
    WorkingRecord record_;
    int32_t folder_ = 0;
};

TEST_F(MailFolder, TheHostNumbersFoldersOneHigher) {
    struct Row {
        int32_t deviceFolder;  // -1: a deletion without values
        uint32_t hostFolder;
        bool taken;
    };
    const Row rows[] = {
        {0, 1, true}, {1, 2, true}, {3, 4, true}, {1, 1, false}, {0, 0, false},  // 0
        {2, 2, false}, {-1, 1, true}, {-1, 2, false}, {-1, 0, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.taken, IsOfValidFolderType(Mail(row.deviceFolder), row.hostFolder))
            << row.deviceFolder << " in host folder " << row.hostFolder;
}

}  // namespace
