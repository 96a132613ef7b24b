// The PC side's writes committed a batch at a time beside the apply step:
// a batch's files brought to disk and put in place on one thread, while
// on another the state rows that describe them are written into a
// transaction, committed once the files are in place and the batch
// before is committed.  Meanwhile the apply step writes the next batch
// instead of waiting for the disk.  So the state never describes a file
// that is not on disk.
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
    ~BatchCommitter();  // waits for every batch handed over
    BatchCommitter(const BatchCommitter&) = delete;
    BatchCommitter& operator=(const BatchCommitter&) = delete;

    // State changes of the batch being written, made when it is committed.
    void PutRow(StateRow row);
    void DeleteRow(int64_t rowId);
    // Hands over the batch: writes (the files written since the batch
    // before) and the state changes queued since, and the counts once it
    // is committed.  Waits for the files of the batch before and the state
    // of the one before that; false when a batch before failed.
    bool Hand(StagedWrites writes, const PcCounts& counts);
    // Waits for every batch handed over; false when one failed.  State
    // changes queued since the last batch are never made.
    bool Finish();

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
    // Takes a finished step's result; false when it or one before failed.
    bool Taken(std::shared_future<bool>* step, const std::string& error);
    // On the state's thread: the batch's rows written once the batch
    // before is committed (before), and committed once its files are in
    // place (placed).
    bool Record(Changes& batch, std::shared_future<bool> before, std::shared_future<bool> placed);

    StateStore* store_;
    std::vector<Change> queued_;
    std::shared_future<bool> files_;        // of the last batch handed over
    std::shared_future<bool> state_;        // of the last batch handed over
    std::shared_future<bool> stateBefore_;  // of the batch before it
    bool failed_ = false;
    // Each written by its own thread, read once its future is taken.
    std::string filesError_, stateError_;
    PcCounts committed_;
    std::string error_;
};

}  // namespace morvane_engine

#endif
