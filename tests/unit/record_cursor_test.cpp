// The record cursor's small rules: host record status by sync attribute,
// and which mails the host's folder takes.
#include "database/record_cursor.h"
#include "schema/field_table.h"
#include "session/sync_session.h"

#include <gtest/gtest.h>

namespace {

TEST(SyncAttrToRecordStatus, MapsTheDeviceAttributesToHostStatuses) {
    const uint32_t rows[][2] = {{1, 1}, {2, 2}, {4, 3}, {8, 4}, {0, 0}, {3, 0}, {16, 0}, {0xFFFFFFFF, 0}};
    for (const auto& row : rows) EXPECT_EQ(row[1], SyncAttrToRecordStatus(row[0])) << row[0];
}

// The host numbers folders one higher; a deletion (no values) reads as
// device folder 0.
TEST(IsOfValidFolderType, TheHostNumbersFoldersOneHigher) {
    const struct {
        int32_t deviceFolder;  // -1: a deletion without values
        uint32_t hostFolder;
        bool taken;
    } rows[] = {
        {0, 1, true}, {1, 2, true}, {3, 4, true}, {1, 1, false}, {0, 0, false},
        {2, 2, false}, {-1, 1, true}, {-1, 2, false}, {-1, 0, false},
    };
    g_session.currentFieldTable = *SelectFieldTable(kMailDbId);
    for (const auto& row : rows) {
        WorkingField slots[MailField::Count] = {};
        int32_t folder = row.deviceFolder;
        slots[MailField::FolderID] = WorkingField{kWorkingFieldSize, 4, reinterpret_cast<uint8_t*>(&folder)};
        WorkingRecord mail{kWorkingRecordSize, MailField::Count, 5, folder < 0 ? nullptr : slots, 2};
        EXPECT_EQ(row.taken, IsOfValidFolderType(&mail, row.hostFolder))
            << row.deviceFolder << " in host folder " << row.hostFolder;
    }
}

}  // namespace
