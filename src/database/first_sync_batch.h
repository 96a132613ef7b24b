/*
 * FirstSyncBatch: the records added while a database is synchronised for
 * the first time, queued so that they reach the device in one bulk write
 * when the database is closed.
 *
 * The queued records are deep copies in the batch's own heap; the host
 * holds provisional ids for them until the bulk write.  One instance lives
 * for the whole load of the library, owned by the application object; it
 * keeps a reference to the device link and uses it only after start-up.
 */
#ifndef MORVANE_DATABASE_FIRST_SYNC_BATCH_H
#define MORVANE_DATABASE_FIRST_SYNC_BATCH_H

#include "link/tethra.h"
#include "support/scratch_heap.h"
#include <stdint.h>
#include <vector>

class CDeviceLink;

class FirstSyncBatch {
public:
    explicit FirstSyncBatch(CDeviceLink& link);
    FirstSyncBatch(const FirstSyncBatch&) = delete;
    FirstSyncBatch& operator=(const FirstSyncBatch&) = delete;

    // Values of enableState.
    enum : int32_t { kUndecided = -1, kOneByOne = 0, kQueued = 1 };

    // Starts an empty queue for database dbId whose enable state is not
    // yet decided; provisional ids count from 1 again.
    void Reset(uint32_t dbId);

    // Whether this database's new records are queued (1) or written one by
    // one (0).  Decided once per Reset: the first call with askDevice asks
    // the device; a first call without it settles on 0 for good.
    int32_t IsEnabled(bool askDevice);

    // Queues a deep copy of record and gives record (not the copy) its
    // provisional id.  Returns 1, or 0 when memory runs out (nothing is
    // queued then).
    int32_t Append(_tagDVXDBREC& record);

    // The queue holds records and the batch is switched on.
    bool HasRecords();

    // Hands the queue to the device in one bulk write while the wait box
    // runs, then drops the queue and its heap.  Returns the device link's
    // result (1 success).
    int32_t Flush();

    uint32_t dbId() const { return dbId_; }
    uint32_t QueuedCount() const { return static_cast<uint32_t>(queue_.size()); }

private:
    _tagDVXDBREC* CopyRecord(const _tagDVXDBREC& record);
    uint32_t NextProvisionalId(const _tagDVXDBREC& copy);

    int32_t enableState_ = kUndecided;
    uint32_t nextId_ = 1;
    uint32_t nextCompanionId_ = 1;
    CDeviceLink& link_;
    ScratchHeap heap_;
    uint32_t dbId_ = 0;
    std::vector<_tagDVXDBREC*> queue_;
};

// The one batch: created by the application object when the library is
// loaded (defined with the other globals in app/morvane_app.cpp) and
// deleted when it is unloaded.  Null only when there was no memory for it
// at load.
extern FirstSyncBatch* g_firstSyncBatch;

#endif
