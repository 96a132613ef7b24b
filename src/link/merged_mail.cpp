// The merged e-mail database: device database 16 (main) and 15 (companion)
// presented as one.  A companion record carries its device id plus
// 0x80000000; adding 0x80000000 once more (modulo 2^32) gives the device id
// back, so the same addition marks and unmarks.
//
// Every operation here behaves as the plain library operation when the
// database is not the merged one.  When a temporary list or heap cannot be
// created, the operation returns 0 before it calls the device, changes no
// record id and sets no out argument; the same holds when the joined list
// cannot be allocated from the caller's heap.
#include "link/device_link.h"

#include <new>
#include <memory>
#include <string.h>

namespace {

const char kFolderFieldName[] = "S_FOLDERID";

uint32_t ToggleCompanionBit(uint32_t id) { return id + kCompanionIdBit; }

// A new record goes to the main database only when its folder slot holds a
// value whose first byte is 0 (the folder the main database keeps).  Every
// other record, including one with no folder slot at all because the
// folder field has not been found, goes to the companion database.
bool BelongsToMainDatabase(const _tagDVXDBREC* record, int32_t folderFieldIndex) {
    if (folderFieldIndex < 0 || record->fields == nullptr) return false;
    if (static_cast<uint32_t>(folderFieldIndex) >= record->fieldCount) return false;
    const _tagDVXFIELD& slot = record->fields[folderFieldIndex];
    if (slot.length == 0 || slot.length == kDvxAbsentLength || slot.data == nullptr) return false;
    return slot.data[0] == 0;
}

// An array released by its owner, or null when it cannot be had; the new
// expression's own size check would throw instead of returning null.
template <typename T>
T* NewArray(size_t count) {
    if (count > SIZE_MAX / sizeof(T)) return nullptr;
    return new (std::nothrow) T[count];
}

// Record pointers handed to the library for one database during one merged
// call, in the caller's order.  The records themselves stay the caller's.
class RecordList {
public:
    explicit RecordList(uint32_t capacity) : items_(NewArray<_tagDVXDBREC*>(capacity ? capacity : 1)) {}
    bool Allocated() const { return items_ != nullptr; }
    void Add(_tagDVXDBREC* record) { items_[count_++] = record; }
    _tagDVXDBREC** Items() { return items_.get(); }
    uint32_t Count() const { return count_; }
    bool Empty() const { return count_ == 0; }
    // Adds the companion bit to the ids of the first n records (all when n is larger).
    void ToggleIds(uint32_t n) {
        for (uint32_t i = 0; i < n && i < count_; ++i) items_[i]->recordId = ToggleCompanionBit(items_[i]->recordId);
    }

private:
    std::unique_ptr<_tagDVXDBREC*[]> items_;
    uint32_t count_ = 0;
};

// A heap that lives for one merged call.
class TemporaryHeap {
public:
    TemporaryHeap() : heap_(HeapCreate(0, 0, 0)) {}
    ~TemporaryHeap() {
        if (heap_ != nullptr) HeapDestroy(heap_);
    }
    TemporaryHeap(const TemporaryHeap&) = delete;
    TemporaryHeap& operator=(const TemporaryHeap&) = delete;
    HANDLE Handle() const { return heap_; }

private:
    HANDLE heap_;
};

// Zero-filled memory for count items of the given size from heap, or null.
void* AllocateArray(HANDLE heap, uint32_t count, size_t itemSize) {
    if (count > SIZE_MAX / itemSize) return nullptr;
    return HeapAlloc(heap, HEAP_ZERO_MEMORY, count * itemSize);
}

// One of the three change lists of both databases.
struct IdListPair {
    uint32_t* mainIds = nullptr;
    uint32_t mainCount = 0;
    uint32_t* companionIds = nullptr;
    uint32_t companionCount = 0;
};

// The library may answer a count with no list behind it; such a list is
// taken as empty rather than read.
void DropCountsWithoutList(IdListPair* pair) {
    if (pair->mainIds == nullptr) pair->mainCount = 0;
    if (pair->companionIds == nullptr) pair->companionCount = 0;
}

// Joins a pair into one list from heap: the main ids, then the companion
// ids with the companion bit.  Returns false when the sum overflows or the
// list cannot be allocated.
bool JoinIdLists(IdListPair pair, HANDLE heap, uint32_t** listOut, uint32_t* countOut) {
    DropCountsWithoutList(&pair);
    uint32_t count = pair.mainCount + pair.companionCount;
    if (count < pair.mainCount) return false;
    uint32_t* list = static_cast<uint32_t*>(AllocateArray(heap, count, sizeof(uint32_t)));
    if (list == nullptr && count != 0) return false;
    for (uint32_t i = 0; i < pair.mainCount; ++i) list[i] = pair.mainIds[i];
    for (uint32_t i = 0; i < pair.companionCount; ++i)
        list[pair.mainCount + i] = ToggleCompanionBit(pair.companionIds[i]);
    *listOut = list;
    *countOut = count;
    return true;
}

}  // namespace

