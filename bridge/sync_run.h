// One synchronisation run against the loaded adapter, in the order a host
// sync engine calls it: start-up, a pass per database (export or import),
// shutdown.  A failing step is described in error(): the failing export
// with its result and the adapter's last error code, and where it was.
#ifndef MORVANE_BRIDGE_SYNC_RUN_H
#define MORVANE_BRIDGE_SYNC_RUN_H

#include <string>
#include <vector>

#include "bridge/adapter.h"
#include "records/field_map.h"
#include "records/host_record.h"

namespace morvane_host {

class SyncRun {
public:
    explicit SyncRun(const Adapter& adapter) : adapter_(adapter) {}
    ~SyncRun() { Finish(); }
    SyncRun(const SyncRun&) = delete;
    SyncRun& operator=(const SyncRun&) = delete;

    // DIZ_API_Initialize: connects, settles the pairing.
    bool Start();
    // DIZ_API_CloseSyncApp and DIZ_API_Uninitialize, once; false when
    // either fails.
    bool Finish();

    // An export pass: every record the adapter hands over (all of them when
    // syncStamp is 0 or a full synchronisation is due, else the device's
    // changes), read field by field.
    // keepChanges abandons the pass at its close, so that the device hands
    // the same changes over again next time.
    bool Export(const HostDatabase& database, DIZ_TIME syncStamp, DatabaseRecords* out, bool keepChanges = false);
    // An import pass: adds, changes and deletes the records on the device.
    // *results gets one entry per record up to and including the first that
    // failed, which carries the failing export's result and last error.
    bool Import(const HostDatabase& database, const std::vector<HostRecord>& records,
                std::vector<ImportResult>* results);

    // Called with records done of total while a pass runs, and with a total
    // of 0 when it ends.
    using Progress = void (*)(void* context, const HostDatabase& database, size_t done, size_t total);
    void set_progress(Progress progress, void* context) {
        progress_ = progress;
        progressContext_ = context;
    }
    // When set, an export hands each record to sink as soon as it is read
    // instead of keeping it in out->records; the sink returns false to
    // abandon the pass.
    using RecordSink = bool (*)(void* context, const HostDatabase& database, HostRecord&& record);
    void set_record_sink(RecordSink sink, void* context) {
        sink_ = sink;
        sinkContext_ = context;
    }

    // What the last failing step was: "DIZ_API_GetField returned -8 (...);
    // last error 0x... (...), reading field 3 (FromDate) of record 5 in Schedule".
    const std::string& error() const { return error_; }

private:
    bool WalkRecords(const HostDatabase& database, DIZ_TIME syncStamp, uint32_t total, DatabaseRecords* out);
    bool ReadRecord(const HostDatabase& database, uint32_t status, HostRecord* record);
    bool WriteFields(const HostDatabase& database, const HostRecord& record);
    bool ImportOne(const HostDatabase& database, const HostRecord& record, ImportResult* result);
    void ShowProgress(const HostDatabase& database, size_t done, size_t total) const;
    // Records the adapter's last failure, with where it happened; false.
    bool Failed(const std::string& where = std::string());

    const Adapter& adapter_;
    bool started_ = false;
    Progress progress_ = nullptr;
    void* progressContext_ = nullptr;
    RecordSink sink_ = nullptr;
    void* sinkContext_ = nullptr;
    std::string error_;
    // Where the adapter writes each field read, allocated once: it must
    // hold the longest value a field can have.
    std::string fieldBuffer_;
};

}  // namespace morvane_host

#endif
