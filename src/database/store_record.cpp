// DIZ_API_AddRecord and DIZ_API_FlushRecord: the write record's road to
// the device.
#include "database/store_record.h"

#include "database/first_sync_batch.h"
#include "fields/field_write.h"
#include "fields/write_record.h"
#include "link/device_link.h"
#include "schema/field_table.h"
#include "schema/record_convert.h"
#include "session/call_frame.h"
#include "session/error_helpers.h"
#include "session/sync_session.h"
#include "session/trace_text.h"
#include "support/trace_log.h"

#include <stdio.h>

namespace {

// Bytes of the host's buffer for a new record's id: a signed 32-bit number
// in decimal and its terminator.
constexpr size_t kRecordIdTextSize = 12;
// Characters of that buffer a trace line shows, at most.
constexpr int kRecordIdTraceLength = static_cast<int>(kRecordIdTextSize) - 1;

// The temporary heap a record is converted into; it lives for one store
// and is created only once the record's fields are derived.
class ConversionHeap {
public:
    ConversionHeap() = default;
    ~ConversionHeap() { Destroy(); }
    ConversionHeap(const ConversionHeap&) = delete;
    ConversionHeap& operator=(const ConversionHeap&) = delete;
    HANDLE Create() { return heap_ = HeapCreate(0, 1, 0); }
    void Destroy() {
        if (heap_ != nullptr) HeapDestroy(heap_);
        heap_ = nullptr;
    }

private:
    HANDLE heap_ = nullptr;
};

// Builds TTwriteRec from the write record in heap.  False when the
// conversion yields nothing (also when the heap could not be created).
bool BuildLinkRecord(HANDLE heap) {
    _tagDVXDBREC& link = g_session.TTwriteRec;
    link.size = kLinkRecordSize;
    link.fieldCount = g_session.TTdbInfo.fieldCount;
    link.recordId = g_session.writeRecord.recordId;
    link.fields = heap == nullptr ? nullptr
                                  : ConvertToLinkRecord(g_link, g_session.currentDbId, &g_session.writeRecord, heap,
                                                        &g_session.TTdbInfo);
    if (link.fields != nullptr) return true;
    LogTrace("QVTOTT CONVERT failed\n");
    return false;
}

// Both heaps go once the record is stored or storing failed; the link
// record must not keep pointing into the conversion heap.
void ReleaseHeaps(ConversionHeap& heap) {
    heap.Destroy();
    g_session.TTwriteRec.fields = nullptr;
    ReleaseWriteRecord();
}

// The alarm and folder fields AddRecord derives.  0, or -9 after tracing.
int32_t DeriveNewRecordFields() {
    if (g_session.currentDbId == kScheduleDbId && DeriveAlarm() != kResultOk) {
        LogTrace("Bad return from DIZ_API_SetAlarm, failing.\n");
        return kResultWriteFailed;
    }
    if (g_session.currentDbId == kMailDbId &&
        WriteFolderFields(static_cast<int32_t>(g_session.hostFolderId)) != kResultOk) {
        LogTrace("Bad return from DIZ_API_WriteFolderID, failing.\n");
        return kResultWriteFailed;
    }
    return kResultOk;
}

// The alarm, event and folder fields FlushRecord derives.  0 or -9.
int32_t DeriveChangedRecordFields() {
    if (g_session.currentDbId == kScheduleDbId) {
        if (DeriveAlarm() != kResultOk) return kResultWriteFailed;
        if (g_session.writeState.allDay != 0 && DeriveEventFlag() != kResultOk) {
            LogTrace("Bad return from DIZ_API_SetEventFlag, failing.\n");
            return kResultWriteFailed;
        }
    }
    if (g_session.currentDbId == kMailDbId &&
        WriteFolderFields(static_cast<int32_t>(g_session.hostFolderId)) != kResultOk) {
        return kResultWriteFailed;
    }
    return kResultOk;
}

// The steps both stores open with: derive the record's fields, then convert
// it into TTwriteRec in a fresh conversion heap.  0; otherwise the store's
// result, with the write record (and the conversion heap) released.
int32_t DeriveAndConvert(int32_t (*derive)(), ConversionHeap& heap) {
    const int32_t derived = derive();
    if (derived != kResultOk) {
        ReleaseWriteRecord();
        return derived;
    }
    if (!BuildLinkRecord(heap.Create())) {
        ReleaseHeaps(heap);
        return kResultDeviceFailed;
    }
    return kResultOk;
}

// Hands TTwriteRec to the device, or to the first-sync batch.  0 with the
// written count, or -9 after tracing and setting the last error.
int32_t PutNewRecord(uint32_t* written) {
    _tagDVXDBREC* records[1] = {&g_session.TTwriteRec};
    FirstSyncBatch* batch = g_firstSyncBatch;
    if (batch != nullptr && batch->IsEnabled(g_session.forceResyncForThisDatabase != 0) == 1) {
        if (batch->Append(g_session.TTwriteRec) != 1) {
            LogTrace("S_DVXPutRecordData(IsGetFirstPutRecord) failed\n");
            g_lastErrorCode = kErrorOutOfMemory;
            return kResultWriteFailed;
        }
        *written = 1;
        return kResultOk;
    }
    if (g_link.PutRecordData(g_session.currentDbId, records, 1, written) != 1) {
        const uint32_t code = g_link.GetLastError();
        LogTrace("S_DVXPutRecordData failed\n");
        g_lastErrorCode = code;
        return kResultWriteFailed;
    }
    return kResultOk;
}

}  // namespace

