// The environment's change count, so that a value read on every call (the
// debugger output's target) can be kept until SetEnvironmentVariableA next
// changes the environment instead of being searched for each time.
#pragma once

#include <atomic>

namespace posix_platform {

// Starts at 1 and grows by one with every change SetEnvironmentVariableA
// makes; a variable changed behind its back (setenv) goes unnoticed.
extern std::atomic<unsigned> g_environmentGeneration;

inline unsigned EnvironmentGeneration() { return g_environmentGeneration.load(std::memory_order_acquire); }

}  // namespace posix_platform
