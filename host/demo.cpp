// morvane-sync demo: a whole synchronisation against the built-in demo
// device, in a world of its own, each step explained in one line.
#include <stdio.h>
#include <time.h>

#include <memory>
#include <string>

#include "bridge/device_session.h"
#include "host/commands.h"
#include "host/demo_steps.h"
#include "host/demo_sync.h"
#include "host/host_env.h"
#include "host/tables.h"
#include "records/field_map.h"

namespace morvane_host {

namespace {

bool Report(const DeviceSession& session) {
    fprintf(stderr, "morvane-sync: %s\n", session.error().c_str());
    return false;
}

// Exports every database and prints it; false when an export failed.
bool ExportAll(DeviceSession& session, DIZ_TIME stamp, bool onlyChanges) {
    uint32_t count = 0;
    const HostDatabase* databases = Databases(&count);
    for (uint32_t i = 0; i < count; ++i) {
        const HostDatabase& database = databases[i];
        DatabaseRecords records;
        if (!session.Export(database, stamp, ChangeLists::kClear, &records)) return Report(session);
        if (onlyChanges && records.records.empty())
            printf("  %s: no changes\n", database.name);
        else
            PrintRecordsTable(stdout, database, records);
    }
    return true;
}

bool Session1(DeviceSession& session, DemoPlan* plan) {
    printf("2. Start-up: DIZ_API_Initialize connects to the device and pairs this PC with it (the pairing question is answered OK).\n");
    if (!session.Start(PairingAnswer::kOk)) return Report(session);
    printf("   paired: this PC's identity is %s in %s\n", plan->PcId().c_str(), "ISEnvSet.ini");
    printf("3. Export: every database read record by record, field by field (a new pairing means a full synchronisation).\n");
    if (!ExportAll(session, static_cast<DIZ_TIME>(time(nullptr)), false)) return false;
    printf("4. Import: the PC sends new records, a changed one and a deletion; new records of a first synchronisation\n"
           "   are queued and written in one bulk call when the database is closed.\n");
    if (!plan->ImportChanges(session)) return false;
    session.Finish();
    return true;
}

bool Session2(DeviceSession& session) {
    printf("6. Second start-up: the pairing stands, so only the device's changes since the last synchronisation travel.\n");
    if (!session.Start(PairingAnswer::kOk)) return Report(session);
    printf("7. Incremental export: only what changed on the device.\n");
    if (!ExportAll(session, static_cast<DIZ_TIME>(time(nullptr)), true)) return false;
    session.Finish();
    return true;
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
    const std::unique_ptr<DeviceSession> session = OpenSession(options, &error);
    if (session == nullptr) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return 1;
    }
    DemoPlan plan(world);
    if (!Session1(*session, &plan)) return 1;
    printf("5. On the handheld: the user edits an appointment, adds a task and deletes a memo.\n");
    if (!plan.EditOnDevice(&error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return 1;
    }
    if (!Session2(*session)) return 1;
    const int status = RunDemoSync(world, options, 8);
    if (status != 0) return status;
    printf("11. Done.  The adapter's trace log has %zu lines%s.\n", plan.TraceLineCount(),
           options.keep ? (" (" + world.traceLogPath() + ")").c_str() : "");
    return 0;
}

}  // namespace morvane_host
