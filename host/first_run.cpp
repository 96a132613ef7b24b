#include "host/first_run.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "device/simulator.h"
#include "host/host_env.h"
#include "platform/host_services.h"
#include "platform/win32api.h"

namespace fs = std::filesystem;

namespace morvane_host {

const char kDefaultDataFolderWindows[] = "C:\\Korvell\\Data\\";

namespace {

const char kDataFileKey[] = "SOFTWARE\\KORVELL QUENDA 2\\HALVERD";
// The adapter's last error after a declined pairing.
constexpr uint32_t kPairingDeclined = 0x10000001;

std::string RegistryFile() {
    char path[MAX_PATH + 1] = {0};
    return PlatformRegistryFile(path, sizeof path) > 0 ? path : "";
}

std::string LocalPath(const std::string& windowsPath) {
    char path[MAX_PATH + 1] = {0};
    return PlatformLocalPath(windowsPath.c_str(), path, sizeof path) > 0 ? path : "";
}

bool ReadDataFolder(std::string* folder) {
    return ReadRegistryValue(kDataFileKey, "DatafilePath", folder, nullptr) && !folder->empty();
}

// What the device link says when it fails to start, by its last error.
struct Advice {
    uint32_t code;
    const char* text;
};

static const Advice kDeviceAdvice[] = {
    // 0
    {kPairingDeclined, "the pairing question was answered Cancel: run again and answer OK, or give --yes"},
    {tethra_sim::kErrNoDevice, "no handheld answered: put it in its cradle, switch it on and check the link cable"},
    {tethra_sim::kErrPortUnavailable, "the link port is in use: close the maker's PC software and try again"},
    {tethra_sim::kErrNotConnected, "the handheld went away during start-up: check the cradle and try again"},
};

}  // namespace

bool PrepareFirstRun(FILE* out, std::string* error) {
    const std::string registry = RegistryFile();
    std::error_code failed;
    if (registry.empty() || fs::exists(registry, failed)) return true;
    const std::string folder = LocalPath(kDefaultDataFolderWindows);
    fs::create_directories(folder, failed);
    if (folder.empty() || !fs::is_directory(folder, failed)) {
        *error = "cannot create the data-file folder " + folder;
        return false;
    }
    fs::create_directories(fs::path(registry).parent_path(), failed);
    const std::string temporary = registry + ".new";
    std::ofstream(temporary, std::ios::binary) << RegistryText(kDefaultDataFolderWindows, false);
    fs::rename(temporary, registry, failed);
    if (failed) {
        *error = "cannot write the registry file " + registry + ": " + failed.message();
        return false;
    }
    fprintf(out,
            "morvane-sync: first run: created the registry file %s (\"DatafilePath\" = %s)\n"
            "              and the data-file folder %s\n",
            registry.c_str(), kDefaultDataFolderWindows, folder.c_str());
    return true;
}

std::string StartupAdvice(uint32_t lastError) {
    std::string advice;
    std::string folder;
    const std::string registry = RegistryFile();
    const std::string where = registry.empty() ? "the registry" : registry;
    if (!ReadDataFolder(&folder)) {
        advice += "  likely cause: no \"DatafilePath\" under HKEY_CURRENT_USER\\" + std::string(kDataFileKey) +
                  " in " + where + "\n  fix: add it (README.md shows the lines)" +
                  (registry.empty() ? "" : ", or move " + registry + " away to have a default one made") + "\n";
    } else {
        const std::string local = LocalPath(folder);
        std::error_code failed;
        if (!local.empty() && !fs::is_directory(local, failed))
            advice += "  likely cause: the data-file folder " + local + " (\"DatafilePath\" = " + folder +
                      ") does not exist\n  fix: create it, or correct \"DatafilePath\" in " + where + "\n";
    }
    char image[MAX_PATH + 1] = {0};
    if (GetEnvironmentVariableA("MORVANE_DEVICE", image, sizeof image) > 0 && fs::exists(image)) {
        tethra_sim::DeviceImage device;
        std::string reason;
        if (!device.Load(image, &reason))
            advice += "  likely cause: the device image " + std::string(image) + " cannot be read: " + reason + "\n";
    }
    for (const Advice& entry : kDeviceAdvice)
        if (entry.code == lastError) advice += "  likely cause: " + std::string(entry.text) + "\n";
    if (advice.empty()) advice = "  run again with --trace and read the trace log it names\n";
    return advice;
}

uint32_t LastErrorIn(const std::string& sessionError) {
    // Both kinds of session word a failed export "...; last error 0x1000000D (...)".
    const size_t at = sessionError.find("last error 0x");
    if (at == std::string::npos) return 0;
    return static_cast<uint32_t>(strtoul(sessionError.c_str() + at + 13, nullptr, 16));
}

void ReportStartupFailure(const std::string& sessionError, FILE* out) {
    fprintf(out, "morvane-sync: start-up failed: %s\n%s", sessionError.c_str(),
            StartupAdvice(LastErrorIn(sessionError)).c_str());
}

}  // namespace morvane_host
