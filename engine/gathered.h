// What the gather step learns of one database before anything is planned:
// the state rows, the device records read and how each row changed on the
// device, the PC items read and how each row changed on the PC, and the
// records and items the state does not know.
#ifndef MORVANE_ENGINE_GATHERED_H
#define MORVANE_ENGINE_GATHERED_H

#include <stdint.h>

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "bridge/device_session.h"
#include "engine/collection.h"
#include "engine/sync_plan.h"
#include "engine/sync_types.h"
#include "pim/pim.h"

namespace morvane_engine {

using morvane_host::DatabaseRecords;
using morvane_host::HostRecord;

// A PC item that was read: its file, text, device record and UID.
struct PcEntry {
    CollectionEntry file;
    morvane_pim::Item item;
    HostRecord record;
    std::string uid;
    std::string hash;
};

struct Gathered {
    int32_t section = 0;
    std::vector<StateRow> rows;             // in the order of their rowIds, as the state gives them
    std::unordered_map<int32_t, size_t> deviceIndex;  // device id -> index in rows
    // File name -> index in rows, keyed by the rows' own texts: made with
    // the rows, on the thread that reads them while the collection is
    // listed, for the scan of the PC side, its only reader (the rows may
    // move afterwards).
    std::unordered_map<std::string_view, size_t> hrefIndex;

    bool deviceFull = false;                 // every device record was read
    std::map<int32_t, HostRecord> deviceRecords;  // records read (not the deleted ones)
    std::vector<int32_t> deviceOrder;        // their ids in the order read
    std::map<int64_t, Change> deviceChange;  // rowId -> how the device changed it
    std::vector<int32_t> deviceNew;          // ids the state does not know
    std::vector<int64_t> confirmed;          // rows whose pending device write the handheld kept
    std::vector<StateRow> sentDeletions;     // records the last session deleted (Pending::kDeleteUnverified)

    std::map<std::string, PcEntry> pc;       // href -> items read
    std::map<int64_t, Change> pcChange;      // rowId -> how the PC changed it
    std::map<int64_t, std::string> pcHref;   // rowId -> the file it is in now, when it moved
    std::vector<std::string> pcNew;          // hrefs the state does not know
    std::vector<int64_t> restamped;          // rows whose file changed in nothing but its time
    std::vector<int64_t> dropped;            // rows whose record the handheld's id may no longer name
    std::map<int64_t, CollectionEntry> stamps;  // their new size and time
    std::vector<std::string> skipped;        // "file: reason" of items that cannot be read
    std::vector<std::string> warnings;       // what an item lost on its way to the device
    size_t foreign = 0;                      // files of another kind, left alone

    class StateStore* store = nullptr;       // where rows not yet needed keep their texts
    std::string textsError;                  // why a row's texts could not be read

    StateRow* Row(int64_t rowId);
    // The row with its device fields and item read from the state; when
    // that fails, textsError says why and the row keeps its texts unread.
    StateRow* WithTexts(StateRow* row);
    const HostRecord* DeviceRecord(int32_t deviceId) const;
    // The row's item, read as changed, is as last synchronised after all:
    // only its file's new time is stored, and the change is forgotten.
    void KeepUnchanged(int64_t rowId, std::map<std::string, PcEntry>::iterator entry);
    // The file the row's item is in now: another program may have renamed it.
    const std::string& HrefNow(const StateRow& row) const;
};

// Reads the state rows of the section (none from a store not open).
bool LoadGathered(int32_t section, class StateStore& store, Gathered* g);
// Indexes the rows by device id and by file name, anew.
void IndexRows(Gathered* g);
// The device side from an export: full (every record) or the device's
// change lists, each compared with the state.
void GatherDevice(DatabaseRecords read, bool full, Gathered* g);
// Rows a restore put back from a backup older than the last sync (their
// hash waiting in pendingHash): the record the handheld now holds becomes
// the row's device side and is no change of the handheld's, so that an
// item that differs from it, changed or not since, goes to the handheld.
// Needs the PC side gathered.
void SettleRestored(Gathered* g);
// The PC side: every item of the collection compared with the state, by
// size and time first, then by content hash.  False when the collection
// cannot be listed.
bool ScanPc(Collection& collection, const morvane_pim::Settings& settings, Gathered* g, std::string* error);
// The same for the files the collection's List gave.
void ScanListed(Collection& collection, const std::vector<CollectionEntry>& files,
                const morvane_pim::Settings& settings, Gathered* g);
// At a full read the adapter asked for, its handheld's pairing time behind
// this PC's: the rows the last session wrote (Pending::kUnverified)
// whose record shows none of the write, or whose added record is not
// there, were lost with a session the handheld never closed (a cable
// pulled, a handheld that lost power).  Each goes back to what the two
// sides agreed before it, so that its PC item, changed against that, is
// sent again; a handheld edit made since meets it as a change of its
// own.  A record the last session deleted that is there still, as it was,
// is deleted again.  Reads the items the scan did not; false when the
// collection cannot be listed.
bool RedoLostWrites(Collection& collection, const morvane_pim::Settings& settings, Gathered* g, std::string* error);
// After a renewed pairing, whose handheld may have been reset and given
// the ids of the state's records to new ones: unless it still holds most
// of the records the state pairs, a row whose record is gone, or whose id
// now holds a record unlike it (LikelySameRecord), is dropped, its item
// and that record new on their sides, to be matched by content or sent
// across; nothing is deleted on either side for it.  Reads the items of
// dropped rows that the scan did not; false when the collection cannot be
// listed.
bool DistrustDeviceIds(Collection& collection, const morvane_pim::Settings& settings, Gathered* g,
                       std::string* error);
// Rows whose file is gone while a new file holds their UID: renamed by
// another program, they count as changed in the new file (pcHref).
void FollowRenames(Gathered* g);
// Whether the row's change on the PC is only that rename, its content as
// last synchronised.
bool RenamedOnly(Gathered* g, int64_t rowId);
// The planner's view of what was gathered (renames followed).
PlanInput MakePlanInput(Gathered* g, ConflictPolicy policy);

}  // namespace morvane_engine

#endif
