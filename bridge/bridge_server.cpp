#include "bridge/bridge_server.h"

#include <stdlib.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include <nlohmann/json.hpp>

#include "bridge/bridge_protocol.h"
#include "bridge/device_session.h"
#include "platform/host_services.h"

namespace morvane_host {

namespace {

// Members keep the order they are given in, "id" first, for people reading an exchange.
using json = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;

// Output is written in pieces of about this size while records stream, so
// that the client reads while the adapter goes on.
constexpr size_t kFlushBytes = 64 * 1024;
// A pass sends its progress this often; the lines also tell the client
// that the bridge is still at work.
constexpr auto kProgressEvery = std::chrono::milliseconds(250);
// More records than any handheld holds; a larger count is a broken request.
constexpr int64_t kMaxImportRecords = 10000000;
constexpr int kFaultExitStatus = 3;

// What must have happened before an operation is served.
enum class Needs : uint8_t { kNothing, kHello, kStart };

class BridgeServer;
using Handler = bool (BridgeServer::*)(int64_t id, const JsonDocument& request);

// Lines that follow the request, read whatever its answer.
enum class Follows : uint8_t { kNothing, kRecords, kLinkRecords };

struct Operation {
    const char* name;
    Needs needs;
    Follows follows;
    Handler handler;
};

class BridgeServer {
public:
    BridgeServer(const BridgeOptions& options, FILE* out) : options_(options), out_(out) {}

    int Serve() {
        session_ = OpenInProcessSession(options_.adapterPath, &loadError_);
        std::string line;
        size_t oversized = 0;
        while (!stopping_ && !clientGone_ && ReadLine(&line, &oversized)) {
            // Nothing a request holds makes nlohmann throw here, but memory
            // may run out: that too is an answer, and serving goes on.
            try {
                Handle(line, oversized);
            } catch (const std::exception& e) {
                pending_.clear();
                Refuse(nullptr, std::string("the bridge failed to serve a request: ") + e.what());
            }
        }
        if (session_ != nullptr && started_) session_->Finish();
        return 0;
    }

    bool Hello(int64_t id, const JsonDocument& request);
    bool StartSession(int64_t id, const JsonDocument& request);
    bool QueryFullSync(int64_t id, const JsonDocument& request);
    bool Export(int64_t id, const JsonDocument& request);
    bool Import(int64_t id, const JsonDocument& request);
    bool ReadLink(int64_t id, const JsonDocument& request);
    bool WriteLink(int64_t id, const JsonDocument& request);
    bool Close(int64_t id, const JsonDocument& request);
    bool Stop(int64_t id, const JsonDocument& request);

private:
    static const Operation kOperations[];

    bool ReadLine(std::string* line, size_t* oversized);
    void Handle(const std::string& line, size_t oversized);
    bool Flush();
    bool Answer(json answer);
    bool Refuse(const json& id, const std::string& error) { return Answer({{"id", id}, {"ok", false}, {"error", error}}); }
    const HostDatabase* RequestedDatabase(int64_t id, const JsonDocument& request);
    bool ReadImportRecords(int64_t id, const JsonDocument& request);
    using LineTaker = std::function<void(const std::string& which, const std::string& line)>;
    bool ReadFollowingLines(int64_t id, const JsonDocument& request, const LineTaker& take);
    bool ReadLinkLines(int64_t id, const JsonDocument& request);
    void Fault(const char* operation);

    static bool SendRecord(void* context, const HostDatabase& database, HostRecord&& record);
    static void SendProgress(void* context, const HostDatabase& database, size_t done, size_t total);

