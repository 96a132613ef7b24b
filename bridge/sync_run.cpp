#include "bridge/sync_run.h"

#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace morvane_host {

namespace {

// The adapter writes at most 49,152 characters and a terminator.
constexpr size_t kFieldBufferSize = 65536;
constexpr int32_t kEndOfData = -7;
// The two texts the host passes to DIZ_API_Initialize and OpenDatabase
// only end up in the adapter's trace.
const char kHostName[] = "morvane-sync";

}  // namespace

bool SyncRun::Start() {
    const AdapterExports& api = adapter_.api();
    if (!adapter_.HasAll(kStartupExports)) {
        error_ = "the adapter does not export " + JoinNames(adapter_.Missing(kStartupExports));
        return false;
    }
    started_ = true;
    return adapter_.Check("DIZ_API_Initialize", api.Initialize(kHostName, "")) || Failed();
}

bool SyncRun::Finish() {
    if (!started_) return true;
    started_ = false;
    const bool closed = adapter_.Check("DIZ_API_CloseSyncApp", adapter_.api().CloseSyncApp()) || Failed();
    return adapter_.Check("DIZ_API_Uninitialize", adapter_.api().Uninitialize()) ? closed : Failed();
}

bool SyncRun::Export(const HostDatabase& database, DIZ_TIME syncStamp, DatabaseRecords* out, bool keepChanges) {
    const AdapterExports& api = adapter_.api();
    *out = DatabaseRecords();
    out->section = database.section;
    api.BeginExport(syncStamp);
    if (!adapter_.Check("DIZ_API_OpenDatabase", api.OpenDatabase(database.section, kHostName, database.name)))
        return Failed();
    uint32_t full = 0;
    bool ok = adapter_.Check("DIZ_API_QueryFullSync", api.QueryFullSync(database.section, syncStamp, &full)) ||
              Failed();
    out->fullSync = full != 0;
    ok = ok && (adapter_.Check("DIZ_API_GetRecordCount", api.GetRecordCount(database.section, syncStamp, &out->count)) ||
                Failed());
    ok = ok && WalkRecords(database, syncStamp, out->count, out);
    // An export that failed half-way is abandoned, so that the device keeps
    // its change lists for the next attempt.
    const int32_t closed = api.CloseDatabase(database.section, 1, ok && !keepChanges ? 0 : 1);
    if (!adapter_.Check("DIZ_API_CloseDatabase", closed)) return ok ? Failed() : false;
    return ok;
}

bool SyncRun::Failed(const std::string& where) {
    error_ = adapter_.lastFailure().text + where;
    return false;
}

// Walks the record cache from its head.  The merged e-mail database hands
// out only the mail of the host folder last set, so it is walked once per
// folder; every mail belongs to exactly one.
bool SyncRun::WalkRecords(const HostDatabase& database, DIZ_TIME syncStamp, uint32_t total, DatabaseRecords* out) {
    const AdapterExports& api = adapter_.api();
    const bool mail = database.section == kMailSection;
    const uint32_t lastFolder = mail ? kLastMailFolder : kFirstMailFolder;
    size_t done = 0;
    for (uint32_t folder = kFirstMailFolder; folder <= lastFolder; ++folder) {
        if (mail && !adapter_.Check("DIZ_API_SetFolderID", api.SetFolderID(static_cast<int32_t>(folder))))
            return Failed();
        uint32_t status = 0;
        int32_t result = api.GetFirstRecord(database.section, syncStamp, &status);
        while (result == 0) {
            HostRecord record;
            record.status = status;
            if (!ReadRecord(database, status, &record)) return false;
            api.ReleaseReadRecord();
            if (sink_ == nullptr) {
                out->records.push_back(std::move(record));
            } else if (!sink_(sinkContext_, database, std::move(record))) {
                error_ = "the export of " + std::string(database.name) + " was abandoned by the records' receiver";
                return false;
            }
            ShowProgress(database, ++done, total);
            result = api.GetNextRecord(database.section, syncStamp, &status);
        }
        if (result != kEndOfData) return adapter_.Check("DIZ_API_GetNextRecord", result) || Failed();
    }
    ShowProgress(database, 0, 0);
    return true;
}

bool SyncRun::ReadRecord(const HostDatabase& database, uint32_t status, HostRecord* record) {
    const AdapterExports& api = adapter_.api();
    if (fieldBuffer_.size() != kFieldBufferSize) fieldBuffer_.assign(kFieldBufferSize, '\0');
    char* buffer = &fieldBuffer_[0];
    buffer[0] = '\0';
    if (!adapter_.Check("DIZ_API_GetField", api.GetField("UID", buffer)))
        return Failed(std::string(", reading the id of a record in ") + database.name);
    record->id = static_cast<int32_t>(strtol(buffer, nullptr, 10));
    // A record deleted on the device arrives without values.
    if (status == kStatusDeleted) return true;
    record->fields.reserve(database.fieldCount);
    for (uint32_t i = 0; i < database.fieldCount; ++i) {
        const HostField& field = database.fields[i];
        buffer[0] = '\0';
        if (!adapter_.Check("DIZ_API_GetField", api.GetField(field.readId, buffer)))
            return Failed(", reading field " + std::string(field.readId) + " (" + field.deviceName + ") of record " +
                          std::to_string(record->id) + " in " + database.name);
        record->fields.emplace_back(field.readId, buffer);
    }
    // The repeat rule is reported only after the repeat flag was read.
    if (database.section == kScheduleSection) {
        if (!adapter_.Check("DIZ_API_GetRepeatInfo", api.GetRepeatInfo(&record->repeat))) return Failed();
        record->hasRepeat = true;
    }
    if (database.section == kMailSection) {
        if (!adapter_.Check("DIZ_API_GetFolderID", api.GetFolderID(&record->folder))) return Failed();
        record->hasFolder = true;
    }
    return true;
}

