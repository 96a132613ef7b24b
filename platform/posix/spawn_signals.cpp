#include "platform/posix/spawn_signals.h"

#include <signal.h>

namespace platform_posix {

void SetCleanSignals(posix_spawnattr_t* attributes) {
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(attributes, &signals);
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(attributes, &signals);
    posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

}  // namespace platform_posix
