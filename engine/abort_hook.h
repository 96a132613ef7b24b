// A test aid: MORVANE_SYNC_ABORT_AT=<step>[:<n>] makes the engine end the
// process at once (_exit(9), as a kill would) the n-th time (default the
// first) it reaches the named step, so that tests can interrupt a sync at
// every step and check that the next one converges.  And
// MORVANE_SYNC_PAUSE_AT=<step> with MORVANE_SYNC_PAUSE_FILE=<path> makes it
// create that file at the step and wait while it exists (a minute at
// most), so that a test can act on the files between two steps.
#ifndef MORVANE_ENGINE_ABORT_HOOK_H
#define MORVANE_ENGINE_ABORT_HOOK_H

namespace morvane_engine {

// The steps, in the order a sync reaches them.
extern const char* const kAbortSteps[];
extern const unsigned kAbortStepCount;

void AbortPoint(const char* step);

}  // namespace morvane_engine

#endif
