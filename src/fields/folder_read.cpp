// The e-mail folder of the current record, and the id of the write record.
#include "fields/field_value.h"
#include "fields/record_info.h"
#include "session/call_frame.h"
#include "session/error_helpers.h"
#include "session/find_field.h"
#include "session/sync_session.h"
#include "support/trace_log.h"

#include <stdio.h>

namespace {

// Device folders are 0-3; the host numbers them one higher.
constexpr int32_t kLastDeviceFolder = 3;
// A record id as signed decimal text with its NUL.
constexpr size_t kRecordIdTextSize = 12;

}  // namespace

int32_t ReadFolderId() {
    EnterExport(ClearMode::kKeep, "***** DIZ_API_ReadFolderID()\n");
    if (g_session.currentDbId != kMailDbId) return kResultOk;
    WorkingField* folder = FindWorkingField(g_session.currentRecord, MailField::FolderID, nullptr);
    if (folder == nullptr) {
        LogTrace("Quenda field FolderId not found *****\n");
        return kResultOk;
    }
    int32_t deviceFolder = NumberValue(folder);
    if (deviceFolder < 0 || deviceFolder > kLastDeviceFolder) return kResultBadFolder;
    g_session.hostFolderId = static_cast<uint32_t>(deviceFolder) + 1;
    return kResultOk;
}

int32_t GetFolderId(uint32_t* folder) {
    EnterExport(ClearMode::kClear, "***** DIZ_API_GetFolderID\n");
    if (ReadFolderId() != kResultOk) {
        LogTrace("isSent not found \n");
        return kResultNotFound;
    }
    if (folder != nullptr) *folder = g_session.hostFolderId;
    return kResultOk;
}

int32_t GetWriteRecordId(char* out) {
    ClearLastError();
    if (out != nullptr) out[0] = '\0';
    // The write record's size is set the first time one is prepared.
    if (g_session.writeRecord.size == 0) return kResultNotFound;
    if (out != nullptr) snprintf(out, kRecordIdTextSize, "%d", static_cast<int32_t>(g_session.writeRecord.recordId));
    return kResultOk;
}
