#include "engine/batch_commit.h"

#include <utility>

namespace morvane_engine {

BatchCommitter::BatchCommitter(StateStore* store, const PcCounts& committed) : store_(store), committed_(committed) {}

BatchCommitter::~BatchCommitter() { Finish(); }

void BatchCommitter::PutRow(StateRow row) {
    Change change;
    change.row = std::move(row);
    queued_.push_back(std::move(change));
}

void BatchCommitter::DeleteRow(int64_t rowId) {
    Change change;
    change.removed = rowId;
    queued_.push_back(std::move(change));
}

bool BatchCommitter::Hand(StagedWrites writes, const PcCounts& counts) {
    if (!Settle()) return false;
    placing_.changes = std::move(queued_);
    placing_.counts = counts;
    queued_.clear();
    files_ = std::async(std::launch::async,
                        [this, staged = std::move(writes)]() mutable { return staged.Commit(&filesError_); });
    return true;
}

bool BatchCommitter::Settle() {
    if (files_.valid()) {
        const bool placed = files_.get();
        if (!placed && !failed_) error_ = filesError_;
        failed_ = failed_ || !placed;
        if (state_.valid() && !state_.get() && !failed_) {
            error_ = stateError_;
            failed_ = true;
        }
        if (!failed_) state_ = std::async(std::launch::async, [this, batch = std::move(placing_)]() mutable {
            return Record(batch);
        });
    }
    return !failed_;
}

bool BatchCommitter::Finish() {
    Settle();
    if (state_.valid() && !state_.get() && !failed_) {
        error_ = stateError_;
        failed_ = true;
    }
    return !failed_;
}

bool BatchCommitter::Record(Changes& batch) {
    if (!store_->Begin()) {
        stateError_ = store_->error();
        return false;
    }
    for (Change& change : batch.changes) {
        if (change.removed != 0 ? store_->DeleteRow(change.removed) : store_->PutRow(&change.row)) continue;
        stateError_ = store_->error();
        store_->Rollback();
        return false;
    }
    if (!store_->Commit()) {
        stateError_ = store_->error();
        store_->Rollback();
        return false;
    }
    committed_ = batch.counts;
    return true;
}

}  // namespace morvane_engine
