// The device session of the adapter loaded into this process: the exports
// are called directly, one pass at a time, by SyncRun.
#include <memory>

#include "bridge/adapter.h"
#include "bridge/device_session.h"
#include "bridge/link_access.h"
#include "bridge/sync_run.h"
#include "platform/host_services.h"
#include "records/record_json.h"

namespace morvane_host {

namespace {

class InProcessSession : public DeviceSession {
public:
    InProcessSession() : run_(adapter_) {}

    bool Load(const std::string& path, std::string* error) {
        if (!adapter_.Load(path, error)) return false;
        std::vector<std::string> missing;
        for (const auto* names : {&kStartupExports, &kExportPassExports, &kFieldReadExports, &kImportPassExports})
            for (const std::string& name : adapter_.Missing(*names)) missing.push_back(name);
        if (!missing.empty()) {
            *error = "the adapter " + path + " does not export " + JoinNames(missing);
            return false;
        }
        adapter_.set_quiet(true);
        return true;
    }

    bool Start(PairingAnswer answer) override {
        if (started_) return Fail("the session is already started");
        if (answer != PairingAnswer::kAsk) PlatformAnswerMessageBoxes(answer == PairingAnswer::kOk ? IDOK : IDCANCEL);
        started_ = true;
        return run_.Start() || Fail(run_.error());
    }

    bool QueryFullSync(const HostDatabase& database, DIZ_TIME since, bool* full) override {
        if (!started_) return Fail("the session is not started");
        const AdapterExports& api = adapter_.api();
        api.BeginExport(since);
        if (!adapter_.Check("DIZ_API_OpenDatabase", api.OpenDatabase(database.section, "morvane-sync", database.name)))
            return Failed();
        uint32_t answer = 0;
        const bool ok = adapter_.Check("DIZ_API_QueryFullSync", api.QueryFullSync(database.section, since, &answer));
        // Nothing was read: the close leaves the change lists as they are.
        const bool closed = adapter_.Check("DIZ_API_CloseDatabase", api.CloseDatabase(database.section, 1, 1));
        *full = answer != 0;
        return (ok && closed) || Failed();
    }

    bool Export(const HostDatabase& database, DIZ_TIME syncStamp, ChangeLists lists, DatabaseRecords* out) override {
        if (!started_) return Fail("the session is not started");
        return run_.Export(database, syncStamp, out, lists == ChangeLists::kKeep) || Fail(run_.error());
    }

    bool Import(const HostDatabase& database, const std::vector<HostRecord>& records,
                std::vector<ImportResult>* results) override {
        if (!started_) return Fail("the session is not started");
        // Nothing is written unless every record can be.
        for (size_t i = 0; i < records.size(); ++i)
            if (!CheckImportRecord(database, records[i], i + 1, &error_)) return false;
        return run_.Import(database, records, results) || Fail(run_.error());
    }

    bool Finish() override {
        started_ = false;
        return run_.Finish() || Fail(run_.error());
    }

    bool ReadLink(std::vector<LinkDatabase>* out) override {
        if (started_) return Fail("the adapter holds the link while its session is started");
        return ReadLinkDatabases(out, &error_);
    }

    bool WriteLink(const LinkDatabase& head, const std::vector<uint32_t>& deletes,
                   std::vector<LinkRecord>* adds) override {
        if (started_) return Fail("the adapter holds the link while its session is started");
        return WriteLinkRecords(head.id, deletes, adds, &error_);
    }

    const std::string& error() const override { return error_; }
    void set_progress(PassProgress progress, void* context) override { run_.set_progress(progress, context); }
    bool set_record_sink(RecordSink sink, void* context) override {
        run_.set_record_sink(sink, context);
        return true;
    }

private:
    bool Failed() {
        error_ = adapter_.lastFailure().text;
        return false;
    }
    bool Fail(const std::string& text) {
        error_ = text;
        return false;
    }

    Adapter adapter_;
    SyncRun run_;
    bool started_ = false;
    std::string error_;
};

}  // namespace

std::unique_ptr<DeviceSession> OpenInProcessSession(const std::string& adapterPath, std::string* error) {
    auto session = std::make_unique<InProcessSession>();
    if (!session->Load(adapterPath, error)) return nullptr;
    return session;
}

}  // namespace morvane_host
