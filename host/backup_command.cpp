// morvane-sync backup and restore.  Both take the device session the sync
// command takes (the adapter in this process, or --bridge), read every
// record of the five databases without touching the device's change lists,
// and restore writes only once the file was found whole and the person
// running it agreed.
#include "host/backup_command.h"
#include "host/first_run.h"

#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>

#include "engine/atomic_file.h"
#include "engine/store_mark.h"
#include "host/backup_file.h"
#include "host/host_env.h"
#include "host/sync_command.h"

namespace morvane_host {

namespace {

using morvane_engine::kExitBadCommandLine;
using morvane_engine::kExitDeviceFailure;
using morvane_engine::kExitInAgreement;
using morvane_engine::kExitStoreLocked;

struct BackupLine {
    SyncCommandLine session;  // --device, --bridge, --store, --trace, --data-dir; --yes answers the pairing
    std::string file;
    bool yes = false;
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
            line->session.settings.pairing = PairingAnswer::kOk;
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

// The run's environment, the session and its start-up; null after saying why.
std::unique_ptr<DeviceSession> StartSession(const std::string& programFolder, const BackupLine& line,
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
    if (session == nullptr) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return nullptr;
    }
    if (session->Start(line.session.settings.pairing)) return session;
    ReportStartupFailure(session->error(), stderr);
    return nullptr;
}

// Every record of every database, the change lists kept for the next sync.
bool ReadDevice(DeviceSession& session, std::vector<BackupDatabase>* databases) {
    uint32_t count = 0;
    const HostDatabase* all = Databases(&count);
    for (uint32_t i = 0; i < count; ++i) {
        DatabaseRecords read;
        if (!session.Export(all[i], 0, ChangeLists::kKeep, &read)) {
            fprintf(stderr, "morvane-sync: %s: %s\n", all[i].name, session.error().c_str());
            return false;
        }
        databases->push_back({&all[i], read.records});
    }
    return true;
}

std::string UtcNow() {
    const time_t now = time(nullptr);
    struct tm parts = {};
    gmtime_r(&now, &parts);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

void Finished(const BackupLine& line) {
    if (line.session.trace) printf("trace log: %s\n", TraceLogPath().c_str());
}

// What restore sends one database: the device's records that differ from
// the backup's deleted, the backup's that the device lacks added.  A record
// with the same id and content on both is left as it is, keeping its id.
std::vector<HostRecord> RestorePlan(const HostDatabase& database, const std::vector<HostRecord>& device,
                                    const std::vector<HostRecord>& wanted, size_t* kept) {
    std::map<int32_t, std::string> onDevice;
    for (const HostRecord& record : device) onDevice[record.id] = RecordContent(database, record);
    std::vector<HostRecord> adds;
    for (const HostRecord& record : wanted) {
        const auto found = onDevice.find(record.id);
        if (found != onDevice.end() && found->second == RecordContent(database, record)) {
            onDevice.erase(found);
            ++*kept;
        } else {
            adds.push_back(record);
            adds.back().action = "add";
        }
    }
    std::vector<HostRecord> plan;
    for (const auto& entry : onDevice) {
        HostRecord removal;
        removal.id = entry.first;
        removal.action = "delete";
        plan.push_back(removal);
    }
    plan.insert(plan.end(), adds.begin(), adds.end());
    return plan;
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

// Marks the store, then writes each database's plan.
int PutBack(DeviceSession& session, const BackupLine& line, const Backup& backup) {
    std::vector<BackupDatabase> device;
    if (!ReadDevice(session, &device)) return kExitDeviceFailure;
    std::string error;
    // Before the first write: a restore cut short still leaves the next
    // sync matching by content.
    if (!morvane_engine::MarkStoreForSlowSync(line.session.settings.store, &error)) {
        fprintf(stderr, "morvane-sync: %s; nothing was changed\n", error.c_str());
        return error.find("another sync") != std::string::npos ? kExitStoreLocked : kExitDeviceFailure;
    }
    for (const BackupDatabase& now : device) {
        const std::vector<HostRecord>* wanted = nullptr;
        for (const BackupDatabase& saved : backup.databases)
            if (saved.database == now.database) wanted = &saved.records;
        const std::vector<HostRecord> none;
        size_t kept = 0;
        const std::vector<HostRecord> plan =
            RestorePlan(*now.database, now.records, wanted != nullptr ? *wanted : none, &kept);
        std::vector<ImportResult> results;
        if (!plan.empty() && !session.Import(*now.database, plan, &results)) {
            fprintf(stderr, "morvane-sync: %s: %s\n", now.database->name, session.error().c_str());
            return kExitDeviceFailure;
        }
        size_t deleted = 0;
        for (const HostRecord& record : plan) deleted += record.action == "delete" ? 1 : 0;
        printf("%s: %zu record(s) kept, %zu deleted, %zu added\n", now.database->name, kept, deleted,
               plan.size() - deleted);
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
    std::unique_ptr<DeviceSession> session = StartSession(programFolder, line, &registry);
    if (session == nullptr) return kExitDeviceFailure;
    Backup backup;
    backup.created = UtcNow();
    backup.device = DeviceName(line);
    const bool read = ReadDevice(*session, &backup.databases);
    session->Finish();
    if (!read) return kExitDeviceFailure;
    const std::string folder = std::filesystem::absolute(line.file).parent_path().string();
    if (!morvane_engine::WriteFileAtomically(line.file, EncodeBackup(backup), &error) ||
        !morvane_engine::FlushFolder(folder, &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return kExitDeviceFailure;
    }
    for (const BackupDatabase& database : backup.databases)
        printf("%s: %zu record(s)\n", database.database->name, database.records.size());
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
    std::unique_ptr<DeviceSession> session = StartSession(programFolder, line, &registry);
    if (session == nullptr) return kExitDeviceFailure;
    const int status = PutBack(*session, line, backup);
    session->Finish();
    if (status == kExitInAgreement)
        printf("the handheld holds the backup of %s; the next sync matches its records with the PC's by content\n",
               backup.created.c_str());
    Finished(line);
    return status;
}

}  // namespace morvane_host
