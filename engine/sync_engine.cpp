#include "engine/sync_engine.h"

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>

#include "engine/abort_hook.h"
#include "engine/collection.h"
#include "engine/gathered.h"
#include "engine/pc_gathering.h"
#include "engine/plan_text.h"
#include "engine/state_store.h"
#include "engine/store_lock.h"
#include "engine/sync_apply.h"
#include "engine/sync_plan.h"
#include "pim/charset.h"
#include "records/field_map.h"

namespace morvane_engine {

using namespace morvane_host;

namespace {

// Each section's default folder in the store and the name it is shown by.
struct DefaultCollection {
    int32_t section;
    const char* folder;
    const char* displayName;
};

static const DefaultCollection kDefaults[] = {
    // 0
    {kAddressSection,  "contacts", "Contacts (handheld)"},
    {kScheduleSection, "calendar", "Calendar (handheld)"},
    {kToDoSection,     "tasks",    "Tasks (handheld)"},
    {kMemoSection,     "memos",    "Memos (handheld)"},
    {kMailSection,     "mail",     "Mail (handheld)"},
};

const DefaultCollection& DefaultsOf(int32_t section) {
    for (const DefaultCollection& row : kDefaults)
        if (row.section == section) return row;
    return kDefaults[0];
}

// One database through the three steps.
struct DatabaseRun {
    const HostDatabase* database = nullptr;
    std::unique_ptr<Collection> collection;
    DatabaseState state;
    Gathered g;
    Plan plan;
    DatabaseSummary summary;
    bool askedFull = false;  // the adapter asked for a full read the state did not expect
    // The handheld's ids may no longer name the state's records (a renewed
    // pairing or a reset, now or at a run that stopped before applying).
    bool idsUnsure = false;
    bool applied = false;    // the plan was carried out
    bool restart = false;    // the state describes another collection or handheld: start afresh
    bool wantFull = false;   // every device record is to be read
};

struct Run {
    DeviceSession& session;
    const SyncSettings& settings;
    FILE* out;
    FILE* err;
    StateStore store;
    Progress progress;
    std::vector<DatabaseRun> databases;
    // Whether the last export pass read every record, which makes the
    // adapter queue new records for its bulk write in the next import.
    bool lastExportFull = false;
    // The handheld tells a session it lost from the one before by the time
    // each stamped at its start, in seconds: a session started within the
    // second the last sync ended may carry that sync's time, and its loss
    // go unseen.  unsureNow: this session may; unsureBefore: the last run,
    // which stopped before it was confirmed, may have.
    bool unsureNow = false;
    bool unsureBefore = false;
};

const char kUnsureKey[] = "session-unsure";

bool Selected(const SyncSettings& settings, int32_t section) {
    if (settings.sections.empty()) return true;
    for (int32_t chosen : settings.sections)
        if (chosen == section) return true;
    return false;
}

// The device session's progress through a pass, on the progress line.
void ShowPass(void* context, const HostDatabase&, size_t done, size_t total) {
    static_cast<Progress*>(context)->Tick(done, total);
}

void Say(Run& run, const std::string& line) {
    run.progress.Clear();
    fprintf(run.err, "morvane-sync: %s\n", line.c_str());
}

// Whether the state was made with another collection or another handheld
// than this sync's: then its pairs mean nothing here, and the two sides are
// matched by content as if there were no state.
bool StateIsForOthers(Run& run, DatabaseRun& db) {
    if (!run.store.IsOpen()) return false;
    const std::string collection = run.store.GetPairing("collection." + std::to_string(db.database->section));
    const std::string device = run.store.GetPairing("device");
    std::string was;
    if (!collection.empty() && collection != db.collection->root()) was = collection;
    else if (!device.empty() && device != run.settings.deviceName) was = device;
    if (was.empty()) return false;
    Say(run, std::string(db.database->name) + " was synchronised with " + was +
                 "; this time its items are matched by content");
    return true;
}

std::string IdsUnsureKey(const DatabaseRun& db) { return "ids-unsure." + std::to_string(db.database->section); }

// What the state says of one database before either side is read: whether
// its rows are this sync's and whether every device record is to be read.
bool PrepareState(Run& run, DatabaseRun& db) {
    if (run.store.IsOpen() && !run.store.GetDatabase(db.database->section, &db.state)) {
        Say(run, run.store.error());
        return false;
    }
    db.restart = StateIsForOthers(run, db);
    db.idsUnsure = run.store.IsOpen() && run.store.GetPairing(IdsUnsureKey(db)) == "1";
    db.wantFull = db.restart || db.state.lastSync == 0 || db.state.fullSyncDue || db.state.dirty;
    return true;
}

// Reads the device's side of one database, joins the PC's side that the
// second thread read meanwhile, and plans.
bool Gather(Run& run, DatabaseRun& db, PcGathering& pc, size_t index) {
    const DIZ_TIME stamp = db.wantFull ? 0 : static_cast<DIZ_TIME>(db.state.lastSync);
    run.progress.Phase(db.database->name, "reading the handheld");
    DatabaseRecords read;
    if (!run.session.Export(*db.database, stamp, ChangeLists::kKeep, &read)) {
        Say(run, std::string(db.database->name) + ": " + run.session.error());
        return false;
    }
    // A run cut short whose session the handheld may have lost unseen is
    // read as the adapter reads a lost one.
    if (run.unsureBefore && db.state.dirty) read.fullSync = true;
    run.lastExportFull = stamp == 0 || read.fullSync;
    db.askedFull = read.fullSync && !db.wantFull;
    run.progress.Phase(db.database->name, "scanning the PC");
    std::string error;
    if (!pc.Wait(index, &error)) {
        if (!error.empty()) Say(run, error);
        return false;
    }
    const bool full = db.wantFull || read.fullSync;
    // The adapter's own full read (not one this sync asked for): the
    // handheld's pairing time is behind, as after a session it lost.
    const bool behind = read.fullSync;
    GatherDevice(std::move(read), full, &db.g);
    SettleRestored(&db.g);
    RecheckConfirmed(&db.g);
    if (behind && !RedoLostWrites(*db.collection, run.settings.pim, &db.g, &error)) {
        Say(run, error);
        return false;
    }
    db.idsUnsure = db.idsUnsure || db.askedFull;
    if (db.idsUnsure && !DistrustDeviceIds(*db.collection, run.settings.pim, &db.g, &error)) {
        Say(run, error);
        return false;
    }
    db.plan = MakePlan(MakePlanInput(&db.g, run.settings.policy));
    if (!db.g.textsError.empty()) {
        Say(run, db.g.textsError);
        return false;
    }
    db.summary.skipped = db.g.skipped.size();
    db.summary.conflicts = db.plan.conflicts;
    for (const std::string& skipped : db.g.skipped) Say(run, "skipped " + skipped);
    if (run.settings.verbose) {
        for (const std::string& warning : db.g.warnings) Say(run, "warning: " + warning);
        if (db.g.foreign != 0)
            Say(run, std::string(db.database->name) + ": " + std::to_string(db.g.foreign) +
                         " item(s) of another kind left alone in " + db.collection->root());
    }
    return true;
}

void CountPlanned(DatabaseRun& db) {
    DatabaseSummary& s = db.summary;
    for (const Action& a : db.plan.actions) {
        if (a.kind == ActionKind::kPcAdd || a.kind == ActionKind::kSplit) ++s.pcAdded;
        if (a.kind == ActionKind::kPcUpdate) ++s.pcChanged;
        if (a.kind == ActionKind::kPcDelete) ++s.pcDeleted;
        if (a.kind == ActionKind::kDeviceAdd) ++s.deviceAdded;
        if (a.kind == ActionKind::kDeviceUpdate) ++s.deviceChanged;
        if (a.kind == ActionKind::kDeviceDelete) ++s.deviceDeleted;
    }
}

ApplyContext ContextOf(Run& run, DatabaseRun& db) {
    ApplyContext c;
    c.database = db.database;
    c.g = &db.g;
    c.collection = db.collection.get();
    c.store = &run.store;
    c.session = &run.session;
    c.settings = &run.settings.pim;
    c.summary = &db.summary;
    c.progress = &run.progress;
    c.bulkPossible = run.lastExportFull;
    c.describe = run.settings.dryRun || run.settings.verbose;
    return c;
}

// Carries out one database's plan.  False when the device or a file failed.
bool Apply(Run& run, DatabaseRun& db) {
    std::string error;
    const DefaultCollection& defaults = DefaultsOf(db.database->section);
    if (!db.collection->Create(defaults.displayName, &error)) {
        Say(run, error);
        return false;
    }
    db.state.dirty = true;
    if (!run.store.PutDatabase(db.state) || (db.restart && !run.store.DeleteSection(db.database->section))) {
        Say(run, run.store.error());
        return false;
    }
    AbortPoint("marked");
    ApplyContext c = ContextOf(run, db);
    run.progress.Phase(db.database->name, "applying");
    const bool ok = ApplyPcSide(c, db.plan) && ApplyDeviceSide(c, db.plan);
    if (c.rereadDone) run.lastExportFull = true;
    if (!ok) {
        Say(run, std::string(db.database->name) + ": " + c.error);
        return false;
    }
    db.state.fullSyncDue = c.retryNextTime || db.plan.deferred != 0;
    db.applied = true;
    AbortPoint("database-done");
    return true;
}

// Once the session has closed, the handheld holds what it was sent: the
// pending device writes are confirmed and the databases carried out are
// marked synchronised, in one transaction.
bool Confirm(Run& run) {
    if (!run.store.Begin()) return false;
    bool ok = true;
    for (DatabaseRun& db : run.databases) {
        if (!db.applied) continue;
        ok = ok && run.store.ConfirmPending(db.database->section);
        db.state.dirty = false;
        db.state.lastSync = static_cast<int64_t>(time(nullptr));
        ok = ok && run.store.PutDatabase(db.state) && (!db.idsUnsure || run.store.SetPairing(IdsUnsureKey(db), ""));
    }
    if (ok) ok = run.store.Commit();
    if (!ok) {
        Say(run, run.store.error());
        run.store.Rollback();
    }
    return ok;
}

bool OpenState(Run& run) {
    const std::string path = StatePath(run.settings.store);
    std::error_code failed;
    if (run.settings.dryRun && !std::filesystem::exists(path, failed)) return true;
    if (run.store.Open(path, false)) return true;
    Say(run, run.store.error());
    return false;
}

// The handheld keeps its appointments and mail in the wall time of its own
// clock, which does not move when the PC's zone does (a laptop taken
// abroad, a job started without TZ).  Read in another zone, every edit the
// PC sends would move its record's time there, and a sync that matches by
// content would match no appointment or mail again.  So without --timezone
// a sync takes the zone the syncs before it took, as the state records it.
void SettleHandheldZone(Run& run, morvane_pim::Settings* pim) {
    if (!pim->timezone.empty() || !run.store.IsOpen()) return;
    const std::string kept = run.store.GetPairing("timezone");
    if (kept.empty()) return;
    pim->timezone = kept;
    const std::string system = morvane_pim::SystemTimeZone();
    if (system != kept)
        Say(run, "the handheld's times are read in " + kept + ", as at the last sync (this system's zone is " +
                     system + "; --timezone " + system + " makes that the handheld's)");
}

// The handheld's character set is its own, like its zone: named once, it
// is kept, so that a later sync without the option reads its texts alike.
void SettleHandheldCharset(Run& run, SyncSettings* settings) {
    if (settings->charsetNamed || !run.store.IsOpen()) return;
    const std::string kept = run.store.GetPairing("device-charset");
    if (kept.empty() || kept == settings->pim.deviceCharset) return;
    if (morvane_pim::IsKnownCharset(kept)) settings->pim.deviceCharset = kept;
    else Say(run, "the handheld's texts were read as " + kept + " at the last sync, which this system does not know; "
                  "they are read as " + settings->pim.deviceCharset + " (--device-charset names another)");
}

// The section's own folder in the store.
std::string StoreFolder(const std::string& store, int32_t section) { return store + "/" + DefaultsOf(section).folder; }

// A collection named once (--contacts and the like) stays the database's
// until another is named: a later sync without the option uses it, as the
// handheld's zone is kept.  The store's own folders are not remembered, so
// that a store moved whole takes its collections with it.
std::string ChosenKey(int32_t section) { return "chosen-collection." + std::to_string(section); }

void SettleCollections(Run& run, SyncSettings* settings) {
    if (!run.store.IsOpen()) return;
    for (int32_t section = 1; section <= 5; ++section)
        if (settings->folders[section].empty()) settings->folders[section] = run.store.GetPairing(ChosenKey(section));
}

// What the sync was made with, in one transaction: one flush for all.
void RecordPairing(Run& run) {
    const std::string now = std::to_string(static_cast<long long>(time(nullptr)));
    if (!run.store.Begin()) return;
    if (run.store.GetPairing("first-sync").empty()) run.store.SetPairing("first-sync", now);
    run.store.SetPairing("last-sync", now);
    run.store.SetPairing("device", run.settings.deviceName);
    const std::string& zone = run.settings.pim.timezone;
    run.store.SetPairing("timezone", zone.empty() ? morvane_pim::SystemTimeZone() : zone);
    run.store.SetPairing("device-charset", run.settings.pim.deviceCharset);
    for (const DatabaseRun& db : run.databases) {
        const int32_t section = db.database->section;
        run.store.SetPairing("collection." + std::to_string(section), db.collection->root());
        const std::string& chosen = run.settings.folders[section];
        run.store.SetPairing(ChosenKey(section), chosen == StoreFolder(run.settings.store, section) ? "" : chosen);
    }
    if (!run.store.Commit()) run.store.Rollback();
}

// What a database's sync gathered and planned, not needed once it has
// been carried out.
struct Gathering {
    std::unique_ptr<Collection> collection;
    Gathered g;
    Plan plan;
};

// The databases the run synchronises, each with its collection.
void AddDatabases(Run& run) {
    uint32_t count = 0;
    const HostDatabase* all = Databases(&count);
    for (uint32_t i = 0; i < count; ++i) {
        if (!Selected(run.settings, all[i].section)) continue;
        DatabaseRun db;
        db.database = &all[i];
        db.summary.section = all[i].section;
        db.summary.name = all[i].name;
        const std::string folder = CollectionFolder(run.settings, all[i].section);
        db.collection = all[i].section == kMailSection ? OpenMaildirs(folder)
                                                        : OpenVdir(folder, morvane_pim::ItemExtension(all[i].section));
        run.databases.push_back(std::move(db));
    }
}

// A folder named for contacts, calendar, tasks or memos that holds such
// collections instead of items (vdirsyncer's and khal's folder of them)
// would get the handheld's records beside them, where no program looks,
// while the items in them were never read: the run stops before anything.
// So does a mail reader's Maildir named for the folder of the four.
bool FoldersAreCollections(Run& run) {
    for (const DatabaseRun& db : run.databases) {
        if (db.database->section == kMailSection) {
            if (!IsMaildir(db.collection->root())) continue;
            Say(run, std::string(db.database->name) + ": " + db.collection->root() +
                         " is a Maildir itself; name a folder to hold the handheld's four (Inbox, Outbox, Sent, Saved)");
            return false;
        }
        const std::vector<std::string> inside =
            CollectionsInside(db.collection->root(), morvane_pim::ItemExtension(db.database->section));
        if (inside.empty()) continue;
        std::string names;
        for (const std::string& name : inside) names += (names.empty() ? "" : ", ") + name;
        Say(run, std::string(db.database->name) + ": " + db.collection->root() + " holds collections (" + names +
                     ") rather than items; name one of them, such as " + db.collection->root() + "/" + inside[0]);
        return false;
    }
    return true;
}

// Lets go of what every database gathered on a thread of its own: a row
// and a file name for every item, tens of thousands of small blocks, freed
// while the handheld saves and the state is confirmed.
std::thread ReleaseGathered(Run& run) {
    std::vector<Gathering> done;
    for (DatabaseRun& db : run.databases)
        done.push_back({std::move(db.collection), std::move(db.g), std::move(db.plan)});
    try {
        return std::thread([done = std::move(done)]() mutable { done.clear(); });
    } catch (const std::system_error&) {
        return std::thread();  // freed here instead
    }
}

void PrintOutcome(Run& run) {
    run.progress.Clear();
    std::vector<DatabaseSummary> summaries;
    for (DatabaseRun& db : run.databases) {
        for (const std::string& line : db.summary.lines) fprintf(run.out, "%s: %s\n", db.database->name, line.c_str());
        summaries.push_back(db.summary);
    }
    PrintSummaryTable(run.out, summaries, run.settings.dryRun);
}

int Synchronise(Run& run, PcGathering& pc) {
    for (size_t i = 0; i < run.databases.size(); ++i)
        if (!Gather(run, run.databases[i], pc, i)) return kExitDeviceFailure;
    // The adapter asks for a full read once, and the handheld keeps the
    // session that answered it even when this run stops before a database
    // is carried out (the guard, a dry run, a failure in the one before):
    // the full read, and the doubt about the ids, are owed to the next.
    for (DatabaseRun& db : run.databases) {
        if (!run.store.IsOpen()) break;
        if (db.askedFull) db.state.fullSyncDue = true;
        if ((db.askedFull && !run.store.PutDatabase(db.state)) ||
            (db.idsUnsure && !run.store.SetPairing(IdsUnsureKey(db), "1"))) {
            Say(run, run.store.error());
            return kExitDeviceFailure;
        }
    }
    bool guard = false;
    for (DatabaseRun& db : run.databases) {
        if (run.settings.dryRun || run.settings.verbose)
            for (const Action& action : db.plan.actions)
                db.summary.lines.push_back(DescribeAction(db.g, action, run.settings.pim.deviceCharset));
        // A collection that held items at the last sync and is gone was
        // moved, renamed or unmounted, not emptied: its items are not
        // deleted from the handheld, however few.
        if (!db.restart && !db.g.rows.empty() && !db.collection->Exists()) {
            guard = true;
            Say(run, std::string(db.database->name) + ": " + db.collection->root() + " is gone, though it held " +
                         std::to_string(db.g.rows.size()) +
                         " item(s) at the last sync; nothing was changed (if it moved, name its new place; an "
                         "empty folder there has the handheld's records deleted)");
            continue;
        }
        if (!db.plan.massDelete || run.settings.allowMassDelete) continue;
        guard = true;
        Say(run, std::string(db.database->name) + ": this sync would delete " + std::to_string(db.plan.pcDeletes) +
                     " item(s) on the PC and " + std::to_string(db.plan.deviceDeletes) +
                     " record(s) on the handheld, more than half of them; nothing was changed "
                     "(--allow-mass-delete lets it go ahead)");
    }
    if (guard) return kExitMassDelete;
    if (run.settings.dryRun) {
        for (DatabaseRun& db : run.databases) {
            CountPlanned(db);
            ApplyContext c = ContextOf(run, db);
            PreviewWriteBacks(c, db.plan);
        }
        return kExitInAgreement;
    }
    AbortPoint("gathered");
    if (run.store.IsOpen() && !run.store.SetPairing(kUnsureKey, run.unsureNow ? "1" : "")) {
        Say(run, run.store.error());
        return kExitDeviceFailure;
    }
    for (DatabaseRun& db : run.databases)
        if (!Apply(run, db)) return kExitDeviceFailure;
    RecordPairing(run);
    return kExitInAgreement;
}

}  // namespace

std::string DefaultStore() {
    const char* data = getenv("XDG_DATA_HOME");
    if (data != nullptr && *data == '/') return std::string(data) + "/morvane";
    const char* home = getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/.local/share/morvane";
}

std::string CollectionFolder(const SyncSettings& settings, int32_t section) {
    if (section >= 1 && section <= 5 && !settings.folders[section].empty()) return settings.folders[section];
    return StoreFolder(settings.store, section);
}

std::string StatePath(const std::string& store) { return store + "/.morvane/state.sqlite3"; }

SyncOutcome RunSync(DeviceSession& session, const SyncSettings& given, FILE* out, FILE* err) {
    SyncOutcome outcome;
    SyncSettings settings = given;  // the handheld's zone settled by the state
    // Items the handheld changed say when they were revised: now.
    if (settings.pim.now == 0) settings.pim.now = static_cast<int64_t>(time(nullptr));
    Run run{session, settings, out, err, StateStore(), Progress(settings.progress), {}, false};
    StoreLock lock;
    if (!settings.dryRun) {
        // The state keeps a copy of every item: its folder is its owner's alone.
        std::error_code failed;
        if (std::filesystem::create_directories(settings.store + "/.morvane", failed))
            std::filesystem::permissions(settings.store + "/.morvane", std::filesystem::perms::owner_all, failed);
        bool busy = false;
        std::string error;
        if (!lock.Take(settings.store + "/.morvane", &busy, &error)) {
            Say(run, error);
            outcome.exitCode = busy ? kExitStoreLocked : kExitDeviceFailure;
            return outcome;
        }
    }
    if (!OpenState(run)) {
        outcome.exitCode = kExitDeviceFailure;
        return outcome;
    }
    SettleHandheldZone(run, &settings.pim);
    SettleHandheldCharset(run, &settings);
    SettleCollections(run, &settings);
    const int64_t lastEnd = run.store.IsOpen() ? atoll(run.store.GetPairing("last-sync").c_str()) : 0;
    run.unsureBefore = run.store.IsOpen() && run.store.GetPairing(kUnsureKey) == "1";
    AddDatabases(run);
    if (!FoldersAreCollections(run)) {
        outcome.exitCode = kExitBadCommandLine;
        return outcome;
    }
    std::vector<PcGatherJob> jobs;
    for (DatabaseRun& db : run.databases) {
        if (!PrepareState(run, db)) {
            outcome.exitCode = kExitDeviceFailure;
            return outcome;
        }
        jobs.push_back({db.database->section, !db.restart, db.collection.get(), &db.g});
    }
    // From here until each database's Wait, the second thread alone uses
    // the state and the databases' Gathered.
    PcGathering pc(std::move(jobs), run.store, settings.pim);
    session.set_progress(ShowPass, &run.progress);
    run.unsureNow = static_cast<int64_t>(time(nullptr)) <= lastEnd;
    if (!session.Start(settings.pairing)) {
        Say(run, "start-up failed: " + session.error());
        outcome.exitCode = kExitDeviceFailure;
        outcome.startFailed = true;
        return outcome;
    }
    outcome.exitCode = Synchronise(run, pc);
    pc.Finish();  // a gather that failed early leaves the second thread at work
    std::thread release = ReleaseGathered(run);
    // A session that did not close may have left the handheld without this
    // sync's writes: nothing is confirmed, and the next sync, reading every
    // record, makes again those it lacks.
    const bool closed = session.Finish();
    session.set_progress(nullptr, nullptr);
    if (!closed) {
        Say(run, "the session with the handheld did not close: " + session.error() +
                     "; the next sync checks what the handheld kept of this one's changes");
        outcome.exitCode = kExitDeviceFailure;
    }
    if (!settings.dryRun && run.store.IsOpen() && closed) {
        // The handheld keeps a session it closed: nothing of this one is
        // unsure any more, even if it ends before its writes are confirmed.
        const bool settled = !run.unsureNow || run.store.SetPairing(kUnsureKey, "");
        if (!settled) Say(run, run.store.error());
        AbortPoint("finished");
        if ((!settled || !Confirm(run)) && outcome.exitCode == kExitInAgreement) outcome.exitCode = kExitDeviceFailure;
    }
    PrintOutcome(run);
    size_t skipped = 0;
    for (const DatabaseRun& db : run.databases) skipped += db.summary.skipped;
    if (outcome.exitCode == kExitInAgreement && skipped != 0) outcome.exitCode = kExitSkippedItems;
    for (const DatabaseRun& db : run.databases) outcome.summaries.push_back(db.summary);
    if (release.joinable()) release.join();
    return outcome;
}

}  // namespace morvane_engine
