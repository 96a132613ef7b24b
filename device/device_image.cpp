// The handheld's state and the edits its user makes between synchronisations.
#include "device/simulator.h"

#include <algorithm>
#include <cstring>

namespace tethra_sim {

namespace {

bool Contains(const std::vector<uint32_t>& list, uint32_t id) {
    return std::find(list.begin(), list.end(), id) != list.end();
}

void Remove(std::vector<uint32_t>& list, uint32_t id) {
    list.erase(std::remove(list.begin(), list.end(), id), list.end());
}

// Checks every name before anything is written, so a bad edit changes nothing.
bool ApplyValues(const Database& db, Record& record, const FieldValues& values) {
    for (const auto& entry : values)
        if (db.FieldIndex(entry.first) < 0) return false;
    for (const auto& entry : values) record.values[db.FieldIndex(entry.first)] = entry.second;
    return true;
}

}  // namespace

int Database::FieldIndex(const std::string& name) const {
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == name) return static_cast<int>(i);
    return -1;
}

// Ids are handed out in ascending order and records are only appended or
// erased, so the list is normally sorted by id and a binary search finds a
// record; an image file may list its records in any order, which the
// linear search behind it still serves.
Record* Database::Find(uint32_t recordId) {
    size_t low = 0, high = records.size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (records[middle].id < recordId)
            low = middle + 1;
        else
            high = middle;
    }
    if (low < records.size() && records[low].id == recordId) return &records[low];
    for (Record& r : records)
        if (r.id == recordId) return &r;
    return nullptr;
}

const Record* Database::Find(uint32_t recordId) const {
    return const_cast<Database*>(this)->Find(recordId);
}

Database* DeviceImage::Find(uint32_t dbId) {
    for (Database& db : databases)
        if (db.id == dbId) return &db;
    return nullptr;
}

const Database* DeviceImage::Find(uint32_t dbId) const {
    return const_cast<DeviceImage*>(this)->Find(dbId);
}

uint32_t DeviceImage::AddRecord(uint32_t dbId, const FieldValues& values) {
    Database* db = Find(dbId);
    if (db == nullptr) return 0;
    Record record;
    record.values.resize(db->fields.size());
    if (!ApplyValues(*db, record, values)) return 0;
    record.id = db->nextId++;
    db->records.push_back(record);
    db->changes[0].push_back(record.id);
    return record.id;
}

// A record the PC has not seen yet stays only in the added list; any other
// is listed once as changed however often it changes.
bool DeviceImage::ChangeRecord(uint32_t dbId, uint32_t recordId, const FieldValues& values) {
    Database* db = Find(dbId);
    Record* record = db != nullptr ? db->Find(recordId) : nullptr;
    if (record == nullptr || !ApplyValues(*db, *record, values)) return false;
    if (!Contains(db->changes[0], recordId) && !Contains(db->changes[1], recordId))
        db->changes[1].push_back(recordId);
    return true;
}

// Deleting a record the PC never saw leaves no trace; any other is listed
// as deleted instead of changed.
bool DeviceImage::DeleteRecord(uint32_t dbId, uint32_t recordId) {
    Database* db = Find(dbId);
    if (db == nullptr || db->Find(recordId) == nullptr) return false;
    db->records.erase(std::remove_if(db->records.begin(), db->records.end(),
                                     [recordId](const Record& r) { return r.id == recordId; }),
                      db->records.end());
    if (Contains(db->changes[0], recordId)) {
        Remove(db->changes[0], recordId);
        return true;
    }
    Remove(db->changes[1], recordId);
    if (!Contains(db->changes[2], recordId)) db->changes[2].push_back(recordId);
    return true;
}

bool DeviceImage::GetValue(uint32_t dbId, uint32_t recordId, const std::string& field, LinkValue* out) const {
    const Database* db = Find(dbId);
    const Record* record = db != nullptr ? db->Find(recordId) : nullptr;
    const int index = db != nullptr ? db->FieldIndex(field) : -1;
    if (record == nullptr || index < 0 || out == nullptr) return false;
    *out = record->values[index];
    return true;
}

void DeviceImage::FailCall(const std::string& operation, uint32_t nth, uint32_t error, bool persistent,
                           FaultEffect effect) {
    Fault fault;
    fault.operation = operation;
    fault.call = nth == 0 ? 1 : nth;
    fault.error = error;
    fault.persistent = persistent;
    fault.effect = effect;
    faults.push_back(fault);
}

void DeviceImage::SetPairing(const uint8_t id[8], const std::string& time) {
    std::memcpy(pcId, id, sizeof pcId);
    syncTime = time;
}

DeviceImage EmptyImage() {
    DeviceImage image;
    for (uint32_t id : {1u, 6u, 7u, 8u, 15u, 16u}) {
        Database db;
        db.id = id;
        db.fields = BuiltInFields(id);
        image.databases.push_back(db);
    }
    return image;
}

}  // namespace tethra_sim
