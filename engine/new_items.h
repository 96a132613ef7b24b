// New PC items made from device records ahead of their writes.  Converting
// a record (its vCard or iCalendar text, its content hash, its UID and the
// device fields the state keeps) costs about as much as writing and
// flushing its file, so the apply step has the next batch of a plan
// converted on a second thread while it writes the current one.
#ifndef MORVANE_ENGINE_NEW_ITEMS_H
#define MORVANE_ENGINE_NEW_ITEMS_H

#include <stddef.h>

#include <future>
#include <string>
#include <vector>

#include "engine/gathered.h"
#include "engine/sync_plan.h"
#include "pim/pim.h"

namespace morvane_engine {

// A device record made into a PC item, or why it could not be.
struct NewItem {
    bool converted = false;
    std::string uid;
    std::string recordText;  // the record as the state keeps it (RecordToText)
    std::string hash;        // the item's content hash
    morvane_pim::Item item;
    std::string problem;
};

// The UID of a new PC item for a device record, given as RecordToText made
// it: the same record gives the same UID, so that a run repeated after an
// interruption writes the same file.
std::string NewUid(int32_t section, int32_t deviceId, const std::string& recordText);

// The record of device id made into an item under a new UID.
NewItem ConvertNewItem(int32_t section, int32_t deviceId, const HostRecord& record,
                       const morvane_pim::Settings& settings);

// The items of a plan's kPcAdd actions, a batch ahead of whoever asks for
// them in the plan's order.  The gathered records and the settings must
// not change while it lives; it waits for the batch in flight when it goes.
class NewItemPipeline {
 public:
    NewItemPipeline(const Gathered& g, const morvane_pim::Settings& settings, const Plan& plan);
    ~NewItemPipeline();
    NewItemPipeline(const NewItemPipeline&) = delete;
    NewItemPipeline& operator=(const NewItemPipeline&) = delete;

    // The item of action i, a kPcAdd; actions are asked for in ascending order.
    NewItem* At(size_t i);

 private:
    std::vector<NewItem> Convert(size_t batch) const;
    std::future<std::vector<NewItem>> Start(size_t batch) const;

    const Gathered& g_;
    const morvane_pim::Settings& settings_;
    const Plan& plan_;
    size_t batch_ = 0;  // the batch in items_
    std::vector<NewItem> items_;
    std::future<std::vector<NewItem>> next_;
};

}  // namespace morvane_engine

#endif
