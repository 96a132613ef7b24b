// CTethraApp: databases, change lists and records.
#include "device/link_session.h"

#include <algorithm>
#include <cstring>

using tethra_sim::Session;

namespace tethra_sim {

namespace {

// Larger values are taken for a damaged record rather than data.
constexpr uint32_t kMaxValueLength = 1u << 24;
// What a value's buffer holds past the value.
constexpr uint8_t kPastValue = 0xEE;

void Remove(std::vector<uint32_t>& list, uint32_t id) {
    list.erase(std::remove(list.begin(), list.end(), id), list.end());
}

bool FitsType(uint32_t type, uint32_t length) {
    if (type == kLinkDate || type == kLinkTime || type == kLinkDateTime) return length == 8;
    if (type == kLinkByte || type == kLinkShort || type == kLinkNumber) return length <= 4;
    return length <= kMaxValueLength;
}

// Values come back in buffers of at least 8 bytes, so a reader that takes a
// short or a number from a one-byte value stays inside its buffer; the
// bytes past a value are kPastValue, so that a reader that does not stop
// at the value's length reads something other than zero-extension.  A
// damaged reply may drop the data of every value or the second half of
// the slots.
bool FillLinkRecord(Session& s, HANDLE heap, const Database& db, const Record& record, _tagDVXDBREC* out) {
    uint32_t n = static_cast<uint32_t>(db.fields.size());
    if (s.Damages(FaultEffect::kShortRecords)) n /= 2;
    auto* slots = static_cast<_tagDVXFIELD*>(HeapBytes(heap, n * sizeof(_tagDVXFIELD)));
    if (slots == nullptr && n != 0) return s.Fail(kErrOutOfMemory);
    for (uint32_t i = 0; i < n; ++i) {
        const LinkValue& v = record.values[i];
        slots[i].size = kDvxFieldSlotSize;
        slots[i].length = v.absent ? kDvxAbsentLength : static_cast<uint32_t>(v.bytes.size());
        if (v.absent || v.bytes.empty() || s.Damages(FaultEffect::kNullValues)) continue;
        const size_t size = std::max<size_t>(v.bytes.size(), 8);
        slots[i].data = static_cast<uint8_t*>(HeapBytes(heap, size));
        if (slots[i].data == nullptr) return s.Fail(kErrOutOfMemory);
        std::memcpy(slots[i].data, v.bytes.data(), v.bytes.size());
        std::memset(slots[i].data + v.bytes.size(), kPastValue, size - v.bytes.size());
    }
    out->size = kDvxRecordSize;
    out->fieldCount = n;
    out->recordId = record.id;
    out->fields = slots;
    return true;
}

// Whether a structure's size field gives its size: the contract's, which
// is the 32-bit layout's, or that of the layout of the caller's build.
template <typename T>
bool GivesItsSize(const T& structure, uint32_t contractSize) {
    return structure.size == contractSize || structure.size == sizeof(T);
}

// Slots beyond the device's field list are ignored; fields beyond the
// record's slots count as not sent.  A record or slot that does not give
// its own size is no record of this contract.
bool CheckIncoming(Session& s, const Database& db, const _tagDVXDBREC* record, bool mustExist) {
    if (record == nullptr || !GivesItsSize(*record, kDvxRecordSize) ||
        (record->fieldCount != 0 && record->fields == nullptr))
        return s.Fail(kErrInvalidParameter);
    const uint32_t n = std::min<uint32_t>(record->fieldCount, static_cast<uint32_t>(db.fields.size()));
    for (uint32_t i = 0; i < n; ++i) {
        const _tagDVXFIELD& slot = record->fields[i];
        if (!GivesItsSize(slot, kDvxFieldSlotSize)) return s.Fail(kErrInvalidParameter);
        if (slot.length == 0 || slot.length == kDvxAbsentLength) continue;
        if (slot.data == nullptr) return s.Fail(kErrInvalidParameter);
        if (!FitsType(db.fields[i].type, slot.length)) return s.Fail(kErrBadFieldValue);
    }
    if (mustExist && record->recordId != 0 && db.Find(record->recordId) == nullptr)
        return s.Fail(kErrRecordNotFound);
    return true;
}

// An absent slot keeps the stored value (a new record starts empty).
void StoreIncoming(const _tagDVXDBREC& in, Record& target) {
    const uint32_t n = std::min<uint32_t>(in.fieldCount, static_cast<uint32_t>(target.values.size()));
    for (uint32_t i = 0; i < n; ++i) {
        const _tagDVXFIELD& slot = in.fields[i];
        if (slot.length == kDvxAbsentLength) continue;
        LinkValue v;
        if (slot.length != 0) v.bytes.assign(slot.data, slot.data + slot.length);
        target.values[i] = v;
    }
}

}  // namespace

int GetDBIDList(Session& s, _tagS_DVXDBIDIF** list, uint32_t* count, HANDLE heap) {
    if (!s.RequireConnection()) return 0;
    if (list == nullptr || count == nullptr || heap == nullptr) return s.Fail(kErrInvalidParameter);
    *list = nullptr;
    *count = 0;
    const size_t n = s.image.databases.size();
    if (n == 0) return 1;
    auto* entries = static_cast<_tagS_DVXDBIDIF*>(HeapBytes(heap, n * sizeof(_tagS_DVXDBIDIF)));
    if (entries == nullptr) return s.Fail(kErrOutOfMemory);
    for (size_t i = 0; i < n; ++i) entries[i].dbId = s.image.databases[i].id;
    *list = s.Damages(FaultEffect::kNullLists) ? nullptr : entries;
    *count = static_cast<uint32_t>(n);
    return 1;
}

int GetDBInfo(Session& s, uint32_t dbId, HANDLE heap, _tagS_DVXDBINFO* info) {
    if (!s.RequireConnection()) return 0;
    if (heap == nullptr || info == nullptr) return s.Fail(kErrInvalidParameter);
    const Database* db = s.RequireDatabase(dbId);
    if (db == nullptr) return 0;
    const size_t n = db->fields.size();
    auto* fields = static_cast<_tagS_DVXFIELDINFO*>(HeapBytes(heap, n * sizeof(_tagS_DVXFIELDINFO)));
    if (fields == nullptr) return s.Fail(kErrOutOfMemory);
    for (size_t i = 0; i < n; ++i) {
        fields[i].size = kDvxFieldInfoSize;
        // A name that fills the record's 96 bytes arrives without its zero.
        const std::string& name = db->fields[i].name;
        std::memcpy(fields[i].name, name.data(), std::min(name.size(), sizeof fields[i].name));
        fields[i].type = db->fields[i].type;
    }
    info->size = sizeof *info;
    info->dbId = dbId;
    info->fieldCount = static_cast<uint32_t>(n);
    info->fields = s.Damages(FaultEffect::kNullLists) ? nullptr : fields;
    return 1;
}

int SetDBSyncMode(Session& s, int mode, const uint32_t* ids, uint32_t count) {
    if (!s.RequireConnection()) return 0;
    if (count != 0 && ids == nullptr) return s.Fail(kErrInvalidParameter);
    for (uint32_t i = 0; i < count; ++i)
        if (s.RequireDatabase(ids[i]) == nullptr) return 0;
    for (uint32_t i = 0; i < count; ++i) s.image.Find(ids[i])->syncEnabled = mode != 0;
    return 1;
}

int CleanUpAllSyncState(Session& s, uint32_t dbId) {
    if (!s.RequireConnection()) return 0;
    Database* db = s.RequireDatabase(dbId);
    if (db == nullptr) return 0;
    for (auto& list : db->changes) list.clear();
    return 1;
}

// A database outside sync keeps no change lists to give.
int GetAllSyncRecordList(Session& s, uint32_t dbId, HANDLE heap, uint32_t** lists[3], uint32_t* counts[3]) {
    for (int k = 0; k < 3; ++k) {
        if (lists[k] == nullptr || counts[k] == nullptr) return s.Fail(kErrInvalidParameter);
        *lists[k] = nullptr;
        *counts[k] = 0;
    }
    if (!s.RequireConnection()) return 0;
    if (heap == nullptr) return s.Fail(kErrInvalidParameter);
    const Database* db = s.RequireDatabase(dbId);
    if (db == nullptr) return 0;
    if (!db->syncEnabled) return s.Fail(kErrNoSyncState);
    uint32_t* made[3] = {nullptr, nullptr, nullptr};
    for (int k = 0; k < 3; ++k) {
        const std::vector<uint32_t>& ids = db->changes[k];
        if (ids.empty()) continue;
        made[k] = static_cast<uint32_t*>(HeapBytes(heap, ids.size() * sizeof(uint32_t)));
        if (made[k] == nullptr) return s.Fail(kErrOutOfMemory);
        std::copy(ids.begin(), ids.end(), made[k]);
    }
    for (int k = 0; k < 3; ++k) {
        *lists[k] = s.Damages(FaultEffect::kNullLists) ? nullptr : made[k];
        *counts[k] = static_cast<uint32_t>(db->changes[k].size());
    }
    return 1;
}

// Every id is checked before any record is filled.
int GetRecordData(Session& s, uint32_t dbId, _tagDVXDBREC** records, uint32_t count, HANDLE heap,
                  uint32_t* countOut) {
    if (countOut != nullptr) *countOut = 0;
    if (!s.RequireConnection()) return 0;
    if (heap == nullptr || (count != 0 && records == nullptr)) return s.Fail(kErrInvalidParameter);
    Database* db = s.RequireDatabase(dbId);
    if (db == nullptr) return 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (records[i] == nullptr) return s.Fail(kErrInvalidParameter);
        if (db->Find(records[i]->recordId) == nullptr) return s.Fail(kErrRecordNotFound);
    }
    if (s.Damages(FaultEffect::kZeroCount)) return 1;
    for (uint32_t i = 0; i < count; ++i) {
        const Record* record = s.DecodedRecord(*db, records[i]->recordId);
        if (record == nullptr || !FillLinkRecord(s, heap, *db, *record, records[i])) return 0;
        if (countOut != nullptr) *countOut = i + 1;
    }
    return 1;
}

