// The sync state: a SQLite database in the store (WAL mode), holding the
// pairing, per database the last synchronisation, and per item the device
// record and PC item that stand for each other as last synchronised.
// Changes are made inside a transaction that the engine commits together
// with the changes to the two sides they describe.
#ifndef MORVANE_ENGINE_STATE_STORE_H
#define MORVANE_ENGINE_STATE_STORE_H

#include <stdint.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/sync_types.h"

struct sqlite3;
struct sqlite3_stmt;

namespace morvane_engine {

class StateStore {
public:
    StateStore() = default;
    ~StateStore();
    StateStore(const StateStore&) = delete;
    StateStore& operator=(const StateStore&) = delete;

    // Opens (readOnly: only an existing one) or creates the state at path.
    // False with the reason in error().
    bool Open(const std::string& path, bool readOnly);
    bool IsOpen() const { return db_ != nullptr; }

    bool Begin();
    bool Commit();
    void Rollback();

    // The rows of a section in the order of their ids, without their texts.
    bool LoadRows(int32_t section, std::vector<StateRow>* rows);
    // The device fields and item of a row, or of every row of a section.
    bool LoadTexts(StateRow* row);
    bool LoadTexts(int32_t section, std::vector<StateRow>* rows);
    // Inserts a row (rowId 0; rowId set afterwards) or replaces it; the
    // texts of a row whose texts were not loaded stay as they are.
    bool PutRow(StateRow* row);
    bool DeleteRow(int64_t rowId);
    bool DeleteSection(int32_t section);
    size_t CountRows(int32_t section);
    // The device writes of the section's session that just closed are
    // confirmed: deletions kept apart (Pending::kDeleteUnverified), writes
    // become the agreement with what was agreed before kept
    // (Pending::kUnverified), and the marks of the session before, which
    // this sync checked, are cleared: its deletions forgotten.
    bool ConfirmPending(int32_t section);

    // A database never synchronised reads as all zero.
    bool GetDatabase(int32_t section, DatabaseState* state);
    bool PutDatabase(const DatabaseState& state);

    // The pairing: a few named texts (device, adapter, first sync).
    std::string GetPairing(const std::string& key);
    bool SetPairing(const std::string& key, const std::string& value);

    const std::string& error() const { return error_; }

private:
    bool Exec(const char* sql);
    bool Fail(const char* what);
    // Whether the last failure was a damaged state; error_ then says so.
    bool Damaged();
    // A statement prepared once per store and kept for the next call with the
    // same text; a sync puts thousands of rows through the same few.
    sqlite3_stmt* Prepare(const char* sql);

    sqlite3* db_ = nullptr;
    std::map<std::string, sqlite3_stmt*> statements_;
    std::mutex statementsLock_;
    std::string error_;
    std::string path_;
};

// The schema version this build reads and writes (PRAGMA user_version).
constexpr int kStateSchemaVersion = 2;

}  // namespace morvane_engine

#endif
