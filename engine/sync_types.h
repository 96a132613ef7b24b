// What the sync engine's steps hand each other: the state of one
// synchronised item, the changes gathered on each side, and the settings
// a run is made with.
#ifndef MORVANE_ENGINE_SYNC_TYPES_H
#define MORVANE_ENGINE_SYNC_TYPES_H

#include <stdint.h>

#include <string>
#include <vector>

namespace morvane_engine {

// How a record changed on both sides since the last synchronisation is
// settled.
enum class ConflictPolicy : uint8_t {
    kKeepBoth,  // nothing is lost: each side's version becomes an item of its own on both sides
    kDevice,    // the handheld's version wins
    kPc,        // the PC's version wins
};

// kRestored: the record was put back from a backup made before the last
// sync, so it is no newer than the item (engine/store_mark.h).
// kUnverified: written in the last session, which closed; pendingHash and
// pendingFields keep what the two sides agreed before it, until a sync
// shows that the handheld kept the write (RedoLostWrites).
// kDeleteUnverified: the record was deleted in the last session, which
// closed; the row stays, out of the sync's view, until the next sync of
// its database shows whether the handheld kept the deletion.
enum class Pending : uint8_t {
    kNone = 0,
    kWrite = 1,
    kDelete = 2,
    kRestored = 3,
    kUnverified = 4,
    kDeleteUnverified = 5,
};

// One item as last synchronised: the device record and the PC item that
// stand for each other.
struct StateRow {
    int64_t rowId = 0;       // 0: not stored yet
    int32_t section = 0;
    int32_t deviceId = 0;    // 0: not on the device (yet)
    std::string href;        // the item's file name in its collection (mail: the message's unique name)
    std::string uid;
    std::string hash;        // pim::ContentHash of the item as last synchronised
    int64_t size = -1;       // the file's size and modification time when last seen
    int64_t mtime = 0;       // nanoseconds
    std::string deviceFields;  // the device record as last synchronised (RecordToText)
    std::string item;          // the item as last synchronised: the base of merges
    bool textsLoaded = true;   // false: the two above are still in the state only
    uint32_t folder = 0;       // mail: host folder and seen flag of the item
    bool seen = false;
    // A device write the handheld has not confirmed yet (it keeps what it
    // was sent only when the session closes).  Until then the row keeps
    // what the two sides agreed on before, so that a write the handheld
    // lost is made again and one it kept is recognised.
    Pending pending = Pending::kNone;
    std::string pendingHash;    // hash and device fields once confirmed
    std::string pendingFields;
};

// Per database, what the state knows of the last synchronisation.
struct DatabaseState {
    int32_t section = 0;
    int64_t lastSync = 0;      // when the last complete synchronisation ended (seconds), 0: never
    bool fullSyncDue = false;  // read every device record next time
    bool dirty = false;        // a synchronisation began changing things and did not finish
};

// How one side changed an item since the last synchronisation.
enum class Change : uint8_t { kNone, kChanged, kDeleted, kUnreadable };

}  // namespace morvane_engine

#endif
