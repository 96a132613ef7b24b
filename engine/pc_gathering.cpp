#include "engine/pc_gathering.h"

namespace morvane_engine {

PcGathering::PcGathering(std::vector<PcGatherJob> jobs, StateStore& store, const morvane_pim::Settings& settings)
    : jobs_(std::move(jobs)), store_(store), settings_(settings), done_(jobs_.size()), errors_(jobs_.size()) {
    for (std::promise<bool>& done : done_) results_.push_back(done.get_future());
    task_ = std::async(std::launch::async, [this] { Run(); });
}

PcGathering::~PcGathering() { Finish(); }

void PcGathering::Finish() {
    if (task_.valid()) task_.wait();
}

void PcGathering::Run() {
    bool ok = true;
    for (size_t i = 0; i < jobs_.size(); ++i) {
        // Memory running out, or no thread to be had, is the only thing
        // that throws here; the job then fails and the sync stops before
        // planning anything.
        try {
            ok = ok && Gather(jobs_[i], &errors_[i]);
        } catch (const std::exception& e) {
            errors_[i] = std::string("reading the PC side failed: ") + e.what();
            ok = false;
        }
        done_[i].set_value(ok);
    }
}

bool PcGathering::Gather(const PcGatherJob& job, std::string* error) {
    // The collection is listed on a thread of its own while the state's
    // rows are read: neither needs the other, and both take long for a
    // large collection.
    std::vector<CollectionEntry> files;
    std::string listError;
    std::future<bool> listed =
        std::async(std::launch::async, [&] { return job.collection->List(&files, &listError); });
    StateStore none;
    const bool loaded = LoadGathered(job.section, job.fromState ? store_ : none, job.g);
    if (!listed.get()) {
        *error = listError;
        return false;
    }
    if (!loaded) {
        *error = store_.error();
        return false;
    }
    ScanListed(*job.collection, files, settings_, job.g);
    return true;
}

bool PcGathering::Wait(size_t i, std::string* error) {
    const bool ok = results_[i].get();
    if (!ok) *error = errors_[i];
    return ok;
}

void RecheckConfirmed(Gathered* g) {
    for (int64_t rowId : g->confirmed) {
        const StateRow* row = g->Row(rowId);
        const auto change = g->pcChange.find(rowId);
        if (row == nullptr || change == g->pcChange.end() || change->second != Change::kChanged) continue;
        const auto entry = g->pc.find(row->href);
        if (entry == g->pc.end() || entry->second.hash != row->hash) continue;
        g->KeepUnchanged(rowId, entry);
    }
}

}  // namespace morvane_engine
