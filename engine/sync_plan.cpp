#include "engine/sync_plan.h"

#include <map>
#include <set>

namespace morvane_engine {

namespace {

// Records or items waiting for a partner, by match key; each is taken
// once, the first with a key first.
template <typename Value>
class Pool {
public:
    void Add(const std::string& key, const Value& value) { byKey_.emplace(key, value); }
    bool Take(const std::string& key, Value* value) {
        auto found = byKey_.find(key);
        if (found == byKey_.end()) return false;
        *value = found->second;
        byKey_.erase(found);
        return true;
    }

private:
    std::multimap<std::string, Value> byKey_;
};

Action Make(ActionKind kind, int64_t rowId, int32_t deviceId, const std::string& href, bool conflict = false) {
    Action action;
    action.kind = kind;
    action.rowId = rowId;
    action.deviceId = deviceId;
    action.href = href;
    action.conflict = conflict;
    return action;
}

// Both sides changed the item, differently.
void PlanConflict(const PlanRow& row, ConflictPolicy policy, Pool<std::string>* pcNew, Plan* plan) {
    ++plan->conflicts;
    if (policy == ConflictPolicy::kDevice) {
        plan->actions.push_back(Make(ActionKind::kPcUpdate, row.rowId, 0, "", true));
    } else if (policy == ConflictPolicy::kPc) {
        plan->actions.push_back(Make(ActionKind::kDeviceUpdate, row.rowId, 0, row.href, true));
    } else {
        // The device record keeps the device's version and gets a PC item of
        // its own; the PC item goes to the device as a new record.  A copy
        // an interrupted run already wrote is taken rather than made again.
        std::string copy;
        pcNew->Take(row.deviceKey, &copy);
        plan->actions.push_back(Make(ActionKind::kSplit, row.rowId, 0, copy, true));
        plan->actions.push_back(Make(ActionKind::kDeviceAdd, 0, 0, row.href, true));
    }
}

void PlanRowChange(const PlanRow& row, ConflictPolicy policy, Pool<int32_t>* deviceNew, Pool<std::string>* pcNew,
                   Plan* plan) {
    const Change d = row.device;
    Change p = row.pc;
    if (row.pcMoved) {
        // Another program gave the item a new file name and nothing else:
        // not a change that meets the device's, only one the state learns.
        if (d == Change::kNone) {
            plan->actions.push_back(Make(ActionKind::kRefresh, row.rowId, 0, row.href));
            return;
        }
        p = Change::kNone;
    }
    if (p == Change::kUnreadable) {
        if (d != Change::kNone) ++plan->deferred;
        return;
    }
    if (d == Change::kChanged && p == Change::kNone) {
        plan->actions.push_back(Make(ActionKind::kPcUpdate, row.rowId, 0, ""));
    } else if (d == Change::kDeleted && p == Change::kNone) {
        plan->actions.push_back(Make(ActionKind::kPcDelete, row.rowId, 0, ""));
    } else if (d == Change::kNone && p == Change::kChanged) {
        plan->actions.push_back(Make(row.pcSameForDevice ? ActionKind::kRefresh : ActionKind::kDeviceUpdate, row.rowId,
                                     0, row.href));
    } else if (d == Change::kNone && p == Change::kDeleted) {
        plan->actions.push_back(Make(ActionKind::kDeviceDelete, row.rowId, 0, ""));
    } else if (d == Change::kChanged && p == Change::kChanged) {
        if (row.converged) {
            plan->actions.push_back(Make(ActionKind::kLink, row.rowId, 0, row.href));
        } else if (row.pcSameForDevice) {
            // Another program wrote the item again (a calendar server's
            // sync that adds its own properties), or changed what the
            // handheld does not hold: no conflict, the handheld's change is
            // merged into the item as it is now.
            Action merge = Make(ActionKind::kPcUpdate, row.rowId, 0, row.href);
            merge.intoPcItem = true;
            plan->actions.push_back(merge);
        } else {
            PlanConflict(row, policy, pcNew, plan);
        }
    } else if (d == Change::kChanged && p == Change::kDeleted) {
        // The change wins over the deletion: the item comes back.
        plan->actions.push_back(Make(ActionKind::kPcUpdate, row.rowId, 0, ""));
    } else if (d == Change::kDeleted && p == Change::kChanged) {
        // The item goes back to the device, unless a record that says the
        // same is there already (an interrupted run put it there).
        int32_t deviceId = 0;
        if (deviceNew->Take(row.pcKey, &deviceId))
            plan->actions.push_back(Make(ActionKind::kLink, row.rowId, deviceId, row.href));
        else
            plan->actions.push_back(Make(ActionKind::kDeviceAdd, row.rowId, 0, row.href));
    } else if (d == Change::kDeleted && p == Change::kDeleted) {
        plan->actions.push_back(Make(ActionKind::kForget, row.rowId, 0, ""));
    }
}

}  // namespace

bool ExceedsDeleteGuard(size_t deletes, size_t items) { return deletes > 5 && deletes * 2 > items; }

Plan MakePlan(const PlanInput& input) {
    Plan plan;
    Pool<int32_t> deviceNew;
    for (const PlanNewDevice& record : input.deviceNew) deviceNew.Add(record.key, record.deviceId);
    Pool<std::string> pcNew;
    for (const PlanNewPc& item : input.pcNew) pcNew.Add(item.key, item.href);

    for (const PlanRow& row : input.rows) PlanRowChange(row, input.policy, &deviceNew, &pcNew, &plan);
    // Whatever the rows took is gone from the pools; what is left keeps
    // its order.
    std::multiset<std::string> pcLeft, deviceLeft;
    for (const Action& action : plan.actions) {
        if (action.kind == ActionKind::kSplit && !action.href.empty()) pcLeft.insert(action.href);
        if (action.kind == ActionKind::kLink && action.deviceId != 0) deviceLeft.insert(std::to_string(action.deviceId));
    }

    // New on both sides with the same content: the same item (a first or
    // slow synchronisation, or a run that was interrupted).
    std::set<int32_t> linked;
    std::vector<std::string> toDevice;
    for (const PlanNewPc& item : input.pcNew) {
        if (pcLeft.count(item.href) != 0) continue;  // taken as a keep-both copy
        int32_t deviceId = 0;
        if (deviceNew.Take(item.key, &deviceId)) {
            plan.actions.push_back(Make(ActionKind::kLink, 0, deviceId, item.href));
            linked.insert(deviceId);
        } else {
            toDevice.push_back(item.href);
        }
    }
    for (const PlanNewDevice& record : input.deviceNew)
        if (linked.count(record.deviceId) == 0 && deviceLeft.count(std::to_string(record.deviceId)) == 0)
            plan.actions.push_back(Make(ActionKind::kPcAdd, 0, record.deviceId, ""));
    for (const std::string& href : toDevice) plan.actions.push_back(Make(ActionKind::kDeviceAdd, 0, 0, href));

    for (const Action& action : plan.actions) {
        if (action.kind == ActionKind::kPcDelete) ++plan.pcDeletes;
        if (action.kind == ActionKind::kDeviceDelete) ++plan.deviceDeletes;
    }
    plan.massDelete = ExceedsDeleteGuard(plan.pcDeletes, input.pcItems) ||
                      ExceedsDeleteGuard(plan.deviceDeletes, input.deviceRecords);
    return plan;
}

}  // namespace morvane_engine
