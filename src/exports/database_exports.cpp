// The exports of a database pass: opening, walking the record cache,
// loading a record by id, releasing it, closing.
#include "exports/morvane_api.h"

#include "database/close_database.h"
#include "database/open_database.h"
#include "database/record_cursor.h"
#include "session/call_frame.h"
#include "session/trace_text.h"

int32_t DIZ_API_OpenDatabase(int32_t section, const char* text1, const char* text2) {
    // The host's two texts are only traced.
    EnterExport(ClearMode::kClear, "***** DIZ_API_OpenDatabase(%d, '%s', '%s')\n", section, TraceText(text1),
                TraceText(text2));
    return OpenDatabase(section);
}

int32_t DIZ_API_GetRecordCount(int32_t section, DIZ_TIME time, uint32_t* count) {
    EnterExport(ClearMode::kClear, "***** DIZ_API_GetRecordCount(%d, %08x, [OUT])  %s\n", section,
                static_cast<uint32_t>(time), FormatSyncTime(time));
    return GetRecordCount(section, count);
}

int32_t DIZ_API_GetFirstRecord(int32_t section, DIZ_TIME time, uint32_t* status) {
    EnterExport(ClearMode::kClear, "***** DIZ_API_GetFirstRecord(%d, %08x, [OUT])  %s\n", section,
                static_cast<uint32_t>(time), FormatSyncTime(time));
    RewindRecordCursor();
    return DIZ_API_GetNextRecord(section, time, status);
}

int32_t DIZ_API_GetNextRecord(int32_t section, DIZ_TIME time, uint32_t* status) {
    EnterExport(ClearMode::kClear, "***** DIZ_API_GetNextRecord(%d, %08x, [OUT])  %s\n", section,
                static_cast<uint32_t>(time), FormatSyncTime(time));
    return GetNextRecord(section, status);
}

// No opening line and the last error kept: the host calls these between
// the field reads of a record.
int32_t DIZ_API_GetIdDBRec(uint32_t recordId) { return GetIdDBRec(recordId); }

int32_t DIZ_API_ReleaseReadRecord(void) { return ReleaseReadRecord(); }

int32_t DIZ_API_CloseDatabase(int32_t section, int32_t finish, int32_t abandon) {
    // The section is only traced: the close works on the open database.
    EnterExport(ClearMode::kClear, "***** DIZ_API_CloseDatabase(%d)\n", section);
    return CloseDatabase(finish, abandon);
}
