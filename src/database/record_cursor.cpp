#include "database/record_cursor.h"

#include "database/catalogue.h"
#include "fields/field_value.h"
#include "fields/write_record.h"
#include "link/device_link.h"
#include "schema/record_convert.h"
#include "session/call_frame.h"
#include "session/error_helpers.h"
#include "session/record_cache.h"
#include "session/sync_session.h"
#include "session/trace_text.h"
#include "support/trace_log.h"

#include <string.h>

namespace {

// The E-mail database: filtered by folder, its values kept until the close.
bool MailIsOpen() { return g_session.currentDbId == kMailDbId; }

bool IsOpenDatabase(int32_t section) {
    if (SectionToDBID(section) == g_session.currentDbId) return true;
    LogTrace("Database switched without a new call to OpenDatabase.\n");
    return false;
}

bool CursorAtEnd() { return g_session.cacheCursor == g_session.recordCache.end(); }

WorkingRecord* TakeCursorEntry() {
    WorkingRecord* entry = *g_session.cacheCursor;
    ++g_session.cacheCursor;
    return entry;
}

// The 4-byte value of a number field, or 0 when the record has none.
// Every E-mail the host's folder walks pass over is asked for its folder,
// so the lookup and the read are the inline ones.
uint32_t NumberFieldValue(const WorkingRecord* record, uint32_t fieldId) {
    return static_cast<uint32_t>(
        NumberValue(FindWorkingFieldIn(g_session.currentFieldTable, record, fieldId, nullptr)));
}

}  // namespace

int32_t GetRecordCount(int32_t section, uint32_t* count) {
    if (count != nullptr) *count = 0;
    if (!IsOpenDatabase(section)) return kResultWrongDatabase;
    if (count != nullptr) *count = g_session.cacheCount;
    LogTrace("DIZ_API_GetRecordCount returning nRecordCount=%d\n", g_session.cacheCount);
    return kResultOk;
}

void RewindRecordCursor() {
    LogTrace("Pointing the cache cursor to the head of the cache, punting to DIZ_API_GetNextRecord()\n");
    g_session.cacheCursor = g_session.recordCache.begin();
}

int32_t GetNextRecord(int32_t section, uint32_t* status) {
    if (status != nullptr) *status = kRecordStatusUnknown;
    // Flags a previous record's fields left behind do not carry over.
    ResetWriteFlags();
    if (!IsOpenDatabase(section)) return kResultWrongDatabase;
    if (CursorAtEnd()) {
        LogTrace("The cache is exhausted [1].  Returning 'end of data' status.\n");
        return kResultEndOfData;
    }
    WorkingRecord* entry = TakeCursorEntry();
    int32_t loaded = LoadRecordValues(entry);
    if (loaded != 0) return loaded;
    if (MailIsOpen()) {
        while (!IsOfValidFolderType(entry, g_session.hostFolderId)) {
            if (CursorAtEnd()) {
                LogTrace("The cache is exhausted [2].  Returning 'end of data' status.\n");
                return kResultEndOfData;
            }
            entry = TakeCursorEntry();
            loaded = LoadRecordValues(entry);
            if (loaded != 0) return loaded;
        }
    }
    LogTrace("record being read: dwRecId=%d dwSyncAttr=%x\n", entry->recordId, entry->syncAttr);
    g_session.currentRecord = entry;
    if (status != nullptr) *status = SyncAttrToRecordStatus(entry->syncAttr);
    return kResultOk;
}

uint32_t SyncAttrToRecordStatus(uint32_t syncAttr) {
    switch (syncAttr) {
    case kSyncAttrHost: return 1;
    case kSyncAttrAdded: return 2;
    case kSyncAttrChanged: return 3;
    case kSyncAttrDeleted: return 4;
    default: break;
    }
    LogTrace("+++++SyncAttrToRecordStatus(%08x):  syncAttr not a know value.  returning 'DIZRecord_Unknown' status.\n",
             syncAttr);
    return kRecordStatusUnknown;
}

int32_t LoadRecordValues(WorkingRecord* record) {
    if (record->syncAttr == kSyncAttrDeleted || record->fields != nullptr) return 0;
    HANDLE temporary = HeapCreate(0, 1, 0);
    if (temporary == nullptr) {
        g_lastErrorCode = kErrorOutOfMemory;
        return kResultOpenOrFetchFailed;
    }
    // A one-record request: the device fills the slots of the record id.
    _tagDVXDBREC request;
    memset(&request, 0, sizeof request);
    request.size = kLinkRecordSize;
    request.recordId = record->recordId;
    _tagDVXDBREC* requests[1] = {&request};
    uint32_t fetched = 0;
    if (g_link.GetRecordData(g_session.currentDbId, requests, 1, temporary, &fetched) != 1) {
        g_lastErrorCode = g_link.GetLastError();
        HeapDestroy(temporary);
        return kResultOpenOrFetchFailed;
    }
    // Only the converted values stay, in readHeap; the link record goes
    // with the temporary heap.  A failed conversion leaves fields null.
    record->fields = ConvertToReadHeap(g_session.currentDbId, &request);
    if (record->fields != nullptr) {
        // The values have the slots of the database they were fetched from;
        // an open that failed before making its field table current leaves
        // the table of the database opened before, which may be longer.
        const FieldTable* converted = SelectFieldTable(g_session.currentDbId);
        if (converted != nullptr && record->fieldCount > converted->fieldCount)
            record->fieldCount = converted->fieldCount;
        NoteLoadedValues(record);
    }
    HeapDestroy(temporary);
    return 0;
}

bool IsOfValidFolderType(const WorkingRecord* record, uint32_t folder) {
    const uint32_t deviceFolder = NumberFieldValue(record, MailField::FolderID);
    // The record's Type is looked at but decides nothing.
    NumberFieldValue(record, MailField::Type);
    const bool isValidType = false;
    const bool folderMatch = folder == deviceFolder + 1;
    LogTrace("IsOfValidFolderType: isFolderMatch[%s] isValidType[%s] returning[%s]\n", BoolText(folderMatch),
             BoolText(isValidType), BoolText(folderMatch));
    return folderMatch;
}

int32_t ReleaseReadRecord() {
    // E-mail and full-sync values stay until the close.
    if (MailIsOpen() || g_session.forceResyncForThisDatabase) return kResultOk;
    // Every value of a normal export lives in readHeap and only the record
    // just read has any, so destroying the heap unloads exactly that one.
    g_session.readHeap.Destroy();
    ForgetLoadedValues();
    return kResultOk;
}

int32_t GetIdDBRec(uint32_t recordId) {
    WorkingRecord* record = &g_session.idRecord;
    g_session.currentRecord = record;
    // Sized for the open database, so that its fields can be found.
    record->size = kWorkingRecordSize;
    record->fieldCount = g_session.currentFieldTable.fieldCount;
    record->recordId = recordId;
    record->fields = nullptr;
    const int32_t loaded = LoadRecordValues(record);
    return loaded != 0 ? loaded : 1;
}
