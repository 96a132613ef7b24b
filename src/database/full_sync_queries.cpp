#include "database/full_sync_queries.h"

#include "database/catalogue.h"
#include "database/first_sync_batch.h"
#include "link/device_link.h"
#include "session/call_frame.h"
#include "session/error_helpers.h"
#include "session/sync_session.h"
#include "session/trace_text.h"
#include "support/trace_log.h"

#include <string.h>

int32_t QueryFullSync(uint32_t* fullSync) {
    uint32_t answer = g_session.fullSyncRequired ? 1 : 0;
    if (fullSync != nullptr) *fullSync = answer;
    LogTrace("returning %s\n", BoolTextUpper(answer));
    return kResultOk;
}

void BeginExportPass(int32_t syncStamp) {
    g_session.SyncStamp = syncStamp;
    g_session.exporting = 1;
    g_session.exportPending = 1;
}

void BeginImportPass() {
    g_session.exporting = 0;
    // The open database's first-sync queue starts empty.
    if (g_firstSyncBatch != nullptr) g_firstSyncBatch->Reset(g_session.currentDbId);
}

int32_t CancelCheck(uint32_t section) {
    // The host asks often; only a new section is worth a round trip.
    if (section == g_session.lastCancelSection) return 0;
    g_session.lastCancelSection = section;

    if (SectionToDBID(section) != g_session.currentDbId) {
        LogTrace("Database switched without a new call to OpenDatabase.\n");
        return kResultWrongDatabase;
    }
    // The answer only shows that the device still responds; its field list
    // goes with the heap.
    HANDLE heap = HeapCreate(0, 0, 0);
    if (heap == nullptr) {
        // The device was never asked: the failure is ours, out of memory.
        LogTrace("Could not get info on database: [%d]\n", g_session.currentDbId);
        SetLastErrorCode(kErrorOutOfMemory);
        return kResultDeviceFailed;
    }
    _tagS_DVXDBINFO info;
    memset(&info, 0, sizeof info);
    info.size = sizeof info;
    int result = g_link.GetDBInfo(g_session.currentDbId, heap, &info);
    HeapDestroy(heap);
    if (result != 1) {
        LogTrace("Could not get info on database: [%d]\n", g_session.currentDbId);
        CaptureDeviceError();
        return kResultDeviceFailed;
    }
    return 0;
}

uint32_t ConnectErrorStatus() { return g_link.connectError; }
