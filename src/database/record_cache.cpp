#include "database/record_cache.h"

#include "session/sync_session.h"
#include "support/private_heap.h"

WorkingRecord* AllocCacheEntry() {
    return static_cast<WorkingRecord*>(ValidatedAlloc(HEAP_ZERO_MEMORY, sizeof(WorkingRecord)));
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

void ForgetLoadedValues() {
    for (WorkingRecord* entry : g_session.recordCache) entry->fields = nullptr;
    g_session.idRecord.fields = nullptr;
}

void ClearRecordCache() {
    g_session.recordCache.clear();
    g_session.cacheCount = 0;
    g_session.cacheCursor = g_session.recordCache.end();
}