// Writes from the PC: all records are checked first, so a failure writes
// nothing.  New records (id 0, or every record of a first-sync write) get
// their id written back.  The change lists are left alone: these changes
// came from the PC.
int PutRecordData(Session& s, uint32_t dbId, _tagDVXDBREC** records, uint32_t count, bool firstSync,
                  uint32_t* writtenOut) {
    if (writtenOut != nullptr) *writtenOut = 0;
    if (!s.RequireConnection()) return 0;
    if (count != 0 && records == nullptr) return s.Fail(kErrInvalidParameter);
    Database* db = s.RequireDatabase(dbId);
    if (db == nullptr) return 0;
    if (firstSync && !db->firstSyncPutAllowed) return s.Fail(kErrFirstSyncNotAllowed);
    if (!firstSync && s.Damages(FaultEffect::kZeroCount)) return 1;
    for (uint32_t i = 0; i < count; ++i)
        if (!CheckIncoming(s, *db, records[i], !firstSync)) return 0;
    if (!s.DecodeAll(*db)) return 0;
    for (uint32_t i = 0; i < count; ++i) {
        _tagDVXDBREC& in = *records[i];
        Record* target = firstSync || in.recordId == 0 ? nullptr : db->Find(in.recordId);
        if (in.recordId == 0 || firstSync) {
            Record fresh;
            fresh.id = db->nextId++;
            fresh.values.resize(db->fields.size());
            db->records.push_back(fresh);
            target = &db->records.back();
            in.recordId = fresh.id;
        }
        StoreIncoming(in, *target);
    }
    if (writtenOut != nullptr) *writtenOut = count;
    return 1;
}

