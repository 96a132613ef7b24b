#include "app/morvane_app.h"

#include "database/first_sync_batch.h"
#include "link/device_link.h"
#include "session/error_helpers.h"
#include "session/sync_session.h"
#include "support/trace_log.h"

#include <new>
#include <string.h>

// The globals' one definition.  Objects of one file are constructed in the
// order of their definitions and destroyed in the reverse order, so the
// order below is the load order: the session record (plain data, zero
// before any constructor runs), the last-error code and the first-sync
// batch pointer, then the application object, which gives the session its
// load-time values and creates the batch.
SyncSession g_session;
uint32_t g_lastErrorCode = 0;
FirstSyncBatch* g_firstSyncBatch = nullptr;
CMorvaneApp theApp;

// The device link comes after the application object: constructed after
// it, destroyed before it.
CDeviceLink g_link;

namespace {

// Identity that no stored or newly made one matches until start-up loads it.
constexpr uint8_t kUnsetPCIDByte = 0xFF;

void SetSessionLoadValues() {
    g_session.initialized = 0;
    g_session.linkOpen = 0;
    g_session.tempDbOpen = 0;
    g_session.hHeap = nullptr;
    g_session.heapRef = 0;
    memset(g_session.PCID, kUnsetPCIDByte, sizeof g_session.PCID);
    g_session.PCID_resync = 0;
    g_session.TTDBIDList = nullptr;
    g_session.DBIDCount = 0;
    memset(g_session.Check_DBIDList, 0, sizeof g_session.Check_DBIDList);
    memset(g_session.contractFlags, 0, sizeof g_session.contractFlags);
    g_session.currentDbId = 0;
    g_session.SyncStamp = 0;
    g_session.exporting = 0;
    g_session.exportPending = 0;
    g_session.forceResyncForThisDatabase = 0;
    g_session.fullSyncRequired = 0;
    g_session.lastCancelSection = 0;
    // The open database's fields start empty: no database, no cached
    // records, no current record.
    g_session.cacheCount = 0;
    g_session.currentRecord = nullptr;
}

}  // namespace

CMorvaneApp::CMorvaneApp() {
    // The trace switch first, so that the very first line can reach the file.
    ReadTraceSwitch();
    LogTrace("***** CMorvaneApp\n");
    SetSessionLoadValues();
    // The batch keeps a reference to the device link, which is constructed
    // after this object; it uses it only after start-up.
    g_firstSyncBatch = new (std::nothrow) FirstSyncBatch(g_link);
}

// Nothing is traced on unloading.
CMorvaneApp::~CMorvaneApp() {
    delete g_firstSyncBatch;
    g_firstSyncBatch = nullptr;
}
