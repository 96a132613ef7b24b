// The PC side of the gather step: every item of the collection against the
// state.  A file whose size and time (and, for mail, folder and flag) are
// as last synchronised is not read; one that was read counts as changed
// only when its content hash moved.  Files of another kind sharing the
// collection are left alone; files that cannot be read as items are
// skipped, with the reason, and never changed.
#include <ctype.h>

#include <algorithm>
#include <set>
#include <string_view>
#include <unordered_map>

#include "engine/gathered.h"
#include "engine/record_text.h"
#include "records/field_map.h"

namespace morvane_engine {

using namespace morvane_host;

namespace {

// The component that makes an item one of the section's, for collections
// that several sections (or other programs) share.
struct SectionKind {
    int32_t section;
    const char* begin;  // "BEGIN:VTODO"; null: any item
};

static const SectionKind kKinds[] = {
    // 0
    {kAddressSection,  "BEGIN:VCARD"},
    {kScheduleSection, "BEGIN:VEVENT"},
    {kToDoSection,     "BEGIN:VTODO"},
    {kMemoSection,     "BEGIN:VJOURNAL"},
    {kMailSection,     nullptr},
};

bool ContainsNoCase(const std::string& text, const char* needle) {
    const std::string n(needle);
    auto found = std::search(text.begin(), text.end(), n.begin(), n.end(),
                             [](char a, char b) { return toupper(static_cast<unsigned char>(a)) == b; });
    return found != text.end();
}

// Whether the item belongs to another section or program (a contact
// group among the contacts, too).  An empty or unreadable file is not
// foreign: it is reported.
bool IsForeign(int32_t section, const std::string& text) {
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) return false;
    if (section == kAddressSection && morvane_pim::IsContactGroup(text)) return true;
    for (const SectionKind& kind : kKinds) {
        if (kind.section != section || kind.begin == nullptr) continue;
        if (ContainsNoCase(text, kind.begin)) return false;
        // An iCalendar item of another component belongs to another section;
        // anything else is malformed for this one.
        return ContainsNoCase(text, "BEGIN:VCALENDAR") &&
               (ContainsNoCase(text, "BEGIN:VEVENT") || ContainsNoCase(text, "BEGIN:VTODO") ||
                ContainsNoCase(text, "BEGIN:VJOURNAL"));
    }
    return false;
}

bool StampsEqual(const StateRow& row, const CollectionEntry& file, int32_t section) {
    if (row.size != file.size || row.mtime != file.mtime) return false;
    return section != kMailSection || (row.folder == file.folder && row.seen == file.seen);
}

enum class Read { kUnchanged, kChanged, kForeign, kSkipped };

// Reads and converts one file; *entry gets what was read.
Read ReadEntry(Collection& collection, const CollectionEntry& file, const StateRow* row,
               const morvane_pim::Settings& settings, Gathered* g, PcEntry* entry) {
    std::string error;
    entry->file = file;
    if (!collection.Read(file, &entry->item, &error)) {
        g->skipped.push_back(collection.PathOf(file) + ": " + error);
        return Read::kSkipped;
    }
    if (IsForeign(g->section, entry->item.text)) return Read::kForeign;
    entry->hash = morvane_pim::ContentHash(g->section, entry->item);
    if (row != nullptr && entry->hash == row->hash) return Read::kUnchanged;
    morvane_pim::Problem problem;
    std::vector<std::string> warnings;
    if (!morvane_pim::ItemToRecord(g->section, entry->item, file.href, settings, &entry->record, &entry->uid,
                                   &warnings, &problem)) {
        problem.name = collection.PathOf(file);
        g->skipped.push_back(problem.ToString());
        return Read::kSkipped;
    }
    for (const std::string& warning : warnings) g->warnings.push_back(warning);
    return Read::kChanged;
}

}  // namespace

bool ScanPc(Collection& collection, const morvane_pim::Settings& settings, Gathered* g, std::string* error) {
    std::vector<CollectionEntry> files;
    if (!collection.List(&files, error)) return false;
    ScanListed(collection, files, settings, g);
    return true;
}