void SyncRun::ShowProgress(const HostDatabase& database, size_t done, size_t total) const {
    if (progress_ != nullptr) progress_(progressContext_, database, done, total);
}

bool SyncRun::Import(const HostDatabase& database, const std::vector<HostRecord>& records,
                     std::vector<ImportResult>* results) {
    const AdapterExports& api = adapter_.api();
    api.BeginImport();
    if (!adapter_.Check("DIZ_API_OpenDatabase", api.OpenDatabase(database.section, kHostName, database.name)))
        return Failed();
    // The first-sync queue belongs to the database open when the import
    // begins; begin again now that this one is open.
    api.BeginImport();
    bool ok = true;
    for (size_t i = 0; ok && i < records.size(); ++i) {
        ImportResult result;
        ok = ImportOne(database, records[i], &result);
        if (!ok) {
            const Adapter::Failure& failure = adapter_.lastFailure();
            result.ok = false;
            result.failedExport = failure.exportName;
            result.result = failure.result;
            result.lastError = failure.lastError;
        }
        results->push_back(result);
        ShowProgress(database, i + 1, records.size());
    }
    ShowProgress(database, 0, 0);
    // The close writes the records queued in a first synchronisation.
    const int32_t closed = api.CloseDatabase(database.section, 1, ok ? 0 : 1);
    if (!adapter_.Check("DIZ_API_CloseDatabase", closed)) return ok ? Failed() : false;
    return ok;
}

bool SyncRun::ImportOne(const HostDatabase& database, const HostRecord& record, ImportResult* result) {
    const AdapterExports& api = adapter_.api();
    const std::string idText = std::to_string(record.id);
    result->action = record.Action();
    result->sourceId = record.id;
    result->deviceId = record.id;
    if (result->action == ImportAction::kDelete)
        return adapter_.Check("DIZ_API_DeleteRecord", api.DeleteRecord(idText.c_str())) || Failed();
    // A mail is stored in the folder the host set last.
    if (database.section == kMailSection) {
        const int32_t folder = static_cast<int32_t>(record.hasFolder ? record.folder : kFirstMailFolder);
        if (!adapter_.Check("DIZ_API_SetFolderID", api.SetFolderID(folder))) return Failed();
    }
    const bool add = result->action == ImportAction::kAdd;
    if (add ? !adapter_.Check("DIZ_API_InsertRecord", api.InsertRecord())
            : !adapter_.Check("DIZ_API_FindRecord", api.FindRecord(idText.c_str())))
        return Failed();
    if (!WriteFields(database, record)) return false;
    if (!add) return adapter_.Check("DIZ_API_FlushRecord", api.FlushRecord()) || Failed();
    char newId[16] = "";
    if (!adapter_.Check("DIZ_API_AddRecord", api.AddRecord(newId))) return Failed();
    result->deviceId = static_cast<int32_t>(strtol(newId, nullptr, 10));
    return true;
}

// Fields go in the map's order, which is the order the adapter needs
// (prefixes, title before text, date before time); the repeat rule comes
// after the dates it completes.
bool SyncRun::WriteFields(const HostDatabase& database, const HostRecord& record) {
    const AdapterExports& api = adapter_.api();
    for (uint32_t i = 0; i < database.fieldCount; ++i) {
        const HostField& field = database.fields[i];
        const std::string* value = record.Value(field.readId);
        if (value == nullptr || field.rule == WriteRule::kNotSent) continue;
        std::string text = *value;
        if (field.rule == WriteRule::kYesNo) text = (text == "Yes" || text == "1") ? "1" : "0";
        if (!adapter_.Check("DIZ_API_PutField", api.PutField(field.writeId, text.c_str())))
            return Failed(", writing field " + std::string(field.writeId) + " (" + field.deviceName + ") of record " +
                          std::to_string(record.id) + " in " + database.name);
    }
    // A single event's repeat structure only repeats its dates; it is not
    // sent, so that the end date the host wrote stands.
    if (record.hasRepeat && record.repeat.isRepeating != 0)
        return adapter_.Check("DIZ_API_PutRepeatInfo", api.PutRepeatInfo(record.repeat)) || Failed();
    return true;
}

}  // namespace morvane_host
