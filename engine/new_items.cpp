#include "engine/new_items.h"

#include "engine/record_text.h"
#include "pim/content_lines.h"

#include <algorithm>
#include <system_error>

namespace morvane_engine {

namespace {

// Large enough that a thread's start is nothing beside the batch, small
// enough that the first batch, converted before any write, is short.
constexpr size_t kBatch = 256;

}  // namespace

std::string NewUid(int32_t section, int32_t deviceId, const std::string& recordText) {
    const std::string seed = std::to_string(section) + ":" + std::to_string(deviceId) + ":" + recordText;
    return "morvane-" + morvane_pim::HashText(seed).substr(0, 24);
}

NewItem ConvertNewItem(int32_t section, int32_t deviceId, const HostRecord& record,
                       const morvane_pim::Settings& settings) {
    NewItem n;
    n.recordText = RecordToText(record);
    n.uid = NewUid(section, deviceId, n.recordText);
    morvane_pim::Problem problem;
    n.converted = morvane_pim::RecordToItem(section, record, n.uid, settings, &n.item, &problem);
    if (n.converted)
        n.hash = morvane_pim::ContentHash(section, n.item);
    else
        n.problem = problem.reason;
    return n;
}

NewItemPipeline::NewItemPipeline(const Gathered& g, const morvane_pim::Settings& settings, const Plan& plan)
    : g_(g), settings_(settings), plan_(plan), items_(Convert(0)) {
    if (plan_.actions.size() > kBatch) next_ = Start(1);
}

NewItemPipeline::~NewItemPipeline() {
    if (next_.valid()) next_.wait();
}

std::vector<NewItem> NewItemPipeline::Convert(size_t batch) const {
    std::vector<NewItem> items;
    const size_t begin = batch * kBatch, end = std::min(plan_.actions.size(), begin + kBatch);
    items.resize(end > begin ? end - begin : 0);
    for (size_t i = begin; i < end; ++i) {
        const Action& action = plan_.actions[i];
        const HostRecord* record = action.kind == ActionKind::kPcAdd ? g_.DeviceRecord(action.deviceId) : nullptr;
        if (record != nullptr) items[i - begin] = ConvertNewItem(g_.section, action.deviceId, *record, settings_);
    }
    return items;
}

// Without a thread to spare, the batch is converted when it is asked for.
std::future<std::vector<NewItem>> NewItemPipeline::Start(size_t batch) const {
    try {
        return std::async(std::launch::async, [this, batch] { return Convert(batch); });
    } catch (const std::system_error&) {
        return std::async(std::launch::deferred, [this, batch] { return Convert(batch); });
    }
}

NewItem* NewItemPipeline::At(size_t i) {
    while (i / kBatch > batch_) {
        ++batch_;
        items_ = next_.get();
        if ((batch_ + 1) * kBatch < plan_.actions.size()) next_ = Start(batch_ + 1);
    }
    return &items_[i % kBatch];
}

}  // namespace morvane_engine