void ScanListed(Collection& collection, const std::vector<CollectionEntry>& files,
                const morvane_pim::Settings& settings, Gathered* g) {
    // The rows stay where they are meanwhile, and with them the texts the
    // index is keyed by.
    std::unordered_map<std::string_view, size_t>& byHref = g->hrefIndex;
    if (byHref.empty())
        for (size_t i = 0; i < g->rows.size(); ++i) byHref[g->rows[i].href] = i;
    std::vector<bool> present(g->rows.size());
    for (const CollectionEntry& file : files) {
        auto known = byHref.find(file.href);
        const StateRow* row = known == byHref.end() ? nullptr : &g->rows[known->second];
        if (row != nullptr && StampsEqual(*row, file, g->section)) {
            present[known->second] = true;
            continue;
        }
        PcEntry entry;
        const Read read = ReadEntry(collection, file, row, settings, g, &entry);
        if (read == Read::kForeign) {
            ++g->foreign;
            continue;
        }
        if (row == nullptr) {
            if (read == Read::kChanged) {
                g->pcNew.push_back(file.href);
                g->pc[file.href] = std::move(entry);
            }
            continue;
        }
        present[known->second] = true;
        if (read == Read::kUnchanged) {
            g->restamped.push_back(row->rowId);
            g->stamps[row->rowId] = file;
        } else if (read == Read::kSkipped) {
            g->pcChange[row->rowId] = Change::kUnreadable;
        } else {
            g->pcChange[row->rowId] = Change::kChanged;
            g->pc[file.href] = std::move(entry);
        }
    }
    for (size_t i = 0; i < g->rows.size(); ++i)
        if (!present[i]) g->pcChange[g->rows[i].rowId] = Change::kDeleted;
}

// A deleted item whose UID turns up in a new file was renamed by another
// program: it changed, and lives in the new file from now on.
void FollowRenames(Gathered* g) {
    std::map<std::string, std::string> newByUid;
    for (const std::string& href : g->pcNew) newByUid.emplace(g->pc[href].uid, href);
    for (auto& change : g->pcChange) {
        if (change.second != Change::kDeleted) continue;
        const StateRow* row = g->Row(change.first);
        auto found = row->uid.empty() ? newByUid.end() : newByUid.find(row->uid);
        if (found == newByUid.end()) continue;
        change.second = Change::kChanged;
        g->pcHref[row->rowId] = found->second;
        g->pcNew.erase(std::remove(g->pcNew.begin(), g->pcNew.end(), found->second), g->pcNew.end());
        newByUid.erase(found);
    }
}

const std::string& Gathered::HrefNow(const StateRow& row) const {
    const auto moved = pcHref.find(row.rowId);
    return moved != pcHref.end() ? moved->second : row.href;
}

