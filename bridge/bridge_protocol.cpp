#include "bridge/bridge_protocol.h"

#include <string.h>

#include <nlohmann/json.hpp>

namespace morvane_host {

const char kRecordKey[] = "record";
const char kLinkHeadKey[] = "head";
const char kLinkRecordKey[] = "link";

namespace {

struct PairingWord {
    PairingAnswer answer;
    const char* name;
};

static const PairingWord kPairingWords[] = {
    // 0
    {PairingAnswer::kAsk, "ask"},
    {PairingAnswer::kOk, "ok"},
    {PairingAnswer::kCancel, "cancel"},
};

void AppendNumber(std::string* out, int64_t value) { *out += std::to_string(value); }

// Compaction of the buffer once this much of it has been taken.
constexpr size_t kCompactAfter = 1u << 20;

}  // namespace

const char* PairingName(PairingAnswer answer) {
    for (const PairingWord& word : kPairingWords)
        if (word.answer == answer) return word.name;
    return "ask";
}

bool PairingFromName(const std::string& name, PairingAnswer* answer) {
    for (const PairingWord& word : kPairingWords)
        if (name == word.name) {
            *answer = word.answer;
            return true;
        }
    return false;
}

const char* ListsName(ChangeLists lists) { return lists == ChangeLists::kKeep ? "keep" : "clear"; }

bool ListsFromName(const std::string& name, ChangeLists* lists) {
    if (name != "keep" && name != "clear") return false;
    *lists = name == "keep" ? ChangeLists::kKeep : ChangeLists::kClear;
    return true;
}

const char* ActionName(ImportAction action) {
    switch (action) {
        case ImportAction::kAdd: return "add";
        case ImportAction::kChange: return "change";
        default: return "delete";
    }
}

void AppendRecordLine(std::string* out, int64_t id, const HostDatabase& database, const HostRecord& record) {
    *out += "{\"id\":";
    AppendNumber(out, id);
    *out += ",\"record\":";
    AppendRecordJson(out, database, record, RecordLayout::kWire);
    *out += "}\n";
}

void AppendResultLine(std::string* out, int64_t id, const ImportResult& result) {
    *out += "{\"id\":";
    AppendNumber(out, id);
    *out += ",\"result\":{\"action\":\"";
    *out += ActionName(result.action);
    *out += "\",\"sourceId\":";
    AppendNumber(out, result.sourceId);
    *out += ",\"deviceId\":";
    AppendNumber(out, result.deviceId);
    *out += result.ok ? ",\"ok\":true" : ",\"ok\":false,\"failedExport\":";
    if (!result.ok) {
        AppendJsonString(out, result.failedExport);
        *out += ",\"result\":";
        AppendNumber(out, result.result);
        *out += ",\"lastError\":";
        AppendNumber(out, result.lastError);
    }
    *out += "}}\n";
}

void AppendProgressLine(std::string* out, int64_t id, size_t done, size_t total) {
    *out += "{\"id\":";
    AppendNumber(out, id);
    *out += ",\"progress\":[";
    AppendNumber(out, static_cast<int64_t>(done));
    *out += ',';
    AppendNumber(out, static_cast<int64_t>(total));
    *out += "]}\n";
}

bool ResultFromDocument(const JsonDocument& line, ImportResult* result, std::string* error) {
    std::string action;
    int64_t sourceId = 0, deviceId = 0;
    bool ok = false;
    if (!line.Text("result.action", &action) || !line.Integer("result.sourceId", &sourceId) ||
        !line.Integer("result.deviceId", &deviceId) || !line.Flag("result.ok", &ok)) {
        *error = "a result without its action, ids or outcome";
        return false;
    }
    *result = ImportResult();
    result->action = action == "add" ? ImportAction::kAdd : action == "change" ? ImportAction::kChange
                                                                                : ImportAction::kDelete;
    result->sourceId = static_cast<int32_t>(sourceId);
    result->deviceId = static_cast<int32_t>(deviceId);
    result->ok = ok;
    if (ok) return true;
    int64_t code = 0, lastError = 0;
    if (!line.Text("result.failedExport", &result->failedExport) || !line.Integer("result.result", &code) ||
        !line.Integer("result.lastError", &lastError)) {
        *error = "a failed result without the failing export, its result and the last error";
        return false;
    }
    result->result = static_cast<int32_t>(code);
    result->lastError = static_cast<uint32_t>(lastError);
    return true;
}

void LineBuffer::Add(const char* data, size_t size) {
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = scanned_ = 0;
    } else if (start_ >= kCompactAfter && start_ * 2 >= buffer_.size()) {
        buffer_.erase(0, start_);
        scanned_ -= start_;
        start_ = 0;
    }
    buffer_.append(data, size);
}

bool LineBuffer::Next(const char** data, size_t* size, size_t* oversized) {
    *oversized = 0;
    const void* end = memchr(buffer_.data() + scanned_, '\n', buffer_.size() - scanned_);
    if (end == nullptr) {
        scanned_ = buffer_.size();
        // A line that cannot fit is dropped as it arrives, so that it never
        // takes more than the limit of memory.
        if (buffer_.size() - start_ > kMaxLineBytes) {
            skipped_ += buffer_.size() - start_;
            skipping_ = true;
            buffer_.clear();
            start_ = scanned_ = 0;
        }
        return false;
    }
    const size_t newline = static_cast<size_t>(static_cast<const char*>(end) - buffer_.data());
    const size_t taken = start_;
    size_t length = newline - start_;
    start_ = scanned_ = newline + 1;
    if (skipping_ || length > kMaxLineBytes) {
        *oversized = skipped_ + length;
        skipping_ = false;
        skipped_ = 0;
        *data = buffer_.data() + taken;
        *size = 0;
        return true;
    }
    if (length > 0 && buffer_[taken + length - 1] == '\r') --length;
    *data = buffer_.data() + taken;
    *size = length;
    return true;
}

void AppendLinkHeadLine(std::string* out, int64_t id, const LinkDatabase& database) {
    *out += nlohmann::json{{"id", id}, {kLinkHeadKey, LinkHeadToJson(database)}}.dump() + "\n";
}

void AppendLinkRecordLine(std::string* out, int64_t id, const LinkDatabase& database, const LinkRecord& record) {
    *out += nlohmann::json{{"id", id}, {kLinkRecordKey, LinkRecordToJson(database, record)}}.dump() + "\n";
}

}  // namespace morvane_host
