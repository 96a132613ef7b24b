#include "session/private_heap.h"

#include "session/record_cache.h"
#include "session/sync_session.h"
#include "support/trace_log.h"

namespace {

// The handle as the trace lines show it: its low 32 bits.
unsigned HandleBits(HANDLE heap) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(heap)); }

// What the session keeps in the private heap goes with it: the device's
// database list, the open database's link field list and the record
// cache's entries.  A host may close the session before the database
// (or never close the database), so nothing may point into the heap
// afterwards: the next export then finds no list and no cache.
void ForgetPrivateHeapContents() {
    g_session.TTDBIDList = nullptr;
    g_session.DBIDCount = 0;
    g_session.TTdbInfo.fieldCount = 0;
    g_session.TTdbInfo.fields = nullptr;
    ForgetLinkFieldPlan();
    ClearRecordCache();
    WorkingRecord* current = g_session.currentRecord;
    if (current != &g_session.writeRecord && current != &g_session.idRecord) g_session.currentRecord = nullptr;
}

}  // namespace

bool InitHeap() {
    LogTrace("+++++ InitHeap() heapRef[%d] hHeap[%08x]\n", g_session.heapRef, HandleBits(g_session.hHeap));
    // Initial size 1 (the system rounds it up) and no maximum: the heap
    // grows with the device's lists and the record cache.
    if (g_session.heapRef == 0) g_session.hHeap = HeapCreate(0, 1, 0);
    if (g_session.hHeap != nullptr) {
        ++g_session.heapRef;
        return true;
    }
    LogTrace("!!!!!!!  Heap initialization failed!\n");
    g_session.heapRef = 0;
    return false;
}

void ReleaseHeap(bool force) {
    LogTrace("+++++ ReleaseHeap(%d) heapRef[%d] hHeap[%08x]\n", force ? 1 : 0, g_session.heapRef,
             HandleBits(g_session.hHeap));
    if (!force && g_session.heapRef > 0) {
        --g_session.heapRef;
        if (g_session.heapRef > 0) return;
    } else {
        g_session.heapRef = 0;
    }
    if (g_session.hHeap != nullptr) {
        HeapDestroy(g_session.hHeap);
        g_session.hHeap = nullptr;
        ForgetPrivateHeapContents();
    }
}
