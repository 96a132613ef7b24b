#include "session/record_cache.h"

#include "link/device_link.h"
#include "schema/record_convert.h"
#include "session/sync_session.h"
#include "support/validated_alloc.h"

#include <vector>

namespace {

// The records whose values went into readHeap since it was last destroyed,
// so that destroying it visits those rather than the whole cache.  When
// the list could not grow, the whole cache is visited instead.
std::vector<WorkingRecord*> g_loadedRecords;
bool g_loadedListIncomplete = false;

// The open database's link field positions, made on first use after the
// field list changed.
LinkFieldPlan g_linkPlan;

}  // namespace

WorkingRecord* AllocCacheEntry() {
    return static_cast<WorkingRecord*>(ValidatedAlloc(g_session.hHeap, HEAP_ZERO_MEMORY, sizeof(WorkingRecord)));
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

void ForgetLoadedValues() {
    if (g_loadedListIncomplete) {
        for (WorkingRecord* entry : g_session.recordCache) entry->fields = nullptr;
        g_loadedListIncomplete = false;
    }
    for (WorkingRecord* record : g_loadedRecords) record->fields = nullptr;
    g_loadedRecords.clear();
    g_session.idRecord.fields = nullptr;
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