int CDeviceLink::CleanUpAllSyncState(uint32_t dbId) {
    if (!IsMergedDatabase(dbId)) return tethra.S_DVXCleanUpAllSyncState(dbId);
    int result = tethra.S_DVXCleanUpAllSyncState(kMainMailDbId);
    if (result == 0) return result;
    return tethra.S_DVXCleanUpAllSyncState(kCompanionMailDbId);
}

// Enabling the merged database enables its companion with it.
int CDeviceLink::SetDBSyncMode(int mode, const uint32_t* ids, uint32_t count) {
    bool hasMain = false;
    for (uint32_t i = 0; i < count && !hasMain; ++i) hasMain = ids[i] == kMainMailDbId;
    if (noMerge != 0 || !hasMain) return tethra.S_DVXSetDBSyncMode(mode, ids, count);

    if (count == UINT32_MAX) return 0;
    std::unique_ptr<uint32_t[]> withCompanion(NewArray<uint32_t>(count + 1));
    if (!withCompanion) return 0;
    memcpy(withCompanion.get(), ids, count * sizeof(uint32_t));
    withCompanion[count] = kCompanionMailDbId;
    return tethra.S_DVXSetDBSyncMode(mode, withCompanion.get(), count + 1);
}

// The first call for the merged database also notes where its folder field
// sits, which decides later where new records go.
int CDeviceLink::GetDBInfo(uint32_t dbId, HANDLE heap, _tagS_DVXDBINFO* info) {
    int result = tethra.S_DVXGetDBInfo(dbId, heap, info);
    if (result == 0 || folderFieldIndex != -1 || !IsMergedDatabase(dbId) || info->fields == nullptr) return result;
    for (uint32_t i = 0; i < info->fieldCount; ++i) {
        if (strncmp(info->fields[i].name, kFolderFieldName, sizeof info->fields[i].name) == 0) {
            folderFieldIndex = static_cast<int32_t>(i);
            break;
        }
    }
    return result;
}

int CDeviceLink::GetAllSyncRecordList(uint32_t dbId, HANDLE heap, uint32_t** list1, uint32_t* count1,
                                      uint32_t** list2, uint32_t* count2, uint32_t** list3, uint32_t* count3) {
    if (!IsMergedDatabase(dbId))
        return tethra.S_DVXGetAllSyncRecordList(dbId, heap, list1, count1, list2, count2, list3, count3);

    // Both databases' lists go to a heap of our own: only the joined lists
    // belong to the caller.
    TemporaryHeap scratch;
    if (scratch.Handle() == nullptr) return 0;
    IdListPair pairs[3];
    int result = tethra.S_DVXGetAllSyncRecordList(kMainMailDbId, scratch.Handle(), &pairs[0].mainIds,
                                                  &pairs[0].mainCount, &pairs[1].mainIds, &pairs[1].mainCount,
                                                  &pairs[2].mainIds, &pairs[2].mainCount);
    if (result == 0) return result;
    result = tethra.S_DVXGetAllSyncRecordList(kCompanionMailDbId, scratch.Handle(), &pairs[0].companionIds,
                                              &pairs[0].companionCount, &pairs[1].companionIds,
                                              &pairs[1].companionCount, &pairs[2].companionIds,
                                              &pairs[2].companionCount);
    if (result == 0) return result;

    uint32_t* lists[3] = {};
    uint32_t counts[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (!JoinIdLists(pairs[i], heap, &lists[i], &counts[i])) return 0;
    }
    *list1 = lists[0];
    *count1 = counts[0];
    *list2 = lists[1];
    *count2 = counts[1];
    *list3 = lists[2];
    *count3 = counts[2];
    return result;
}

int CDeviceLink::GetRecordData(uint32_t dbId, _tagDVXDBREC** records, uint32_t count, HANDLE heap,
                               uint32_t* countOut) {
    if (!IsMergedDatabase(dbId)) return tethra.S_DVXGetRecordData(dbId, records, count, heap, countOut);

    RecordList mainList(count), companionList(count);
    if (!mainList.Allocated() || !companionList.Allocated()) return 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (IsCompanionRecordId(records[i]->recordId)) {
            records[i]->recordId = ToggleCompanionBit(records[i]->recordId);
            companionList.Add(records[i]);
        } else {
            mainList.Add(records[i]);
        }
    }

    int result = 1;
    uint32_t mainRead = 0, companionRead = 0;
    if (!mainList.Empty()) {
        result = tethra.S_DVXGetRecordData(kMainMailDbId, mainList.Items(), mainList.Count(), heap, &mainRead);
        // The companion records keep their device ids: the caller gives up
        // on the whole request anyway.
        if (result == 0) return result;
    }
    if (!companionList.Empty()) {
        result = tethra.S_DVXGetRecordData(kCompanionMailDbId, companionList.Items(), companionList.Count(), heap,
                                           &companionRead);
    }
    if (result != 0) {
        companionList.ToggleIds(companionList.Count());
        *countOut = mainRead + companionRead;
    }
    return result;
}