namespace {

// The row's item is read again: its file's new time alone is no longer
// all the sync stores for it.
void NotRestamped(Gathered* g, int64_t rowId) {
    g->restamped.erase(std::remove(g->restamped.begin(), g->restamped.end(), rowId), g->restamped.end());
}

// The row's side on the PC, now that it is dropped: a changed item is new;
// an unchanged one goes into *unread, to be read.
void DropPcSide(Gathered* g, const StateRow& row, std::set<std::string>* unread) {
    const auto change = g->pcChange.find(row.rowId);
    if (change == g->pcChange.end()) {
        unread->insert(g->HrefNow(row));
    } else {
        if (change->second == Change::kChanged) g->pcNew.push_back(g->HrefNow(row));
        g->pcChange.erase(change);
    }
    NotRestamped(g, row.rowId);
}

// Whether the row's id holds its record still: as last synchronised, or
// edited without becoming another record.
bool StillItsRecord(Gathered* g, StateRow& row) {
    const auto change = g->deviceChange.find(row.rowId);
    if (change == g->deviceChange.end()) return true;
    if (change->second != Change::kChanged) return false;
    HostRecord stored;
    const HostRecord* now = g->DeviceRecord(row.deviceId);
    return TextToRecord(g->WithTexts(&row)->deviceFields, &stored) && now != nullptr &&
           LikelySameRecord(g->section, stored, *now);
}

// Reads the items named that the scan did not: new ones, or changed
// against their rows.
bool ReadUnread(Collection& collection, const morvane_pim::Settings& settings, const std::set<std::string>& unread,
                bool asNew, Gathered* g, std::string* error) {
    if (unread.empty()) return true;
    std::vector<CollectionEntry> files;
    if (!collection.List(&files, error)) return false;
    for (const CollectionEntry& file : files) {
        if (unread.count(file.href) == 0) continue;
        PcEntry entry;
        const auto known = asNew ? g->hrefIndex.end() : g->hrefIndex.find(file.href);
        const StateRow* row = known == g->hrefIndex.end() ? nullptr : &g->rows[known->second];
        if (ReadEntry(collection, file, row, settings, g, &entry) != Read::kChanged) continue;
        if (row != nullptr) g->pcChange[row->rowId] = Change::kChanged;
        else g->pcNew.push_back(file.href);
        g->pc[file.href] = std::move(entry);
    }
    return true;
}

// Whether the handheld lost the write the row holds unverified.
bool LostTheWrite(Gathered* g, StateRow& row) {
    const HostRecord* now = g->DeviceRecord(row.deviceId);
    if (row.pendingFields.empty()) return now == nullptr;  // an addition
    HostRecord before, written;
    return now != nullptr && TextToRecord(row.pendingFields, &before) &&
           TextToRecord(g->WithTexts(&row)->deviceFields, &written) &&
           !ShowsEveryChange(g->section, before, written, *now);
}

// Whether the handheld lost the deletion: the record is there still, as
// it was, and nothing else took its id or its item's file name.
bool LostTheDeletion(Gathered* g, StateRow& row) {
    const HostRecord* now = g->DeviceRecord(row.deviceId);
    if (now == nullptr || g->deviceIndex.count(row.deviceId) != 0 || g->pc.count(row.href) != 0) return false;
    HostRecord before;
    return TextToRecord(g->WithTexts(&row)->deviceFields, &before) && SameDeviceFields(g->section, before, *now);
}

// A deletion the handheld lost becomes the row's again: its item gone from
// the PC, the record is deleted anew rather than taken for a new one.
void RedoLostDeletions(Gathered* g) {
    const size_t before = g->rows.size();
    for (StateRow& row : g->sentDeletions) {
        if (!LostTheDeletion(g, row)) continue;
        g->deviceNew.erase(std::remove(g->deviceNew.begin(), g->deviceNew.end(), row.deviceId), g->deviceNew.end());
        g->pcChange[row.rowId] = Change::kDeleted;
        row.pending = Pending::kNone;
        g->rows.push_back(std::move(row));
    }
    if (g->rows.size() == before) return;
    g->sentDeletions.clear();
    std::sort(g->rows.begin(), g->rows.end(), [](const StateRow& a, const StateRow& b) { return a.rowId < b.rowId; });
    IndexRows(g);
}

}  // namespace

bool RedoLostWrites(Collection& collection, const morvane_pim::Settings& settings, Gathered* g, std::string* error) {
    std::set<std::string> unread;
    for (StateRow& row : g->rows) {
        if (row.pending != Pending::kUnverified || !LostTheWrite(g, row)) continue;
        g->WithTexts(&row);
        row.deviceFields = std::move(row.pendingFields);
        row.hash = std::move(row.pendingHash);
        row.pending = Pending::kNone;
        row.pendingFields.clear();
        row.pendingHash.clear();
        // A record as agreed before is no change of the handheld's; one
        // edited since is a change from there.
        HostRecord before;
        const HostRecord* now = g->DeviceRecord(row.deviceId);
        if (now != nullptr && TextToRecord(row.deviceFields, &before) && SameDeviceFields(g->section, before, *now))
            g->deviceChange.erase(row.rowId);
        if (g->pcChange.count(row.rowId) != 0) continue;
        unread.insert(g->HrefNow(row));
        NotRestamped(g, row.rowId);
    }
    if (!ReadUnread(collection, settings, unread, false, g, error)) return false;
    RedoLostDeletions(g);
    return true;
}

