// morvane-sync export and import: one JSON file per database.
#include <stdio.h>
#include <time.h>

#include <filesystem>

#include "bridge/adapter.h"
#include "host/commands.h"
#include "records/field_map.h"
#include "host/host_env.h"
#include "host/records_json.h"
#include "bridge/sync_run.h"
#include "host/tables.h"

namespace fs = std::filesystem;

namespace morvane_host {

namespace {

bool Selected(const Options& options, int32_t section) {
    if (options.sections.empty()) return true;
    for (int32_t chosen : options.sections)
        if (chosen == section) return true;
    return false;
}

// Loads the adapter after the run's environment is set: the adapter reads
// the registry when it is loaded.
bool LoadWithExports(const Options& options, RunRegistry* registry, Adapter* adapter,
                     const std::vector<std::vector<const char*>>& needs) {
    std::string error;
    if (!options.device.empty()) SetEnvironment("MORVANE_DEVICE", options.device);
    if ((options.trace || !options.dataFolder.empty()) && !registry->Prepare(options.dataFolder, options.trace, &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return false;
    }
    if (!adapter->Load(AdapterPath(options.programFolder), &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return false;
    }
    std::vector<std::string> missing;
    for (const auto& names : needs)
        for (const std::string& name : adapter->Missing(names)) missing.push_back(name);
    if (missing.empty()) return true;
    fprintf(stderr, "morvane-sync: the adapter %s does not export %s\n", adapter->path().c_str(),
            JoinNames(missing).c_str());
    return false;
}

const char* ActionName(ImportAction action) {
    switch (action) {
        case ImportAction::kAdd: return "added";
        case ImportAction::kChange: return "changed";
        default: return "deleted";
    }
}

// Imports the files of folder, starting the run at the first one unless
// *started says it runs already.  False when a step failed.
bool ImportFolder(const std::string& folder, const Options& options, SyncRun& run, bool* started) {
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
        if (!*started && !run.Start()) return false;
        *started = true;
        std::vector<ImportResult> results;
        if (!run.Import(*database, records.records, &results)) return false;
        for (const ImportResult& result : results)
            printf("%s: record %d %s as id %d\n", database->name, static_cast<int>(result.sourceId),
                   ActionName(result.action), static_cast<int>(result.deviceId));
    }
    return true;
}

}  // namespace

int RunExport(const Options& options) {
    Adapter adapter;
    // The e-mail folders are walked one by one, each chosen by the host.
    const std::vector<const char*> mail =
        Selected(options, kMailSection) ? std::vector<const char*>{"DIZ_API_SetFolderID"} : std::vector<const char*>{};
    const std::vector<const char*> writes = options.importFolder.empty() ? std::vector<const char*>{} : kImportPassExports;
    RunRegistry registry;
    if (!LoadWithExports(options, &registry, &adapter,
                         {kStartupExports, kExportPassExports, kFieldReadExports, mail, writes}))
        return 1;
    const std::string folder = options.folder.empty() ? "." : options.folder;
    std::error_code failed;
    fs::create_directories(folder, failed);
    SyncRun run(adapter);
    if (!run.Start()) return 1;
    // A zero stamp asks the adapter for every record.
    const DIZ_TIME stamp = options.full ? 0 : static_cast<DIZ_TIME>(time(nullptr));
    uint32_t count = 0;
    const HostDatabase* databases = Databases(&count);
    for (uint32_t i = 0; i < count; ++i) {
        const HostDatabase& database = databases[i];
        if (!Selected(options, database.section)) continue;
        DatabaseRecords records;
        std::string error;
        if (!run.Export(database, stamp, &records)) return 1;
        const std::string path = ExportFilePath(folder, database);
        if (!WriteExportFile(path, database, records, options.deviceCharset, &error)) {
            fprintf(stderr, "morvane-sync: %s\n", error.c_str());
            return 1;
        }
        printf("%s: %zu record(s)%s -> %s\n", database.name, records.records.size(),
               records.fullSync ? " (full synchronisation)" : "", path.c_str());
    }
    bool started = true;
    if (!options.importFolder.empty() && !ImportFolder(options.importFolder, options, run, &started)) return 1;
    if (options.trace) printf("trace log: %s\n", TraceLogPath().c_str());
    return 0;
}

int RunImport(const Options& options) {
    Adapter adapter;
    RunRegistry registry;
    if (!LoadWithExports(options, &registry, &adapter, {kStartupExports, kImportPassExports})) return 1;
    SyncRun run(adapter);
    bool started = false;
    if (!ImportFolder(options.folder, options, run, &started)) return 1;
    if (!started) printf("nothing to import in %s\n", options.folder.c_str());
    if (options.trace) printf("trace log: %s\n", TraceLogPath().c_str());
    return 0;
}

}  // namespace morvane_host
