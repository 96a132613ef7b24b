// The device side of the apply step: the plan's device changes in one
// import pass (deletions, changes, then additions), and the state told of
// every record the device took.  New records that went into the adapter's
// bulk write of a first synchronisation get their ids only when the bulk
// write runs, at the end of the pass: the device is then read again and
// the new records are recognised by content (in the order written when
// content does not tell).
#include <map>

#include "engine/abort_hook.h"
#include "engine/record_text.h"
#include "engine/sync_apply.h"

namespace morvane_engine {

using namespace morvane_host;

namespace {

struct Sent {
    const Action* action;
    std::string href;  // the PC item sent, empty for a deletion
};

bool Fail(ApplyContext& c, const std::string& error) {
    c.error = error;
    return false;
}

// The state row of a record the device took, pending until the session
// closes: it keeps the hash and device fields agreed before, and a size
// that makes the next scan read the file, so that if the handheld lost the
// write the next sync makes it again, and if it kept it the next sync finds
// both sides in agreement.
bool RecordTaken(ApplyContext& c, const Sent& sent, const HostRecord& record, int32_t deviceId) {
    const Action& action = *sent.action;
    StateRow fresh;
    fresh.section = c.g->section;
    StateRow* row = action.rowId != 0 ? c.g->Row(action.rowId) : &fresh;
    if (action.kind == ActionKind::kDeviceDelete) {
        ++c.summary->deviceDeleted;
        row->pending = Pending::kDelete;
        return c.store->PutRow(row) || Fail(c, c.store->error());
    }
    const PcEntry& pc = c.g->pc[sent.href];
    row->href = sent.href;
    if (!pc.uid.empty()) row->uid = pc.uid;
    row->item = pc.item.text;
    row->size = -1;
    row->mtime = pc.file.mtime;
    row->folder = pc.file.folder;
    row->seen = pc.file.seen;
    if (row->deviceId != deviceId) row->deviceFields.clear();
    row->deviceId = deviceId;
    row->pending = Pending::kWrite;
    row->pendingHash = pc.hash;
    row->pendingFields = RecordToText(morvane_pim::AsWritten(c.g->section, record));
    if (action.kind == ActionKind::kDeviceAdd) ++c.summary->deviceAdded;
    else ++c.summary->deviceChanged;
    return c.store->PutRow(row) || Fail(c, c.store->error());
}

// Reads the device again and pairs the records it did not have before with
// the additions sent, by content first and then in order.
bool LearnBulkIds(ApplyContext& c, const std::vector<Sent>& sent, const std::vector<HostRecord>& records,
                  const std::vector<size_t>& adds) {
    DatabaseRecords all;
    if (!c.session->Export(*c.database, 0, ChangeLists::kKeep, &all)) {
        c.deviceFailed = true;
        return Fail(c, c.session->error());
    }
    c.rereadDone = true;
    std::set<int32_t> known;
    const std::set<int64_t> dropped(c.g->dropped.begin(), c.g->dropped.end());  // their ids name nothing of theirs
    for (const StateRow& row : c.g->rows) {
        // The id of a record gone from the handheld may be given to a new one.
        const auto change = c.g->deviceChange.find(row.rowId);
        const bool gone = change != c.g->deviceChange.end() && change->second == Change::kDeleted;
        if (dropped.count(row.rowId) == 0 && !gone) known.insert(row.deviceId);
    }
    for (const auto& record : c.g->deviceRecords) known.insert(record.first);
    std::multimap<std::string, size_t> fresh;  // match key -> index in all.records
    std::vector<size_t> order;
    for (size_t i = 0; i < all.records.size(); ++i) {
        if (known.count(all.records[i].id) != 0) continue;
        fresh.emplace(morvane_pim::MatchKey(c.g->section, all.records[i]), i);
        order.push_back(i);
    }
    std::set<size_t> taken;
    std::vector<size_t> unmatched;
    for (size_t add : adds) {
        auto found = fresh.find(morvane_pim::MatchKey(c.g->section, records[add]));
        if (found == fresh.end()) {
            unmatched.push_back(add);
            continue;
        }
        const HostRecord& record = all.records[found->second];
        taken.insert(found->second);
        fresh.erase(found);
        if (!RecordTaken(c, sent[add], record, record.id)) return false;
    }
    size_t next = 0;
    for (size_t add : unmatched) {
        while (next < order.size() && taken.count(order[next]) != 0) ++next;
        if (next == order.size()) {
            c.retryNextTime = true;  // not written: it goes again next time
            continue;
        }
        const HostRecord& record = all.records[order[next++]];
        if (!RecordTaken(c, sent[add], record, record.id)) return false;
    }
    return true;
}

// The records of the import pass, in the order deletions, changes, additions.
void BuildImport(ApplyContext& c, const Plan& plan, std::vector<Sent>* sent, std::vector<HostRecord>* records) {
    std::vector<const Action*> actions;
    for (const Action& action : plan.actions) actions.push_back(&action);
    for (const Action& action : c.writeBack) actions.push_back(&action);
    for (ActionKind kind : {ActionKind::kDeviceDelete, ActionKind::kDeviceUpdate, ActionKind::kDeviceAdd}) {
        for (const Action* each : actions) {
            const Action& action = *each;
            if (action.kind != kind) continue;
            HostRecord record;
            if (kind == ActionKind::kDeviceDelete) {
                record.id = c.g->Row(action.rowId)->deviceId;
                record.action = "delete";
                sent->push_back({&action, ""});
            } else {
                record = c.g->pc[action.href].record;
                record.id = kind == ActionKind::kDeviceUpdate ? c.g->Row(action.rowId)->deviceId : 0;
                record.action = kind == ActionKind::kDeviceUpdate ? "change" : "add";
                sent->push_back({&action, action.href});
            }
            records->push_back(record);
        }
    }
}

}  // namespace

bool ApplyDeviceSide(ApplyContext& c, const Plan& plan) {
    std::vector<Sent> sent;
    std::vector<HostRecord> records;
    BuildImport(c, plan, &sent, &records);
    // An import pass also takes the device's change lists when it ends,
    // now that the state holds every change they listed; with nothing to
    // write, an empty pass does only that.
    std::vector<ImportResult> results;
    const bool imported = c.session->Import(*c.database, records, &results);
    if (!imported) {
        c.deviceFailed = true;
        c.error = c.session->error();
    }
    AbortPoint("device-imported");
    if (!c.store->Begin()) return Fail(c, c.store->error());
    std::vector<size_t> adds;
    for (size_t i = 0; i < results.size(); ++i) {
        if (!results[i].ok) break;
        if (sent[i].action->kind == ActionKind::kDeviceAdd && c.bulkPossible) {
            adds.push_back(i);
            continue;
        }
        if (!RecordTaken(c, sent[i], records[i], results[i].deviceId)) {
            c.store->Rollback();
            return false;
        }
    }
    if (!adds.empty() && !LearnBulkIds(c, sent, records, adds)) {
        c.store->Commit();
        return false;
    }
    if (!c.store->Commit()) return Fail(c, c.store->error());
    AbortPoint("device-committed");
    return imported;
}

}  // namespace morvane_engine
