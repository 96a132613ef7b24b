#include "support/scratch_heap.h"

bool ScratchHeap::Create() {
    // Initial size 1 and no maximum: a growable heap.
    if (heap_ == nullptr) heap_ = HeapCreate(0, 1, 0);
    return heap_ != nullptr;
}

void* ScratchHeap::Alloc(SIZE_T size) {
    if (!Create() || size == 0) return nullptr;
    return HeapAlloc(heap_, HEAP_ZERO_MEMORY, size);
}

bool ScratchHeap::Destroy() {
    if (heap_ == nullptr) return true;
    const BOOL destroyed = HeapDestroy(heap_);
    heap_ = nullptr;
    return destroyed != FALSE;
}
