// The records the benchmarks put on the simulated devices: every link field
// of a record filled, Schedule entries with an alarm and a weekly repeat,
// mail spread over the four folders and so over both device databases.
#include "bench/bench_world.h"

#include <map>
#include <utility>

using tethra_sim::Database;
using tethra_sim::DeviceImage;
using tethra_sim::LinkValue;

namespace morvane_bench {

namespace {

// A value of the field's link type; texts carry the record's number so
// that no two records are alike.
LinkValue Generic(const tethra_sim::LinkField& field, size_t i) {
    const int n = static_cast<int>(i);
    switch (field.type) {
    case tethra_sim::kLinkDate: return tethra_sim::DateValue(1970 + n % 50, 1 + n % 12, 1 + n % 28);
    case tethra_sim::kLinkTime: return tethra_sim::TimeValue(n % 24, n % 60, 0);
    case tethra_sim::kLinkDateTime: return tethra_sim::DateTimeValue(2020 + n % 8, 1 + n % 12, 1 + n % 28, n % 24, n % 60, 0);
    case tethra_sim::kLinkByte: return tethra_sim::ByteValue(0);
    case tethra_sim::kLinkShort: return tethra_sim::ShortValue(0);
    case tethra_sim::kLinkNumber: return tethra_sim::NumberValue(0);
    default: return tethra_sim::TextValue(field.name.substr(2) + " " + std::to_string(i));
    }
}

// Values that make a record what the pass is about, by link field name.
tethra_sim::FieldValues Specific(const KindInfo& kind, size_t i) {
    using namespace tethra_sim;
    const int n = static_cast<int>(i);
    switch (kind.kind) {
    case Kind::kSchedule:
        return {{"S_START_DATE", DateValue(2026, 1 + n % 12, 1 + n % 28)},
                {"S_END_DATE", DateValue(2026, 1 + n % 12, 1 + n % 28)},
                {"S_START_TIME", TimeValue(8 + n % 10, 30, 0)},
                {"S_END_TIME", TimeValue(9 + n % 10, 15, 0)},
                {"S_ALARM_FLAG", ByteValue(1)},
                {"S_ALARM_TIME", TimeValue(0, 15, 0)},
                {"S_REPEAT_FLAG", ByteValue(1)},
                {"S_REPEAT_PREIOD", ByteValue(2)},
                {"S_REPEAT_COUNT", ByteValue(1)},
                {"S_DAYPATTERN", ByteValue(0x0A)},
                {"S_FIELD_REPEAT_END", DateValue(2027, 3, 31)},
                {"S_NOTEMEMO", TextValue("Bring the mat.\nCourse fee paid. " + std::to_string(i))},
                {"S_SILENT_LOUD", ByteValue(1)}};
    case Kind::kMail: {
        const int folder = n % 4;
        return {{"S_MAILID", NumberValue(n + 1)},
                {"S_FOLDERID", NumberValue(folder)},
                {"S_TYPE", ByteValue(folder == 0 ? 0 : 1)},
                {"S_BODY", TextValue("Are we still on for Saturday?\nAnna " + std::to_string(i))},
                {"S_IS_READ", ByteValue(1)},
                {"S_IS_SENT", ByteValue(folder == 2 ? 1 : 0)},
                {"S_PRIORITY", ByteValue(2)},
                {"S_SIZE", NumberValue(40)}};
    }
    case Kind::kAddress:
    default:
        return {{"S_CONFIDENTIAL1", NumberValue(n % 2)},
                {"S_NOTE1", TextValue("Met at the trade fair.\nPrefers mail. " + std::to_string(i))}};
    }
}

// Received and saved mail live in the main database, outbox and sent mail
// in the companion one.
uint32_t TargetDb(const KindInfo& kind, size_t i) {
    if (kind.companionId == 0) return kind.dbId;
    const size_t folder = i % 4;
    return folder == 0 || folder == 3 ? kind.dbId : kind.companionId;
}

// What Fill put on each image last: (kind, n).
std::map<const DeviceImage*, std::pair<const KindInfo*, size_t>>& Filled() {
    static std::map<const DeviceImage*, std::pair<const KindInfo*, size_t>> filled;
    return filled;
}

void Reset(Database& db) {
    db.records.clear();
    db.records.shrink_to_fit();
    for (auto& list : db.changes) list.clear();
    db.syncEnabled = true;
}

}  // namespace

void Fill(DeviceImage& image, const KindInfo& kind, size_t n) {
    const auto before = Filled()[&image];
    if (before.first == &kind && before.second == n) return;
    // Only one database is kept filled per image, so that the large ones
    // do not pile up over the run.
    if (before.first != nullptr) Clear(image, *before.first);
    Clear(image, kind);
    for (size_t i = 0; i < n; ++i) {
        Database* db = image.Find(TargetDb(kind, i));
        if (db == nullptr) return;
        tethra_sim::Record record;
        record.id = db->nextId++;
        for (const tethra_sim::LinkField& field : db->fields) record.values.push_back(Generic(field, i));
        for (const auto& entry : Specific(kind, i)) {
            const int at = db->FieldIndex(entry.first);
            if (at >= 0) record.values[static_cast<size_t>(at)] = entry.second;
        }
        db->records.push_back(std::move(record));
    }
    Filled()[&image] = {&kind, n};
}

void Clear(DeviceImage& image, const KindInfo& kind) {
    for (uint32_t id : {kind.dbId, kind.companionId})
        if (Database* db = id != 0 ? image.Find(id) : nullptr) Reset(*db);
    Filled()[&image] = {nullptr, 0};
}

void MarkAllChanged(DeviceImage& image, const KindInfo& kind) {
    for (uint32_t id : {kind.dbId, kind.companionId}) {
        Database* db = id != 0 ? image.Find(id) : nullptr;
        if (db == nullptr) continue;
        for (auto& list : db->changes) list.clear();
        for (const tethra_sim::Record& record : db->records) db->changes[1].push_back(record.id);
    }
}

size_t ValueBytes(const DeviceImage& image, const KindInfo& kind) {
    size_t bytes = 0;
    for (uint32_t id : {kind.dbId, kind.companionId}) {
        const Database* db = id != 0 ? image.Find(id) : nullptr;
        if (db == nullptr) continue;
        for (const tethra_sim::Record& record : db->records)
            for (const LinkValue& value : record.values) bytes += value.bytes.size();
    }
    return bytes;
}

size_t RecordCount(const DeviceImage& image, const KindInfo& kind) {
    size_t count = 0;
    for (uint32_t id : {kind.dbId, kind.companionId})
        if (const Database* db = id != 0 ? image.Find(id) : nullptr) count += db->records.size();
    return count;
}

}  // namespace morvane_bench
