#include "host/host_env.h"

#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

#include "device/simulator.h"
#include "platform/host_services.h"
#include "platform/win32api.h"

namespace fs = std::filesystem;

namespace morvane_host {

namespace {

// The data-file folder as the adapter reads it from the registry, and the
// same folder under the drive-C folder.
const char kDataFolderWindows[] = "C:\\Korvell\\Data\\";
const char kDataFolderRelative[] = "Korvell/Data";

bool CopyIfPresent(const fs::path& from, const fs::path& to) {
    std::error_code ignored;
    if (!fs::is_regular_file(from, ignored)) return false;
    return fs::copy_file(from, to, fs::copy_options::overwrite_existing, ignored);
}

std::string MakeTemporaryFolder() {
    std::mt19937_64 random(static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::error_code ignored;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path folder = fs::temp_directory_path(ignored) / ("morvane-sync-" + std::to_string(random() % 1000000000));
        if (fs::create_directory(folder, ignored)) return folder.string();
    }
    return "";
}

}  // namespace

bool ReadRegistryValue(const char* key, const char* name, std::string* text, DWORD* number) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    char buffer[MAX_PATH + 1] = {0};
    DWORD type = 0, size = sizeof buffer - 1;
    const bool read = RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size) ==
                      ERROR_SUCCESS;
    RegCloseKey(opened);
    if (!read) return false;
    if (text != nullptr) *text = buffer;
    if (number != nullptr && type == REG_DWORD && size >= sizeof(DWORD)) memcpy(number, buffer, sizeof(DWORD));
    return true;
}


RunRegistry::~RunRegistry() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(fs::path(path_).parent_path(), ignored);
}

bool RunRegistry::Prepare(const std::string& dataFolder, bool trace, std::string* error) {
    std::string folder = dataFolder;
    if (folder.empty() && !ReadRegistryValue("SOFTWARE\\KORVELL QUENDA 2\\HALVERD", "DatafilePath", &folder, nullptr)) {
        *error = "no \"DatafilePath\" in the registry; give one with --data-dir";
        return false;
    }
    DWORD tracing = 0;
    if (!trace) ReadRegistryValue("SOFTWARE\\Korvell\\HALVERD\\Setting", "QA_Trace", nullptr, &tracing);
    const std::string created = MakeTemporaryFolder();
    if (created.empty()) {
        *error = "cannot create a temporary folder";
        return false;
    }
    path_ = created + "/user.reg";
    std::ofstream(path_, std::ios::binary) << RegistryText(folder, trace || tracing != 0);
    SetEnvironment("MORVANE_REGISTRY", path_);
    return true;
}

std::string ProgramFolder(const char* argv0) {
    std::error_code ignored;
    if (argv0 == nullptr || std::string(argv0).find_first_of("/\\") == std::string::npos) return "";
    const fs::path program = fs::canonical(argv0, ignored);
    return program.empty() ? "" : program.parent_path().string();
}

std::string AdapterPath(const std::string& programFolder) {
    const char* chosen = getenv("MORVANE_LIBRARY");
    if (chosen != nullptr && *chosen != '\0') return chosen;
    const std::string folder = programFolder.empty() ? MORVANE_HOST_BIN_DIR : programFolder;
    return folder + "/" + MORVANE_ADAPTER_FILE;
}

void SetEnvironment(const char* name, const std::string& value) { SetEnvironmentVariableA(name, value.c_str()); }

std::string TraceLogPath() {
    char path[MAX_PATH + 1] = {0};
    return PlatformLocalPath("C:\\QADbgLog.txt", path, sizeof path) > 0 ? path : "C:\\QADbgLog.txt";
}

std::string RegistryText(const std::string& dataFolderWindows, bool trace) {
    std::string escaped;
    for (char c : dataFolderWindows) {
        if (c == '\\' || c == '"') escaped += '\\';
        escaped += c;
    }
    return "Windows Registry Editor Version 5.00\n\n"
           "[HKEY_CURRENT_USER\\SOFTWARE\\KORVELL QUENDA 2\\HALVERD]\n"
           "\"DatafilePath\"=\"" + escaped + "\"\n\n"
           "[HKEY_CURRENT_USER\\SOFTWARE\\Korvell\\HALVERD\\Setting]\n"
           "\"QA_Trace\"=dword:" + (trace ? "00000001" : "00000000") + "\n";
}

DemoWorld::~DemoWorld() {
    if (root_.empty() || keep_) return;
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

bool DemoWorld::Create(const std::string& programFolder, std::string* error) {
    root_ = MakeTemporaryFolder();
    if (root_.empty()) {
        *error = "cannot create a temporary folder";
        return false;
    }
    driveC_ = root_ + "/drive_c";
    dataFolder_ = driveC_ + "/" + kDataFolderRelative;
    device_ = root_ + "/device.json";
    std::error_code failed;
    fs::create_directories(dataFolder_, failed);
    const std::string registry = root_ + "/user.reg";
    std::ofstream(registry, std::ios::binary) << RegistryText(kDataFolderWindows, true);
    if (failed || !fs::exists(registry)) {
        *error = "cannot prepare " + root_;
        return false;
    }
    if (!tethra_sim::DemoImage().Save(device_, error)) return false;
    const fs::path build = programFolder.empty() ? fs::path(MORVANE_HOST_BIN_DIR) : fs::path(programFolder);
    waitBox_ = CopyIfPresent(build / "Lullpane.exe", fs::path(dataFolder_) / "Lullpane.exe");
    utility_ = CopyIfPresent(build.parent_path() / "testdata" / "Gantry1.dll", fs::path(dataFolder_) / "Gantry1.dll");
    SetEnvironment("MORVANE_DRIVE_C", driveC_);
    SetEnvironment("MORVANE_REGISTRY", registry);
    PlatformAnswerMessageBoxes(IDOK);
    SetEnvironment("MORVANE_DEVICE", device_);
    return true;
}

}  // namespace morvane_host
