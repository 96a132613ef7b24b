#include "engine/store_mark.h"

#include <filesystem>

#include "engine/state_store.h"
#include "engine/store_lock.h"
#include "engine/sync_engine.h"
#include "records/field_map.h"

namespace morvane_engine {

bool MarkStoreForSlowSync(const std::string& store, std::string* error) {
    const std::string path = StatePath(store);
    std::error_code failed;
    if (!std::filesystem::exists(path, failed)) return true;
    StoreLock lock;
    bool busy = false;
    if (!lock.Take(store + "/.morvane", &busy, error)) {
        if (busy) *error = "another sync is using the store " + store + "; try again when it has finished";
        return false;
    }
    StateStore state;
    if (!state.Open(path, false) || !state.Begin()) {
        *error = state.error();
        return false;
    }
    uint32_t count = 0;
    const morvane_host::HostDatabase* databases = morvane_host::Databases(&count);
    bool ok = true;
    for (uint32_t i = 0; ok && i < count; ++i) {
        DatabaseState fresh;
        fresh.section = databases[i].section;
        fresh.fullSyncDue = true;
        ok = state.DeleteSection(fresh.section) && state.PutDatabase(fresh);
    }
    if (ok && state.Commit()) return true;
    *error = state.error();
    state.Rollback();
    return false;
}

}  // namespace morvane_engine
