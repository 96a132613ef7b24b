// The PC side of a sync's gather step, read on a second thread while the
// device session starts and exports: until they are planned, the two sides
// are independent, and a handheld's link is slow, so the PC's items are
// read while it answers.  Per database, the state's rows and the
// collection's listing side by side, then every item of the collection
// against the rows (LoadGathered, ScanListed).  The device side is
// gathered into the same Gathered once its database's PC side is done
// (Wait), never before: it changes rows the scan reads.
#ifndef MORVANE_ENGINE_PC_GATHERING_H
#define MORVANE_ENGINE_PC_GATHERING_H

#include <stddef.h>
#include <stdint.h>

#include <future>
#include <string>
#include <vector>

#include "engine/gathered.h"
#include "engine/state_store.h"

namespace morvane_engine {

struct PcGatherJob {
    int32_t section = 0;
    bool fromState = true;  // false: the state's rows are not this sync's (read none)
    Collection* collection = nullptr;
    Gathered* g = nullptr;
};

class PcGathering {
public:
    // Starts reading; store and settings are used by the second thread
    // alone until the last Wait returns.
    PcGathering(std::vector<PcGatherJob> jobs, StateStore& store, const morvane_pim::Settings& settings);
    // Finishes.
    ~PcGathering();
    PcGathering(const PcGathering&) = delete;
    PcGathering& operator=(const PcGathering&) = delete;

    // Waits until job i is read.  False with the reason in *error; a job
    // after a failed one is not read (and fails without a reason).
    bool Wait(size_t i, std::string* error);
    // Waits until the second thread is done with the state, all jobs read
    // or passed over.
    void Finish();

private:
    void Run();
    bool Gather(const PcGatherJob& job, std::string* error);

    std::vector<PcGatherJob> jobs_;
    StateStore& store_;
    const morvane_pim::Settings& settings_;
    std::vector<std::promise<bool>> done_;
    std::vector<std::future<bool>> results_;
    std::vector<std::string> errors_;
    std::future<void> task_;
};

// Rows whose device write the handheld kept, confirmed by the device side
// after the PC side was read against the hash agreed before the write:
// their PC item, which the write came from, is unchanged after all.
void RecheckConfirmed(Gathered* g);

}  // namespace morvane_engine

#endif
