// The process's heap in large pages, where the C library and the kernel
// offer them: glibc's malloc, and madvise's MADV_HUGEPAGE for kernels that
// give large pages only to memory that asks for them.
#include "platform/host_services.h"

#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void PlatformKeepHeapInLargePages(void) {
#if defined(__GLIBC__) && defined(MADV_HUGEPAGE)
    if (sizeof(void*) < 8) return;
    constexpr uintptr_t kLargePage = 2u << 20;
    // The heap grows by at least this much at a time and gives nothing
    // back while the process runs (a host's run is short), so that the large
    // pages asked for below stay the heap's; blocks up to 32 MiB come from
    // it too rather than from mappings of their own.
    if (mallopt(M_TOP_PAD, 256 << 20) == 0 || mallopt(M_TRIM_THRESHOLD, 512 << 20) == 0 ||
        mallopt(M_MMAP_THRESHOLD, 32 << 20) == 0)
        return;
    void* probe = malloc(1 << 20);  // grows the heap by the step above
    if (probe == nullptr) return;
    const uintptr_t block = reinterpret_cast<uintptr_t>(probe);
    const uintptr_t top = reinterpret_cast<uintptr_t>(sbrk(0));
    free(probe);
    // Only a block of the heap the program break ends, as the C library's
    // malloc gives it; another malloc's block may lie anywhere.
    if (top == static_cast<uintptr_t>(-1) || block >= top || top - block > (1u << 30)) return;
    const uintptr_t start = (block + kLargePage - 1) & ~(kLargePage - 1);
    const uintptr_t end = top & ~(kLargePage - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#endif
}
