// One synchronisation run against the loaded adapter, in the order a host
// sync engine calls it: start-up, a pass per database (export or import),
// shutdown.  Every failing export is reported on standard error with its
// result and the adapter's last error code.
#ifndef MORVANE_HOST_SYNC_RUN_H
#define MORVANE_HOST_SYNC_RUN_H

#include <vector>

#include "host/adapter.h"
#include "host/field_map.h"
#include "host/records.h"

namespace morvane_host {

class SyncRun {
public:
    explicit SyncRun(const Adapter& adapter) : adapter_(adapter) {}
    ~SyncRun() { Finish(); }
    SyncRun(const SyncRun&) = delete;
    SyncRun& operator=(const SyncRun&) = delete;

    // DIZ_API_Initialize: connects, settles the pairing.
    bool Start();
    // DIZ_API_CloseSyncApp and DIZ_API_Uninitialize, once.
    void Finish();

    // An export pass: every record the adapter hands over (all of them when
    // syncStamp is 0 or a full synchronisation is due, else the device's
    // changes), read field by field.
    bool Export(const HostDatabase& database, DIZ_TIME syncStamp, DatabaseRecords* out);
    // An import pass: adds, changes and deletes the records on the device.
    bool Import(const HostDatabase& database, const std::vector<HostRecord>& records,
                std::vector<ImportResult>* results);

    // Show "records done of total" while a pass runs (on a terminal).
    void set_progress(bool on) { progress_ = on; }

private:
    bool WalkRecords(const HostDatabase& database, DIZ_TIME syncStamp, uint32_t total, DatabaseRecords* out);
    bool ReadRecord(const HostDatabase& database, uint32_t status, HostRecord* record);
    bool WriteFields(const HostDatabase& database, const HostRecord& record);
    bool ImportOne(const HostDatabase& database, const HostRecord& record, ImportResult* result);
    void ShowProgress(const HostDatabase& database, size_t done, size_t total) const;

    const Adapter& adapter_;
    bool started_ = false;
    bool progress_ = false;
};

}  // namespace morvane_host

#endif
