// sync, status, backup, restore and the demo's sync steps in a program built without the
// PIM formats and the sync engine (the Windows build: no libical, GMime or
// SQLite there).  Each says so; export, import and the bridge still work.
#include <stdio.h>

#include "host/backup_command.h"
#include "host/commands.h"
#include "host/demo_sync.h"

namespace morvane_host {

namespace {

int Unavailable(const char* command) {
    fprintf(stderr,
            "morvane-sync: '%s' is not in this build: it was built without the PIM formats and the sync engine "
            "(libical, GMime 3, SQLite); use the Linux build, or this one with --bridge from there\n",
            command);
    return 1;
}

}  // namespace

int RunSync(const std::string&, int, char**) { return Unavailable("sync"); }

int RunStatus(int, char**) { return Unavailable("status"); }

int RunBackup(const std::string&, int, char**) { return Unavailable("backup"); }

int RunRestore(const std::string&, int, char**) { return Unavailable("restore"); }

int RunDemoSync(const DemoWorld&, const Options&, int firstStep) {
    printf("%d. to %d. (The two-way sync into PIM files needs the sync engine, which this build does not have.)\n",
           firstStep, firstStep + 2);
    return 0;
}

}  // namespace morvane_host
