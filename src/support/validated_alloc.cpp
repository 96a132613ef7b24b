#include "support/validated_alloc.h"

void* ValidatedAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
    // A damaged heap would hand out blocks over someone else's data; refuse
    // as if memory had run out.
    if (heap == nullptr || !HeapValidate(heap, 0, nullptr)) return nullptr;
    return HeapAlloc(heap, flags, size);
}