int CDeviceLink::PutRecordData(uint32_t dbId, _tagDVXDBREC** records, uint32_t count, uint32_t* writtenOut) {
    if (!IsMergedDatabase(dbId)) return tethra.S_DVXPutRecordData(dbId, records, count, writtenOut);

    RecordList mainList(count), companionList(count);
    if (!mainList.Allocated() || !companionList.Allocated()) return 0;
    for (uint32_t i = 0; i < count; ++i) {
        _tagDVXDBREC* record = records[i];
        bool toCompanion;
        if (record->recordId != 0) {
            toCompanion = IsCompanionRecordId(record->recordId);
            if (toCompanion) record->recordId = ToggleCompanionBit(record->recordId);
        } else {
            toCompanion = !BelongsToMainDatabase(record, folderFieldIndex);
        }
        (toCompanion ? companionList : mainList).Add(record);
    }

    int result = 1;
    uint32_t mainWritten = 0, companionWritten = 0;
    if (!mainList.Empty()) result = tethra.S_DVXPutRecordData(kMainMailDbId, mainList.Items(), mainList.Count(),
                                                              &mainWritten);
    if (result != 0 && !companionList.Empty()) {
        result = tethra.S_DVXPutRecordData(kCompanionMailDbId, companionList.Items(), companionList.Count(),
                                           &companionWritten);
    }
    *writtenOut = mainWritten + companionWritten;
    // Written records, new ones with the id the device just gave them, are
    // companion records again; unwritten ones keep their device ids.
    companionList.ToggleIds(companionWritten);
    return result;
}

// Only the id tells which database a record of the merged database lives
// in, so the mapping holds whatever the device model.
int CDeviceLink::DeleteRecordData(uint32_t dbId, uint32_t recordId) {
    if (dbId == kMainMailDbId && IsCompanionRecordId(recordId))
        return tethra.S_DVXDeleteRecordData(kCompanionMailDbId, ToggleCompanionBit(recordId));
    return tethra.S_DVXDeleteRecordData(dbId, recordId);
}

int CDeviceLink::PutFirstSyncRecordData(uint32_t dbId, _tagDVXDBREC** records, uint32_t count) {
    if (!IsMergedDatabase(dbId)) return tethra.S_DVXPutFirstSyncRecordData(dbId, records, count);

    RecordList mainList(count), companionList(count);
    if (!mainList.Allocated() || !companionList.Allocated()) return 0;
    // Every record of a first synchronisation is new: only its folder counts.
    for (uint32_t i = 0; i < count; ++i)
        (BelongsToMainDatabase(records[i], folderFieldIndex) ? mainList : companionList).Add(records[i]);

    if (!mainList.Empty()) {
        int result = tethra.S_DVXPutFirstSyncRecordData(kMainMailDbId, mainList.Items(), mainList.Count());
        if (result == 0) return result;
    }
    // The companion database gets its call even with nothing to write.
    int result = tethra.S_DVXPutFirstSyncRecordData(kCompanionMailDbId, companionList.Items(),
                                                    companionList.Count());
    companionList.ToggleIds(companionList.Count());
    return result;
}

int CDeviceLink::GetFirstSyncRecordData(uint32_t dbId, _tagDVXDBREC** recordsOut, uint32_t* countOut,
                                        HANDLE heap) {
    if (!IsMergedDatabase(dbId)) return tethra.S_DVXGetFirstSyncRecordData(dbId, recordsOut, countOut, heap);

    _tagDVXDBREC* mainRecords = nullptr;
    _tagDVXDBREC* companionRecords = nullptr;
    uint32_t mainCount = 0, companionCount = 0;
    int result = tethra.S_DVXGetFirstSyncRecordData(kMainMailDbId, &mainRecords, &mainCount, heap);
    if (result == 0) return result;
    result = tethra.S_DVXGetFirstSyncRecordData(kCompanionMailDbId, &companionRecords, &companionCount, heap);
    if (result == 0) return result;
    // A count with no array behind it gives no records.
    if (mainRecords == nullptr) mainCount = 0;
    if (companionRecords == nullptr) companionCount = 0;

    uint32_t total = mainCount + companionCount;
    if (total < mainCount) return 0;
    _tagDVXDBREC* joined = static_cast<_tagDVXDBREC*>(AllocateArray(heap, total, sizeof(_tagDVXDBREC)));
    if (joined == nullptr && total != 0) return 0;
    for (uint32_t i = 0; i < companionCount; ++i)
        companionRecords[i].recordId = ToggleCompanionBit(companionRecords[i].recordId);
    // Both of the library's arrays stay in the caller's heap until it goes.
    if (mainCount != 0) memcpy(joined, mainRecords, mainCount * sizeof(_tagDVXDBREC));
    if (companionCount != 0) memcpy(joined + mainCount, companionRecords, companionCount * sizeof(_tagDVXDBREC));
    *recordsOut = joined;
    *countOut = total;
    return result;
}
