/*
 * ScratchHeap: one growable heap, created on first use, whose blocks come
 * zero-filled and are released only all together, by destroying the heap.
 *
 * The session's readHeap (values of cached records) and writeHeap (the
 * write record) are instances; a destroyed heap is created anew by the next
 * allocation.  Not copyable: the object owns its heap.
 */
#ifndef MORVANE_SUPPORT_SCRATCH_HEAP_H
#define MORVANE_SUPPORT_SCRATCH_HEAP_H

#include "platform/win32api.h"

class ScratchHeap {
public:
    ScratchHeap() = default;
    ~ScratchHeap() { Destroy(); }
    ScratchHeap(const ScratchHeap&) = delete;
    ScratchHeap& operator=(const ScratchHeap&) = delete;

    // Creates the heap unless one is held.  True when a heap is held afterwards.
    bool Create();
    // size zero-filled bytes, creating the heap if needed.  Null for size 0,
    // when the heap cannot be created, or when it is exhausted.
    void* Alloc(SIZE_T size);
    // Releases every block at once.  True when nothing was held or the
    // heap was destroyed.
    bool Destroy();

    // The heap handle (null when none is held), for the device link
    // operations and converters that allocate in the caller's heap.
    HANDLE Handle() const { return heap_; }
    bool IsCreated() const { return heap_ != nullptr; }

private:
    HANDLE heap_ = nullptr;
};

#endif