// The record goes from the device's change lists too: the PC knows it is gone.
int DeleteRecordData(Session& s, uint32_t dbId, uint32_t recordId) {
    if (!s.RequireConnection()) return 0;
    Database* db = s.RequireDatabase(dbId);
    if (db == nullptr) return 0;
    if (db->Find(recordId) == nullptr) return s.Fail(kErrRecordNotFound);
    if (!s.DecodeAll(*db)) return 0;
    db->records.erase(std::remove_if(db->records.begin(), db->records.end(),
                                     [recordId](const Record& r) { return r.id == recordId; }),
                      db->records.end());
    Remove(db->changes[0], recordId);
    Remove(db->changes[1], recordId);
    return 1;
}

int GetFirstSyncRecordData(Session& s, uint32_t dbId, _tagDVXDBREC** recordsOut, uint32_t* countOut, HANDLE heap) {
    if (recordsOut == nullptr || countOut == nullptr || heap == nullptr) return s.Fail(kErrInvalidParameter);
    *recordsOut = nullptr;
    *countOut = 0;
    if (!s.RequireConnection()) return 0;
    Database* db = s.RequireDatabase(dbId);
    if (db == nullptr || !s.DecodeAll(*db)) return 0;
    const size_t n = db->records.size();
    if (n == 0) return 1;
    auto* array = static_cast<_tagDVXDBREC*>(HeapBytes(heap, n * sizeof(_tagDVXDBREC)));
    if (array == nullptr) return s.Fail(kErrOutOfMemory);
    for (size_t i = 0; i < n; ++i)
        if (!FillLinkRecord(s, heap, *db, db->records[i], &array[i])) return 0;
    *recordsOut = s.Damages(FaultEffect::kNullLists) ? nullptr : array;
    *countOut = static_cast<uint32_t>(n);
    return 1;
}

}  // namespace tethra_sim

