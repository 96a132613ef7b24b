// The apply step: a database's plan carried out, the PC side first (each
// file written atomically, the state describing it committed with it),
// then the device side in one import pass, whose results the state learns.
#ifndef MORVANE_ENGINE_SYNC_APPLY_H
#define MORVANE_ENGINE_SYNC_APPLY_H

#include <set>
#include <string>
#include <vector>

#include "bridge/device_session.h"
#include "engine/collection.h"
#include "engine/gathered.h"
#include "engine/state_store.h"
#include "engine/sync_plan.h"
#include "engine/sync_report.h"
#include "pim/pim.h"

namespace morvane_engine {

class BatchCommitter;

struct ApplyContext {
    const morvane_host::HostDatabase* database = nullptr;
    Gathered* g = nullptr;
    Collection* collection = nullptr;
    StateStore* store = nullptr;
    BatchCommitter* batch = nullptr;  // takes the state's changes while the PC side is applied
    morvane_host::DeviceSession* session = nullptr;
    const morvane_pim::Settings* settings = nullptr;
    DatabaseSummary* summary = nullptr;
    Progress* progress = nullptr;
    // New records may have been queued for the adapter's bulk write, whose
    // ids the import does not tell: the device is read again to learn them.
    bool bulkPossible = false;
    bool rereadDone = false;      // the device was read in full again (the caller's bulkPossible follows)
    bool retryNextTime = false;   // something was left: read every device record next time
    bool deviceFailed = false;
    bool describe = false;  // name each write-back among the summary's lines
    // Device changes that follow from PC merges the handheld would read
    // otherwise, sent in this sync's import pass after the plan's own.
    std::vector<Action> writeBack;
    std::string error;
};

bool ApplyPcSide(ApplyContext& c, const Plan& plan);
bool ApplyDeviceSide(ApplyContext& c, const Plan& plan);
// A dry run's count and lines of the write-backs the apply step would make.
void PreviewWriteBacks(ApplyContext& c, const Plan& plan);

}  // namespace morvane_engine

#endif
