// The device side of the gather step.  A full read is compared record by
// record with the device fields the state holds; an incremental one lists
// only what the device changed.  Either way a change the state already
// holds (delivered again after an interrupted run) is no change.
#include <algorithm>

#include "engine/gathered.h"
#include "engine/record_text.h"
#include "engine/state_store.h"

namespace morvane_engine {

using namespace morvane_host;

StateRow* Gathered::Row(int64_t rowId) {
    auto found = std::lower_bound(rows.begin(), rows.end(), rowId,
                                  [](const StateRow& row, int64_t id) { return row.rowId < id; });
    return found != rows.end() && found->rowId == rowId ? &*found : nullptr;
}

StateRow* Gathered::WithTexts(StateRow* row) {
    if (row != nullptr && store != nullptr && !store->LoadTexts(row) && textsError.empty()) textsError = store->error();
    return row;
}

void Gathered::KeepUnchanged(int64_t rowId, std::map<std::string, PcEntry>::iterator entry) {
    restamped.push_back(rowId);
    stamps[rowId] = entry->second.file;
    pc.erase(entry);
    pcChange.erase(rowId);
}

const HostRecord* Gathered::DeviceRecord(int32_t deviceId) const {
    auto found = deviceRecords.find(deviceId);
    return found == deviceRecords.end() ? nullptr : &found->second;
}

bool LoadGathered(int32_t section, StateStore& store, Gathered* g) {
    *g = Gathered();
    g->section = section;
    if (store.IsOpen() && !store.LoadRows(section, &g->rows)) return false;
    if (store.IsOpen()) g->store = &store;
    // Deletions the handheld has not shown it kept stand for no item.
    const auto deleted = std::stable_partition(g->rows.begin(), g->rows.end(), [](const StateRow& row) {
        return row.pending != Pending::kDeleteUnverified;
    });
    g->sentDeletions.assign(std::make_move_iterator(deleted), std::make_move_iterator(g->rows.end()));
    g->rows.erase(deleted, g->rows.end());
    IndexRows(g);
    return true;
}

void IndexRows(Gathered* g) {
    g->deviceIndex.clear();
    g->hrefIndex.clear();
    g->deviceIndex.reserve(g->rows.size());
    g->hrefIndex.reserve(g->rows.size());
    for (size_t i = 0; i < g->rows.size(); ++i) {
        if (g->rows[i].deviceId != 0) g->deviceIndex[g->rows[i].deviceId] = i;
        g->hrefIndex[g->rows[i].href] = i;
    }
}

namespace {

// How a record read from the device differs from what the state holds.
// lostSession: the handheld asked for a full read, as after a session it
// never closed, and so kept none of that session's writes.
void Compare(const HostRecord& record, bool lostSession, Gathered* g) {
    auto known = g->deviceIndex.find(record.id);
    if (known == g->deviceIndex.end()) {
        g->deviceNew.push_back(record.id);
        return;
    }
    StateRow& row = *g->WithTexts(&g->rows[known->second]);
    HostRecord stored;
    if (TextToRecord(row.deviceFields, &stored) && SameDeviceFields(g->section, stored, record)) return;
    HostRecord sent;
    if (row.pending == Pending::kWrite && !lostSession && TextToRecord(row.pendingFields, &sent) &&
        ShowsEveryChange(g->section, stored, sent, record)) {
        // The write of a session that ended before it was confirmed, kept
        // by the handheld: the state takes it as confirmed, with the PC item
        // it came from.  Edited on the handheld since, the record is a
        // change measured from that write.  A record that shows the value
        // from before of a field the write changed lost the write and was
        // edited on the handheld since: a change from the old base, which
        // meets the PC edit the write carried as a conflict.  So is every
        // record of a handheld that lost the session: one edited there
        // before it may show a field the write changed at a third value.
        const bool edited = !SameDeviceFields(g->section, sent, record);
        row.deviceFields = edited ? row.pendingFields : RecordToText(record);
        row.hash = row.pendingHash;
        row.pending = Pending::kNone;
        g->confirmed.push_back(row.rowId);
        if (!edited) return;
    }
    g->deviceChange[row.rowId] = Change::kChanged;
}

}  // namespace

void GatherDevice(DatabaseRecords read, bool full, Gathered* g) {
    g->deviceFull = full;
    // Every record read is compared with what the state holds.
    if (full && g->store != nullptr && !g->store->LoadTexts(g->section, &g->rows)) g->textsError = g->store->error();
    std::set<int32_t> present;
    for (HostRecord& record : read.records) {
        if (record.status == kStatusDeleted) {
            auto known = g->deviceIndex.find(record.id);
            if (known != g->deviceIndex.end()) g->deviceChange[g->rows[known->second].rowId] = Change::kDeleted;
            continue;
        }
        // A record listed twice (added and changed) is read once.
        if (!present.insert(record.id).second) continue;
        HostRecord& kept = g->deviceRecords[record.id];
        kept = std::move(record);
        g->deviceOrder.push_back(kept.id);
        Compare(kept, read.fullSync, g);
    }
    if (!full) return;
    for (const StateRow& row : g->rows)
        if (present.count(row.deviceId) == 0) g->deviceChange[row.rowId] = Change::kDeleted;
}

void SettleRestored(Gathered* g) {
    for (StateRow& row : g->rows) {
        if (row.pending != Pending::kRestored) continue;
        row.pending = Pending::kNone;
        row.hash = std::move(row.pendingHash);
        row.pendingHash.clear();
        const HostRecord* record = g->DeviceRecord(row.deviceId);
        // A record deleted since is a deletion like any other.
        if (record == nullptr || g->WithTexts(&row) == nullptr || !row.textsLoaded) continue;
        HostRecord stored;
        const bool same = TextToRecord(row.deviceFields, &stored) && SameDeviceFields(g->section, stored, *record);
        // The record is the base from now on, and no change of the handheld's.
        row.deviceFields = RecordToText(*record);
        g->deviceChange.erase(row.rowId);
        const auto change = g->pcChange.find(row.rowId);
        if (change == g->pcChange.end() || change->second != Change::kChanged) continue;
        const auto entry = g->pc.find(g->HrefNow(row));
        if (entry == g->pc.end() || entry->second.hash != row.hash || !same) continue;  // the item goes to the handheld
        g->KeepUnchanged(row.rowId, entry);  // put back as last synchronised, the item unchanged since
    }
}

}  // namespace morvane_engine
