#include "database/close_database.h"

#include "database/first_sync_batch.h"
#include "link/device_link.h"
#include "session/call_frame.h"
#include "session/error_helpers.h"
#include "session/record_cache.h"
#include "session/sync_session.h"
#include "support/trace_log.h"

namespace {

// Hands the queued first-sync records to the device and clears the
// device's change tracking of the open database.
int32_t CommitDeviceSide() {
    FirstSyncBatch* batch = g_firstSyncBatch;
    if (batch != nullptr && batch->HasRecords() && batch->Flush() != 1) {
        CaptureDeviceError();
        return kResultWriteFailed;
    }
    const uint32_t dbId = g_session.currentDbId;
    LogTrace("     ------ QAPI.QPC_CleanUpAllSyncState( db=%d )\n", dbId);
    if (g_link.CleanUpAllSyncState(dbId) != 1) {
        // The next export then sees old changes again; the close goes on.
        LogTrace("S_DVXCleanUpAllSyncState failed.\n");
        CaptureDeviceError();
    }
    return kResultOk;
}

}  // namespace

int32_t CloseDatabase(int32_t finish, int32_t abandon) {
    // The cases in which releasing a read record kept its values.  The
    // entries outlive the cache in the private heap (currentRecord may
    // still point at one), so they forget the values that go.
    if (g_session.currentDbId == kMailDbId || g_session.forceResyncForThisDatabase) {
        ForgetLoadedValues();
        g_session.readHeap.Destroy();
    }
    ClearRecordCache();
    if (finish == 0) return kResultOk;

    if (abandon == 0) {
        const int32_t committed = CommitDeviceSide();
        if (committed != kResultOk) return committed;
    }
    LogTrace("     ------ QAPI.QPC_CloseDataBase()\n");
    const int closed = g_link.CloseDataBase(abandon != 0 ? 1 : 0);
    // Reopened on demand by the next open, whatever happened here.
    g_session.tempDbOpen = 0;
    if (closed == 1) return kResultOk;
    LogTrace("S_DVXCloseDataBase failed.\n");
    CaptureDeviceError();
    return kResultCloseFailed;
}
