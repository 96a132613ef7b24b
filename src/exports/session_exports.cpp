// The session's exports: start-up and shutdown, direction of each pass,
// the full-sync answer, the device probe and the connect-error flag.
#include "exports/morvane_api.h"

#include "database/full_sync_queries.h"
#include "session/call_frame.h"
#include "session/startup.h"
#include "session/trace_text.h"

int32_t DIZ_API_Initialize(const char* first, const char* second) {
    // The host's two texts are only traced.
    EnterExport(ClearMode::kClear, "***** DIZ_API_Initialize('%s', '%s')\n", TraceText(first), TraceText(second));
    return StartSession();
}

int32_t DIZ_API_Uninitialize(void) {
    EnterExport(ClearMode::kClear, "***** DIZ_API_Uninitialize\n");
    EndSession();
    return kResultOk;
}

int32_t DIZ_API_CloseSyncApp(void) {
    EnterExport(ClearMode::kClear, "***** DIZ_API_CloseSyncApp()\n");
    CloseSession();
    return kResultOk;
}

int32_t DIZ_API_QueryFullSync(int32_t section, DIZ_TIME since, uint32_t* fullSync) {
    EnterExport(ClearMode::kClear, "***** DIZ_API_QueryFullSync(%d, %08x, [OUT])  %s\n", section,
                static_cast<uint32_t>(since), FormatSyncTime(since));
    return QueryFullSync(fullSync);
}

// The two direction exports leave the last error alone, so that a host can
// still read the code of an earlier failure.
void DIZ_API_BeginExport(DIZ_TIME syncStamp) {
    EnterExport(ClearMode::kKeep, "***** DIZ_API_BeginExport(%d)  %s\n", syncStamp, FormatSyncTime(syncStamp));
    BeginExportPass(syncStamp);
}

void DIZ_API_BeginImport(void) {
    EnterExport(ClearMode::kKeep, "***** DIZ_API_BeginImport()\n");
    BeginImportPass();
}

int32_t DIZ_API_CancelCheck(uint32_t section) { return CancelCheck(section); }

uint32_t DIZ_API_GetConnectErrorStatus(void) { return ConnectErrorStatus(); }
