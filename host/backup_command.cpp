// morvane-sync backup and restore.  Both take the device session the sync
// command takes (the adapter in this process, or --bridge) but leave the
// adapter's session closed: they read and write the handheld's databases
// through its link library, every field of every record, without touching
// the device's change lists.  Restore writes only once the file was found
// whole, fits the handheld and the person running it agreed.
#include "host/backup_command.h"
#include "host/first_run.h"

#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "engine/atomic_file.h"
#include "engine/store_mark.h"
#include "host/backup_file.h"
#include "host/host_env.h"
#include "engine/restore_plan.h"
#include "host/sync_command.h"

namespace morvane_host {

namespace {

using morvane_engine::kExitBadCommandLine;
using morvane_engine::kExitDeviceFailure;
using morvane_engine::kExitInAgreement;
using morvane_engine::kExitStoreLocked;
using morvane_engine::PlanRestore;
using morvane_engine::RestoreStep;

struct BackupLine {
    SyncCommandLine session;  // --device, --bridge, --store, --trace, --data-dir
    std::string file;
    bool yes = false;  // restore without asking
};

// FILE and the options of backup (restore also --store); false with the
// reason in *error.
bool ParseBackupLine(bool restore, int argc, char** argv, BackupLine* line, std::string* error) {
    line->session.settings.store = morvane_engine::DefaultStore();
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        std::string* target = nullptr;
        if (arg == "--device") target = &line->session.device;
        else if (arg == "--bridge") target = &line->session.bridge;
        else if (arg == "--data-dir") target = &line->session.dataFolder;
        else if (arg == "--store" && restore) target = &line->session.settings.store;
        if (target != nullptr && value != nullptr) {
            *target = value;
            ++i;
        } else if (arg == "--yes") {
            line->yes = true;
        } else if (arg == "--trace") {
            line->session.trace = true;
        } else if (target == nullptr && line->file.empty() && !arg.empty() && arg[0] != '-') {
            line->file = arg;
        } else {
            *error = "unknown or incomplete option " + arg;
            return false;
        }
    }
    if (line->file.empty()) *error = "the backup FILE is missing";
    return !line->file.empty();
}

std::string DeviceName(const BackupLine& line) {
    return line.session.device.empty() ? "(the handheld on the default port)" : line.session.device;
}

// The run's environment and a session that is not started: backup and
// restore reach the handheld through its link library, which the adapter
// would otherwise hold.  Null after saying why.
std::unique_ptr<DeviceSession> OpenSession(const std::string& programFolder, const BackupLine& line,
                                           RunRegistry* registry) {
    std::string error;
    if (!line.session.device.empty()) SetEnvironment("MORVANE_DEVICE", line.session.device);
    if ((line.session.trace || !line.session.dataFolder.empty()) &&
        !registry->Prepare(line.session.dataFolder, line.session.trace, &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return nullptr;
    }
    if (!PrepareFirstRun(stderr, &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return nullptr;
    }
    std::unique_ptr<DeviceSession> session = OpenSyncSession(programFolder, line.session, &error);
    if (session == nullptr) fprintf(stderr, "morvane-sync: %s\n", error.c_str());
    return session;
}

// Every database of the handheld; false after saying why.
bool ReadDevice(DeviceSession& session, std::vector<LinkDatabase>* databases) {
    if (session.ReadLink(databases)) return true;
    fprintf(stderr, "morvane-sync: reading the handheld failed: %s\n%s", session.error().c_str(),
            StartupAdvice(LastErrorIn(session.error())).c_str());
    return false;
}

std::string UtcNow() {
    const time_t now = time(nullptr);
    struct tm parts = {};
    gmtime_r(&now, &parts);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

// The seconds of a time UtcNow wrote; the largest there are for another
// text, so that a backup of unknown age counts as newer than any sync.
int64_t SecondsOf(const std::string& utc) {
    struct tm parts = {};
    const char* end = strptime(utc.c_str(), "%Y-%m-%dT%H:%M:%SZ", &parts);
    if (end == nullptr || *end != '\0') return INT64_MAX;
    return static_cast<int64_t>(timegm(&parts));
}

void Finished(const BackupLine& line) {
    if (line.session.trace) printf("trace log: %s\n", TraceLogPath().c_str());
}

// Whether the person agrees: --yes, or "y" typed at the terminal.
bool Confirmed(const BackupLine& line, const Backup& backup) {
    if (line.yes) return true;
    if (isatty(STDIN_FILENO) == 0) {
        fprintf(stderr, "morvane-sync: restore replaces what the handheld holds; give --yes to confirm\n");
        return false;
    }
    printf("Put the handheld back to the backup of %s made %s?\n"
           "Every record on it that the backup does not hold is deleted. [y/N] ",
           backup.device.c_str(), backup.created.c_str());
    fflush(stdout);
    char answer[16] = "";
    return fgets(answer, sizeof answer, stdin) != nullptr && (answer[0] == 'y' || answer[0] == 'Y');
}

// Reads and checks the file; false after saying why.
bool LoadBackup(const std::string& path, Backup* backup) {
    std::string text, error;
    if (morvane_engine::ReadWholeFile(path, &text, &error) && DecodeBackup(text, backup, &error)) return true;
    fprintf(stderr, "morvane-sync: %s: %s; nothing was changed\n", path.c_str(), error.c_str());
    return false;
}

// A restore deletes every record the backup does not hold: before it does,
// the handheld's records as they are go to a backup of their own beside
// FILE, named after the time, so that restoring that one undoes this
// restore.  *kept gets its name, "" when nothing is deleted; false after
// saying why.
bool KeepWhatItHolds(const BackupLine& line, const std::vector<LinkDatabase>& device,
                     const std::vector<RestoreStep>& steps, std::string* kept) {
    kept->clear();
    bool deletes = false;
    for (const RestoreStep& step : steps) deletes = deletes || !step.deletes.empty();
    if (!deletes) return true;
    Backup before;
    before.created = UtcNow();
    before.device = DeviceName(line);
    before.databases = device;
    std::string stamp = before.created;
    stamp.erase(std::remove(stamp.begin(), stamp.end(), ':'), stamp.end());
    std::error_code failed;
    *kept = line.file + ".before-restore-" + stamp;
    for (int n = 2; std::filesystem::exists(*kept, failed); ++n)
        *kept = line.file + ".before-restore-" + stamp + "-" + std::to_string(n);
    std::string error;
    if (morvane_engine::WriteFileAtomically(*kept, EncodeBackup(before), &error) &&
        morvane_engine::FlushFolder(std::filesystem::absolute(*kept).parent_path().string(), &error))
        return true;
    fprintf(stderr, "morvane-sync: cannot keep the handheld's records before the restore: %s; nothing was changed\n",
            error.c_str());
    return false;
}

// Plans every database, keeps what the restore deletes, marks the store,
// then writes each plan.
int PutBack(DeviceSession& session, const BackupLine& line, const Backup& backup) {
    std::vector<LinkDatabase> device;
    if (!ReadDevice(session, &device)) return kExitDeviceFailure;
    std::vector<RestoreStep> steps;
    std::string error;
    if (!PlanRestore(device, backup.databases, &steps, &error)) {
        fprintf(stderr, "morvane-sync: %s; nothing was changed\n", error.c_str());
        return kExitDeviceFailure;
    }
    std::string kept;
    if (!KeepWhatItHolds(line, device, steps, &kept)) return kExitDeviceFailure;
    if (!kept.empty())
        printf("the handheld's records before this restore are kept in %s (restoring it undoes this restore)\n",
               kept.c_str());
    // Before the first write: a restore cut short still leaves the next
    // sync matching by content.
    morvane_engine::SetAsidePairs pairs;
    if (!morvane_engine::MarkStoreForSlowSync(line.session.settings.store, &pairs, &error)) {
        fprintf(stderr, "morvane-sync: %s; nothing was changed\n", error.c_str());
        return error.find("another sync") != std::string::npos ? kExitStoreLocked : kExitDeviceFailure;
    }
    std::vector<morvane_engine::RestoredIds> restored;
    for (RestoreStep& step : steps) {
        const std::string name = LinkDatabaseName(step.device->id);
        restored.push_back({step.device->id, {}, {}});
        for (const LinkRecord& record : step.device->records)
            if (std::find(step.deletes.begin(), step.deletes.end(), record.id) == step.deletes.end())
                restored.back().kept.push_back(record.id);
        for (const LinkRecord& add : step.adds) restored.back().added.emplace_back(add.id, 0);
        if ((!step.deletes.empty() || !step.adds.empty()) && !session.WriteLink(*step.device, step.deletes, &step.adds)) {
            fprintf(stderr,
                    "morvane-sync: %s: %s\n"
                    "  the handheld holds part of the backup: run the same restore again to finish it\n",
                    name.c_str(), session.error().c_str());
            return kExitDeviceFailure;
        }
        for (size_t i = 0; i < step.adds.size(); ++i) restored.back().added[i].second = step.adds[i].id;
        printf("%s: %zu record(s) kept, %zu deleted, %zu added\n", name.c_str(), step.kept, step.deletes.size(),
               step.adds.size());
    }
    if (!morvane_engine::ReturnPairs(line.session.settings.store, pairs, restored, SecondsOf(backup.created), &error))
        fprintf(stderr, "morvane-sync: %s; the next sync matches every record by content\n", error.c_str());
    for (const LinkDatabase& database : device) {
        bool saved = false;
        for (const RestoreStep& step : steps) saved = saved || step.device == &database;
        if (!saved) printf("%s: not in the backup, left as it is\n", LinkDatabaseName(database.id).c_str());
    }
    return kExitInAgreement;
}

}  // namespace

int RunBackup(const std::string& programFolder, int argc, char** argv) {
    BackupLine line;
    std::string error;
    if (!ParseBackupLine(false, argc, argv, &line, &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return kExitBadCommandLine;
    }
    RunRegistry registry;
    std::unique_ptr<DeviceSession> session = OpenSession(programFolder, line, &registry);
    if (session == nullptr) return kExitDeviceFailure;
    Backup backup;
    backup.created = UtcNow();
    backup.device = DeviceName(line);
    if (!ReadDevice(*session, &backup.databases)) return kExitDeviceFailure;
    const std::string folder = std::filesystem::absolute(line.file).parent_path().string();
    if (!morvane_engine::WriteFileAtomically(line.file, EncodeBackup(backup), &error) ||
        !morvane_engine::FlushFolder(folder, &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return kExitDeviceFailure;
    }
    for (const LinkDatabase& database : backup.databases)
        printf("%s: %zu record(s)\n", LinkDatabaseName(database.id).c_str(), database.records.size());
    printf("backup written to %s\n", line.file.c_str());
    Finished(line);
    return kExitInAgreement;
}

int RunRestore(const std::string& programFolder, int argc, char** argv) {
    BackupLine line;
    std::string error;
    if (!ParseBackupLine(true, argc, argv, &line, &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return kExitBadCommandLine;
    }
    Backup backup;
    if (!LoadBackup(line.file, &backup)) return kExitDeviceFailure;
    if (!Confirmed(line, backup)) {
        printf("nothing was changed\n");
        return kExitDeviceFailure;
    }
    RunRegistry registry;
    std::unique_ptr<DeviceSession> session = OpenSession(programFolder, line, &registry);
    if (session == nullptr) return kExitDeviceFailure;
    const int status = PutBack(*session, line, backup);
    const std::string& store = line.session.settings.store;
    std::error_code failed;
    if (status == kExitInAgreement && std::filesystem::exists(morvane_engine::StatePath(store), failed))
        printf("the handheld holds the backup of %s; the next sync into %s pairs its records with the PC's items "
               "again\n",
               backup.created.c_str(), store.c_str());
    else if (status == kExitInAgreement)
        printf("the handheld holds the backup of %s; %s holds no sync state: if the handheld syncs into another "
               "store, restore again with --store naming it, or that store's syncs miss the records put back and "
               "a full read takes them for deletions and additions\n",
               backup.created.c_str(), store.c_str());
    Finished(line);
    return status;
}

}  // namespace morvane_host
