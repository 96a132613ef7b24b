// The registry of live handles and CloseHandle (kernel_object.h).
#include "platform/posix/kernel_object.h"

#include <mutex>
#include <new>
#include <unordered_set>

namespace platform_posix {
namespace {

// Files and processes share this set.  Handles are opened and closed far
// from any hot path, so a lock costs nothing worth saving and keeps the set
// sound whatever thread a caller uses.
std::mutex g_handleLock;
std::unordered_set<KernelObject*>& LiveObjects() {
    // Never destroyed, so that handles closed by static destructors of other
    // libraries at exit still find a valid set.
    static auto* live = new std::unordered_set<KernelObject*>();
    return *live;
}

}  // namespace

HANDLE RegisterHandle(KernelObject* object) {
    if (object == nullptr) return nullptr;
    std::lock_guard<std::mutex> lock(g_handleLock);
    try {
        LiveObjects().insert(object);
    } catch (const std::bad_alloc&) {
        delete object;
        return nullptr;
    }
    return static_cast<HANDLE>(object);
}

KernelObject* LookupHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    std::lock_guard<std::mutex> lock(g_handleLock);
    auto& live = LiveObjects();
    auto found = live.find(static_cast<KernelObject*>(handle));
    return found == live.end() ? nullptr : *found;
}

}  // namespace platform_posix

BOOL WINAPI CloseHandle(HANDLE handle) {
    using namespace platform_posix;
    KernelObject* object = nullptr;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        std::lock_guard<std::mutex> lock(g_handleLock);
        auto& live = LiveObjects();
        auto found = live.find(static_cast<KernelObject*>(handle));
        if (found != live.end()) {
            object = *found;
            live.erase(found);
        }
    }
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete object;
    return TRUE;
}