bool DistrustDeviceIds(Collection& collection, const morvane_pim::Settings& settings, Gathered* g,
                       std::string* error) {
    // A handheld that holds most of the records the state pairs kept its
    // ids (a session cut short, a pairing renewed with another PC): a
    // record gone from it was deleted there.
    size_t paired = 0;
    std::vector<StateRow*> lost;
    for (StateRow& row : g->rows) {
        if (row.deviceId == 0) continue;
        ++paired;
        if (!StillItsRecord(g, row)) lost.push_back(&row);
    }
    if (2 * (paired - lost.size()) > paired) return true;
    std::set<std::string> unread;
    for (StateRow* found : lost) {
        StateRow& row = *found;
        const auto change = g->deviceChange.find(row.rowId);
        if (change->second == Change::kChanged) g->deviceNew.push_back(row.deviceId);
        g->deviceChange.erase(change);
        g->deviceIndex.erase(row.deviceId);
        g->dropped.push_back(row.rowId);
        DropPcSide(g, row, &unread);
    }
    return ReadUnread(collection, settings, unread, true, g, error);
}

// Whether a PC item's record says what a device record says, as far as the
// handheld can take it from the PC.  The adapter stores some fields its own
// way whatever it is sent (SilentLoud always 1, a mail's Type after its
// folder), so a record the PC wrote differs there from the item it came
// from, and a record the handheld kept its own way (a mail filed there
// keeps its Type) from one the PC would write: those fields are compared
// as the adapter would store them.
bool PcSaysTheSame(int32_t section, const HostRecord& device, const HostRecord& pc) {
    return SameDeviceFields(section, morvane_pim::AsWritten(section, device), morvane_pim::AsWritten(section, pc));
}

bool RenamedOnly(Gathered* g, int64_t rowId) {
    const StateRow& row = *g->Row(rowId);
    return g->pcHref.count(rowId) != 0 && g->pc[g->HrefNow(row)].hash == row.hash;
}

PlanInput MakePlanInput(Gathered* g, ConflictPolicy policy) {
    FollowRenames(g);
    PlanInput input;
    input.policy = policy;
    input.pcItems = g->rows.size();
    input.deviceRecords = g->rows.size();
    std::set<int64_t> changed;
    for (const auto& change : g->deviceChange) changed.insert(change.first);
    for (const auto& change : g->pcChange) changed.insert(change.first);
    for (int64_t rowId : changed) {
        // Every row planned may be merged into or rewritten: its texts are read now.
        const StateRow& row = *g->WithTexts(g->Row(rowId));
        PlanRow plan;
        plan.rowId = rowId;
        plan.href = g->HrefNow(row);
        plan.device = g->deviceChange.count(rowId) != 0 ? g->deviceChange[rowId] : Change::kNone;
        plan.pc = g->pcChange.count(rowId) != 0 ? g->pcChange[rowId] : Change::kNone;
        const HostRecord* device = plan.device == Change::kChanged ? g->DeviceRecord(row.deviceId) : nullptr;
        const PcEntry* pc = plan.pc == Change::kChanged ? &g->pc[plan.href] : nullptr;
        if (device != nullptr) plan.deviceKey = morvane_pim::MatchKey(g->section, *device);
        if (pc != nullptr) {
            plan.pcMoved = RenamedOnly(g, rowId);
            plan.pcKey = morvane_pim::MatchKey(g->section, pc->record);
            HostRecord stored;
            plan.pcSameForDevice = TextToRecord(row.deviceFields, &stored) && PcSaysTheSame(g->section, stored, pc->record);
        }
        if (device != nullptr && pc != nullptr) plan.converged = PcSaysTheSame(g->section, *device, pc->record);
        input.rows.push_back(plan);
    }
    // A new record's key is only ever looked up by the other side's new or
    // changed items: a first sync into an empty store needs none.
    const bool deviceKeys = !g->pcNew.empty() || !g->pcChange.empty();
    const bool pcKeys = !g->deviceNew.empty() || !g->deviceChange.empty();
    for (int32_t id : g->deviceNew)
        input.deviceNew.push_back({id, deviceKeys ? morvane_pim::MatchKey(g->section, g->deviceRecords[id]) : ""});
    for (const std::string& href : g->pcNew)
        input.pcNew.push_back({href, pcKeys ? morvane_pim::MatchKey(g->section, g->pc[href].record) : ""});
    return input;
}

}  // namespace morvane_engine
