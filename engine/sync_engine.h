// A whole synchronisation between the handheld (through a device session)
// and the PC's collections, in three steps: gather (every selected
// database's device changes and PC changes), plan (what each side gets;
// the mass-delete guard looks at every plan before anything changes) and
// apply (database by database, PC side then device side).
#ifndef MORVANE_ENGINE_SYNC_ENGINE_H
#define MORVANE_ENGINE_SYNC_ENGINE_H

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "bridge/device_session.h"
#include "engine/sync_report.h"
#include "engine/sync_types.h"
#include "pim/pim.h"

namespace morvane_engine {

// The exit statuses of morvane-sync sync.
constexpr int kExitInAgreement = 0;
constexpr int kExitDeviceFailure = 1;
constexpr int kExitBadCommandLine = 2;
constexpr int kExitMassDelete = 3;
constexpr int kExitStoreLocked = 4;
constexpr int kExitSkippedItems = 5;

struct SyncSettings {
    std::string store;
    std::string folders[6];           // by section; empty: the default folder in the store
    std::vector<int32_t> sections;    // empty: all five
    ConflictPolicy policy = ConflictPolicy::kKeepBoth;
    bool dryRun = false;
    bool allowMassDelete = false;
    bool verbose = false;
    bool progress = false;            // draw progress lines on standard error
    morvane_pim::Settings pim;
    bool charsetNamed = false;        // pim.deviceCharset given; else the last sync's, if any
    morvane_host::PairingAnswer pairing = morvane_host::PairingAnswer::kAsk;
    std::string deviceName;           // what the pairing is recorded as
};

struct SyncOutcome {
    int exitCode = kExitInAgreement;
    bool startFailed = false;  // the session did not start (the device, the pairing, the adapter's set-up)
    std::vector<DatabaseSummary> summaries;
};

// $XDG_DATA_HOME/morvane, else ~/.local/share/morvane.
std::string DefaultStore();
// The folder of a section's collection under the settings.
std::string CollectionFolder(const SyncSettings& settings, int32_t section);
std::string StatePath(const std::string& store);

// Runs the synchronisation, reporting on out (and problems on err).
SyncOutcome RunSync(morvane_host::DeviceSession& session, const SyncSettings& settings, FILE* out, FILE* err);

}  // namespace morvane_engine

#endif
