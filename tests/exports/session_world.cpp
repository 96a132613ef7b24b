#include "exports/session_world.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace session_tests {

const char kDataFolder[] = "C:\\Korvell\\Data\\";
const uint8_t kPairedId[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
const char kPairedIdText[] = "123456789ABCDEF0";
const char kLastSyncTime[] = "20240131235959";

SessionWorld::SessionWorld() : image_(tethra_sim::EmptyImage()) {
    sandbox_.WriteStandardRegistry(kDataFolder, 1);
    devicePath_ = sandbox_.root() + "/device.json";
    testing_support::SetEnv("MORVANE_DEVICE", devicePath_);
}

SessionWorld::~SessionWorld() { library_.reset(); }

void SessionWorld::InstallUtility(Utility which) {
    if (which == Utility::kNone) return;
    const char* source = which == Utility::kStandard ? "/Gantry1.dll" : "/Gantry1_blank.dll";
    fs::copy_file(std::string(MORVANE_TEST_DATA) + source, sandbox_.HostPath(std::string(kDataFolder) + "Gantry1.dll"),
                  fs::copy_options::overwrite_existing);
}

void SessionWorld::WriteSettings(const std::string& iniText) {
    WriteFile(sandbox_.HostPath(std::string(kDataFolder) + "ISEnvSet.ini"), iniText);
}

void SessionWorld::SaveImage() {
    std::string error;
    ASSERT_TRUE(image_.Save(devicePath_, &error)) << error;
}

void SessionWorld::PairBothSides() {
    image_.SetPairing(kPairedId, kLastSyncTime);
    WriteSettings(std::string("[Synchronization]\r\nPCID=") + kPairedIdText + "\r\nSyncTime=" + kLastSyncTime +
                  "\r\n");
}

void SessionWorld::Load() {
    SaveImage();
    library_ = std::make_unique<testing_support::AdapterLibrary>();
    ASSERT_TRUE(library_->Loaded());
    TakeTrace();
}

uint32_t SessionWorld::LastError() const {
    uint32_t code = 0xDEADBEEF;
    api().DIZ_API_GetLastErrorCode(&code);
    return code;
}

std::vector<std::string> SessionWorld::TakeTrace() {
    std::string log = sandbox_.TraceLog();
    std::string fresh = traceSeen_ <= log.size() ? log.substr(traceSeen_) : log;
    traceSeen_ = log.size();
    static const std::regex heapHandle("hHeap\\[[0-9a-fA-F]+\\]");
    std::vector<std::string> lines;
    std::istringstream in(fresh);
    for (std::string line; std::getline(in, line);) {
        // The log is written in text mode: CR LF line ends.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::regex_replace(line, heapHandle, "hHeap[*]"));
    }
    return lines;
}

std::string SessionWorld::Setting(const std::string& key) const {
    std::istringstream in(ReadFile(sandbox_.HostPath(std::string(kDataFolder) + "ISEnvSet.ini")));
    bool inSection = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inSection = line == "[Synchronization]";
            continue;
        }
        if (inSection && line.compare(0, key.size() + 1, key + "=") == 0) return line.substr(key.size() + 1);
    }
    return "";
}

bool SessionWorld::SettingsFileExists() const {
    return FileExists(sandbox_.HostPath(std::string(kDataFolder) + "ISEnvSet.ini"));
}

tethra_sim::DeviceImage SessionWorld::Device() const {
    tethra_sim::DeviceImage device;
    std::string error;
    EXPECT_TRUE(device.Load(devicePath_, &error)) << error;
    return device;
}

std::string IdText(const uint8_t id[8]) {
    char text[17];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X%02X%02X", id[0], id[1], id[2], id[3], id[4], id[5],
                  id[6], id[7]);
    return text;
}

std::vector<std::string> NewPcidLines(const std::string& idText) {
    std::vector<std::string> lines = {"+++++ Could not read PCID from the registry.  Creating a new one."};
    for (int i = 0; i < 8 && idText.size() >= 16; ++i) {
        std::string byte = idText.substr(2 * static_cast<size_t>(i), 2);
        for (char& c : byte) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        lines.push_back("+++++ New PCID[" + std::to_string(i) + "] = " + byte + ".");
    }
    return lines;
}

std::vector<std::string> Join(std::vector<std::string> lines, const std::vector<std::string>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

}  // namespace session_tests
