// PlatformFailCall / PlatformClearFaults and the check each wrapped function
// makes (fault_injection.h).
#include "platform/platform_test.h"
#include "platform/posix/fault_injection.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace {

struct PendingFault {
    unsigned callsLeft;  // calls to count before the failing one, that one included
    bool persistent;
};

std::mutex g_faultLock;
std::map<std::string, PendingFault> g_faults;
// Lets every wrapped call skip the lock and the lookup when no test has
// asked for a fault, which is always the case outside tests.
std::atomic<bool> g_anyFault{false};

}  // namespace

namespace platform_posix {

bool ShouldFailCall(const char* function) {
    if (!g_anyFault.load(std::memory_order_relaxed) || function == nullptr) return false;
    std::lock_guard<std::mutex> lock(g_faultLock);
    auto found = g_faults.find(function);
    if (found == g_faults.end()) return false;
    PendingFault& fault = found->second;
    if (fault.callsLeft > 1) {
        --fault.callsLeft;
        return false;
    }
    if (!fault.persistent) {
        g_faults.erase(found);
        g_anyFault.store(!g_faults.empty(), std::memory_order_relaxed);
    }
    return true;
}

}  // namespace platform_posix

// nth counts from the next call: 1 (and 0, taken as 1) is the very next one.
// A second request for the same function replaces the first.
void PlatformFailCall(const char* function, unsigned nth, int persistent) {
    if (function == nullptr) return;
    std::lock_guard<std::mutex> lock(g_faultLock);
    g_faults[function] = PendingFault{nth == 0 ? 1u : nth, persistent != 0};
    g_anyFault.store(true, std::memory_order_relaxed);
}

void PlatformClearFaults(void) {
    std::lock_guard<std::mutex> lock(g_faultLock);
    g_faults.clear();
    g_anyFault.store(false, std::memory_order_relaxed);
}
