// Where the host finds the adapter and the maker's files, and the private
// world the demo runs in: a fresh folder standing for drive C, a registry
// file and a device image, announced to the platform layer through its
// environment variables.
#ifndef MORVANE_HOST_HOST_ENV_H
#define MORVANE_HOST_HOST_ENV_H

#include <string>

#include "platform/win32api.h"

namespace morvane_host {

// The folder this program was started from ("" when unknown).
std::string ProgramFolder(const char* argv0);
// $MORVANE_LIBRARY, else the adapter beside this program.
std::string AdapterPath(const std::string& programFolder);

void SetEnvironment(const char* name, const std::string& value);

// A value of the user's registry under HKEY_CURRENT_USER, read as the
// adapter reads it: text into *text, a DWORD into *number (either may be
// null).  False when the key or the value is missing.
bool ReadRegistryValue(const char* key, const char* name, std::string* text, DWORD* number);

// Where the adapter's trace log "C:\QADbgLog.txt" lands on this host.
std::string TraceLogPath();

// The .reg text that names the data-file folder and switches tracing on or off.
std::string RegistryText(const std::string& dataFolderWindows, bool trace);

// A registry file of the run's own, for --trace and --data-dir: the user's
// "DatafilePath" (or the one given) and "QA_Trace", announced through
// MORVANE_REGISTRY for this run only and removed afterwards.
class RunRegistry {
public:
    RunRegistry() = default;
    ~RunRegistry();
    RunRegistry(const RunRegistry&) = delete;
    RunRegistry& operator=(const RunRegistry&) = delete;

    // dataFolder empty: keep the user's; trace false: keep the user's
    // setting.  False with the reason in *error.
    bool Prepare(const std::string& dataFolder, bool trace, std::string* error);

private:
    std::string path_;
};

class DemoWorld {
public:
    DemoWorld() = default;
    ~DemoWorld();
    DemoWorld(const DemoWorld&) = delete;
    DemoWorld& operator=(const DemoWorld&) = delete;

    // Creates the folder, the registry file and the demo device image, copies
    // the wait box and the utility library from the build when they are
    // there, and sets MORVANE_DRIVE_C, MORVANE_REGISTRY, MORVANE_MESSAGEBOX
    // and MORVANE_DEVICE.  False with the reason in *error.
    bool Create(const std::string& programFolder, std::string* error);

    const std::string& root() const { return root_; }
    const std::string& devicePath() const { return device_; }
    std::string traceLogPath() const { return driveC_ + "/QADbgLog.txt"; }
    std::string settingsPath() const { return dataFolder_ + "/ISEnvSet.ini"; }
    bool copiedWaitBox() const { return waitBox_; }
    bool copiedUtilityLibrary() const { return utility_; }
    // Leave the folder in place when the program ends.
    void Keep() { keep_ = true; }

private:
    std::string root_, driveC_, dataFolder_, device_;
    bool waitBox_ = false, utility_ = false, keep_ = false;
};

}  // namespace morvane_host

#endif
