// The PC side's writes committed a batch at a time beside the apply step:
// a batch's files brought to disk and put in place on one thread, then the
// state rows that describe them committed in one transaction on another,
// while the next batch's files go to disk.  Meanwhile the apply step
// writes the batch after, instead of waiting for the disk.  A batch's
// state is committed only after its files are in place and the state of
// the batch before, so that the state never describes a file that is not
// on disk.
#ifndef MORVANE_ENGINE_BATCH_COMMIT_H
#define MORVANE_ENGINE_BATCH_COMMIT_H

#include <stddef.h>
#include <stdint.h>

#include <future>
#include <string>
#include <vector>

#include "engine/atomic_file.h"
#include "engine/state_store.h"

namespace morvane_engine {

// The PC side's counts for the closing table, as far as the state holds
// them committed.
struct PcCounts {
    size_t added = 0, changed = 0, deleted = 0;
};

class BatchCommitter {
public:
    // committed: the counts before the first batch.
    BatchCommitter(StateStore* store, const PcCounts& committed);
    ~BatchCommitter();  // waits for the batch in hand
    BatchCommitter(const BatchCommitter&) = delete;
    BatchCommitter& operator=(const BatchCommitter&) = delete;

    // State changes of the batch being written, made when it is committed.
    void PutRow(StateRow row);
    void DeleteRow(int64_t rowId);
    // Hands over the batch: writes (the files written since the batch
    // before) and the state changes queued since, and the counts once it
    // is committed.  False when a batch before failed.
    bool Hand(StagedWrites writes, const PcCounts& counts);
    // Waits for every batch handed over; false when one failed.
    bool Finish();
    // Forgets the state changes queued for the batch not handed over (the
    // apply step failed while writing it).
    void Drop() { queued_.clear(); }

    const PcCounts& committed() const { return committed_; }
    const std::string& error() const { return error_; }

private:
    struct Change {
        int64_t removed = 0;  // a row deleted, or else row put
        StateRow row;
    };
    struct Changes {
        std::vector<Change> changes;
        PcCounts counts;
    };
    // The batch whose files are in place goes on to its state, after the
    // state of the batch before.  False when either failed.
    bool Settle();
    bool Record(Changes& batch);  // on the state's thread

    StateStore* store_;
    std::vector<Change> queued_;
    Changes placing_;              // the batch whose files go to disk
    std::future<bool> files_;      // its files
    std::future<bool> state_;      // the state of the batch before it
    bool failed_ = false;
    // Each written by its own thread, read once its future is taken.
    std::string filesError_, stateError_;
    PcCounts committed_;
    std::string error_;
};

}  // namespace morvane_engine

#endif
