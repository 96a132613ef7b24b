#include "database/open_database.h"

#include "database/catalogue.h"
#include "link/device_link.h"
#include "schema/record_convert.h"
#include "session/call_frame.h"
#include "session/error_helpers.h"
#include "session/record_cache.h"
#include "session/startup.h"
#include "session/sync_session.h"
#include "session/trace_text.h"
#include "support/trace_log.h"

#include <stdint.h>
#include <string.h>

namespace {

// Device errors after which a record list that did not come back still
// lets the pass go on, with whatever counts the device returned.
constexpr uint32_t kErrorNoSyncState = 0x1000002Cu;
constexpr uint32_t kErrorNotSupported = 0x10000005u;

// One record of the list the cache is built from.
struct RecordPair {
    uint32_t recordId;
    uint32_t syncAttr;
};
static_assert(sizeof(RecordPair) == 8, "a record pair is 8 bytes");

// The record list of one open, in a temporary heap.
struct RecordList {
    RecordPair* pairs = nullptr;
    uint32_t count = 0;
    // Full sync only: the link records with their values, pairs[k] being
    // linkRecords[k].
    _tagDVXDBREC* linkRecords = nullptr;
};

// Steps up to the device's field information: translation, presence,
// schema, working database, GetDBInfo.
int32_t MakeDatabaseCurrent(int32_t section) {
    const uint32_t dbId = SectionToDBID(section);
    g_session.currentDbId = dbId;
    if (dbId == 0) {
        LogTrace("Section id did not resolve to known DB id [%d]\n", section);
        return kResultOpenOrFetchFailed;
    }
    if (g_session.DBIDCount == 0 || !DatabaseOnDevice(dbId)) {
        LogTrace("Database not enabled on device: [%d]\n", dbId);
        SetLastErrorCode(kErrorDatabaseMissing);
        return kResultOpenOrFetchFailed;
    }
    const FieldTable* table = SelectFieldTable(dbId);
    if (table == nullptr) return kResultOpenOrFetchFailed;
    g_session.currentFieldTable = *table;

    const int32_t opened = OpenWorkingDatabase();
    if (opened != 0) return opened;

    LogTrace("     ------ QAPI.QPC_GetDBInfo(db=%d, hHeap, &TTdbInfo)\n", dbId);
    ForgetLinkFieldPlan();
    memset(&g_session.TTdbInfo, 0, sizeof g_session.TTdbInfo);
    g_session.TTdbInfo.size = sizeof g_session.TTdbInfo;
    if (g_link.GetDBInfo(dbId, g_session.hHeap, &g_session.TTdbInfo) != 1) {
        LogTrace("Could not get info on database: [%d]\n", dbId);
        CaptureDeviceError();
        return kResultOpenOrFetchFailed;
    }
    return kResultOk;
}

// Both schemas of the open database, for whoever reads the log.
void DumpSchemas() {
    const FieldTable& table = g_session.currentFieldTable;
    LogTrace("\nQV Field Info:\n{\n");
    for (uint32_t i = 0; i < table.fieldCount; ++i) {
        const FieldDescriptor& field = table.descriptors[i];
        LogTrace("    %2d) ID: %3d  Type: %2d  Name: %s\n", i, field.fieldId, field.fieldType, field.name);
    }
    LogTrace("}\n\n");
    const _tagS_DVXDBINFO& info = g_session.TTdbInfo;
    LogTrace("\nTT Field Info:\n{\n");
    // A device's name may fill its 96 bytes without a terminator.
    for (uint32_t i = 0; info.fields != nullptr && i < info.fieldCount; ++i)
        LogTrace("    %2d) ID: %3d  Type: %2d  Name: %.*s\n", i, 0, info.fields[i].type,
                 static_cast<int>(sizeof info.fields[i].name), info.fields[i].name);
    LogTrace("}\n\n");
}

// Reads the database's contract flag, enables sync when it is off, and
// decides forceResyncForThisDatabase and fullSyncRequired.
int32_t DecideFullSync(uint32_t dbId) {
    const int32_t position = ContractPosition(dbId);
    if (position < 0) {
        LogTrace("Database ID [%d] does not appear in the Check_DBIDList.  This should not happen.\n", dbId);
        return kResultOpenOrFetchFailed;
    }
    LogTrace("     ------ QAPI.QPC_GetSyncContractInfo(...all DBID...)\n");
    uint8_t buffer1[8] = {0}, macId[8] = {0}, appendInfo[32] = {0};
    uint8_t flag = 0;
    if (g_link.GetSyncContractInfo(&dbId, 1, buffer1, sizeof buffer1, macId, sizeof macId, appendInfo,
                                   sizeof appendInfo, &flag) == 0) {
        CaptureDeviceError();
        return kResultOpenOrFetchFailed;
    }
    g_session.contractFlags[position] = flag;
    const bool notEnabled = flag == 0;
    if (notEnabled) {
        LogTrace("Device database [%d] is not enabled for sync.  Enabling it and calling for full sync.\n", dbId);
        LogTrace("     ------ QAPI.QPC_SetDBSyncMode(TRUE, &dwDBID[%d], QV_DVXDBIDIF_DBFLAG_ON)\n", dbId);
        if (g_link.SetDBSyncMode(1, &dbId, 1) != 1) {
            LogTrace("S_DVXSetDBSyncMode failed\n");
            CaptureDeviceError();
            return kResultOpenOrFetchFailed;
        }
    }
    // A full sync caused only by a zero export time is not reported to
    // the host as a required one.
    g_session.forceResyncForThisDatabase = notEnabled || g_session.PCID_resync || g_session.SyncStamp == 0;
    g_session.fullSyncRequired = notEnabled || g_session.PCID_resync;
    LogTrace("forceResyncForThisDatabase[%s] = db[%s] || PCID[%s] || null SyncStamp %d %s\n",
             BoolText(g_session.forceResyncForThisDatabase), BoolText(notEnabled), BoolText(g_session.PCID_resync),
             g_session.SyncStamp, FormatSyncTime(g_session.SyncStamp));
    return kResultOk;
}

int32_t OutOfRecordMemory() {
    LogTrace("Record memory allocation failed.\n");
    SetLastErrorCode(kErrorOutOfMemory);
    return kResultOpenOrFetchFailed;
}

// Gives the pairs of one id list the attribute of its list.
void AddPairs(RecordPair* pairs, uint32_t* next, const uint32_t* ids, uint32_t count, uint32_t syncAttr) {
    for (uint32_t i = 0; i < count; ++i) pairs[(*next)++] = RecordPair{ids[i], syncAttr};
}

// Asks the device for the records of the open database: every record with
// its values in a full sync, the three change lists otherwise.
int32_t ReadRecordList(uint32_t dbId, HANDLE temporary, RecordList* list) {
    const bool full = g_session.forceResyncForThisDatabase != 0;
    uint32_t* ids[3] = {nullptr, nullptr, nullptr};
    uint32_t counts[3] = {0, 0, 0};
    int result;
    if (full) {
        result = g_link.GetFirstSyncRecordData(dbId, &list->linkRecords, &counts[0], temporary);
        if (list->linkRecords == nullptr) counts[0] = 0;
    } else {
        result = g_link.GetAllSyncRecordList(dbId, g_session.hHeap, &ids[0], &counts[0], &ids[1], &counts[1],
                                             &ids[2], &counts[2]);
        LogTrace("     ------ QAPI.QPC_GetAllSyncRecordList() : db=%d \n", dbId);
        for (int k = 0; k < 3; ++k)
            if (ids[k] == nullptr) counts[k] = 0;
    }
    if (result != 1) {
        const uint32_t code = g_link.GetLastError();
        if (code != kErrorNoSyncState && code != kErrorNotSupported) {
            LogTrace("S_DVXGetRecordList failed.\n");
            SetLastErrorCode(code);
            return kResultWrongDatabase;
        }
    }
    // Counts past what a list can hold cannot be the device's records: such
    // a list is one that memory cannot be had for.
    const uint64_t wanted = uint64_t{counts[0]} + counts[1] + counts[2];
    if (wanted == 0) return kResultOk;
    if (wanted > SIZE_MAX / sizeof(RecordPair) || wanted > UINT32_MAX) return OutOfRecordMemory();
    const uint32_t total = static_cast<uint32_t>(wanted);
    list->pairs = static_cast<RecordPair*>(HeapAlloc(temporary, HEAP_ZERO_MEMORY, sizeof(RecordPair) * total));
    if (list->pairs == nullptr) return OutOfRecordMemory();
    if (full) {
        for (uint32_t i = 0; i < counts[0]; ++i) list->pairs[i] = RecordPair{list->linkRecords[i].recordId, kSyncAttrAdded};
    } else {
        static const uint32_t attributes[3] = {kSyncAttrAdded, kSyncAttrChanged, kSyncAttrDeleted};
        uint32_t next = 0;
        for (int k = 0; k < 3; ++k) AddPairs(list->pairs, &next, ids[k], counts[k], attributes[k]);
    }
    list->count = total;
    return kResultOk;
}

// Fills the cache from the list; entry is the one allocated ahead.
int32_t FillCache(uint32_t dbId, const RecordList& list, WorkingRecord* entry) {
    for (uint32_t i = 0; i < list.count; ++i) {
        entry->size = kWorkingRecordSize;
        entry->fieldCount = g_session.currentFieldTable.fieldCount;
        entry->recordId = list.pairs[i].recordId;
        entry->syncAttr = list.pairs[i].syncAttr;
        entry->fields = nullptr;
        if (list.linkRecords != nullptr) {
            // A failed conversion leaves the values unloaded; reading the
            // record fetches it again.
            entry->fields = ConvertToReadHeap(dbId, &list.linkRecords[i]);
            if (entry->fields != nullptr) NoteLoadedValues(entry);
        }
        if (!AppendCacheEntry(entry)) return OutOfRecordMemory();
        LogTrace("rec: dwRecId=%d dwSyncAttr=%x\n", entry->recordId, entry->syncAttr);
        entry = AllocNextCacheEntry();
        if (entry == nullptr) return OutOfRecordMemory();
    }
    return kResultOk;
}

// Builds the record cache of the open database.
int32_t BuildRecordCache(uint32_t dbId) {
    WorkingRecord* entry = AllocCacheEntry();
    if (entry != nullptr) entry->recordId = kUnfilledRecordId;
    HANDLE temporary = HeapCreate(0, 1, 0);
    if (entry == nullptr || temporary == nullptr) {
        if (temporary != nullptr) HeapDestroy(temporary);
        return OutOfRecordMemory();
    }
    RecordList list;
    int32_t result = ReadRecordList(dbId, temporary, &list);
    if (result == kResultOk) result = FillCache(dbId, list, entry);
    if (result == kResultOk) LogTrace("End of records.  Cache contains %d entries.\n", g_session.cacheCount);
    // The link records of a full sync go here; their values were converted.
    HeapDestroy(temporary);
    if (result == kResultOk) g_session.exportPending = 0;
    return result;
}

}  // namespace

int32_t OpenDatabase(int32_t section) {
    const int32_t current = MakeDatabaseCurrent(section);
    if (current != kResultOk) return current;
    const uint32_t dbId = g_session.currentDbId;
    DumpSchemas();

    if (!g_session.exporting) {
        LogTrace("\n");
        LogTrace("DIZ_API_OpenDatabase in the importing branch... nothing to do with the cache.\n");
        LogTrace("\n");
        g_session.exportPending = 0;
        return kResultOk;
    }
    LogTrace("DIZ_API_OpenDatabase, in the exporting branch.\n");
    const int32_t decided = DecideFullSync(dbId);
    if (decided != kResultOk) return decided;
    // The cache is built once per DIZ_API_BeginExport.
    if (!g_session.exportPending) return kResultOk;
    return BuildRecordCache(dbId);
}