int32_t AddWriteRecord(char* recordIdText) {
    // The host's buffer is traced as it stands, but never read beyond the
    // record id text it must hold: its contents are the host's business.
    EnterExport(ClearMode::kClear, "***** DIZ_API_AddRecord('%.*s')\n", kRecordIdTraceLength, TraceText(recordIdText));
    ConversionHeap heap;
    const int32_t converted = DeriveAndConvert(DeriveNewRecordFields, heap);
    if (converted != kResultOk) return converted;
    LogTrace("     ------ QAPI.QPC_PutRecordData(dwDBID=%d, &TTwriteRec, 1, &count) dwRecId=%d pszRecordID='%.*s'\n",
             static_cast<int32_t>(g_session.currentDbId), static_cast<int32_t>(g_session.TTwriteRec.recordId),
             kRecordIdTraceLength, TraceText(recordIdText));
    uint32_t written = 0;
    const int32_t put = PutNewRecord(&written);
    ReleaseHeaps(heap);
    if (put != kResultOk) return put;

    const int32_t newId = static_cast<int32_t>(g_session.TTwriteRec.recordId);
    LogTrace("id after put: %d\n", newId);
    if (written == 0) {
        LogTrace("Written record count came back 0 from QV_DVXPutRecordData\n");
        CaptureDeviceError();
        return kResultWriteFailed;
    }
    if (recordIdText != nullptr) snprintf(recordIdText, kRecordIdTextSize, "%d", newId);
    return kResultOk;
}

int32_t FlushWriteRecord() {
    EnterExport(ClearMode::kClear, "***** DIZ_API_FlushRecord()\n");
    ConversionHeap heap;
    const int32_t converted = DeriveAndConvert(DeriveChangedRecordFields, heap);
    if (converted != kResultOk) return converted;
    LogTrace("     ------ QAPI.QPC_PutRecordData(dwDBID=%d, &TTwriteRec, 1, &count) dwRecId=%d\n",
             static_cast<int32_t>(g_session.currentDbId), static_cast<int32_t>(g_session.TTwriteRec.recordId));
    _tagDVXDBREC* records[1] = {&g_session.TTwriteRec};
    uint32_t written = 0;
    if (g_link.PutRecordData(g_session.currentDbId, records, 1, &written) != 1) {
        LogTrace("S_DVXPutRecordData failed\n");
        CaptureDeviceError();
        ReleaseHeaps(heap);
        return kResultDeviceFailed;
    }
    ReleaseHeaps(heap);
    if (written == 0) {
        LogTrace("Written record count came back 0 from QV_DVXPutRecordData\n");
        return kResultDeviceFailed;
    }
    return kResultOk;
}
