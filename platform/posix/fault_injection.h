// The layer's side of the fault-injection test interface (platform_test.h).
//
// Every function that tests need to break calls ShouldFailCall with its own
// Win32 name as the first thing it does; when that returns true the function
// fails the way the Win32 function fails (its failure result, with
// GetLastError or the returned code set), without touching anything else.
#ifndef MORVANE_PLATFORM_POSIX_FAULT_INJECTION_H
#define MORVANE_PLATFORM_POSIX_FAULT_INJECTION_H

namespace platform_posix {

// Counts one call of function (its Win32 name, e.g. "HeapAlloc") and tells
// whether a pending fault makes this call fail.  Cheap when no fault is
// pending, since it sits on the allocation path.
bool ShouldFailCall(const char* function);

}  // namespace platform_posix

#endif
