// The plan of one database's synchronisation: from what changed on each
// side since the last synchronisation to what is to be done, as a pure
// function of its input.  Items are named by state row, device record id
// and file name; the records and items themselves stay with the caller.
#ifndef MORVANE_ENGINE_SYNC_PLAN_H
#define MORVANE_ENGINE_SYNC_PLAN_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "engine/sync_types.h"

namespace morvane_engine {

// A synchronised item that changed on at least one side.
struct PlanRow {
    int64_t rowId = 0;
    std::string href;
    Change device = Change::kNone;  // kChanged or kDeleted
    Change pc = Change::kNone;      // kChanged, kDeleted or kUnreadable
    bool pcSameForDevice = false;   // the PC's change leaves what the device holds as it was
    bool converged = false;         // both sides changed to the same device fields
    std::string deviceKey;          // pim::MatchKey of the changed device record
    std::string pcKey;              // pim::MatchKey of the changed PC item
    bool pcMoved = false;           // the PC's change is only a new file name: the content is as synchronised
};

// A record or item the state does not know, with its match key.
struct PlanNewDevice {
    int32_t deviceId = 0;
    std::string key;
};
struct PlanNewPc {
    std::string href;
    std::string key;
};

struct PlanInput {
    std::vector<PlanRow> rows;
    std::vector<PlanNewDevice> deviceNew;
    std::vector<PlanNewPc> pcNew;
    ConflictPolicy policy = ConflictPolicy::kKeepBoth;
    size_t pcItems = 0;        // items on the PC, and records on the device,
    size_t deviceRecords = 0;  // before the synchronisation
};

enum class ActionKind : uint8_t {
    kPcAdd,         // deviceId: a new PC item from the device record
    kPcUpdate,      // rowId, deviceId: the device record merged into the last synchronised item (recreated if
                    // deleted), or with intoPcItem into the item as the PC holds it now
    kPcDelete,      // rowId: the PC item deleted
    kDeviceAdd,     // href (rowId when the item is synchronised already): a new device record from the PC item
    kDeviceUpdate,  // rowId, href: the device record changed to the PC item
    kDeviceDelete,  // rowId: the device record deleted
    kLink,          // rowId and/or deviceId and href: both sides agree; only the state learns it
    kForget,        // rowId: gone on both sides
    kRefresh,       // rowId: the PC item changed in nothing the device holds; the state learns it
    kSplit,         // rowId, deviceId, href (empty: a new one): keep-both, the device's version becomes its own item
};

struct Action {
    ActionKind kind = ActionKind::kLink;
    int64_t rowId = 0;
    int32_t deviceId = 0;
    std::string href;
    bool conflict = false;  // settled by the conflict policy
    bool intoPcItem = false;  // kPcUpdate: the PC's own change is one the device does not see, and is kept
};

struct Plan {
    std::vector<Action> actions;
    size_t pcDeletes = 0;
    size_t deviceDeletes = 0;
    size_t conflicts = 0;
    size_t deferred = 0;  // device changes not applied because the PC item cannot be read
    bool massDelete = false;  // the plan deletes more than half (and more than 5) of one side's items
};

Plan MakePlan(const PlanInput& input);

// More than 5 deleted, and more than half of the items.
bool ExceedsDeleteGuard(size_t deletes, size_t items);

}  // namespace morvane_engine

#endif
