#include "database/first_sync_batch.h"

#include "database/wait_box.h"
#include "link/device_link.h"
#include "schema/working_record.h"

#include <string.h>

FirstSyncBatch::FirstSyncBatch(CDeviceLink& link) : link_(link) { Reset(0); }

void FirstSyncBatch::Reset(uint32_t dbId) {
    dbId_ = dbId;
    enableState_ = kUndecided;
    nextId_ = 1;
    nextCompanionId_ = 1;
    queue_.clear();
}

int32_t FirstSyncBatch::IsEnabled(bool askDevice) {
    if (enableState_ != kUndecided) return enableState_;
    // Undecided and not allowed to ask: the batch stays off for this
    // database even if a later call would ask.
    enableState_ = kOneByOne;
    if (!askDevice) return enableState_;
    enableState_ = link_.IsEnablePutFirstSyncRecordData(dbId_) != 0 ? kQueued : kOneByOne;
    return enableState_;
}

_tagDVXDBREC* FirstSyncBatch::CopyRecord(const _tagDVXDBREC& record) {
    auto* copy = static_cast<_tagDVXDBREC*>(heap_.Alloc(sizeof(_tagDVXDBREC)));
    if (copy == nullptr) return nullptr;
    *copy = record;
    copy->fields = nullptr;
    if (record.fieldCount == 0 || record.fields == nullptr) return copy;
    auto* slots = static_cast<_tagDVXFIELD*>(heap_.Alloc(sizeof(_tagDVXFIELD) * record.fieldCount));
    if (slots == nullptr) return nullptr;
    for (uint32_t i = 0; i < record.fieldCount; ++i) {
        slots[i] = record.fields[i];
        const uint32_t length = slots[i].length;
        if (length == 0 || length == kValueAbsent || slots[i].data == nullptr) continue;
        auto* value = static_cast<uint8_t*>(heap_.Alloc(length));
        if (value == nullptr) return nullptr;
        memcpy(value, record.fields[i].data, length);
        slots[i].data = value;
    }
    copy->fields = slots;
    return copy;
}

uint32_t FirstSyncBatch::NextProvisionalId(const _tagDVXDBREC& copy) {
    bool main = true;
    if (dbId_ == kMainMailDbId || dbId_ == kCompanionMailDbId) {
        // Mail goes to the main database only when its folder value starts
        // with 0, as the merged bulk write will sort it.
        const int32_t folder = link_.folderFieldIndex;
        main = false;
        if (folder >= 0 && static_cast<uint32_t>(folder) < copy.fieldCount && copy.fields != nullptr) {
            const _tagDVXFIELD& slot = copy.fields[folder];
            main = slot.length != 0 && slot.length != kValueAbsent && slot.data != nullptr && slot.data[0] == 0;
        }
    }
    if (main) return nextId_++;
    return kCompanionIdBit + nextCompanionId_++;
}

int32_t FirstSyncBatch::Append(_tagDVXDBREC& record) {
    _tagDVXDBREC* copy = CopyRecord(record);
    if (copy == nullptr) return 0;
    try {
        queue_.push_back(copy);
    } catch (...) {
        return 0;
    }
    record.recordId = NextProvisionalId(*copy);
    return 1;
}

bool FirstSyncBatch::HasRecords() { return !queue_.empty() && IsEnabled(false) == kQueued; }

int32_t FirstSyncBatch::Flush() {
    const uint32_t count = QueuedCount();
    auto** records = static_cast<_tagDVXDBREC**>(heap_.Alloc(sizeof(_tagDVXDBREC*) * count));
    // The queue's own array holds the same pointers when the heap is full.
    if (records == nullptr) records = queue_.data();
    else memcpy(records, queue_.data(), sizeof(_tagDVXDBREC*) * count);

    const bool forMail = dbId_ == kMainMailDbId || dbId_ == kCompanionMailDbId;
    RunWaitBox(true, forMail);
    const int32_t result = link_.PutFirstSyncRecordData(dbId_, records, count);
    heap_.Destroy();
    queue_.clear();
    RunWaitBox(false, forMail);
    return result;
}
