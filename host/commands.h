// The three commands of morvane-sync.  Each returns the program's exit
// status: 0 done, 1 a step failed, 2 a bad command line.
#ifndef MORVANE_HOST_COMMANDS_H
#define MORVANE_HOST_COMMANDS_H

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "bridge/device_session.h"

namespace morvane_host {

struct Options {
    std::string programFolder;
    std::string device;             // --device: the device image file
    std::string folder;             // --out (export) or --in (import)
    std::string importFolder;       // export --import: the PC's files, sent in the same session
    bool full = false;              // --full: read every record
    std::vector<int32_t> sections;  // --section, empty: all five
    bool keep = false;              // demo --keep: leave the temporary folder
    bool trace = false;             // --trace: the adapter's trace log on for this run
    std::string dataFolder;         // --data-dir: "DatafilePath" for this run
    PairingAnswer pairing = PairingAnswer::kAsk;  // --yes: kOk
    std::string deviceCharset = "WINDOWS-1252";  // --device-charset: the device's texts (an iconv name)
    std::string bridge;             // --bridge: the command that starts a bridge; empty: in this process
    unsigned bridgeTimeout = 60;    // --bridge-timeout: seconds an answer of the bridge may take
};

// The device session the options ask for: the adapter loaded into this
// process, or a bridge started with options.bridge.  Null with the reason
// in *error.  The run's environment must be set first: the adapter reads
// the registry when it is loaded, and a bridge inherits the environment.
std::unique_ptr<DeviceSession> OpenSession(const Options& options, std::string* error);

int RunDemo(const Options& options);
int RunExport(const Options& options);
int RunImport(const Options& options);

// sync and status read their own options (sync_command.cpp); where the
// program is built without the PIM formats they say so and fail.
int RunSync(const std::string& programFolder, int argc, char** argv);
int RunStatus(int argc, char** argv);

}  // namespace morvane_host

#endif
