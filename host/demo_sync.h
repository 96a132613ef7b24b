// The demo's last steps: a two-way sync of the demo handheld into a
// temporary store, an edit on each side, and a second sync that carries
// both edits across.
#ifndef MORVANE_HOST_DEMO_SYNC_H
#define MORVANE_HOST_DEMO_SYNC_H

#include <string>

#include "host/commands.h"
#include "host/host_env.h"

namespace morvane_host {

// Each sync opens its session as the demo's other steps do (through the
// bridge with --bridge).  firstStep: the number of the first step
// printed.  Returns the exit status.
int RunDemoSync(const DemoWorld& world, const Options& options, int firstStep);

}  // namespace morvane_host

#endif
