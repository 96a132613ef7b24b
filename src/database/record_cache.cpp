#include "database/record_cache.h"

#include "link/device_link.h"
#include "schema/record_convert.h"
#include "session/sync_session.h"
#include "support/private_heap.h"

#include <string.h>
#include <vector>

namespace {

// The records whose values went into readHeap since it was last destroyed,
// so that destroying it visits those rather than the whole cache.  When
// the list could not grow, the whole cache is visited instead.
std::vector<WorkingRecord*> g_loadedRecords;
bool g_loadedListIncomplete = false;

// The folder marks of mails whose values were dropped, one per device
// folder; only their addresses mean anything.
constexpr uint32_t kMarkedFolders = 4;
WorkingField g_folderMarks[kMarkedFolders];

// The 4-byte value of a number field, or 0 when the record has none.
uint32_t NumberFieldValue(const WorkingRecord* record, uint32_t fieldId) {
    const WorkingField* field = FindWorkingField(record, fieldId, nullptr);
    if (field == nullptr || field->data == nullptr || field->length == 0 || field->length == kValueAbsent) return 0;
    uint32_t value = 0;
    memcpy(&value, field->data, field->length < sizeof value ? field->length : sizeof value);
    return value;
}

// Drops record's values; a mail with a device folder that a mark can
// stand for keeps the mark when keepFolder.
void ForgetValues(WorkingRecord* record, bool keepFolder) {
    if (HoldsFolderMarkOnly(record)) return;
    const uint32_t folder = keepFolder && record->fields != nullptr ? MailDeviceFolder(record) : kMarkedFolders;
    if (folder < kMarkedFolders) {
        record->fields = &g_folderMarks[folder];
        record->fieldCount = 0;
    } else {
        record->fields = nullptr;
    }
}

// The open database's link field positions, made on first use after the
// field list changed.
LinkFieldPlan g_linkPlan;

}  // namespace

WorkingRecord* AllocCacheEntry() {
    return static_cast<WorkingRecord*>(ValidatedAlloc(HEAP_ZERO_MEMORY, sizeof(WorkingRecord)));
}

WorkingRecord* AllocNextCacheEntry() {
    if (g_session.hHeap == nullptr) return nullptr;
    return static_cast<WorkingRecord*>(HeapAlloc(g_session.hHeap, HEAP_ZERO_MEMORY, sizeof(WorkingRecord)));
}

bool AppendCacheEntry(WorkingRecord* entry) {
    // The list's node is the only allocation that can throw here; running
    // out of memory is a result, as everywhere in the library.
    try {
        g_session.recordCache.push_back(entry);
    } catch (...) {
        return false;
    }
    ++g_session.cacheCount;
    return true;
}

void NoteLoadedValues(WorkingRecord* record) {
    try {
        g_loadedRecords.push_back(record);
    } catch (...) {
        g_loadedListIncomplete = true;
    }
}

bool OnlyLoadedRecordIs(const WorkingRecord* record) {
    return !g_loadedListIncomplete && g_loadedRecords.size() == 1 && g_loadedRecords[0] == record;
}

void ForgetLoadedValues(bool keepFolders) {
    if (g_loadedListIncomplete) {
        for (WorkingRecord* entry : g_session.recordCache) ForgetValues(entry, keepFolders);
        g_loadedListIncomplete = false;
    }
    for (WorkingRecord* record : g_loadedRecords)
        if (record != &g_session.idRecord) ForgetValues(record, keepFolders);
    g_loadedRecords.clear();
    g_session.idRecord.fields = nullptr;
}

uint32_t MailDeviceFolder(const WorkingRecord* record) {
    for (uint32_t folder = 0; folder < kMarkedFolders; ++folder)
        if (record->fields == &g_folderMarks[folder]) return folder;
    return NumberFieldValue(record, MailField::FolderID);
}

bool HoldsFolderMarkOnly(const WorkingRecord* record) {
    for (const WorkingField& mark : g_folderMarks)
        if (record->fields == &mark) return true;
    return false;
}

void ClearFolderMark(WorkingRecord* record) {
    record->fields = nullptr;
    record->fieldCount = g_session.currentFieldTable.fieldCount;
}

WorkingField* ConvertToReadHeap(uint32_t dbId, const _tagDVXDBREC* linkRecord) {
    g_session.readHeap.Create();
    HANDLE heap = g_session.readHeap.Handle();
    const _tagS_DVXDBINFO* info = &g_session.TTdbInfo;
    if (!LinkFieldPlanFits(g_linkPlan, dbId, info) && !BuildLinkFieldPlan(dbId, info, &g_linkPlan))
        return ConvertLinkToWorking(g_link, dbId, linkRecord, heap, info);
    return ConvertLinkToWorkingByPlan(ConversionOptionsOf(g_link), g_linkPlan, linkRecord, heap);
}

void ForgetLinkFieldPlan() { g_linkPlan.dbId = 0; }

void ClearRecordCache() {
    // Records that left the cache are no longer visited, as before.
    g_loadedRecords.clear();
    g_loadedListIncomplete = false;
    g_session.recordCache.clear();
    g_session.cacheCount = 0;
    g_session.cacheCursor = g_session.recordCache.end();
}
