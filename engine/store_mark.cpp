#include "engine/store_mark.h"

#include <stdlib.h>

#include <filesystem>
#include <map>
#include <set>

#include "engine/state_store.h"
#include "engine/store_lock.h"
#include "engine/sync_engine.h"
#include "records/field_map.h"
#include "records/link_image.h"

namespace morvane_engine {

namespace {

using morvane_host::kMailSection;

// The adapter merges the companion mail database into E-mail, a record's
// host id there its link id plus kCompanionBit.
constexpr uint32_t kCompanionMailDb = 15;
constexpr uint32_t kCompanionBit = 0x80000000u;

// The link database and id of a row's record.
std::pair<uint32_t, uint32_t> LinkIdOf(const StateRow& row) {
    const uint32_t id = static_cast<uint32_t>(row.deviceId);
    if (row.section == kMailSection && (id & kCompanionBit) != 0) return {kCompanionMailDb, id - kCompanionBit};
    return {morvane_host::LinkDatabaseOf(row.section), id};
}

int32_t HostId(uint32_t linkDb, uint32_t linkId) {
    return static_cast<int32_t>(linkDb == kCompanionMailDb ? linkId + kCompanionBit : linkId);
}

// Opens the store's state under its lock; false with the reason.
bool OpenLocked(const std::string& store, StoreLock* lock, StateStore* state, std::string* error) {
    bool busy = false;
    if (!lock->Take(store + "/.morvane", &busy, error)) {
        if (busy) *error = "another sync is using the store " + store + "; try again when it has finished";
        return false;
    }
    if (state->Open(StatePath(store), false) && state->Begin()) return true;
    *error = state->error();
    return false;
}

bool Finish(StateStore& state, bool ok, std::string* error) {
    if (ok && state.Commit()) return true;
    *error = state.error();
    state.Rollback();
    return false;
}

}  // namespace

bool MarkStoreForSlowSync(const std::string& store, SetAsidePairs* pairs, std::string* error) {
    std::error_code failed;
    if (!std::filesystem::exists(StatePath(store), failed)) return true;
    StoreLock lock;
    StateStore state;
    if (!OpenLocked(store, &lock, &state, error)) return false;
    pairs->present = true;
    pairs->lastSync = atoll(state.GetPairing("last-sync").c_str());
    uint32_t count = 0;
    const morvane_host::HostDatabase* databases = morvane_host::Databases(&count);
    bool ok = true;
    for (uint32_t i = 0; ok && i < count; ++i) {
        std::vector<StateRow> rows;
        ok = state.LoadRows(databases[i].section, &rows) && state.LoadTexts(databases[i].section, &rows);
        pairs->rows.insert(pairs->rows.end(), rows.begin(), rows.end());
        DatabaseState fresh;
        fresh.section = databases[i].section;
        fresh.fullSyncDue = true;
        ok = ok && state.DeleteSection(fresh.section) && state.PutDatabase(fresh);
    }
    return Finish(state, ok, error);
}

bool ReturnPairs(const std::string& store, const SetAsidePairs& pairs, const std::vector<RestoredIds>& restored,
                 int64_t backupTime, std::string* error) {
    if (!pairs.present || pairs.rows.empty()) return true;
    std::map<std::pair<uint32_t, uint32_t>, uint32_t> moved;
    std::set<std::pair<uint32_t, uint32_t>> kept;
    std::set<uint32_t> touched;
    for (const RestoredIds& database : restored) {
        touched.insert(database.linkDb);
        for (uint32_t id : database.kept) kept.insert({database.linkDb, id});
        for (const auto& [from, to] : database.added) moved[{database.linkDb, from}] = to;
    }
    const bool older = backupTime <= pairs.lastSync;  // a backup in the second a sync ended: no newer
    StoreLock lock;
    StateStore state;
    if (!OpenLocked(store, &lock, &state, error)) return false;
    // A sync that ran meanwhile (the lock is not held between the two
    // steps) paired the two sides by content already.
    uint32_t count = 0;
    const morvane_host::HostDatabase* databases = morvane_host::Databases(&count);
    for (uint32_t i = 0; i < count; ++i)
        if (state.CountRows(databases[i].section) != 0) return Finish(state, true, error);
    bool ok = true;
    for (auto row = pairs.rows.begin(); ok && row != pairs.rows.end(); ++row) {
        // A row waiting for a write to be confirmed cannot say which
        // version its record is: its item is matched by content.
        if (row->pending == Pending::kWrite || row->pending == Pending::kDelete) continue;
        if (row->pending == Pending::kDeleteUnverified) continue;  // its item is gone from the PC
        const auto place = LinkIdOf(*row);
        const auto to = moved.find(place);
        if (to == moved.end() && touched.count(place.first) != 0 && kept.count(place) == 0) continue;
        StateRow back = *row;
        if (back.pending == Pending::kUnverified) {  // the handheld holds the backup now, not that write
            back.pending = Pending::kNone;
            back.pendingHash.clear();
            back.pendingFields.clear();
        }
        if (to != moved.end()) {
            back.deviceId = HostId(place.first, to->second);
            if (older && back.pending == Pending::kNone) {
                // Read again and compared with the record next time: the
                // item's hash waits in pendingHash meanwhile.
                back.pending = Pending::kRestored;
                back.pendingHash = back.hash;
                back.hash.clear();
                back.size = -1;
            }
        }
        ok = state.PutRow(&back);
    }
    return Finish(state, ok, error);
}

}  // namespace morvane_engine
