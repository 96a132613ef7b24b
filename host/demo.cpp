// morvane-sync demo: a whole synchronisation against the built-in demo
// device, in a world of its own, each step explained in one line.
#include <stdio.h>
#include <time.h>

#include <string>

#include "device/simulator.h"
#include "bridge/adapter.h"
#include "host/commands.h"
#include "host/demo_steps.h"
#include "host/demo_sync.h"
#include "records/field_map.h"
#include "host/host_env.h"
#include "bridge/sync_run.h"
#include "host/tables.h"

namespace morvane_host {

namespace {

bool SayMissing(const Adapter& adapter, const std::vector<const char*>& names, const char* step) {
    const std::vector<std::string> missing = adapter.Missing(names);
    if (missing.empty()) return false;
    printf("   (skipped: %s needs %s, which this adapter does not export yet)\n", step, JoinNames(missing).c_str());
    return true;
}

// Exports every database and prints it; false when an export failed.
bool ExportAll(SyncRun& run, const Adapter& adapter, DIZ_TIME stamp, bool onlyChanges) {
    uint32_t count = 0;
    const HostDatabase* databases = Databases(&count);
    for (uint32_t i = 0; i < count; ++i) {
        const HostDatabase& database = databases[i];
        if (database.section == kMailSection && SayMissing(adapter, {"DIZ_API_SetFolderID"}, "walking the e-mail folders"))
            continue;
        DatabaseRecords records;
        if (!run.Export(database, stamp, &records)) return false;
        if (onlyChanges && records.records.empty())
            printf("  %s: no changes\n", database.name);
        else
            PrintRecordsTable(stdout, database, records);
    }
    return true;
}

int Session1(const Adapter& adapter, DemoPlan* plan) {
    SyncRun run(adapter);
    printf("2. Start-up: DIZ_API_Initialize connects to the device and pairs this PC with it (the pairing question is answered OK).\n");
    if (SayMissing(adapter, kStartupExports, "start-up")) return 0;
    if (!run.Start()) return 1;
    printf("   paired: this PC's identity is %s in %s\n", plan->PcId().c_str(), "ISEnvSet.ini");
    printf("3. Export: every database read record by record, field by field (a new pairing means a full synchronisation).\n");
    if (SayMissing(adapter, kExportPassExports, "the export") || SayMissing(adapter, kFieldReadExports, "the export"))
        return 0;
    if (!ExportAll(run, adapter, static_cast<DIZ_TIME>(time(nullptr)), false)) return 1;
    printf("4. Import: the PC sends new records, a changed one and a deletion; new records of a first synchronisation\n"
           "   are queued and written in one bulk call when the database is closed.\n");
    if (SayMissing(adapter, kImportPassExports, "the import")) return 0;
    return plan->ImportChanges(run) ? 0 : 1;
}

int Session2(const Adapter& adapter) {
    SyncRun run(adapter);
    printf("6. Second start-up: the pairing stands, so only the device's changes since the last synchronisation travel.\n");
    if (SayMissing(adapter, kStartupExports, "start-up")) return 0;
    if (!run.Start()) return 1;
    printf("7. Incremental export: only what changed on the device.\n");
    if (SayMissing(adapter, kExportPassExports, "the export") || SayMissing(adapter, kFieldReadExports, "the export"))
        return 0;
    return ExportAll(run, adapter, static_cast<DIZ_TIME>(time(nullptr)), true) ? 0 : 1;
}

}  // namespace

int RunDemo(const Options& options) {
    DemoWorld world;
    std::string error;
    printf("1. A fresh world: a temporary drive C, registry file (tracing on) and the demo handheld's image.\n");
    if (!world.Create(options.programFolder, &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return 1;
    }
    if (options.keep) world.Keep();
    printf("   %s%s%s\n", world.root().c_str(), world.copiedWaitBox() ? ", wait box Lullpane.exe" : "",
           world.copiedUtilityLibrary() ? ", utility library Gantry1.dll" : "");
    Adapter adapter;
    if (!adapter.Load(AdapterPath(options.programFolder), &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return 1;
    }
    DemoPlan plan(world);
    int status = Session1(adapter, &plan);
    if (status != 0) return status;
    printf("5. On the handheld: the user edits an appointment, adds a task and deletes a memo.\n");
    if (!plan.EditOnDevice(&error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return 1;
    }
    status = Session2(adapter);
    if (status != 0) return status;
    status = RunDemoSync(world, options.programFolder, 8);
    if (status != 0) return status;
    printf("11. Done.  The adapter's trace log has %zu lines%s.\n", plan.TraceLineCount(),
           options.keep ? (" (" + world.traceLogPath() + ")").c_str() : "");
    return 0;
}

}  // namespace morvane_host
