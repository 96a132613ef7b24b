// The write record: preparing it, its per-record flags, and letting it go.
#include "fields/write_record.h"

#include "fields/field_text.h"
#include "fields/field_write.h"
#include "session/call_frame.h"
#include "session/error_helpers.h"
#include "session/find_field.h"
#include "session/sync_session.h"
#include "support/trace_log.h"

#include <string.h>

bool PrepareWriteRecord(uint32_t recordId) {
    WorkingRecord& record = g_session.writeRecord;
    record = WorkingRecord{};
    record.size = kWorkingRecordSize;
    record.fieldCount = g_session.currentFieldTable.fieldCount;

    // With no database open the count is 0, and a request for no bytes
    // yields nothing: both are reported as a failed allocation.
    WorkingField* slots =
        static_cast<WorkingField*>(g_session.writeHeap.Alloc(sizeof(WorkingField) * SIZE_T{record.fieldCount}));
    if (slots == nullptr) {
        LogTrace("Failed to get enough memory for %d fields.\n", static_cast<int32_t>(record.fieldCount));
        SetLastErrorCode(kErrorOutOfMemory);
        return false;
    }
    // A changed record sends only what the host writes: every other slot
    // is absent, so the device keeps its value.
    const uint32_t length = recordId == 0 ? 0 : kValueAbsent;
    for (uint32_t i = 0; i < record.fieldCount; ++i) slots[i] = WorkingField{kWorkingFieldSize, length, nullptr};
    record.fields = slots;
    record.recordId = recordId;
    return true;
}

void ResetWriteFlags() {
    g_session.recordRepeats = 0;
    g_session.writeState.alarmFlagSet = 0;
    g_session.writeState.allDay = 0;
}

void ReleaseWriteRecord() {
    g_session.writeHeap.Destroy();
    g_session.writeRecord.fields = nullptr;
    g_session.writeRecord.fieldCount = 0;
}

int32_t BeginNewRecord() {
    EnterExport(ClearMode::kClear, "***** DIZ_API_InsertRecord()\n");
    g_session.writeHeap.Create();  // a failure shows as the slots' allocation failing
    if (!PrepareWriteRecord(0)) return kResultWriteFailed;
    ResetWriteFlags();
    return kResultOk;
}

int32_t CopyWriteRecordField(int32_t fieldId, char* value) {
    const WorkingField* slot = FindWorkingField(&g_session.writeRecord, static_cast<uint32_t>(fieldId), nullptr);
    if (slot == nullptr || slot->data == nullptr || slot->length == kValueAbsent || value == nullptr) {
        return kResultOk;
    }
    // The host reads the value into a field text buffer; a longer value (a
    // host may write megabytes) is cut to what that holds.
    const uint32_t length = slot->length < kFieldTextLimit ? slot->length : kFieldTextLimit;
    memcpy(value, slot->data, length);
    value[length] = '\0';
    return kResultOk;
}
