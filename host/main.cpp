// morvane-sync: a host for the Morvane adapter.  It loads the adapter at run
// time as a host sync engine does and drives whole synchronisations.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "host/backup_command.h"
#include "host/commands.h"
#include "host/host_env.h"
#include "pim/charset.h"
#include "platform/host_services.h"

namespace {

const char kUsage[] =
    "usage: morvane-sync demo [--keep] [BRIDGE]\n"
    "       morvane-sync export [--device IMAGE] [--out DIR] [--full] [--import DIR] [--section N]... [COMMON]\n"
    "       morvane-sync import --in DIR [--device IMAGE] [--section N]... [COMMON]\n"
    "       morvane-sync sync [--store DIR] [--contacts DIR] [--calendar DIR] [--tasks DIR] [--memos DIR]\n"
    "                         [--mail DIR] [--section N]... [--conflict keep-both|device|pc] [--dry-run]\n"
    "                         [--allow-mass-delete] [--verbose] [--timezone ZONE] [--device-charset NAME]\n"
    "                         [--device IMAGE] [COMMON]\n"
    "       morvane-sync status [--store DIR]\n"
    "       morvane-sync backup FILE [--device IMAGE] [COMMON]\n"
    "       morvane-sync restore FILE [--store DIR] [--device IMAGE] [COMMON]\n"
    "       COMMON: [--yes] [--trace] [--data-dir FOLDER] [--device-charset NAME] [BRIDGE]\n"
    "       BRIDGE: [--bridge COMMAND [--bridge-timeout SECONDS]]\n"
    "       morvane-sync --help\n";

const char kHelp[] =
    "NAME\n"
    "    morvane-sync - synchronise a Quenda handheld through the Morvane adapter\n"
    "\n"
    "DESCRIPTION\n"
    "    Loads the adapter (libmorvane beside this program, or $MORVANE_LIBRARY) at run\n"
    "    time and calls its DIZ_API_ exports in the order a host sync engine does:\n"
    "    start-up and pairing, one pass per database, shutdown.  With --bridge the\n"
    "    adapter is loaded by a bridge process instead, which serves this program over\n"
    "    a pipe; every command gives the same output either way.\n"
    "\n"
    "COMMANDS\n"
    "    demo      A whole synchronisation against the built-in demo device in a fresh\n"
    "              temporary drive C and registry: export of all five databases, an\n"
    "              import, an edit on the device and an incremental export.  --keep\n"
    "              leaves the temporary folder (and its trace log) in place.\n"
    "    export    Writes one JSON file per database to DIR (default .): per record its\n"
    "              id, host status and every host field with its device field name, the\n"
    "              repeat rule of Schedule records and the folder of mail.  Without\n"
    "              --full only the device's changes since the last synchronisation are\n"
    "              read (all records when the pairing is new).  --import DIR then sends\n"
    "              the files of DIR in the same session, as a host sync engine does:\n"
    "              after a new pairing the new records are queued and written in one\n"
    "              bulk write while the wait box shows.\n"
    "    import    Reads those files from DIR and adds, changes and deletes records on\n"
    "              the device; prints the ids the device gave.\n"
    "    sync      Brings the handheld and the PC's own files into agreement, both ways:\n"
    "              contacts (vCard), calendar, tasks and memos (iCalendar) as vdir\n"
    "              collections (one file an item, as vdirsyncer, khal and khard keep\n"
    "              them), mail as Maildirs (Inbox, Outbox, Sent, Saved).  The store\n"
    "              (--store, default $XDG_DATA_HOME/morvane or ~/.local/share/morvane)\n"
    "              holds contacts/ calendar/ tasks/ memos/ mail/ and the sync state in\n"
    "              .morvane/state.sqlite3; --contacts etc. point a database at another\n"
    "              collection, which later syncs of the store keep until another is\n"
    "              named (tasks may share the calendar's: then only its VTODO items\n"
    "              are tasks).  A change on one side goes to the other; a record\n"
    "              changed on both is settled by --conflict: keep-both (default: each\n"
    "              version becomes an item of its own on both sides), device or pc; a\n"
    "              change beats a deletion.  --dry-run prints what each side would get\n"
    "              and changes nothing.  A sync that would delete more than half (and\n"
    "              more than 5) of a database's items on either side stops unless\n"
    "              --allow-mass-delete.  Files that cannot be read are skipped with a\n"
    "              warning and never changed.  --timezone: the handheld's zone (Olson\n"
    "              name; default the zone the last sync used, else the system's);\n"
    "              --device-charset: its character set (iconv name; default the set\n"
    "              the last sync used, else WINDOWS-1252); --verbose names every\n"
    "              change.\n"
    "    status    The store's pairing, each database's last sync and the PC-side\n"
    "              changes waiting for the next one.\n"
    "    backup    Writes every database of the handheld, every record with every\n"
    "              field as its link library holds it (those the adapter never hands\n"
    "              a PC included), to FILE: one JSON document, format \"morvane-backup\"\n"
    "              version 2 with an FNV-1a checksum (BACKUP.md), written atomically.\n"
    "              The device's change lists are left for the next sync.\n"
    "    restore   Puts the handheld back to the content of FILE after asking (--yes:\n"
    "              without asking): records the backup lacks are deleted, those it\n"
    "              holds that the device lacks are added (with new ids); records equal\n"
    "              in id and content stay.  Before it deletes any, the handheld's\n"
    "              records go to FILE.before-restore-TIME, whose restore undoes it.\n"
    "              The store (--store, as for sync) learns\n"
    "              which record is which item's now, so that the next sync adds\n"
    "              nothing twice (where a backup older than the last sync differs\n"
    "              from its item, the handheld gets the item).  A file of\n"
    "              another format version, a damaged one (checksum), not a backup, or\n"
    "              one with a database or field this handheld lacks is refused and\n"
    "              nothing changes.\n"
    "\n"
    "OPTIONS\n"
    "    --device IMAGE  the simulated device's image file (sets MORVANE_DEVICE)\n"
    "    --section N     only this database: 1 Address book, 2 Schedule, 3 ToDo,\n"
    "                    4 Memo, 5 E-mail (may be repeated)\n"
    "    --yes           answer the pairing question with OK\n"
    "    --trace         switch the adapter's trace log on for this run and say where\n"
    "                    it is (the registry is copied for the run, not changed)\n"
    "    --data-dir F    the maker's data-file folder (\"DatafilePath\") for this run,\n"
    "                    a Windows path such as C:\\Korvell\\Data\\\n"
    "    --device-charset NAME  the character set of the device's texts, an iconv\n"
    "                    name (default WINDOWS-1252); PIM and export files hold them\n"
    "                    in UTF-8\n"
    "    --bridge C      start the bridge with the command line C and drive the adapter\n"
    "                    through it, e.g. --bridge \"wine morvane-bridge.exe\" for the\n"
    "                    32-bit Windows adapter; the bridge inherits the environment\n"
    "    --bridge-timeout S  seconds to wait for an answer of the bridge (default 60);\n"
    "                    a bridge that ends or stops answering is reported with its\n"
    "                    last lines of standard error\n"
    "\n"
    "ENVIRONMENT\n"
    "    MORVANE_DRIVE_C, MORVANE_REGISTRY, MORVANE_MESSAGEBOX, MORVANE_DEVICE as for\n"
    "    the adapter (see README.md); MORVANE_LIBRARY names the adapter to load.\n"
    "\n"
    "    MORVANE_SYNC_ABORT_AT=STEP[:N]  a test aid: sync ends the process at once\n"
    "    (exit 9, as if killed) the N-th time it reaches STEP (gathered, marked,\n"
    "    pc-write, pc-applied, device-imported, device-committed, database-done,\n"
    "    finished).  MORVANE_SYNC_PAUSE_AT=STEP with MORVANE_SYNC_PAUSE_FILE=F, a\n"
    "    test aid too: sync creates F at STEP and waits while it exists.\n"
    "\n"
    "EXIT STATUS\n"
    "    0 done (sync: both sides in agreement), 1 an export of the adapter failed\n"
    "    (reported with its result and last error code) or the device failed, 2 a bad\n"
    "    command line, 3 sync stopped by the mass-delete guard or a collection gone,\n"
    "    4 the store is locked by another sync, 5 sync finished but skipped items it\n"
    "    cannot read or that changed while it ran; a bridge that ends or stops\n"
    "    answering is a failed step (1).\n";

int Usage() {
    fputs(kUsage, stderr);
    return 2;
}

// Parses the options after the command; false on anything it does not know.
bool ParseOptions(const std::string& command, int argc, char** argv, morvane_host::Options* options) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (command == "demo" && arg == "--keep") {
            options->keep = true;
        } else if (command != "demo" && arg == "--device" && hasValue) {
            options->device = argv[++i];
        } else if (command == "export" && arg == "--out" && hasValue) {
            options->folder = argv[++i];
        } else if (command == "export" && arg == "--import" && hasValue) {
            options->importFolder = argv[++i];
        } else if (command == "import" && arg == "--in" && hasValue) {
            options->folder = argv[++i];
        } else if (command == "export" && arg == "--full") {
            options->full = true;
        } else if (command != "demo" && arg == "--trace") {
            options->trace = true;
        } else if (command != "demo" && arg == "--data-dir" && hasValue) {
            options->dataFolder = argv[++i];
        } else if (command != "demo" && arg == "--device-charset" && hasValue) {
            options->deviceCharset = argv[++i];
            if (!morvane_pim::IsKnownCharset(options->deviceCharset)) {
                fprintf(stderr, "morvane-sync: unknown character set %s\n", options->deviceCharset.c_str());
                return false;
            }
        } else if (command != "demo" && arg == "--yes") {
            options->pairing = morvane_host::PairingAnswer::kOk;
        } else if (arg == "--bridge" && hasValue) {
            options->bridge = argv[++i];
        } else if (arg == "--bridge-timeout" && hasValue) {
            char* end = nullptr;
            const long seconds = strtol(argv[++i], &end, 10);
            if (*end != '\0' || seconds < 1 || seconds > 86400) return false;
            options->bridgeTimeout = static_cast<unsigned>(seconds);
        } else if (command != "demo" && arg == "--section" && hasValue) {
            char* end = nullptr;
            const long section = strtol(argv[++i], &end, 10);
            if (*end != '\0' || section < 1 || section > 5) return false;
            options->sections.push_back(static_cast<int32_t>(section));
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        fputs(kHelp, stdout);
        return 0;
    }
    morvane_host::Options options;
    options.programFolder = morvane_host::ProgramFolder(argv[0]);
    if (command == "sync") return morvane_host::RunSync(options.programFolder, argc, argv);
    if (command == "status") return morvane_host::RunStatus(argc, argv);
    if (command == "backup") return morvane_host::RunBackup(options.programFolder, argc, argv);
    if (command == "restore") return morvane_host::RunRestore(options.programFolder, argc, argv);
    if (command != "demo" && command != "export" && command != "import") return Usage();
    if (!ParseOptions(command, argc, argv, &options)) return Usage();
    if (command == "import" && options.folder.empty()) return Usage();
    // Lines appear in order with the adapter's messages when piped.  The
    // size is given: a C runtime may refuse 0 (Windows's does).
    setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    if (command == "demo") return morvane_host::RunDemo(options);
    if (command == "export") return morvane_host::RunExport(options);
    return morvane_host::RunImport(options);
}
