// Host sections, device databases and the E-mail companion database.
#include "database/catalogue.h"
#include "session/sync_session.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testing_support::Sandbox;

// Sections of the five databases, and the sections refused with their
// trace line (an unknown section is also traced by the open that asked).
TEST(Catalogue, SectionsAndTheirTraceLines) {
    const struct {
        int32_t section;
        uint32_t dbId;
        const char* line;
    } cases[] = {
        {1, 7, ""}, {2, 1, ""}, {3, 6, ""}, {4, 8, ""}, {5, 16, ""},
        {0, 0, "SectionToDBID(0):  'None' database may not be opened.\n"},
        {6, 0, "Unknown database identifier: [6]\n"},
        {-1, 0, "Unknown database identifier: [-1]\n"},
    };
    for (const auto& c : cases) {
        Sandbox sandbox;
        EXPECT_EQ(SectionToDBID(c.section), c.dbId) << c.section;
        EXPECT_EQ(sandbox.DebugOutput(), c.line);
    }
}

struct CompanionCase {
    uint32_t dbId;
    uint32_t recordId;
    uint32_t holder;
    uint32_t idInHolder;
};

TEST(Catalogue, CompanionDatabaseOfMailRecords) {
    const CompanionCase cases[] = {
        {16, 0x80000005u, 15, 5},
        {16, 0x80000000u, 15, 0},
        {16, 0xFFFFFFFFu, 15, 0x7FFFFFFFu},
        {16, 5, 16, 5},
        {16, 0x7FFFFFFFu, 16, 0x7FFFFFFFu},
        {7, 0x80000005u, 7, 0x80000005u},
        {15, 0x80000005u, 15, 0x80000005u},
        {1, 3, 1, 3},
    };
    for (const CompanionCase& c : cases) {
        EXPECT_EQ(CompanionDbId(c.dbId, c.recordId), c.holder) << c.dbId << "/" << c.recordId;
        EXPECT_EQ(CompanionRecordId(c.dbId, c.recordId), c.idInHolder) << c.dbId << "/" << c.recordId;
    }
}

TEST(Catalogue, PresenceFollowsTheDevicesDatabaseList) {
    _tagS_DVXDBIDIF list[] = {{0, 1, 0}, {0, 7, 0}, {0, 16, 0}, {0, 8, 0}};
    g_session.TTDBIDList = list;
    g_session.DBIDCount = 3;
    EXPECT_TRUE(DatabaseOnDevice(1));
    EXPECT_TRUE(DatabaseOnDevice(7));
    EXPECT_TRUE(DatabaseOnDevice(16));
    EXPECT_FALSE(DatabaseOnDevice(6));  // in the catalogue, not on the device
    EXPECT_FALSE(DatabaseOnDevice(8));  // beyond DBIDCount
    EXPECT_FALSE(DatabaseOnDevice(0));
    g_session.DBIDCount = 0;
    EXPECT_FALSE(DatabaseOnDevice(1));
    g_session.TTDBIDList = nullptr;
    g_session.DBIDCount = 4;
    EXPECT_FALSE(DatabaseOnDevice(1));
}

TEST(Catalogue, PresenceLooksAtTheDatabaseIdWord) {
    // The first and third words of an entry are not database ids.
    _tagS_DVXDBIDIF list[] = {{6, 2, 6}};
    EXPECT_FALSE(DatabaseInList(list, 1, 6));
    EXPECT_TRUE(DatabaseInList(list, 1, 2));
}

// Positions in the contract check's list; none before the check.
TEST(Catalogue, ContractPositions) {
    for (uint32_t i = 0; i < 5; ++i) g_session.Check_DBIDList[i] = 0;
    EXPECT_EQ(ContractPosition(1), -1);
    EXPECT_EQ(ContractPosition(0), -1);
    const uint32_t ids[] = {1, 6, 7, 8, 16};
    for (uint32_t i = 0; i < 5; ++i) g_session.Check_DBIDList[i] = ids[i];
    for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(ContractPosition(ids[i]), i);
    EXPECT_EQ(ContractPosition(15), -1);
    EXPECT_EQ(ContractPosition(0), -1);
}

}  // namespace
