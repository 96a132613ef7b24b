// The device session of a bridge process: each call is one request of the
// bridge protocol (PROTOCOL.md), sent over the bridge's standard input; the
// lines it answers with on its standard output are read until the request's
// final answer, records and import results on the way going where the
// caller wants them.  Every read waits at most the timeout; the bridge
// sends progress while a long pass runs.  A bridge that ends, stops
// answering or breaks the protocol is stopped, and that call and every
// later one fail with a report that ends with its last lines of standard
// error.
#include <stdio.h>

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

// How long a bridge that has been stopped or has ended is given to be gone.
constexpr DWORD kEndWaitMs = 2000;
// The last lines of the bridge's standard error a report quotes.
constexpr size_t kReportedErrorLines = 12;

std::string LastLines(const std::string& text, size_t count) {
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r')) --end;
    size_t start = end;
    for (size_t lines = 0; start > 0; --start)
        if (text[start - 1] == '\n' && ++lines == count) break;
    std::string quoted;
    for (size_t at = start; at < end;) {
        size_t stop = text.find('\n', at);
        if (stop == std::string::npos || stop > end) stop = end;
        std::string line = text.substr(at, stop - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        quoted += "\n    " + line;
        at = stop + 1;
    }
    return quoted;
}

class BridgeSession : public DeviceSession {
public:
    BridgeSession(const std::string& command, unsigned timeoutSeconds)
        : command_(command), timeoutSeconds_(timeoutSeconds), timeoutMs_(timeoutSeconds * 1000u) {}

    ~BridgeSession() override {
        if (child_ == nullptr) return;
        if (!broken_) {
            Finish();
            Call("stop", {{"op", "stop"}}, std::string(), nullptr);
        }
        PlatformChildCloseInput(child_);
        char how[128];
        if (!broken_ && !PlatformChildWait(child_, timeoutMs_, how, sizeof how)) PlatformChildKill(child_);
        PlatformChildRelease(child_);
    }

    bool Open(std::string* error) {
        char reason[256] = "";
        child_ = PlatformStartChild(command_.c_str(), reason, sizeof reason);
        if (child_ == nullptr) {
            *error = "cannot start the bridge \"" + command_ + "\": " + reason;
            return false;
        }
        if (Call("hello", {{"op", "hello"}, {"protocol", kBridgeProtocol}}, std::string(), nullptr)) return true;
        *error = error_;
        return false;
    }

    bool Start(PairingAnswer answer) override {
        if (started_) return Fail("the session is already started");
        if (broken_) return false;
        // A start that fails still leaves a session to close, as in this process.
        started_ = true;
        return Call("start", {{"op", "start"}, {"pairing", PairingName(answer)}}, std::string(), nullptr);
    }

    bool QueryFullSync(const HostDatabase& database, DIZ_TIME since, bool* full) override {
        JsonDocument answer;
        if (!Call(std::string("query_full_sync of ") + database.name,
                  {{"op", "query_full_sync"}, {"section", database.section}, {"since", since}}, std::string(),
                  nullptr, &answer))
            return false;
        return answer.Flag("full", full) || Broken("answered \"query_full_sync\" without \"full\"");
    }

    bool Export(const HostDatabase& database, DIZ_TIME syncStamp, ChangeLists lists, DatabaseRecords* out) override;
    bool Import(const HostDatabase& database, const std::vector<HostRecord>& records,
                std::vector<ImportResult>* results) override;
    bool ReadLink(std::vector<LinkDatabase>* out) override;
    bool WriteLink(const LinkDatabase& head, const std::vector<uint32_t>& deletes,
                   std::vector<LinkRecord>* adds) override;

    bool Finish() override {
        // A bridge that broke left the session open on its side.
        const bool closed = !started_ || (!broken_ && Call("close", {{"op", "close"}}, std::string(), nullptr));
        started_ = false;
        return closed;
    }

    const std::string& error() const override { return error_; }
    void set_progress(PassProgress progress, void* context) override {
        progress_ = progress;
        progressContext_ = context;
    }
    bool set_record_sink(RecordSink sink, void* context) override {
        sink_ = sink;
        sinkContext_ = context;
        return true;
    }

private:
    using LineHandler = std::function<bool(JsonDocument& line)>;

    bool Call(const std::string& doing, json request, const std::string& following, const LineHandler& onLine,
              JsonDocument* answer = nullptr);
    bool Exchange(const std::string& doing, const json& request, const std::string& following,
                  const LineHandler& onLine, JsonDocument* answer);
    // The next line the bridge sent; valid until the next ReadLine.
    bool ReadLine(const char** data, size_t* size);
    bool Broken(const std::string& what);
    bool Fail(const std::string& text) {
        error_ = text;
        return false;
    }
    void ShowProgress(const HostDatabase& database, const JsonDocument& line) {
        int64_t done = 0, total = 0;
        if (progress_ != nullptr && line.Integer("progress.0", &done) && line.Integer("progress.1", &total))
            progress_(progressContext_, database, static_cast<size_t>(done), static_cast<size_t>(total));
    }

    const std::string command_;
    const unsigned timeoutSeconds_;
    const DWORD timeoutMs_;
    PlatformChild* child_ = nullptr;
    LineBuffer lines_;
    std::vector<char> chunk_ = std::vector<char>(256 * 1024);
    int64_t nextId_ = 1;
    int64_t callId_ = 0;
    std::string doing_;  // what the request being served does, for reports
    std::string lineText_;  // the line onLine is handed, as the bridge sent it
    bool started_ = false, broken_ = false;
    std::string error_;
    PassProgress progress_ = nullptr;
    void* progressContext_ = nullptr;
    RecordSink sink_ = nullptr;
    void* sinkContext_ = nullptr;
};

// Sends the request (and the lines that follow it), then reads the lines
// of its answer: those before the final one go to onLine, the final one to
// *answer.  False when the bridge refused (its error in error_) or failed.
bool BridgeSession::Call(const std::string& doing, json request, const std::string& following,
                         const LineHandler& onLine, JsonDocument* answer) {
    if (broken_) return false;
    // Only memory running out throws here; the stream is then in an
    // unknown state, so the bridge is given up.
    try {
        return Exchange(doing, request, following, onLine, answer);
    } catch (const std::exception& e) {
        return Broken(std::string("could not be served (") + e.what() + ")");
    }
}

bool BridgeSession::Exchange(const std::string& doing, const json& request, const std::string& following,
                             const LineHandler& onLine, JsonDocument* answer) {
    doing_ = doing;
    callId_ = nextId_++;
    json sent = {{"id", callId_}};
    sent.update(request);
    std::string bytes = sent.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    bytes += following;
    const int written = PlatformChildWrite(child_, bytes.data(), bytes.size(), timeoutMs_);
    if (written == 0) return Broken("did not take a request within " + std::to_string(timeoutSeconds_) + " s");
    if (written < 0) return Broken("ended");
    JsonDocument line;
    std::string reason;
    const char* text = nullptr;
    size_t size = 0;
    for (;;) {
        if (!ReadLine(&text, &size)) return false;
        int64_t id = 0;
        bool ok = false;
        if (!ReadJsonDocument(text, size, kRecordKey, &line, &reason))
            return Broken("broke the protocol (" + reason + ")");
        if (!line.Integer("id", &id) || id != callId_)
            return Broken("answered out of turn: " + std::string(text, size < 200 ? size : 200));
        if (line.Flag("ok", &ok)) {
            if (!ok && !line.Text("error", &error_)) error_ = "the bridge refused \"" + doing_ + "\"";
            if (answer != nullptr) *answer = std::move(line);
            return ok;
        }
        if (onLine) lineText_.assign(text, size);
        if (!onLine || !onLine(line))
            return Broken("sent a line that is no answer to \"" + doing_ + "\": " +
                          std::string(text, size < 200 ? size : 200));
    }
}

bool BridgeSession::ReadLine(const char** data, size_t* size) {
    size_t oversized = 0;
    while (!lines_.Next(data, size, &oversized)) {
        const int got = PlatformChildRead(child_, chunk_.data(), chunk_.size(), timeoutMs_);
        if (got < 0) return Broken("did not answer within " + std::to_string(timeoutSeconds_) + " s");
        if (got == 0) return Broken("ended");
        lines_.Add(chunk_.data(), static_cast<size_t>(got));
    }
    if (oversized > 0) return Broken("sent a line of " + std::to_string(oversized) + " bytes");
    return true;
}

// The report of a failed bridge: what happened, during what, how it ended
// and what it said last on its standard error.  The bridge is stopped.
bool BridgeSession::Broken(const std::string& what) {
    broken_ = true;
    char how[128] = "";
    const bool ended = what == "ended";
    if (!ended) PlatformChildKill(child_);
    const bool gone = PlatformChildWait(child_, kEndWaitMs, how, sizeof how);
    const std::string happened = ended && gone ? what + " (" + how + ")" : what;
    error_ = "the bridge \"" + command_ + "\" " + happened + " while serving \"" + doing_ + "\"";
    if (!ended && gone) error_ += std::string("; stopped (") + how + ")";
    std::vector<char> tail(4097);
    PlatformChildErrorTail(child_, tail.data(), static_cast<DWORD>(tail.size()));
    const std::string lines = LastLines(tail.data(), kReportedErrorLines);
    error_ += lines.empty() ? "; it wrote nothing to its standard error" : "; its last lines of standard error:" + lines;
    return false;
}

bool BridgeSession::Export(const HostDatabase& database, DIZ_TIME syncStamp, ChangeLists lists, DatabaseRecords* out) {
    *out = DatabaseRecords();
    out->section = database.section;
    int64_t received = 0;
    bool abandoned = false;
    const LineHandler onLine = [&](JsonDocument& line) {
        if (line.records.size() == 1) {
            ++received;
            if (sink_ == nullptr)
                out->records.push_back(std::move(line.records.front()));
            else if (!abandoned)
                abandoned = !sink_(sinkContext_, database, std::move(line.records.front()));
            return true;
        }
        ShowProgress(database, line);
        return line.Find("progress.1") != nullptr;
    };
    JsonDocument answer;
    const bool ok = Call(std::string("export of ") + database.name,
                         {{"op", "export"}, {"section", database.section}, {"stamp", syncStamp},
                          {"lists", ListsName(lists)}},
                         std::string(), onLine, &answer);
    if (progress_ != nullptr && !broken_) progress_(progressContext_, database, 0, 0);
    if (!ok) {
        out->records.clear();
        return false;
    }
    int64_t count = 0, sent = 0;
    if (!answer.Flag("fullSync", &out->fullSync) || !answer.Integer("count", &count) ||
        !answer.Integer("records", &sent) || sent != received)
        return Broken("answered \"export\" without its summary, or with another count of records than it sent");
    out->count = static_cast<uint32_t>(count);
    // The bridge has finished its pass; only the records not handed over are lost.
    if (abandoned) return Fail("the export of " + std::string(database.name) + " was abandoned by the records' receiver");
    return true;
}

bool BridgeSession::Import(const HostDatabase& database, const std::vector<HostRecord>& records,
                           std::vector<ImportResult>* results) {
    if (broken_) return false;
    // The record lines carry the id Call gives the request.
    std::string lines;
    for (const HostRecord& record : records) AppendRecordLine(&lines, nextId_, database, record);
    const LineHandler onLine = [&](JsonDocument& line) {
        if (line.Find("result.ok") != nullptr) {
            ImportResult result;
            std::string reason;
            if (!ResultFromDocument(line, &result, &reason)) return false;
            results->push_back(result);
            return true;
        }
        ShowProgress(database, line);
        return line.Find("progress.1") != nullptr;
    };
    const bool ok = Call(std::string("import into ") + database.name,
                         {{"op", "import"}, {"section", database.section}, {"records", records.size()}}, lines,
                         onLine);
    if (progress_ != nullptr && !broken_) progress_(progressContext_, database, 0, 0);
    return ok;
}

// The lines of read_link are taken whole by nlohmann's parser: a backup is
// read once, and its values nest deeper than records do.
bool BridgeSession::ReadLink(std::vector<LinkDatabase>* out) {
    out->clear();
    std::string reason;
    const LineHandler onLine = [&](JsonDocument&) {
        const nlohmann::json line = nlohmann::json::parse(lineText_, nullptr, false);
        if (line.is_object() && line.contains(kLinkHeadKey)) {
            out->emplace_back();
            return LinkHeadFromJson(line[kLinkHeadKey], &out->back(), &reason);
        }
        if (!line.is_object() || !line.contains(kLinkRecordKey) || out->empty()) return false;
        out->back().records.emplace_back();
        return LinkRecordFromJson(line[kLinkRecordKey], out->back(), &out->back().records.back(), &reason);
    };
    JsonDocument answer;
    if (!Call("read_link", {{"op", "read_link"}}, std::string(), onLine, &answer)) {
        if (!reason.empty()) error_ += " (" + reason + ")";
        return false;
    }
    int64_t databases = 0;
    if (!answer.Integer("databases", &databases) || databases != static_cast<int64_t>(out->size()))
        return Broken("answered \"read_link\" with another count of databases than it sent");
    return true;
}

bool BridgeSession::WriteLink(const LinkDatabase& head, const std::vector<uint32_t>& deletes,
                              std::vector<LinkRecord>* adds) {
    if (broken_) return false;
    std::string lines;
    for (const LinkRecord& record : *adds) AppendLinkRecordLine(&lines, nextId_, head, record);
    JsonDocument answer;
    const std::string doing = "write_link into " + LinkDatabaseName(head.id);
    if (!Call(doing,
              {{"op", "write_link"}, {"database", head.id}, {"fields", head.fields.size()}, {"deletes", deletes},
               {"records", adds->size()}},
              lines, nullptr, &answer))
        return false;
    for (size_t i = 0; i < adds->size(); ++i) {
        int64_t id = 0;
        if (!answer.Integer("ids." + std::to_string(i), &id) || id <= 0 || id > UINT32_MAX)
            return Broken("answered \"write_link\" without the ids of the records it added");
        (*adds)[i].id = static_cast<uint32_t>(id);
    }
    return true;
}

}  // namespace

std::unique_ptr<DeviceSession> OpenBridgeSession(const std::string& command, unsigned timeoutSeconds,
                                                 std::string* error) {
    auto session = std::make_unique<BridgeSession>(command, timeoutSeconds);
    if (!session->Open(error)) return nullptr;
    return session;
}

}  // namespace morvane_host
