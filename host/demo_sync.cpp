#include "host/demo_sync.h"

#include <stdio.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "bridge/device_session.h"
#include "device/simulator.h"
#include "engine/sync_engine.h"

namespace fs = std::filesystem;

namespace morvane_host {

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The first item file under folder whose text holds needle, "" if none.
std::string FindItem(const std::string& folder, const std::string& needle) {
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ignored))
        if (entry.is_regular_file() && entry.path().string().find("/.morvane") == std::string::npos &&
            ReadText(entry.path().string()).find(needle) != std::string::npos)
            return entry.path().string();
    return "";
}

// The line of the file that holds needle.
std::string LineWith(const std::string& path, const std::string& needle) {
    std::istringstream lines(ReadText(path));
    std::string line;
    while (std::getline(lines, line))
        if (line.find(needle) != std::string::npos) return line.substr(0, line.find_last_not_of('\r') + 1);
    return "";
}

bool SyncOnce(const Options& options, const morvane_engine::SyncSettings& settings) {
    std::string error;
    std::unique_ptr<DeviceSession> session = OpenSession(options, &error);
    if (session == nullptr) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return false;
    }
    return morvane_engine::RunSync(*session, settings, stdout, stderr).exitCode == morvane_engine::kExitInAgreement;
}

// The handheld's user gives David Okafor a new title; on the PC the yoga
// class moves to another studio.
bool EditBothSides(const DemoWorld& world, const std::string& store, std::string* error) {
    tethra_sim::DeviceImage image;
    if (!image.Load(world.devicePath(), error)) return false;
    for (const tethra_sim::Record& record : image.Find(7)->records) {
        tethra_sim::LinkValue name;
        if (image.GetValue(7, record.id, "S_LAST_NAME", &name) && name == tethra_sim::TextValue("Okafor"))
            image.ChangeRecord(7, record.id, {{"S_JOB_POSITION", tethra_sim::TextValue("Head of Purchasing")}});
    }
    if (!image.Save(world.devicePath(), error)) return false;
    const std::string yoga = FindItem(store + "/calendar", "Studio Kern");
    std::string text = ReadText(yoga);
    const size_t at = text.find("Studio Kern");
    if (yoga.empty() || at == std::string::npos) {
        *error = "the demo's yoga class is not in the calendar";
        return false;
    }
    text.replace(at, 11, "Studio Nord");
    std::ofstream(yoga, std::ios::binary) << text;
    printf("   handheld: David Okafor is now Head of Purchasing\n   PC: %s now says Studio Nord\n",
           fs::path(yoga).filename().string().c_str());
    return true;
}

}  // namespace

int RunDemoSync(const DemoWorld& world, const Options& options, int firstStep) {
    morvane_engine::SyncSettings settings;
    settings.store = world.root() + "/store";
    settings.pairing = PairingAnswer::kOk;
    settings.deviceName = "the demo handheld";
    printf("%d. Two-way sync into a store of PIM files, %s (morvane-sync sync):\n", firstStep, settings.store.c_str());
    if (!SyncOnce(options, settings)) return 1;
    printf("   files written:\n");
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(settings.store, ignored))
        if (entry.is_regular_file() && entry.path().string().find("/.morvane") == std::string::npos)
            printf("     %s\n", fs::relative(entry.path(), settings.store).string().c_str());
    printf("%d. An edit on each side.\n", firstStep + 1);
    std::string error;
    if (!EditBothSides(world, settings.store, &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return 1;
    }
    printf("%d. Sync again: each edit reaches the other side.\n", firstStep + 2);
    if (!SyncOnce(options, settings)) return 1;
    const std::string contact = FindItem(settings.store + "/contacts", "Okafor");
    printf("   PC: %s: %s\n", fs::path(contact).filename().string().c_str(),
           LineWith(contact, "Head of Purchasing").c_str());
    tethra_sim::DeviceImage image;
    if (!image.Load(world.devicePath(), &error)) return 1;
    for (const tethra_sim::Record& record : image.Find(1)->records) {
        tethra_sim::LinkValue location;
        if (image.GetValue(1, record.id, "S_LOCATION", &location) && location == tethra_sim::TextValue("Studio Nord"))
            printf("   handheld: appointment %u is at Studio Nord\n", record.id);
    }
    return 0;
}

}  // namespace morvane_host
