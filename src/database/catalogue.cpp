// Host sections to device databases.
#include "database/catalogue.h"

#include "link/device_link.h"
#include "session/sync_session.h"
#include "support/trace_log.h"

namespace {

// Device database id of each host section; section 0 is the "None" database.
static const uint32_t kSectionDbIds[] = {
    // 0
    0,
    7,
    1,
    6,
    8,
    // 5
    16,
};

constexpr int32_t kSectionCount = static_cast<int32_t>(sizeof(kSectionDbIds) / sizeof(kSectionDbIds[0]));

}  // namespace

uint32_t SectionToDBID(int32_t section) {
    if (section == 0) {
        LogTrace("SectionToDBID(%d):  'None' database may not be opened.\n", section);
        return 0;
    }
    if (section < 0 || section >= kSectionCount) {
        LogTrace("Unknown database identifier: [%d]\n", section);
        return 0;
    }
    return kSectionDbIds[section];
}

uint32_t CompanionDbId(uint32_t dbId, uint32_t recordId) {
    return dbId == kMainMailDbId && IsCompanionRecordId(recordId) ? kCompanionMailDbId : dbId;
}

uint32_t CompanionRecordId(uint32_t dbId, uint32_t recordId) {
    // Adding the bit once more wraps it away, as the device link does.
    return dbId == kMainMailDbId && IsCompanionRecordId(recordId) ? recordId + kCompanionIdBit : recordId;
}

bool DatabaseInList(const _tagS_DVXDBIDIF* list, uint32_t count, uint32_t dbId) {
    if (list == nullptr) return false;
    for (uint32_t i = 0; i < count; ++i)
        if (list[i].dbId == dbId) return true;
    return false;
}

bool DatabaseOnDevice(uint32_t dbId) {
    return DatabaseInList(g_session.TTDBIDList, g_session.DBIDCount, dbId);
}

int32_t ContractPosition(uint32_t dbId) {
    // A list not yet filled holds zeros, which must not match.
    if (dbId == 0) return -1;
    for (uint32_t i = 0; i < kContractDbCount; ++i)
        if (g_session.Check_DBIDList[i] == dbId) return static_cast<int32_t>(i);
    return -1;
}
