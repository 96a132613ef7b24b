// DIZ_API_DeleteRecord and DIZ_API_FindRecord.
#include "database/delete_find.h"

#include "fields/write_record.h"
#include "fields/write_value.h"
#include "link/device_link.h"
#include "session/call_frame.h"
#include "session/error_helpers.h"
#include "session/sync_session.h"
#include "session/trace_text.h"
#include "support/trace_log.h"

uint32_t ReadRecordIdText(const char* text) { return static_cast<uint32_t>(field_write::ReadDecimalText(text)); }

int32_t DeleteRecordByIdText(const char* recordIdText) {
    EnterExport(ClearMode::kClear, "***** DIZ_API_DeleteRecord('%s')\n", TraceText(recordIdText));
    if (recordIdText == nullptr) recordIdText = "";
    const uint32_t recordId = ReadRecordIdText(recordIdText);
    if (recordId == 0) {
        LogTrace("Record ID 0 ('%s') is invalid in this context\n", recordIdText);
        return kResultDeleteFailed;
    }
    LogTrace("     ------ QAPI.QPC_DeleteRecordData(db=%d, id=%d)\n", static_cast<int32_t>(g_session.currentDbId),
             static_cast<int32_t>(recordId));
    // The device link routes a companion id to device database 15.  A
    // record cache built for an export is left as it is.
    if (g_link.DeleteRecordData(g_session.currentDbId, recordId) == 1) return kResultOk;
    LogTrace("S_DVXDeleteRecordData failed\n");
    CaptureDeviceError();
    return kResultDeleteFailed;
}

int32_t FindRecordByIdText(const char* recordIdText) {
    EnterExport(ClearMode::kClear, "***** DIZ_API_FindRecord('%s')\n", TraceText(recordIdText));
    if (recordIdText == nullptr) recordIdText = "";
    g_session.writeHeap.Create();
    const uint32_t recordId = ReadRecordIdText(recordIdText);
    if (recordId == 0) {
        LogTrace("Record ID 0 ('%s') is invalid in this context\n", recordIdText);
        return kResultNotFound;
    }
    // The device meets the record only when DIZ_API_FlushRecord stores it.
    if (!PrepareWriteRecord(recordId)) return kResultNotFound;
    ResetWriteFlags();
    return kResultOk;
}
