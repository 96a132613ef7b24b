#include "records/host_record.h"

namespace morvane_host {

const std::string* HostRecord::Value(const std::string& readId) const {
    for (const auto& field : fields)
        if (field.first == readId) return &field.second;
    return nullptr;
}

ImportAction HostRecord::Action() const {
    if (action == "delete") return ImportAction::kDelete;
    if (action == "change") return ImportAction::kChange;
    if (action == "add") return ImportAction::kAdd;
    if (status == kStatusDeleted) return ImportAction::kDelete;
    if (status == kStatusChanged) return ImportAction::kChange;
    return ImportAction::kAdd;
}

}  // namespace morvane_host
