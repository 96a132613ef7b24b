// Objects behind a Win32 HANDLE (files, processes).
//
// Each kind of object derives from KernelObject; RegisterHandle hands out
// the HANDLE, LookupHandle finds the live object again, and CloseHandle
// deletes it through the virtual destructor.  Only handles found in the
// registry of live handles are ever dereferenced, so a stale or made-up
// HANDLE is rejected with ERROR_INVALID_HANDLE instead of crashing.
#ifndef MORVANE_PLATFORM_POSIX_KERNEL_OBJECT_H
#define MORVANE_PLATFORM_POSIX_KERNEL_OBJECT_H

#include "platform/win32api.h"

namespace platform_posix {

class KernelObject {
public:
    KernelObject() = default;
    virtual ~KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
};

// Takes ownership of object (allocated with new) and returns its handle,
// which is never NULL nor INVALID_HANDLE_VALUE.  Returns NULL, deleting the
// object, only when the registry cannot grow (out of memory).
HANDLE RegisterHandle(KernelObject* object);

// The live object behind handle, or nullptr for a handle that is not open
// (NULL, INVALID_HANDLE_VALUE, closed, or never handed out).
KernelObject* LookupHandle(HANDLE handle);

// The live object behind handle when it is a T; nullptr otherwise (so a
// file handle given to a process function is an invalid handle there).
template <class T>
T* LookupHandleAs(HANDLE handle) {
    return dynamic_cast<T*>(LookupHandle(handle));
}

}  // namespace platform_posix

#endif
