// What every program this layer starts begins with: no signal blocked and
// every signal at its default, whatever the host set up for itself (a host
// that ignores SIGPIPE must not hand that on).
#ifndef MORVANE_PLATFORM_POSIX_SPAWN_SIGNALS_H
#define MORVANE_PLATFORM_POSIX_SPAWN_SIGNALS_H

#include <spawn.h>

namespace platform_posix {

// Sets up attributes (initialised by the caller) for a clean signal state.
void SetCleanSignals(posix_spawnattr_t* attributes);

}  // namespace platform_posix

#endif
