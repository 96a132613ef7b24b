// The process's heap in large pages.  A first sync of thousands of records
// fills a hundred megabytes or more with small allocations (the records as
// the handheld hands them over, as the adapter converts them, as the engine
// reads them, their items and their state rows), and where the system gives
// large pages only to memory that asks for them, each 4 KiB of it costs the
// kernel a page fault of its own: on our test machines a third of the time
// of such a sync.
#ifndef MORVANE_ENGINE_HEAP_PAGES_H
#define MORVANE_ENGINE_HEAP_PAGES_H

namespace morvane_engine {

// Has the C library grow its main heap in large steps that it keeps, and
// asks for that heap to be backed by large pages.  Call once, early, before
// other threads start.  Nothing happens where the C library or the system
// has no such thing, in a 32-bit process (address space is scarce there),
// or where malloc is not the C library's own (a sanitizer's, valgrind's).
void KeepHeapInLargePages();

}  // namespace morvane_engine

#endif
