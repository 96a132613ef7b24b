#include "engine/sync_apply.h"

#include "engine/abort_hook.h"
#include "engine/batch_commit.h"
#include "engine/new_items.h"
#include "engine/record_text.h"

namespace morvane_engine {

using namespace morvane_host;
using morvane_pim::Item;

namespace {

// Changes handed to the committer as one batch: its files flushed
// together, then its state committed in one transaction.  An
// interruption redoes at most the writes of three batches: one being
// written, one going to disk, one whose state is being committed.
constexpr size_t kChangesPerCommit = 1024;

void SetPcSide(StateRow* row, const std::string& href, const std::string& uid, const Item& item,
               const CollectionEntry& file, const std::string* hash = nullptr) {
    row->href = href;
    if (!uid.empty()) row->uid = uid;
    row->item = item.text;
    row->hash = hash != nullptr ? *hash : morvane_pim::ContentHash(row->section, item);
    row->size = file.size;
    row->mtime = file.mtime;
    row->folder = file.folder;
    row->seen = file.seen;
}

void SetDeviceSide(StateRow* row, int32_t deviceId, const HostRecord& record) {
    row->deviceId = deviceId;
    row->deviceFields = RecordToText(record);
}

// A new item's own record text, made when it was converted.
void SetDeviceSide(StateRow* row, int32_t deviceId, NewItem* converted) {
    row->deviceId = deviceId;
    row->deviceFields = std::move(converted->recordText);
}

Item BaseOf(const StateRow& row) {
    Item base;
    base.text = row.item;
    base.folder = row.folder;
    base.seen = row.seen;
    return base;
}

bool Fail(ApplyContext& c, const std::string& error) {
    c.error = error;
    return false;
}

PcCounts CountsOf(const DatabaseSummary& s) { return PcCounts{s.pcAdded, s.pcChanged, s.pcDeleted}; }

// The PC side's counts as the state holds them committed: a failure
// undoes what came after, and the closing table does not count it.
bool Undone(ApplyContext& c, const PcCounts& committed) {
    c.summary->pcAdded = committed.added;
    c.summary->pcChanged = committed.changed;
    c.summary->pcDeleted = committed.deleted;
    return false;
}

// The files written since the last batch and the state changes that
// describe them go to the committer.
bool Hand(ApplyContext& c) {
    return c.batch->Hand(c.collection->TakeWrites(), CountsOf(*c.summary)) || Fail(c, c.batch->error());
}

bool Put(ApplyContext& c, const StateRow& row) {
    c.batch->PutRow(row);
    return true;
}

bool Forget(ApplyContext& c, int64_t rowId) {
    c.batch->DeleteRow(rowId);
    return true;
}

bool WriteItem(ApplyContext& c, const std::string& href, const Item& item, CollectionEntry* written) {
    std::string error;
    if (!c.collection->Write(href, item, written, &error)) return Fail(c, error);
    AbortPoint("pc-write");
    return true;
}

std::string Named(ApplyContext& c, const HostRecord& record) {
    const std::string label = RecordLabel(c.g->section, record, c.settings->deviceCharset);
    return label.empty() ? std::string("(untitled)") : "\"" + label + "\"";
}

bool PcAdd(ApplyContext& c, int32_t deviceId, NewItem* n) {
    if (!n->converted) {
        c.summary->lines.push_back("device record " + std::to_string(deviceId) + " left on the handheld: " +
                                   n->problem);
        ++c.summary->skipped;
        c.retryNextTime = true;
        return true;
    }
    const std::string href = c.collection->NewHref(n->uid);
    CollectionEntry written;
    if (!WriteItem(c, href, n->item, &written)) return false;
    StateRow row;
    row.section = c.g->section;
    SetPcSide(&row, href, n->uid, n->item, written, &n->hash);
    SetDeviceSide(&row, deviceId, n);
    ++c.summary->pcAdded;
    c.batch->PutRow(std::move(row));
    return true;
}

// The device record merged into base; an item that cannot be merged into
// is made anew from the record.
bool MergedItem(ApplyContext& c, const StateRow& row, const Item& base, const HostRecord& record, Item* merged) {
    morvane_pim::Problem problem;
    HostRecord stored;
    const HostRecord* lastSynced =
        !row.deviceFields.empty() && TextToRecord(row.deviceFields, &stored) ? &stored : nullptr;
    if (morvane_pim::MergeRecord(c.g->section, base, record, *c.settings, merged, &problem, lastSynced))
        return true;
    return morvane_pim::RecordToItem(c.g->section, record, row.uid, *c.settings, merged, &problem) ||
           Fail(c, "cannot convert device record " + std::to_string(row.deviceId) + ": " + problem.reason);
}

// Whether the row's file is as this sync found it when it scanned the PC
// side.  Another program (a calendar server's sync, an editor) may have
// written it since, while the handheld was read: its change must not be
// overwritten or deleted unseen.  Otherwise the row is left as it is, and
// the next sync, reading every record, meets both changes.
bool StillAsScanned(ApplyContext& c, const StateRow& row) {
    const std::string href = c.g->HrefNow(row);
    const auto pcChange = c.g->pcChange.find(row.rowId);
    if (pcChange != c.g->pcChange.end() && pcChange->second == Change::kDeleted) return true;  // recreated
    const auto read = c.g->pc.find(href);
    const auto restamped = c.g->stamps.find(row.rowId);
    const CollectionEntry* seen = read != c.g->pc.end()           ? &read->second.file
                                  : restamped != c.g->stamps.end() ? &restamped->second
                                                                   : nullptr;
    if (c.collection->Unchanged(href, seen != nullptr ? seen->size : row.size, seen != nullptr ? seen->mtime : row.mtime))
        return true;
    c.summary->lines.push_back(href + " changed on the PC while this sync ran: left for the next one");
    ++c.summary->skipped;
    c.retryNextTime = true;
    return false;
}

// Whether the handheld would read a merged task otherwise than the record
// it sent (a repeating task done there, moved on to its next occurrence);
// entry then holds the item as the handheld is to get it.
bool MovedOn(ApplyContext& c, const std::string& href, const Item& merged, const HostRecord& record, PcEntry* entry) {
    if (c.g->section != morvane_host::kToDoSection) return false;
    std::vector<std::string> warnings;
    morvane_pim::Problem problem;
    return morvane_pim::ItemToRecord(c.g->section, merged, href, *c.settings, &entry->record, &entry->uid, &warnings,
                                     &problem) &&
           !SameDeviceFields(c.g->section, entry->record, record);
}

std::string MovedOnLine(ApplyContext& c, const StateRow& row, const HostRecord& record) {
    return "handheld gets " + c.g->HrefNow(row) + " / record " + std::to_string(row.deviceId) + " " + Named(c, record) +
           " moved on to its next occurrence";
}

// A merged task the handheld would read otherwise goes back to it in this
// sync's import pass.  Until the handheld confirms that write, the item
// counts as changed against the row, so that a write lost or never made is
// made next time.
void WriteBackIfChanged(ApplyContext& c, StateRow* row, const std::string& href, const Item& merged,
                        const CollectionEntry& written, const HostRecord& record) {
    PcEntry entry;
    if (!MovedOn(c, href, merged, record, &entry)) return;
    if (c.describe) c.summary->lines.push_back(MovedOnLine(c, *row, record));
    entry.file = written;
    entry.item = merged;
    entry.hash = row->hash;
    c.g->pc[href] = std::move(entry);
    row->hash.clear();
    row->size = -1;
    Action back;
    back.kind = ActionKind::kDeviceUpdate;
    back.rowId = row->rowId;
    back.href = href;
    c.writeBack.push_back(back);
}

// The device record merged into the last synchronised item, or into the
// PC's item as this sync read it when the PC's change left what the device
// holds as it was.
bool MergedForUpdate(ApplyContext& c, const StateRow& row, const Action& action, Item* merged) {
    const std::string href = c.g->HrefNow(row);
    return MergedItem(c, row, action.intoPcItem ? c.g->pc[href].item : BaseOf(row), *c.g->DeviceRecord(row.deviceId),
                      merged);
}

bool PcUpdate(ApplyContext& c, StateRow* row, const Action& action) {
    if (!StillAsScanned(c, *row)) return true;
    const HostRecord& record = *c.g->DeviceRecord(row->deviceId);
    const std::string href = c.g->HrefNow(*row);
    Item merged;
    if (!MergedForUpdate(c, *row, action, &merged)) return false;
    CollectionEntry written;
    if (!WriteItem(c, href, merged, &written)) return false;
    SetPcSide(row, href, "", merged, written);
    SetDeviceSide(row, row->deviceId, record);
    WriteBackIfChanged(c, row, href, merged, written, record);
    ++c.summary->pcChanged;
    if (action.conflict) c.summary->lines.push_back("conflict: " + Named(c, record) + ": the handheld's version won in " + href);
    return Put(c, *row);
}

bool PcDelete(ApplyContext& c, const StateRow& row) {
    if (!StillAsScanned(c, row)) return true;
    std::string error;
    if (!c.collection->Remove(c.g->HrefNow(row), &error)) return Fail(c, error);
    ++c.summary->pcDeleted;
    return Forget(c, row.rowId);
}

// Both sides hold the same item: the state learns the pair.
bool Link(ApplyContext& c, const Action& action) {
    StateRow fresh;
    fresh.section = c.g->section;
    StateRow* row = action.rowId != 0 ? c.g->Row(action.rowId) : &fresh;
    const int32_t deviceId = action.deviceId != 0 ? action.deviceId : row->deviceId;
    const PcEntry& pc = c.g->pc[action.href];
    SetPcSide(row, action.href, pc.uid, pc.item, pc.file);
    const HostRecord* record = c.g->DeviceRecord(deviceId);
    SetDeviceSide(row, deviceId, record != nullptr ? *record : pc.record);
    return Put(c, *row);
}

bool Refresh(ApplyContext& c, StateRow* row, const std::string& href) {
    const PcEntry& pc = c.g->pc[href];
    SetPcSide(row, href, pc.uid, pc.item, pc.file);
    return Put(c, *row);
}

// Keep-both: the device's version becomes a PC item of its own with a UID
// of its own, and the state row follows it; the PC's item goes to the
// device as a new record.
bool Split(ApplyContext& c, StateRow* row, const std::string& copyHref) {
    const HostRecord& record = *c.g->DeviceRecord(row->deviceId);
    const std::string original = c.g->HrefNow(*row);
    if (!copyHref.empty()) {
        const PcEntry& pc = c.g->pc[copyHref];
        SetPcSide(row, copyHref, pc.uid, pc.item, pc.file);
    } else {
        NewItem n = ConvertNewItem(c.g->section, row->deviceId, record, *c.settings);
        if (!n.converted)
            return Fail(c, "cannot convert device record " + std::to_string(row->deviceId) + ": " + n.problem);
        const std::string href = c.collection->NewHref(n.uid);
        CollectionEntry written;
        if (!WriteItem(c, href, n.item, &written)) return false;
        SetPcSide(row, href, n.uid, n.item, written, &n.hash);
        ++c.summary->pcAdded;
    }
    SetDeviceSide(row, row->deviceId, record);
    c.summary->lines.push_back("conflict: " + Named(c, record) + ": both versions kept, the PC's in " + original +
                               ", the handheld's in " + row->href);
    return Put(c, *row);
}

bool ApplyPcAction(ApplyContext& c, const Action& action, NewItemPipeline& converted, size_t index) {
    StateRow* row = action.rowId != 0 ? c.g->Row(action.rowId) : nullptr;
    switch (action.kind) {
        case ActionKind::kPcAdd: return PcAdd(c, action.deviceId, converted.At(index));
        case ActionKind::kPcUpdate: return PcUpdate(c, row, action);
        case ActionKind::kPcDelete: return PcDelete(c, *row);
        case ActionKind::kLink: return Link(c, action);
        case ActionKind::kForget: return Forget(c, row->rowId);
        case ActionKind::kRefresh: return Refresh(c, row, action.href);
        case ActionKind::kSplit: return Split(c, row, action.href);
        default: return true;
    }
}

// The plan's PC actions carried out, handed to the committer a batch at a
// time; the last batch waited for.
bool ApplyPcActions(ApplyContext& c, const Plan& plan) {
    for (int64_t rowId : c.g->dropped) Forget(c, rowId);
    // Files touched without a change: their new time spares reading them
    // next time.  Stored first, so that an action on the same row (the
    // handheld deleted the item, or changed it) has the last word.
    for (int64_t rowId : c.g->restamped) {
        StateRow* row = c.g->Row(rowId);
        const CollectionEntry& file = c.g->stamps[rowId];
        row->size = file.size;
        row->mtime = file.mtime;
        Put(c, *row);
    }
    size_t pending = 0, done = 0;
    NewItemPipeline converted(*c.g, *c.settings, plan);
    for (const Action& action : plan.actions) {
        c.progress->Tick(++done, plan.actions.size());
        if (!ApplyPcAction(c, action, converted, done - 1)) return false;
        if (++pending < kChangesPerCommit) continue;
        pending = 0;
        if (!Hand(c)) return false;
    }
    return Hand(c) && (c.batch->Finish() || Fail(c, c.batch->error()));
}

}  // namespace

void PreviewWriteBacks(ApplyContext& c, const Plan& plan) {
    for (const Action& action : plan.actions) {
        if (action.kind != ActionKind::kPcUpdate || c.g->section != morvane_host::kToDoSection) continue;
        const StateRow& row = *c.g->Row(action.rowId);
        const HostRecord& record = *c.g->DeviceRecord(row.deviceId);
        Item merged;
        PcEntry entry;
        if (!MergedForUpdate(c, row, action, &merged) || !MovedOn(c, c.g->HrefNow(row), merged, record, &entry))
            continue;
        c.summary->lines.push_back(MovedOnLine(c, row, record));
        ++c.summary->deviceChanged;
    }
}

bool ApplyPcSide(ApplyContext& c, const Plan& plan) {
    BatchCommitter batch(c.store, CountsOf(*c.summary));
    c.batch = &batch;
    const bool ok = ApplyPcActions(c, plan);
    batch.Finish();  // when an action failed, the batch in hand still lands
    c.batch = nullptr;
    if (!ok) return Undone(c, batch.committed());
    AbortPoint("pc-applied");
    return true;
}

}  // namespace morvane_engine