    const BridgeOptions& options_;
    FILE* out_;
    std::unique_ptr<DeviceSession> session_;
    std::string loadError_;
    LineBuffer lines_;
    std::vector<char> chunk_ = std::vector<char>(64 * 1024);
    bool inputEnded_ = false;
    bool greeted_ = false, started_ = false, stopping_ = false, clientGone_ = false;
    std::string pending_;  // lines not yet written
    std::vector<HostRecord> importRecords_;  // the records of the import being served
    std::vector<std::string> linkLines_;     // the record lines of the write_link being served
    std::string importError_;                // the first fault found in them
    int64_t passId_ = 0;   // the request whose pass runs
    size_t sent_ = 0;      // records the export has sent
    Clock::time_point lastProgress_;
};

const Operation BridgeServer::kOperations[] = {
    // 0
    {"hello", Needs::kNothing, Follows::kNothing, &BridgeServer::Hello},
    {"start", Needs::kHello, Follows::kNothing, &BridgeServer::StartSession},
    {"query_full_sync", Needs::kStart, Follows::kNothing, &BridgeServer::QueryFullSync},
    {"export", Needs::kStart, Follows::kNothing, &BridgeServer::Export},
    {"import", Needs::kStart, Follows::kRecords, &BridgeServer::Import},
    // 5
    {"read_link", Needs::kHello, Follows::kNothing, &BridgeServer::ReadLink},
    {"write_link", Needs::kHello, Follows::kLinkRecords, &BridgeServer::WriteLink},
    {"close", Needs::kHello, Follows::kNothing, &BridgeServer::Close},
    {"stop", Needs::kNothing, Follows::kNothing, &BridgeServer::Stop},
};

// The next line of the input; a last line without its line end counts.
// False at the end of the input.
bool BridgeServer::ReadLine(std::string* line, size_t* oversized) {
    const char* data = nullptr;
    size_t size = 0;
    while (!lines_.Next(&data, &size, oversized)) {
        if (inputEnded_) return false;
        const size_t got = PlatformReadStandardInput(chunk_.data(), chunk_.size());
        if (got == 0) {
            inputEnded_ = true;
            if (lines_.HasPartial()) lines_.Add("\n", 1);
            continue;
        }
        lines_.Add(chunk_.data(), got);
    }
    line->assign(data, size);
    return true;
}

void BridgeServer::Handle(const std::string& line, size_t oversized) {
    if (oversized > 0) {
        Refuse(nullptr, "a line of " + std::to_string(oversized) + " bytes, more than the " +
                            std::to_string(kMaxLineBytes) + " a line may hold");
        return;
    }
    JsonDocument request;
    std::string error;
    if (!ReadJsonDocument(line.data(), line.size(), kRecordKey, &request, &error)) {
        Refuse(nullptr, error);
        return;
    }
    int64_t id = 0;
    std::string name;
    if (!request.Integer("id", &id)) {
        Refuse(nullptr, "a request without a whole-number \"id\"");
    } else if (!request.Text("op", &name)) {
        Refuse(id, request.records.empty() ? "a request without \"op\"" : "a record outside an import");
    } else {
        for (const Operation& operation : kOperations) {
            if (name != operation.name) continue;
            if (operation.follows == Follows::kRecords && !ReadImportRecords(id, request)) return;
            if (operation.follows == Follows::kLinkRecords && !ReadLinkLines(id, request)) return;
            if (operation.needs != Needs::kNothing && !greeted_) {
                Refuse(id, "\"" + name + "\" before \"hello\"");
            } else if (operation.needs == Needs::kStart && !started_) {
                Refuse(id, "\"" + name + "\" before \"start\"");
            } else {
                // An export's fault comes after its first record.
                if (name != "export") Fault(operation.name);
                (this->*operation.handler)(id, request);
            }
            return;
        }
        Refuse(id, "unknown operation \"" + name + "\"");
    }
}

bool BridgeServer::Flush() {
    if (clientGone_) return false;
    if (!pending_.empty() && fwrite(pending_.data(), 1, pending_.size(), out_) != pending_.size()) clientGone_ = true;
    pending_.clear();
    if (fflush(out_) != 0) clientGone_ = true;
    return !clientGone_;
}

bool BridgeServer::Answer(json answer) {
    // Texts from elsewhere (paths, the adapter's) may hold bytes that are
    // not UTF-8; they are replaced rather than refused.
    pending_ += answer.dump(-1, ' ', false, json::error_handler_t::replace);
    pending_ += '\n';
    return Flush();
}

// The test aid: see BridgeOptions::fault.
void BridgeServer::Fault(const char* operation) {
    const size_t colon = options_.fault.find(':');
    if (colon == std::string::npos || options_.fault.compare(0, colon, operation) != 0) return;
    const std::string how = options_.fault.substr(colon + 1);
    if (how != "die" && how != "hang") return;
    Flush();
    fprintf(stderr, "morvane-bridge: MORVANE_BRIDGE_FAULT=%s: %s while serving \"%s\"\n", options_.fault.c_str(),
            how == "die" ? "ending" : "no longer answering", operation);
    fflush(stderr);
    if (how == "die") _Exit(kFaultExitStatus);
    for (;;) Sleep(1000);
}

bool BridgeServer::Hello(int64_t id, const JsonDocument& request) {
    int64_t protocol = 0;
    if (greeted_) return Refuse(id, "\"hello\" was answered already");
    if (!request.Integer("protocol", &protocol) || protocol != kBridgeProtocol)
        return Refuse(id, "this bridge speaks protocol " + std::to_string(kBridgeProtocol) + " only");
    if (session_ == nullptr) return Refuse(id, loadError_);
    greeted_ = true;
    return Answer({{"id", id}, {"ok", true}, {"protocol", kBridgeProtocol}, {"program", "morvane-bridge"},
                   {"adapter", options_.adapterPath}});
}

bool BridgeServer::StartSession(int64_t id, const JsonDocument& request) {
    std::string name;
    PairingAnswer pairing = PairingAnswer::kAsk;
    if (!request.Text("pairing", &name) || !PairingFromName(name, &pairing))
        return Refuse(id, "\"start\" needs \"pairing\": \"ask\", \"ok\" or \"cancel\"");
    if (started_) return Refuse(id, "the session is already started; \"close\" it first");
    // A start that fails still leaves a session to close, as in this process.
    started_ = true;
    if (!session_->Start(pairing)) return Refuse(id, session_->error());
    return Answer({{"id", id}, {"ok", true}});
}

const HostDatabase* BridgeServer::RequestedDatabase(int64_t id, const JsonDocument& request) {
    int64_t section = 0;
    if (!request.Integer("section", &section)) {
        Refuse(id, "no \"section\"");
        return nullptr;
    }
    const HostDatabase* database = FindDatabase(static_cast<int32_t>(section));
    if (database == nullptr || section != static_cast<int32_t>(section))
        Refuse(id, "no database has section " + std::to_string(section));
    return database;
}

bool BridgeServer::QueryFullSync(int64_t id, const JsonDocument& request) {
    const HostDatabase* database = RequestedDatabase(id, request);
    int64_t since = 0;
    if (database == nullptr) return false;
    if (!request.Integer("since", &since) || since < INT32_MIN || since > INT32_MAX)
        return Refuse(id, "\"since\" is not a 32-bit time");
    bool full = false;
    if (!session_->QueryFullSync(*database, static_cast<DIZ_TIME>(since), &full)) return Refuse(id, session_->error());
    return Answer({{"id", id}, {"ok", true}, {"full", full}});
}

bool BridgeServer::SendRecord(void* context, const HostDatabase& database, HostRecord&& record) {
    auto* server = static_cast<BridgeServer*>(context);
    AppendRecordLine(&server->pending_, server->passId_, database, record);
    if (++server->sent_ == 1) {
        server->Flush();
        server->Fault("export");
    }
    if (server->pending_.size() >= kFlushBytes) server->Flush();
    return !server->clientGone_;
}

void BridgeServer::SendProgress(void* context, const HostDatabase&, size_t done, size_t total) {
    auto* server = static_cast<BridgeServer*>(context);
    const Clock::time_point now = Clock::now();
    if (total == 0 || now - server->lastProgress_ < kProgressEvery) return;
    server->lastProgress_ = now;
    AppendProgressLine(&server->pending_, server->passId_, done, total);
    server->Flush();
}

bool BridgeServer::Export(int64_t id, const JsonDocument& request) {
    const HostDatabase* database = RequestedDatabase(id, request);
    int64_t stamp = 0;
    std::string name;
    ChangeLists lists = ChangeLists::kClear;
    if (database == nullptr) return false;
    if (!request.Integer("stamp", &stamp) || stamp < INT32_MIN || stamp > INT32_MAX)
        return Refuse(id, "\"stamp\" is not a 32-bit time");
    if (!request.Text("lists", &name) || !ListsFromName(name, &lists))
        return Refuse(id, "\"export\" needs \"lists\": \"clear\" or \"keep\"");
    passId_ = id;
    sent_ = 0;
    lastProgress_ = Clock::now();
    session_->set_record_sink(&BridgeServer::SendRecord, this);
    session_->set_progress(&BridgeServer::SendProgress, this);
    DatabaseRecords out;
    const bool ok = session_->Export(*database, static_cast<DIZ_TIME>(stamp), lists, &out);
    session_->set_record_sink(nullptr, nullptr);
    session_->set_progress(nullptr, nullptr);
    if (sent_ == 0) Fault("export");
    if (!ok) return Refuse(id, session_->error());
    return Answer({{"id", id}, {"ok", true}, {"fullSync", out.fullSync}, {"count", out.count}, {"records", sent_}});
}

// The lines that follow a request, every one of them read even after a bad
// one, so that the line after them is read as the next request: each goes
// to take with its place (1-based) and, for a line too long to keep, its
// length.  False (with the request answered) when their count is missing
// or the input ended first.
bool BridgeServer::ReadFollowingLines(int64_t id, const JsonDocument& request, const LineTaker& take) {
    int64_t count = 0;
    importError_.clear();
    if (!request.Integer("records", &count) || count < 0 || count > kMaxImportRecords) {
        Refuse(id, "\"records\" is not a count of the record lines that follow");
        return false;
    }
    std::string line;
    size_t oversized = 0;
    for (int64_t place = 1; place <= count; ++place) {
        if (!ReadLine(&line, &oversized)) {
            Refuse(id, "the input ended after " + std::to_string(place - 1) + " of the " + std::to_string(count) +
                           " records");
            return false;
        }
        const std::string which = "record " + std::to_string(place);
        if (oversized > 0 && importError_.empty())
            importError_ = which + ": a line of " + std::to_string(oversized) + " bytes, more than the " +
                           std::to_string(kMaxLineBytes) + " a line may hold";
        if (importError_.empty()) take(which, line);
    }
    return true;
}

// The record lines of an import: the records go to importRecords_, the
// first fault found to importError_.
bool BridgeServer::ReadImportRecords(int64_t id, const JsonDocument& request) {
    importRecords_.clear();
    return ReadFollowingLines(id, request, [&](const std::string& which, const std::string& line) {
        JsonDocument document;
        int64_t lineId = 0;
        std::string reason;
        if (!ReadJsonDocument(line.data(), line.size(), kRecordKey, &document, &reason))
            importError_ = which + ": " + reason;
        else if (!document.Integer("id", &lineId) || lineId != id || document.records.size() != 1)
            importError_ = which + ": not a record line of request " + std::to_string(id);
        else
            importRecords_.push_back(std::move(document.records.front()));
    });
}

bool BridgeServer::Import(int64_t id, const JsonDocument& request) {
    const HostDatabase* database = RequestedDatabase(id, request);
    if (database == nullptr) return false;
    if (!importError_.empty()) return Refuse(id, importError_);
    // The session checks the records against the database before it writes.
    passId_ = id;
    lastProgress_ = Clock::now();
    session_->set_progress(&BridgeServer::SendProgress, this);
    std::vector<ImportResult> results;
    const bool ok = session_->Import(*database, importRecords_, &results);
    session_->set_progress(nullptr, nullptr);
    importRecords_.clear();
    for (const ImportResult& result : results) {
        AppendResultLine(&pending_, id, result);
        if (pending_.size() >= kFlushBytes) Flush();
    }
    if (!ok) return Refuse(id, session_->error());
    return Answer({{"id", id}, {"ok", true}});
}

// The lines of a write_link, kept as they came: they are parsed against
// the database's field list once the request is served.
bool BridgeServer::ReadLinkLines(int64_t id, const JsonDocument& request) {
    linkLines_.clear();
    return ReadFollowingLines(id, request,
                              [&](const std::string&, const std::string& line) { linkLines_.push_back(line); });
}

// Every database, one head line and then a line per record.
bool BridgeServer::ReadLink(int64_t id, const JsonDocument&) {
    if (started_) return Refuse(id, "the session is started; \"close\" it first");
    std::vector<LinkDatabase> databases;
    if (!session_->ReadLink(&databases)) return Refuse(id, session_->error());
    for (const LinkDatabase& database : databases) {
        AppendLinkHeadLine(&pending_, id, database);
        for (const LinkRecord& record : database.records) {
            AppendLinkRecordLine(&pending_, id, database, record);
            if (pending_.size() >= kFlushBytes) Flush();
        }
    }
    return Answer({{"id", id}, {"ok", true}, {"databases", databases.size()}});
}

bool BridgeServer::WriteLink(int64_t id, const JsonDocument& request) {
    if (started_) return Refuse(id, "the session is started; \"close\" it first");
    int64_t dbId = 0, fields = 0;
    if (!request.Integer("database", &dbId) || dbId <= 0 || dbId > UINT32_MAX || !request.Integer("fields", &fields) ||
        fields < 0 || fields > 0xFFFF)
        return Refuse(id, "\"write_link\" needs \"database\" and \"fields\", its field count");
    if (!importError_.empty()) return Refuse(id, importError_);
    LinkDatabase head;
    head.id = static_cast<uint32_t>(dbId);
    head.fields.resize(static_cast<size_t>(fields));
    std::vector<uint32_t> deletes;
    int64_t deleted = 0;
    for (size_t i = 0; request.Integer("deletes." + std::to_string(i), &deleted); ++i) {
        if (deleted <= 0 || deleted > UINT32_MAX) return Refuse(id, "\"deletes\" holds a value that is no record id");
        deletes.push_back(static_cast<uint32_t>(deleted));
    }
    std::vector<LinkRecord> adds(linkLines_.size());
    std::string reason;
    for (size_t i = 0; i < linkLines_.size(); ++i) {
        const nlohmann::json line = nlohmann::json::parse(linkLines_[i], nullptr, false);
        if (!line.is_object() || line.value("id", json::number_integer_t(0)) != id || !line.contains(kLinkRecordKey))
            return Refuse(id, "record " + std::to_string(i + 1) + ": not a link record line of request " +
                                  std::to_string(id));
        if (!LinkRecordFromJson(line[kLinkRecordKey], head, &adds[i], &reason))
            return Refuse(id, "record " + std::to_string(i + 1) + ": " + reason);
    }
    linkLines_.clear();
    if (!session_->WriteLink(head, deletes, &adds)) return Refuse(id, session_->error());
    std::vector<uint32_t> ids;
    for (const LinkRecord& record : adds) ids.push_back(record.id);
    return Answer({{"id", id}, {"ok", true}, {"ids", ids}});
}

bool BridgeServer::Close(int64_t id, const JsonDocument&) {
    const bool closed = !started_ || session_->Finish();
    started_ = false;
    return closed ? Answer({{"id", id}, {"ok", true}}) : Refuse(id, session_->error());
}

bool BridgeServer::Stop(int64_t id, const JsonDocument& request) {
    Close(id, request);
    stopping_ = true;
    return true;
}

}  // namespace

int ServeBridge(const BridgeOptions& options, FILE* out) {
    BridgeServer server(options, out);
    return server.Serve();
}

}  // namespace morvane_host
