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
    if (!Taken(&files_, filesError_) || !Taken(&stateBefore_, stateError_)) return false;
    std::shared_future<bool> placed =
        std::async(std::launch::async, [this, staged = std::move(writes)]() mutable {
            return staged.Commit(&filesError_);
        }).share();
    Changes batch{std::move(queued_), counts};
    queued_.clear();
    stateBefore_ = state_;
    state_ = std::async(std::launch::async, [this, batch = std::move(batch), before = state_, placed]() mutable {
                 return Record(batch, before, placed);
             }).share();
    files_ = placed;
    return true;
}

bool BatchCommitter::Taken(std::shared_future<bool>* step, const std::string& error) {
    if (step->valid() && !step->get() && !failed_) {
        error_ = error;
        failed_ = true;
    }
    *step = std::shared_future<bool>();
    return !failed_;
}

bool BatchCommitter::Finish() {
    Taken(&files_, filesError_);
    Taken(&stateBefore_, stateError_);
    return Taken(&state_, stateError_);
}

bool BatchCommitter::Record(Changes& batch, std::shared_future<bool> before, std::shared_future<bool> placed) {
    // After a batch before failed, this one is not recorded, and its error
    // is that batch's.
    const bool ready = !before.valid() || before.get();
    const bool begun = ready && store_->Begin();
    bool written = begun;
    for (auto change = batch.changes.begin(); written && change != batch.changes.end(); ++change)
        written = change->removed != 0 ? store_->DeleteRow(change->removed) : store_->PutRow(&change->row);
    if (ready && !written) stateError_ = store_->error();
    // The files' thread is done with before this one, whatever failed.
    if (!placed.get()) {
        if (ready) stateError_ = filesError_;
        written = false;
    }
    if (written && !store_->Commit()) {
        stateError_ = store_->error();
        written = false;
    }
    if (begun && !written) store_->Rollback();
    if (written) committed_ = batch.counts;
    return written;
}

}  // namespace morvane_engine
