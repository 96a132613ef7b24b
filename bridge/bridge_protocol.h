// The bridge protocol (bridge/PROTOCOL.md), as both ends speak it: one JSON
// object a line, requests numbered by the client and each answered once.
// The names of the protocol's words, the lines that carry records, import
// results and progress (written by hand: an export sends thousands of
// them), and a buffer that cuts a byte stream into lines.  Small requests
// and final answers are built with nlohmann's json where they are made.
#ifndef MORVANE_BRIDGE_BRIDGE_PROTOCOL_H
#define MORVANE_BRIDGE_BRIDGE_PROTOCOL_H

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "bridge/device_session.h"
#include "records/record_json.h"

namespace morvane_host {

constexpr int kBridgeProtocol = 1;
// The longest line either end accepts.  A record of the largest database
// with every field at its longest, every character escaped, stays below.
constexpr size_t kMaxLineBytes = 16u * 1024 * 1024;
// The member under which a line carries a record.
extern const char kRecordKey[];
// The members under which read_link and write_link lines carry a link
// database's head and one of its records (records/link_image.h).
extern const char kLinkHeadKey[];
extern const char kLinkRecordKey[];

// "ask", "ok", "cancel"; "clear", "keep"; "add", "change", "delete".
const char* PairingName(PairingAnswer answer);
bool PairingFromName(const std::string& name, PairingAnswer* answer);
const char* ListsName(ChangeLists lists);
bool ListsFromName(const std::string& name, ChangeLists* lists);
const char* ActionName(ImportAction action);

// Appends one whole line, '\n' included:
//   {"id":4,"record":{...}}            a record (RecordLayout::kWire)
//   {"id":5,"result":{...}}            the outcome of importing one record
//   {"id":4,"progress":[120,3000]}     records done of total
void AppendRecordLine(std::string* out, int64_t id, const HostDatabase& database, const HostRecord& record);
void AppendResultLine(std::string* out, int64_t id, const ImportResult& result);
void AppendProgressLine(std::string* out, int64_t id, size_t done, size_t total);
//   {"id":3,"head":{"database":8,...}}  a link database's head
//   {"id":3,"link":{"id":1,...}}        one of its records
void AppendLinkHeadLine(std::string* out, int64_t id, const LinkDatabase& database);
void AppendLinkRecordLine(std::string* out, int64_t id, const LinkDatabase& database, const LinkRecord& record);

// The import result a result line carries.  False with the reason when a
// member is missing or of the wrong kind.
bool ResultFromDocument(const JsonDocument& line, ImportResult* result, std::string* error);

// Cuts a stream of bytes into lines.  Bytes are added as they arrive;
// whole lines are taken out without their line end ("\n" or "\r\n").  A
// line longer than kMaxLineBytes is not kept: it is skipped to its end and
// reported by its length instead.
class LineBuffer {
public:
    void Add(const char* data, size_t size);
    // The next whole line, true; false when none is complete yet.  The
    // line is *data, *size bytes, valid until the next Add.  *oversized is
    // the length of a line that was skipped (then *size is 0), else 0.
    bool Next(const char** data, size_t* size, size_t* oversized);
    // Whether bytes of an unfinished line are waiting.
    bool HasPartial() const { return skipping_ || start_ < buffer_.size(); }

private:
    std::string buffer_;
    size_t start_ = 0;    // where the next line begins
    size_t scanned_ = 0;  // no '\n' before this position after start_
    bool skipping_ = false;
    size_t skipped_ = 0;
};

}  // namespace morvane_host

#endif
