// The world a session export test runs in: a sandbox with the registry
// pointing at a data-file folder, the maker's utility library there when the
// case wants it, a device image file named by $MORVANE_DEVICE, and the
// adapter loaded last, as a host would load it.
#ifndef MORVANE_TESTS_EXPORTS_SESSION_WORLD_H
#define MORVANE_TESTS_EXPORTS_SESSION_WORLD_H

#include "device/simulator.h"
#include "support/adapter_library.h"
#include "support/sandbox.h"

#include <memory>
#include <stdint.h>
#include <string>
#include <vector>

namespace session_tests {

// The data-file folder every case uses, as the registry holds it.
extern const char kDataFolder[];
// A host-side pairing used by the cases that start paired.
extern const uint8_t kPairedId[8];
extern const char kPairedIdText[];  // kPairedId as the settings file holds it
extern const char kLastSyncTime[];  // "20240131235959"

enum class Utility { kNone, kStandard, kBlankQuestion };

class SessionWorld {
public:
    SessionWorld();
    ~SessionWorld();

    // Before Load: what the data-file folder holds and what the device is.
    void InstallUtility(Utility which);
    void WriteSettings(const std::string& iniText);
    // The device as a JSON image file; tests edit image() first.
    tethra_sim::DeviceImage& image() { return image_; }
    void SaveImage();
    // Pairs device and settings file with kPairedId and kLastSyncTime.
    void PairBothSides();

    // Loads the adapter (SaveImage first).
    void Load();
    const testing_support::AdapterExports& api() const { return library_->api(); }

    uint32_t LastError() const;

    // Trace log lines written since the last call of TakeTrace (or since
    // loading), each without its line end, with heap handles masked as
    // "hHeap[*]".
    std::vector<std::string> TakeTrace();

    // The settings file's "Synchronization" value of key, "" when missing.
    std::string Setting(const std::string& key) const;
    bool SettingsFileExists() const;
    // The device image file, as the simulator saved it when the port was
    // closed (DIZ_API_CloseSyncApp).
    tethra_sim::DeviceImage Device() const;

    testing_support::Sandbox& sandbox() { return sandbox_; }
    std::string devicePath() const { return devicePath_; }

private:
    testing_support::Sandbox sandbox_;
    tethra_sim::DeviceImage image_;
    std::string devicePath_;
    size_t traceSeen_ = 0;
    std::unique_ptr<testing_support::AdapterLibrary> library_;
};

// The 16 upper-case hexadecimal digits of an identity.
std::string IdText(const uint8_t id[8]);
// The trace lines NewPCID writes for the identity id.
std::vector<std::string> NewPcidLines(const std::string& idText);
// lines with more appended.
std::vector<std::string> Join(std::vector<std::string> lines, const std::vector<std::string>& more);

}  // namespace session_tests

#endif
