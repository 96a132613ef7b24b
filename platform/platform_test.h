/*
 * Fault injection into the POSIX platform layer, for tests only.
 *
 * PlatformFailCall("HeapAlloc", 3, 0) makes the third call of HeapAlloc from
 * now fail the way the Win32 function fails (a null result, FALSE, or an
 * error code, with GetLastError set); with persistent set, that call and
 * every later one fail.  Names are the Win32 function names of win32api.h.
 * PlatformClearFaults forgets every pending fault.  Production code never
 * calls either.
 */
#ifndef MORVANE_PLATFORM_PLATFORM_TEST_H
#define MORVANE_PLATFORM_PLATFORM_TEST_H

#include "platform/win32api.h"

#ifdef __cplusplus
extern "C" {
#endif

PLATFORM_API void PlatformFailCall(const char* function, unsigned nth, int persistent);
PLATFORM_API void PlatformClearFaults(void);

/* What the heaps hold from the system: the bytes of every chunk of every
   heap not yet destroyed, now and at the most since the last
   PlatformResetHeapPeak (which sets the peak to the current bytes).  For
   measurements; production code never calls them either. */
PLATFORM_API void PlatformHeapUsage(SIZE_T* current, SIZE_T* peak);
PLATFORM_API void PlatformResetHeapPeak(void);

#ifdef __cplusplus
}
#endif

#endif
