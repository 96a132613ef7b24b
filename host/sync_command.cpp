// morvane-sync sync: options, the device session, and the engine's run.
#include "host/sync_command.h"

#include "host/commands.h"
#include "host/first_run.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "engine/sync_status.h"
#include "host/host_env.h"
#include "pim/charset.h"
#include "platform/host_services.h"
#include "records/field_map.h"

namespace morvane_host {

namespace {

using morvane_engine::ConflictPolicy;

// Options naming a collection folder, by section.
struct FolderOption {
    const char* name;
    int32_t section;
};

static const FolderOption kFolderOptions[] = {
    // 0
    {"--contacts", kAddressSection},
    {"--calendar", kScheduleSection},
    {"--tasks",    kToDoSection},
    {"--memos",    kMemoSection},
    {"--mail",     kMailSection},
};

bool ParseConflict(const std::string& text, ConflictPolicy* policy) {
    if (text == "keep-both") *policy = ConflictPolicy::kKeepBoth;
    else if (text == "device") *policy = ConflictPolicy::kDevice;
    else if (text == "pc") *policy = ConflictPolicy::kPc;
    else return false;
    return true;
}

bool ParseFolder(const std::string& arg, const char* value, morvane_engine::SyncSettings* settings) {
    for (const FolderOption& option : kFolderOptions) {
        if (arg != option.name) continue;
        settings->folders[option.section] = value;
        return true;
    }
    return false;
}

// One option of sync (and the common ones); false when it is not one.
bool ParseOne(int argc, char** argv, int* i, SyncCommandLine* line) {
    morvane_engine::SyncSettings& s = line->settings;
    const std::string arg = argv[*i];
    const char* value = *i + 1 < argc ? argv[*i + 1] : nullptr;
    bool takesValue = true;
    if (value != nullptr && ParseFolder(arg, value, &s)) {
    } else if (arg == "--section" && value != nullptr) {
        char* end = nullptr;
        const long section = strtol(value, &end, 10);
        if (*end != '\0' || section < 1 || section > 5) return false;
        s.sections.push_back(static_cast<int32_t>(section));
    } else if (arg == "--conflict" && value != nullptr) {
        if (!ParseConflict(value, &s.policy)) return false;
    } else if (arg == "--timezone" && value != nullptr) {
        // A zone the conversions do not know would be kept as the
        // handheld's for every later sync.
        if (!morvane_pim::IsKnownTimeZone(value)) return false;
        s.pim.timezone = value;
    } else if (arg == "--device-charset" && value != nullptr) {
        if (!morvane_pim::IsKnownCharset(value)) return false;
        s.pim.deviceCharset = value;
        s.charsetNamed = true;
    } else if (arg == "--device" && value != nullptr) {
        line->device = value;
    } else if (arg == "--bridge" && value != nullptr) {
        line->bridge = value;
    } else if (arg == "--bridge-timeout" && value != nullptr) {
        char* end = nullptr;
        const long seconds = strtol(value, &end, 10);
        if (*end != '\0' || seconds < 1 || seconds > 86400) return false;
        line->bridgeTimeout = static_cast<unsigned>(seconds);
    } else if (arg == "--data-dir" && value != nullptr) {
        line->dataFolder = value;
    } else {
        takesValue = false;
        if (arg == "--dry-run") s.dryRun = true;
        else if (arg == "--allow-mass-delete") s.allowMassDelete = true;
        else if (arg == "--verbose") s.verbose = true;
        else if (arg == "--yes") s.pairing = PairingAnswer::kOk;
        else if (arg == "--trace") line->trace = true;
        else return false;
    }
    if (takesValue) ++*i;
    return true;
}

std::string Absolute(const std::string& folder) {
    std::error_code ignored;
    std::string path = std::filesystem::absolute(folder, ignored).lexically_normal().string();
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

bool ParseSyncOptions(bool statusOnly, int argc, char** argv, SyncCommandLine* line, std::string* error) {
    line->settings.store = morvane_engine::DefaultStore();
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--store" && i + 1 < argc) {
            line->settings.store = argv[++i];
            continue;
        }
        if (!statusOnly && ParseOne(argc, argv, &i, line)) continue;
        *error = "unknown or incomplete option " + arg;
        if (i + 1 < argc && arg == "--timezone")
            *error = "unknown time zone '" + std::string(argv[i + 1]) + "' (an Olson name like Europe/Berlin)";
        if (i + 1 < argc && arg == "--device-charset") *error = "unknown character set " + std::string(argv[i + 1]);
        return false;
    }
    // The state remembers where each collection is: one folder, one name.
    line->settings.store = Absolute(line->settings.store);
    for (std::string& folder : line->settings.folders)
        if (!folder.empty()) folder = Absolute(folder);
    return true;
}

std::unique_ptr<DeviceSession> OpenSyncSession(const std::string& programFolder, const SyncCommandLine& line,
                                               std::string* error) {
    if (line.bridge.empty()) return OpenInProcessSession(AdapterPath(programFolder), error);
    return OpenBridgeSession(line.bridge, line.bridgeTimeout, error);
}

int RunSync(const std::string& programFolder, int argc, char** argv) {
    SyncCommandLine line;
    std::string error;
    if (!ParseSyncOptions(false, argc, argv, &line, &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return morvane_engine::kExitBadCommandLine;
    }
    PlatformKeepHeapInLargePages();
    if (!line.device.empty()) SetEnvironment("MORVANE_DEVICE", line.device);
    RunRegistry registry;
    if ((line.trace || !line.dataFolder.empty()) && !registry.Prepare(line.dataFolder, line.trace, &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return morvane_engine::kExitDeviceFailure;
    }
    if (!PrepareFirstRun(stderr, &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return morvane_engine::kExitDeviceFailure;
    }
    std::unique_ptr<DeviceSession> session = OpenSyncSession(programFolder, line, &error);
    if (session == nullptr) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return morvane_engine::kExitDeviceFailure;
    }
    line.settings.progress = isatty(STDERR_FILENO) != 0;
    line.settings.deviceName = line.device.empty() ? "(the handheld on the default port)" : line.device;
    const morvane_engine::SyncOutcome outcome = morvane_engine::RunSync(*session, line.settings, stdout, stderr);
    if (outcome.startFailed) fputs(StartupAdvice(LastErrorIn(session->error())).c_str(), stderr);
    if (line.trace) printf("trace log: %s\n", TraceLogPath().c_str());
    return outcome.exitCode;
}

int RunStatus(int argc, char** argv) {
    SyncCommandLine line;
    std::string error;
    if (!ParseSyncOptions(true, argc, argv, &line, &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return morvane_engine::kExitBadCommandLine;
    }
    return morvane_engine::PrintStatus(line.settings.store, line.settings.pim, stdout);
}

}  // namespace morvane_host
