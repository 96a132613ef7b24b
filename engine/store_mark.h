// What a restore of the handheld does to a store's sync state.  The records
// it puts back carry ids the state's pairs do not know, so before the first
// write the pairs are set aside and the store marked for a full read that
// matches the two sides by content (what an interrupted restore leaves).
// Once the handheld holds the backup, each pair follows its record to the
// id the handheld gave it, and only the items whose record the backup
// lacks are left to be matched by content.
#ifndef MORVANE_ENGINE_STORE_MARK_H
#define MORVANE_ENGINE_STORE_MARK_H

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/sync_types.h"

namespace morvane_engine {

// The pairs of a store's state as they stood before a restore.
struct SetAsidePairs {
    bool present = false;    // the store had a state
    int64_t lastSync = 0;    // when its last sync ended (seconds), 0: never
    std::vector<StateRow> rows;  // texts loaded
};

// What a restore did to one database of the handheld, in its link ids.
struct RestoredIds {
    uint32_t linkDb = 0;
    std::vector<uint32_t> kept;                       // records the handheld held and holds still
    std::vector<std::pair<uint32_t, uint32_t>> added;  // a backup record's id, the id the handheld gave it
};

// Sets every pair of the store's state aside into *pairs, forgets them and
// asks for a full read of every database next time, as for a store that
// was never synchronised; the pairing (device, collections) is kept.  A
// store without a state needs nothing.  Takes the store's lock; false with
// the reason in *error (another sync holds the store, the state cannot be
// opened or written).
bool MarkStoreForSlowSync(const std::string& store, SetAsidePairs* pairs, std::string* error);

// Puts back the pairs whose record the handheld still holds, or holds
// again under a new id (the pair follows it), and those of databases the
// restore left alone.  Any other pair's record is gone (deleted by the
// restore, or by a reset of the handheld before it) and is left out: its
// item is matched by content, or sent to the handheld, next time.  A backup made before the
// last sync (backupTime, seconds) holds no record newer than its item: a
// record it put back that differs from its item is taken for an older
// version, and the next sync gives the handheld the item.
bool ReturnPairs(const std::string& store, const SetAsidePairs& pairs, const std::vector<RestoredIds>& restored,
                 int64_t backupTime, std::string* error);

}  // namespace morvane_engine

#endif
