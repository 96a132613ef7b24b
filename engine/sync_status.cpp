#include "engine/sync_status.h"

#include <stdlib.h>
#include <time.h>

#include <filesystem>

#include "engine/collection.h"
#include "engine/gathered.h"
#include "engine/state_store.h"
#include "engine/sync_engine.h"
#include "records/field_map.h"

namespace morvane_engine {

using namespace morvane_host;

namespace {

std::string TimeText(int64_t seconds) {
    if (seconds == 0) return "never";
    const time_t value = static_cast<time_t>(seconds);
    char text[32];
    struct tm local;
    localtime_r(&value, &local);
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

void PrintDatabase(StateStore& store, const std::string& storeFolder, const HostDatabase& database,
                   const morvane_pim::Settings& settings, FILE* out) {
    DatabaseState state;
    store.GetDatabase(database.section, &state);
    Gathered g;
    LoadGathered(database.section, store, &g);
    std::string folder = store.GetPairing("collection." + std::to_string(database.section));
    if (folder.empty()) {
        SyncSettings defaults;
        defaults.store = storeFolder;
        folder = CollectionFolder(defaults, database.section);
    }
    std::unique_ptr<Collection> collection = database.section == kMailSection
                                                 ? OpenMaildirs(folder)
                                                 : OpenVdir(folder, morvane_pim::ItemExtension(database.section));
    std::string error;
    const bool scanned = ScanPc(*collection, settings, &g, &error);
    FollowRenames(&g);
    size_t changed = 0, deleted = 0;
    for (const auto& change : g.pcChange) {
        if (change.second == Change::kChanged && !RenamedOnly(&g, change.first)) ++changed;
        if (change.second == Change::kDeleted) ++deleted;
    }
    fprintf(out, "  %-13s last sync %s, %zu item(s) in %s%s%s\n", database.name, TimeText(state.lastSync).c_str(),
            g.rows.size(), folder.c_str(), state.dirty ? "; the last sync was interrupted" : "",
            state.fullSyncDue ? "; every handheld record is read next time" : "");
    if (!scanned)
        fprintf(out, "                cannot read the collection: %s\n", error.c_str());
    else
        fprintf(out, "                waiting on the PC: %zu new, %zu changed, %zu deleted, %zu unreadable\n",
                g.pcNew.size(), changed, deleted, g.skipped.size());
}

}  // namespace

int PrintStatus(const std::string& storeFolder, const morvane_pim::Settings& settings, FILE* out) {
    const std::string path = StatePath(storeFolder);
    std::error_code failed;
    if (!std::filesystem::exists(path, failed)) {
        fprintf(out, "store %s: never synchronised\n", storeFolder.c_str());
        return 0;
    }
    StateStore store;
    if (!store.Open(path, true)) {
        fprintf(stderr, "morvane-sync: %s\n", store.error().c_str());
        return 1;
    }
    fprintf(out, "store %s\n", storeFolder.c_str());
    fprintf(out, "  paired with %s; first sync %s, last sync %s\n", store.GetPairing("device").c_str(),
            TimeText(atoll(store.GetPairing("first-sync").c_str())).c_str(),
            TimeText(atoll(store.GetPairing("last-sync").c_str())).c_str());
    const std::string zone = store.GetPairing("timezone"), charset = store.GetPairing("device-charset");
    if (!zone.empty())
        fprintf(out, "  the handheld's times are read in %s%s%s\n", zone.c_str(), charset.empty() ? "" : ", its texts in ",
                charset.c_str());
    uint32_t count = 0;
    const HostDatabase* databases = Databases(&count);
    for (uint32_t i = 0; i < count; ++i) PrintDatabase(store, storeFolder, databases[i], settings, out);
    return 0;
}

}  // namespace morvane_engine
