#include "database/record_cache.h"

#include "session/sync_session.h"
#include "support/private_heap.h"

#include <vector>

namespace {

// The records whose values went into readHeap since it was last destroyed,
// so that destroying it visits those rather than the whole cache.  When
// the list could not grow, the whole cache is visited instead.
std::vector<WorkingRecord*> g_loadedRecords;
bool g_loadedListIncomplete = false;

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

void ForgetLoadedValues() {
    if (g_loadedListIncomplete) {
        for (WorkingRecord* entry : g_session.recordCache) entry->fields = nullptr;
        g_loadedListIncomplete = false;
    }
    for (WorkingRecord* record : g_loadedRecords) record->fields = nullptr;
    g_loadedRecords.clear();
    g_session.idRecord.fields = nullptr;
}

void ClearRecordCache() {
    // Records that left the cache are no longer visited, as before.
    g_loadedRecords.clear();
    g_loadedListIncomplete = false;
    g_session.recordCache.clear();
    g_session.cacheCount = 0;
    g_session.cacheCursor = g_session.recordCache.end();
}
