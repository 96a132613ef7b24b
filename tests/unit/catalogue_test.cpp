// Host sections, device databases and the E-mail companion database; the record cursor's small rules (host
// record status by sync attribute, which mails the host's folder takes).
#include "database/catalogue.h"
#include "database/record_cursor.h"
#include "schema/field_table.h"
#include "session/sync_session.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

TEST(Catalogue, SectionsAndTheirTraceLines) {
    const struct {
        int32_t section;
        uint32_t dbId;
        const char* line;
    } cases[] = {
        {1, 7, ""}, {2, 1, ""}, {3, 6, ""}, {4, 8, ""}, {5, 16, ""},
        {0, 0, "SectionToDBID(0):  'None' database may not be opened.\n"},
        {6, 0, "Unknown database identifier: [6]\n"}, {-1, 0, "Unknown database identifier: [-1]\n"},
    };
    for (const auto& c : cases) {
        testing_support::Sandbox sandbox;
        EXPECT_EQ(SectionToDBID(c.section), c.dbId) << c.section;
        EXPECT_EQ(sandbox.DebugOutput(), c.line);
    }
}

TEST(Catalogue, CompanionDatabaseOfMailRecords) {
    const struct {
        uint32_t dbId, recordId, holder, idInHolder;
    } cases[] = {
        {16, 0x80000005u, 15, 5}, {16, 0x80000000u, 15, 0}, {16, 0xFFFFFFFFu, 15, 0x7FFFFFFFu},
        {16, 0x7FFFFFFFu, 16, 0x7FFFFFFFu}, {15, 0x80000005u, 15, 0x80000005u}, {1, 3, 1, 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CompanionDbId(c.dbId, c.recordId), c.holder) << c.dbId << "/" << c.recordId;
        EXPECT_EQ(CompanionRecordId(c.dbId, c.recordId), c.idInHolder) << c.dbId << "/" << c.recordId;
    }
}

// Positions in the contract check's list; none before the check.
TEST(Catalogue, ContractPositions) {
    const uint32_t ids[] = {1, 6, 7, 8, 16};
    for (uint32_t& id : g_session.Check_DBIDList) id = 0;
    EXPECT_EQ(ContractPosition(1), -1);
    for (uint32_t i = 0; i < 5; ++i) g_session.Check_DBIDList[i] = ids[i];
    for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(ContractPosition(ids[i]), i);
    EXPECT_EQ(ContractPosition(15), -1);
    EXPECT_EQ(ContractPosition(0), -1);
}

TEST(SyncAttrToRecordStatus, MapsTheDeviceAttributesToHostStatuses) {
    const uint32_t rows[][2] = {{1, 1}, {2, 2}, {4, 3}, {8, 4}, {0, 0}, {3, 0}, {16, 0}, {0xFFFFFFFF, 0}};
    for (const auto& row : rows) EXPECT_EQ(row[1], SyncAttrToRecordStatus(row[0])) << row[0];
}

// The host numbers folders one higher; a deletion (no values) reads as device folder 0.
TEST(IsOfValidFolderType, TheHostNumbersFoldersOneHigher) {
    const struct {
        int32_t deviceFolder;  // -1: a deletion without values
        uint32_t hostFolder;
        bool taken;
    } rows[] = {{0, 1, true}, {1, 2, true},  {3, 4, true},   {1, 1, false}, {0, 0, false},
                {2, 2, false}, {-1, 1, true}, {-1, 2, false}, {-1, 0, false}};
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
