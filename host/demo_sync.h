// The demo's last steps: a two-way sync of the demo handheld into a
// temporary store, an edit on each side, and a second sync that carries
// both edits across.
#ifndef MORVANE_HOST_DEMO_SYNC_H
#define MORVANE_HOST_DEMO_SYNC_H

#include <string>

#include "host/host_env.h"

namespace morvane_host {

// firstStep: the number of the first step printed.  Returns the exit status.
int RunDemoSync(const DemoWorld& world, const std::string& programFolder, int firstStep);

}  // namespace morvane_host

#endif
