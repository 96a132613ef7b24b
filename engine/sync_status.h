// What the sync state of a store says, without the handheld: the pairing,
// each database's last synchronisation, and the PC-side changes waiting
// for the next one.
#ifndef MORVANE_ENGINE_SYNC_STATUS_H
#define MORVANE_ENGINE_SYNC_STATUS_H

#include <stdio.h>

#include <string>

#include "pim/pim.h"

namespace morvane_engine {

// 0, or 1 when the state cannot be read.
int PrintStatus(const std::string& store, const morvane_pim::Settings& settings, FILE* out);

}  // namespace morvane_engine

#endif
