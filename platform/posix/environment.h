// The environment's change count, so that a value read on every call (the
// debugger output's target) can be kept until SetEnvironmentVariableA next
// changes the environment instead of being searched for each time.
#pragma once

namespace posix_platform {

// Starts at 1 and grows by one with every change SetEnvironmentVariableA
// makes; a variable changed behind its back (setenv) goes unnoticed.
unsigned EnvironmentGeneration();

}  // namespace posix_platform
