#include "engine/restore_plan.h"

#include <map>

namespace morvane_engine {

using morvane_host::LinkDatabaseName;

namespace {

// For each field of the handheld's database, where the backup has it (-1: nowhere).
bool MapFields(const LinkDatabase& device, const LinkDatabase& saved, std::vector<int>* from, std::string* error) {
    from->assign(device.fields.size(), -1);
    for (size_t s = 0; s < saved.fields.size(); ++s) {
        bool found = false;
        for (size_t d = 0; d < device.fields.size() && !found; ++d) {
            if (device.fields[d].name != saved.fields[s].name) continue;
            found = device.fields[d].type == saved.fields[s].type;
            if (found) (*from)[d] = static_cast<int>(s);
        }
        if (!found) {
            *error = "the handheld's " + LinkDatabaseName(saved.id) + " database has no field \"" +
                     saved.fields[s].name + "\" of link type " + std::to_string(saved.fields[s].type);
            return false;
        }
    }
    return true;
}

LinkRecord InDeviceOrder(const LinkRecord& saved, const std::vector<int>& from) {
    LinkRecord record;
    record.id = saved.id;
    record.values.resize(from.size());
    for (size_t d = 0; d < from.size(); ++d)
        if (from[d] >= 0) record.values[d] = saved.values[static_cast<size_t>(from[d])];
    return record;
}

}  // namespace

bool PlanRestore(const std::vector<LinkDatabase>& device, const std::vector<LinkDatabase>& backup,
                 std::vector<RestoreStep>* steps, std::string* error) {
    steps->clear();
    for (const LinkDatabase& saved : backup) {
        const LinkDatabase* now = nullptr;
        for (const LinkDatabase& candidate : device)
            if (candidate.id == saved.id) now = &candidate;
        if (now == nullptr) {
            *error = "the handheld has no " + LinkDatabaseName(saved.id) + " database";
            return false;
        }
        std::vector<int> from;
        if (!MapFields(*now, saved, &from, error)) return false;
        RestoreStep step;
        step.device = now;
        std::map<uint32_t, const LinkRecord*> held;
        for (const LinkRecord& record : now->records) held[record.id] = &record;
        for (const LinkRecord& record : saved.records) {
            LinkRecord wanted = InDeviceOrder(record, from);
            const auto found = held.find(record.id);
            if (found != held.end() && found->second->values == wanted.values) {
                held.erase(found);
                ++step.kept;
            } else {
                step.adds.push_back(std::move(wanted));
            }
        }
        for (const auto& entry : held) step.deletes.push_back(entry.first);
        steps->push_back(std::move(step));
    }
    return true;
}

}  // namespace morvane_engine
