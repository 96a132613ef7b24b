// morvane-sync export and import: one JSON file per database; and the
// device session every command drives.
#include <stdio.h>
#include <time.h>

#include <filesystem>

#include "bridge/device_session.h"
#include "host/commands.h"
#include "host/first_run.h"
#include "host/host_env.h"
#include "host/records_json.h"
#include "records/field_map.h"

namespace fs = std::filesystem;

namespace morvane_host {

namespace {

bool Selected(const Options& options, int32_t section) {
    if (options.sections.empty()) return true;
    for (int32_t chosen : options.sections)
        if (chosen == section) return true;
    return false;
}

// Sets the run's environment, then opens the session (see OpenSession).
std::unique_ptr<DeviceSession> Prepare(const Options& options, RunRegistry* registry) {
    std::string error;
    if (!options.device.empty()) SetEnvironment("MORVANE_DEVICE", options.device);
    if (!PrepareFirstRun(stderr, &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return nullptr;
    }
    if ((options.trace || !options.dataFolder.empty()) && !registry->Prepare(options.dataFolder, options.trace, &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return nullptr;
    }
    std::unique_ptr<DeviceSession> session = OpenSession(options, &error);
    if (session == nullptr) fprintf(stderr, "morvane-sync: %s\n", error.c_str());
    return session;
}

// Says what the session's last call found wrong; the exit status of a failed step.
int Report(const DeviceSession& session) {
    fprintf(stderr, "morvane-sync: %s\n", session.error().c_str());
    return 1;
}

const char* PastTense(ImportAction action) {
    switch (action) {
        case ImportAction::kAdd: return "added";
        case ImportAction::kChange: return "changed";
        default: return "deleted";
    }
}

// Imports the files of folder, starting the run at the first one unless
// *started says it runs already.  False when a step failed.
bool ImportFolder(const std::string& folder, const Options& options, DeviceSession& session, bool* started) {
    uint32_t count = 0;
    const HostDatabase* databases = Databases(&count);
    for (uint32_t i = 0; i < count; ++i) {
        const std::string path = ExportFilePath(folder, databases[i]);
        if (!Selected(options, databases[i].section) || !fs::exists(path)) continue;
        const HostDatabase* database = nullptr;
        DatabaseRecords records;
        std::string error;
        if (!ReadImportFile(path, &database, &records, options.deviceCharset, &error)) {
            fprintf(stderr, "morvane-sync: %s\n", error.c_str());
            return false;
        }
        if (!*started && !session.Start(options.pairing)) {
            ReportStartupFailure(session.error(), stderr);
            return false;
        }
        *started = true;
        std::vector<ImportResult> results;
        if (!session.Import(*database, records.records, &results)) {
            Report(session);
            return false;
        }
        for (const ImportResult& result : results)
            printf("%s: record %d %s as id %d\n", database->name, static_cast<int>(result.sourceId),
                   PastTense(result.action), static_cast<int>(result.deviceId));
    }
    return true;
}

}  // namespace

std::unique_ptr<DeviceSession> OpenSession(const Options& options, std::string* error) {
    if (options.bridge.empty()) return OpenInProcessSession(AdapterPath(options.programFolder), error);
    return OpenBridgeSession(options.bridge, options.bridgeTimeout, error);
}

int RunExport(const Options& options) {
    RunRegistry registry;
    const std::unique_ptr<DeviceSession> session = Prepare(options, &registry);
    if (session == nullptr) return 1;
    const std::string folder = options.folder.empty() ? "." : options.folder;
    std::error_code failed;
    fs::create_directories(folder, failed);
    // --import may name the folder this export writes, made just now.
    if (!options.importFolder.empty() && !fs::is_directory(options.importFolder, failed)) {
        fprintf(stderr, "morvane-sync: %s is not a folder: give --import the folder of the files to send\n",
                options.importFolder.c_str());
        return 1;
    }
    if (!session->Start(options.pairing)) {
        ReportStartupFailure(session->error(), stderr);
        return 1;
    }
    // A zero stamp asks the adapter for every record.
    const DIZ_TIME stamp = options.full ? 0 : static_cast<DIZ_TIME>(time(nullptr));
    uint32_t count = 0;
    const HostDatabase* databases = Databases(&count);
    for (uint32_t i = 0; i < count; ++i) {
        const HostDatabase& database = databases[i];
        if (!Selected(options, database.section)) continue;
        DatabaseRecords records;
        std::string error;
        if (!session->Export(database, stamp, ChangeLists::kClear, &records)) return Report(*session);
        const std::string path = ExportFilePath(folder, database);
        if (!WriteExportFile(path, database, records, options.deviceCharset, &error)) {
            fprintf(stderr, "morvane-sync: %s\n", error.c_str());
            return 1;
        }
        printf("%s: %zu record(s)%s -> %s\n", database.name, records.records.size(),
               records.fullSync ? " (full synchronisation)" : "", path.c_str());
    }
    bool started = true;
    if (!options.importFolder.empty() && !ImportFolder(options.importFolder, options, *session, &started)) return 1;
    // The handheld keeps the session's imports, and forgets the changes
    // handed over, only once the session has closed.
    if (!session->Finish()) return Report(*session);
    if (options.trace) printf("trace log: %s\n", TraceLogPath().c_str());
    return 0;
}

int RunImport(const Options& options) {
    std::error_code failed;
    if (!fs::is_directory(options.folder, failed)) {
        fprintf(stderr, "morvane-sync: %s is not a folder: give import --in the folder an export wrote\n",
                options.folder.c_str());
        return 1;
    }
    RunRegistry registry;
    const std::unique_ptr<DeviceSession> session = Prepare(options, &registry);
    if (session == nullptr) return 1;
    bool started = false;
    if (!ImportFolder(options.folder, options, *session, &started)) return 1;
    if (started && !session->Finish()) return Report(*session);
    if (!started) printf("nothing to import in %s\n", options.folder.c_str());
    if (options.trace) printf("trace log: %s\n", TraceLogPath().c_str());
    return 0;
}

}  // namespace morvane_host
