// Records as the host holds them between the adapter and its files: per
// record the id the adapter gave, the host record status and the host
// field values as text, keyed by the id they were read with.
#ifndef MORVANE_RECORDS_HOST_RECORD_H
#define MORVANE_RECORDS_HOST_RECORD_H

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "src/exports/morvane_api.h"

namespace morvane_host {

// Host record status, as DIZ_API_GetFirstRecord/GetNextRecord give it.
constexpr uint32_t kStatusAdded = 2;
constexpr uint32_t kStatusChanged = 3;
constexpr uint32_t kStatusDeleted = 4;

// What an import does with a record.
enum class ImportAction { kAdd, kChange, kDelete };

struct HostRecord {
    int32_t id = 0;  // signed: a mail of the companion database is negative
    uint32_t status = 0;
    std::vector<std::pair<std::string, std::string>> fields;  // read id, value
    bool hasRepeat = false;
    RepeatInfo repeat = {};
    bool hasFolder = false;
    uint32_t folder = 0;  // host folder 1..4 of a mail
    std::string action;   // "add", "change" or "delete"; empty: taken from the status

    const std::string* Value(const std::string& readId) const;
    ImportAction Action() const;
};

struct DatabaseRecords {
    int32_t section = 0;
    bool fullSync = false;  // what DIZ_API_QueryFullSync answered
    uint32_t count = 0;     // what DIZ_API_GetRecordCount answered
    std::vector<HostRecord> records;
};

// The outcome of importing one record.
struct ImportResult {
    ImportAction action = ImportAction::kAdd;
    int32_t sourceId = 0;   // the id in the import file
    int32_t deviceId = 0;   // the id the device (or the first-sync batch) gave; the same id for changes
    bool ok = true;         // false: failedExport returned result, with the adapter's lastError
    std::string failedExport;
    int32_t result = 0;
    uint32_t lastError = 0;
};

}  // namespace morvane_host

#endif
