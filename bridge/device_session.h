// A session with the handheld as a sync engine sees it: start-up with the
// pairing settled, then whole passes over one database at a time (an export
// that hands over every record or the device's changes, an import that adds,
// changes and deletes records), then shutdown.  Two kinds serve it: the
// adapter loaded into this process, and a bridge process that hosts the
// adapter and speaks to this one over a pipe.  A failure is a false return
// with what went wrong in error(); nothing throws.
#ifndef MORVANE_BRIDGE_DEVICE_SESSION_H
#define MORVANE_BRIDGE_DEVICE_SESSION_H

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "records/field_map.h"
#include "records/host_record.h"
#include "records/link_image.h"

namespace morvane_host {

// The answer to the adapter's pairing question when a pairing is new or
// renewed: asked of the person at the terminal, or given beforehand.
enum class PairingAnswer : uint8_t { kAsk, kOk, kCancel };

// What the device's change lists become when an export pass ends.
enum class ChangeLists : uint8_t {
    kClear,  // the pass was taken: the device forgets the changes it handed over
    kKeep,   // the pass is abandoned: the next export hands the same changes over again
};

// Told while a pass runs: records done of total (total 0: the pass ended).
using PassProgress = void (*)(void* context, const HostDatabase& database, size_t done, size_t total);

// Handed each record of an export as soon as it arrives; returns false to
// abandon the pass, which then fails.  In this process the pass stops at
// once and the device keeps its change lists; a bridge finishes its pass
// first, so a sink that may give up asks for ChangeLists::kKeep.
using RecordSink = bool (*)(void* context, const HostDatabase& database, HostRecord&& record);

class DeviceSession {
public:
    virtual ~DeviceSession() = default;

    // Connects and settles the pairing.  Starting twice is an error.
    virtual bool Start(PairingAnswer answer) = 0;
    // Whether the device asks for a full synchronisation of the database.
    virtual bool QueryFullSync(const HostDatabase& database, DIZ_TIME since, bool* full) = 0;
    // An export pass: every record (syncStamp 0, or a full synchronisation
    // due) or the device's changes since the last pass taken.
    virtual bool Export(const HostDatabase& database, DIZ_TIME syncStamp, ChangeLists lists,
                        DatabaseRecords* out) = 0;
    // An import pass.  *results gets one entry per record in order, up to and
    // including the first that failed (its ok false, with the failing
    // export's result and the adapter's last error code).
    virtual bool Import(const HostDatabase& database, const std::vector<HostRecord>& records,
                        std::vector<ImportResult>* results) = 0;
    // Closes the session; harmless when it was never started.  False when
    // it could not be closed (a bridge gone), so that what its imports sent
    // may not be on the handheld: a handheld keeps a session's writes only
    // once the session closes.
    virtual bool Finish() = 0;

    // The handheld through its device link library, the adapter left out
    // (bridge/link_access.h): every database with every field of every
    // record.  Only while the session is not started.
    virtual bool ReadLink(std::vector<LinkDatabase>* out) = 0;
    // Deletes, then adds, records of database head.id (head gives its field
    // list; its records are not read); each added record gets its new id.
    virtual bool WriteLink(const LinkDatabase& head, const std::vector<uint32_t>& deletes,
                           std::vector<LinkRecord>* adds) = 0;

    // What the last failure was, as one line for the person running it.
    virtual const std::string& error() const = 0;

    // Where the session reports the progress of its passes; null: nowhere.
    virtual void set_progress(PassProgress progress, void* context) = 0;

    // Where an export hands its records one by one instead of keeping them
    // in out->records (null: kept there), so that a pass over a large
    // database holds one record at a time.  False when this session cannot
    // hand them over one by one; they then arrive in out->records.
    virtual bool set_record_sink(RecordSink sink, void* context) {
        (void)sink;
        (void)context;
        return false;
    }
};

// The adapter at adapterPath loaded into this process.  Null with the
// reason in *error when the library cannot be loaded or lacks an export a
// session needs.
std::unique_ptr<DeviceSession> OpenInProcessSession(const std::string& adapterPath, std::string* error);

// A bridge process (morvane-bridge, bridge/PROTOCOL.md) started from
// command, which hosts the adapter and serves this session over its
// standard input and output.  Every answer is awaited at most timeoutSeconds
// (the bridge reports progress while a long pass runs); a bridge that ends
// or stops answering fails the call it was serving and every later one,
// with its last lines of standard error in error().  Null with the reason
// in *error when it cannot be started or does not answer the handshake
// (a bridge that cannot load its adapter says so there).
std::unique_ptr<DeviceSession> OpenBridgeSession(const std::string& command, unsigned timeoutSeconds,
                                                 std::string* error);

}  // namespace morvane_host

#endif