int CTethraApp::S_DVXGetDBIDList(_tagS_DVXDBIDIF** list, uint32_t* count, HANDLE heap) {
    return tethra_sim::Run(device_, "S_DVXGetDBIDList",
                           [=](Session& s) { return tethra_sim::GetDBIDList(s, list, count, heap); });
}

int CTethraApp::S_DVXSetDBSyncMode(int mode, const uint32_t* ids, uint32_t count) {
    return tethra_sim::Run(device_, "S_DVXSetDBSyncMode",
                           [=](Session& s) { return tethra_sim::SetDBSyncMode(s, mode, ids, count); });
}

int CTethraApp::S_DVXCleanUpAllSyncState(uint32_t dbId) {
    return tethra_sim::Run(device_, "S_DVXCleanUpAllSyncState",
                           [=](Session& s) { return tethra_sim::CleanUpAllSyncState(s, dbId); });
}

int CTethraApp::S_DVXGetDBInfo(uint32_t dbId, HANDLE heap, _tagS_DVXDBINFO* info) {
    return tethra_sim::Run(device_, "S_DVXGetDBInfo",
                           [=](Session& s) { return tethra_sim::GetDBInfo(s, dbId, heap, info); });
}

int CTethraApp::S_DVXGetAllSyncRecordList(uint32_t dbId, HANDLE heap, uint32_t** list1, uint32_t* count1,
                                          uint32_t** list2, uint32_t* count2, uint32_t** list3,
                                          uint32_t* count3) {
    return tethra_sim::Run(device_, "S_DVXGetAllSyncRecordList", [=](Session& s) {
        uint32_t** lists[3] = {list1, list2, list3};
        uint32_t* counts[3] = {count1, count2, count3};
        return tethra_sim::GetAllSyncRecordList(s, dbId, heap, lists, counts);
    });
}

int CTethraApp::S_DVXGetRecordData(uint32_t dbId, _tagDVXDBREC** records, uint32_t count, HANDLE heap,
                                   uint32_t* countOut) {
    return tethra_sim::Run(device_, "S_DVXGetRecordData", [=](Session& s) {
        return tethra_sim::GetRecordData(s, dbId, records, count, heap, countOut);
    });
}

int CTethraApp::S_DVXPutRecordData(uint32_t dbId, _tagDVXDBREC** records, uint32_t count, uint32_t* writtenOut) {
    return tethra_sim::Run(device_, "S_DVXPutRecordData", [=](Session& s) {
        return tethra_sim::PutRecordData(s, dbId, records, count, false, writtenOut);
    });
}

int CTethraApp::S_DVXDeleteRecordData(uint32_t dbId, uint32_t recordId) {
    return tethra_sim::Run(device_, "S_DVXDeleteRecordData",
                           [=](Session& s) { return tethra_sim::DeleteRecordData(s, dbId, recordId); });
}

int CTethraApp::S_DVXIsEnablePutFirstSyncRecordData(uint32_t dbId) {
    return tethra_sim::Run(device_, "S_DVXIsEnablePutFirstSyncRecordData", [=](Session& s) {
        if (!s.RequireConnection()) return 0;
        const tethra_sim::Database* db = s.RequireDatabase(dbId);
        if (db == nullptr) return 0;
        return db->firstSyncPutAllowed ? 1 : s.Fail(tethra_sim::kErrFirstSyncNotAllowed);
    });
}

int CTethraApp::S_DVXPutFirstSyncRecordData(uint32_t dbId, _tagDVXDBREC** records, uint32_t count) {
    return tethra_sim::Run(device_, "S_DVXPutFirstSyncRecordData", [=](Session& s) {
        return tethra_sim::PutRecordData(s, dbId, records, count, true, nullptr);
    });
}

int CTethraApp::S_DVXGetFirstSyncRecordData(uint32_t dbId, _tagDVXDBREC** recordsOut, uint32_t* countOut,
                                            HANDLE heap) {
    return tethra_sim::Run(device_, "S_DVXGetFirstSyncRecordData", [=](Session& s) {
        return tethra_sim::GetFirstSyncRecordData(s, dbId, recordsOut, countOut, heap);
    });
}
