// Allocation from a private heap that may have been damaged.
#ifndef MORVANE_SUPPORT_VALIDATED_ALLOC_H
#define MORVANE_SUPPORT_VALIDATED_ALLOC_H

#include "platform/win32api.h"

// Validates the whole of heap and only then allocates size bytes from it
// with flags (HEAP_ZERO_MEMORY for zero-filled blocks).  Returns null when
// heap is damaged, null or out of memory.
void* ValidatedAlloc(HANDLE heap, DWORD flags, SIZE_T size);

#endif
