// morvane-sync sync and status: the two-way synchronisation between the
// handheld and the PC's own PIM files, and what its state says.
#ifndef MORVANE_HOST_SYNC_COMMAND_H
#define MORVANE_HOST_SYNC_COMMAND_H

#include <memory>
#include <string>

#include "bridge/device_session.h"
#include "engine/sync_engine.h"

namespace morvane_host {

// The options of sync and status after the command word; false with the
// reason in *error on anything it does not know.
struct SyncCommandLine {
    morvane_engine::SyncSettings settings;
    std::string device;      // --device: the simulated device's image
    std::string bridge;      // --bridge: the bridge program to start
    unsigned bridgeTimeout = 60;  // --bridge-timeout: seconds an answer of the bridge may take
    bool trace = false;
    std::string dataFolder;
};
bool ParseSyncOptions(bool statusOnly, int argc, char** argv, SyncCommandLine* line, std::string* error);

// The device session of the run: the adapter in this process, or the
// bridge program when one is named.
std::unique_ptr<DeviceSession> OpenSyncSession(const std::string& programFolder, const SyncCommandLine& line,
                                               std::string* error);


}  // namespace morvane_host

#endif
