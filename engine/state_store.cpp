#include "engine/state_store.h"

#include <sqlite3.h>

#include <initializer_list>

namespace morvane_engine {

namespace {

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS pairing (key TEXT PRIMARY KEY, value TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS databases ("
    "  section INTEGER PRIMARY KEY, last_sync INTEGER NOT NULL, full_sync_due INTEGER NOT NULL,"
    "  dirty INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS items ("
    "  id INTEGER PRIMARY KEY, section INTEGER NOT NULL, device_id INTEGER NOT NULL, href TEXT NOT NULL,"
    "  uid TEXT NOT NULL, hash TEXT NOT NULL, size INTEGER NOT NULL, mtime INTEGER NOT NULL,"
    "  folder INTEGER NOT NULL, seen INTEGER NOT NULL,"
    "  pending INTEGER NOT NULL, pending_hash TEXT NOT NULL, pending_fields TEXT NOT NULL);"
    // The two long texts of a row, apart from it: every sync reads every
    // row, but only the few rows that changed need these, and SQLite
    // would read them along with the row.  Same id as the row.
    "CREATE TABLE IF NOT EXISTS texts (id INTEGER PRIMARY KEY, device_fields TEXT NOT NULL, item TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS items_section ON items(section);"
    // The few rows a session left pending, found without reading every
    // item's text; queries name "pending <> 0" so that SQLite takes it.
    "CREATE INDEX IF NOT EXISTS items_pending ON items(pending) WHERE pending <> 0;";

// A state of the first version kept the two texts in the row itself.
const char kTextsApart[] =
    "BEGIN IMMEDIATE;"
    "CREATE TABLE texts (id INTEGER PRIMARY KEY, device_fields TEXT NOT NULL, item TEXT NOT NULL);"
    "INSERT INTO texts (id, device_fields, item) SELECT id, device_fields, item FROM items;"
    "ALTER TABLE items DROP COLUMN device_fields;"
    "ALTER TABLE items DROP COLUMN item;"
    "PRAGMA user_version = 2;"
    "COMMIT;";

// Readies a kept statement for its next use when it goes out of scope.
class Statement {
public:
    explicit Statement(sqlite3_stmt* statement) : statement_(statement) {}
    // A statement that could not be prepared is null: nothing to ready.
    ~Statement() {
        if (statement_ == nullptr) return;
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return statement_; }
    explicit operator bool() const { return statement_ != nullptr; }
    void Text(int index, const std::string& text) {
        sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void Int(int index, int64_t value) { sqlite3_bind_int64(statement_, index, value); }

private:
    sqlite3_stmt* statement_;
};

std::string ColumnText(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    if (text == nullptr) return std::string();
    return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(statement, column)));
}

}  // namespace

StateStore::~StateStore() {
    for (auto& entry : statements_) sqlite3_finalize(entry.second);
    if (db_ != nullptr) sqlite3_close(db_);
}

bool StateStore::Fail(const char* what) {
    if (Damaged()) return false;
    error_ = std::string(what) + ": " + (db_ != nullptr ? sqlite3_errmsg(db_) : "no state database");
    return false;
}

// A state that is no database, or a damaged one, cannot be mended here;
// without it the next sync matches both sides by content, as a first one.
bool StateStore::Damaged() {
    const int code = db_ != nullptr ? sqlite3_errcode(db_) : SQLITE_OK;
    if (code != SQLITE_NOTADB && code != SQLITE_CORRUPT) return false;
    error_ = "the sync state " + path_ + " cannot be read (" + sqlite3_errmsg(db_) +
             "); move it aside and sync again: the handheld's records and the PC's items are then matched by"
             " content, so nothing is added twice, though what was deleted on one side since the last sync"
             " comes back";
    return true;
}

bool StateStore::Exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    if (!Damaged()) error_ = std::string("the sync state: ") + (message != nullptr ? message : "unknown error");
    sqlite3_free(message);
    return false;
}

sqlite3_stmt* StateStore::Prepare(const char* sql) {
    std::lock_guard<std::mutex> hold(statementsLock_);
    auto kept = statements_.find(sql);
    if (kept != statements_.end()) return kept->second;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
        Fail("the sync state");
        return nullptr;
    }
    statements_.emplace(sql, statement);
    return statement;
}

bool StateStore::Open(const std::string& path, bool readOnly) {
    path_ = path;
    // One connection serves two threads while a sync gathers: the second
    // one reads rows while the first looks up the texts of changed ones.
    const int flags = SQLITE_OPEN_FULLMUTEX |
                      (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        Fail(("cannot open the sync state " + path).c_str());
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    sqlite3_busy_timeout(db_, 2000);
    // The log is copied into the database by the commit that fills it
    // past a thousand pages, not at every close: a sync that changed a
    // hundred items would otherwise write each of their pages twice and
    // flush the database besides.  A log left behind is read by whoever
    // opens the state next, as any commit's is.
    if (!readOnly) sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    // WAL: a commit is one append to the log, and readers (status) never
    // wait for a running sync.  FULL: a commit survives a power loss.
    if (!readOnly && !Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;")) return false;
    Statement version(Prepare("PRAGMA user_version"));
    if (!version || sqlite3_step(version.get()) != SQLITE_ROW) return Fail("the sync state");
    if (readOnly) return true;
    const int found = sqlite3_column_int(version.get(), 0);
    if (found > kStateSchemaVersion) {
        error_ = path + " was written by a newer morvane-sync (state version " + std::to_string(found) + ")";
        return false;
    }
    if (found == 1 && !Exec(kTextsApart)) {
        Exec("ROLLBACK");
        return false;
    }
    if (found == kStateSchemaVersion) return Exec(kSchema);
    // A new state's tables and its version are one transaction: one flush
    // instead of one for each, and never a state with tables but no version.
    if (!Begin()) return false;
    if (Exec(kSchema) && Exec("PRAGMA user_version = 2") && Commit()) return true;
    Rollback();
    return false;
}

bool StateStore::Begin() { return Exec("BEGIN IMMEDIATE"); }
bool StateStore::Commit() { return Exec("COMMIT"); }
// Called after a failure, whose reason is the one to keep: a rollback that
// fails as well (no transaction left open) does not replace it.
void StateStore::Rollback() {
    const std::string reason = error_;
    Exec("ROLLBACK");
    error_ = reason;
}

bool StateStore::LoadRows(int32_t section, std::vector<StateRow>* rows) {
    rows->clear();
    // Counted first: rows are large, and a vector grown by doubling moves
    // each of ten thousand several times.
    Statement bounds(Prepare("SELECT count(*), min(id), max(id) FROM items WHERE section = ?"));
    if (!bounds) return false;
    bounds.Int(1, section);
    if (sqlite3_step(bounds.get()) != SQLITE_ROW) return Fail("reading the sync state");
    const int64_t count = sqlite3_column_int64(bounds.get(), 0);
    if (count == 0) return true;
    rows->reserve(static_cast<size_t>(count));
    // Read in one pass along the table from the section's first id to its
    // last, passing over other sections' rows in between: the section's
    // index would have every row looked up in the table again.
    Statement select(Prepare(
        "SELECT id, device_id, href, uid, hash, size, mtime, folder, seen, pending, pending_hash, pending_fields"
        " FROM items WHERE id BETWEEN ? AND ? AND +section = ? ORDER BY id"));
    if (!select) return false;
    select.Int(1, sqlite3_column_int64(bounds.get(), 1));
    select.Int(2, sqlite3_column_int64(bounds.get(), 2));
    select.Int(3, section);
    int step;
    while ((step = sqlite3_step(select.get())) == SQLITE_ROW) {
        sqlite3_stmt* s = select.get();
        StateRow row;
        row.section = section;
        row.rowId = sqlite3_column_int64(s, 0);
        row.deviceId = static_cast<int32_t>(sqlite3_column_int64(s, 1));
        row.href = ColumnText(s, 2);
        row.uid = ColumnText(s, 3);
        row.hash = ColumnText(s, 4);
        row.size = sqlite3_column_int64(s, 5);
        row.mtime = sqlite3_column_int64(s, 6);
        row.folder = static_cast<uint32_t>(sqlite3_column_int64(s, 7));
        row.seen = sqlite3_column_int64(s, 8) != 0;
        row.pending = static_cast<Pending>(sqlite3_column_int(s, 9));
        row.pendingHash = ColumnText(s, 10);
        row.pendingFields = ColumnText(s, 11);
        row.textsLoaded = false;
        rows->push_back(std::move(row));
    }
    return step == SQLITE_DONE || Fail("reading the sync state");
}

bool StateStore::LoadTexts(StateRow* row) {
    if (row->textsLoaded || row->rowId == 0) return true;
    Statement select(Prepare("SELECT device_fields, item FROM texts WHERE id = ?"));
    if (!select) return false;
    select.Int(1, row->rowId);
    const int step = sqlite3_step(select.get());
    if (step == SQLITE_ROW) {
        row->deviceFields = ColumnText(select.get(), 0);
        row->item = ColumnText(select.get(), 1);
    }
    row->textsLoaded = step == SQLITE_ROW || step == SQLITE_DONE;
    return row->textsLoaded || Fail("reading the sync state");
}

bool StateStore::LoadTexts(int32_t section, std::vector<StateRow>* rows) {
    Statement select(Prepare(
        "SELECT texts.id, device_fields, item FROM items JOIN texts ON texts.id = items.id"
        " WHERE section = ? ORDER BY items.id"));
    if (!select) return false;
    select.Int(1, section);
    // Both in the order of their ids, as LoadRows left the rows.
    auto next = rows->begin();
    int step;
    while ((step = sqlite3_step(select.get())) == SQLITE_ROW) {
        const int64_t id = sqlite3_column_int64(select.get(), 0);
        while (next != rows->end() && next->rowId < id) ++next;
        if (next == rows->end()) break;
        if (next->rowId != id || next->textsLoaded) continue;
        next->deviceFields = ColumnText(select.get(), 1);
        next->item = ColumnText(select.get(), 2);
        next->textsLoaded = true;
    }
    if (step != SQLITE_ROW && step != SQLITE_DONE) return Fail("reading the sync state");
    for (StateRow& row : *rows)
        if (!row.textsLoaded && !LoadTexts(&row)) return false;
    return true;
}

bool StateStore::PutRow(StateRow* row) {
    Statement put(Prepare(
        "INSERT OR REPLACE INTO items (id, section, device_id, href, uid, hash, size, mtime,"
        " folder, seen, pending, pending_hash, pending_fields) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    if (!put) return false;
    if (row->rowId != 0) put.Int(1, row->rowId);
    put.Int(2, row->section);
    put.Int(3, row->deviceId);
    put.Text(4, row->href);
    put.Text(5, row->uid);
    put.Text(6, row->hash);
    put.Int(7, row->size);
    put.Int(8, row->mtime);
    put.Int(9, row->folder);
    put.Int(10, row->seen ? 1 : 0);
    put.Int(11, static_cast<int>(row->pending));
    put.Text(12, row->pendingHash);
    put.Text(13, row->pendingFields);
    if (sqlite3_step(put.get()) != SQLITE_DONE) return Fail("writing the sync state");
    if (row->rowId == 0) row->rowId = sqlite3_last_insert_rowid(db_);
    // Texts never read keep what the state holds.
    if (!row->textsLoaded) return true;
    Statement texts(Prepare("INSERT OR REPLACE INTO texts (id, device_fields, item) VALUES (?, ?, ?)"));
    if (!texts) return false;
    texts.Int(1, row->rowId);
    texts.Text(2, row->deviceFields);
    texts.Text(3, row->item);
    return sqlite3_step(texts.get()) == SQLITE_DONE || Fail("writing the sync state");
}

bool StateStore::DeleteRow(int64_t rowId) {
    for (const char* sql : {"DELETE FROM texts WHERE id = ?", "DELETE FROM items WHERE id = ?"}) {
        Statement remove(Prepare(sql));
        if (!remove) return false;
        remove.Int(1, rowId);
        if (sqlite3_step(remove.get()) != SQLITE_DONE) return Fail("writing the sync state");
    }
    return true;
}

bool StateStore::DeleteSection(int32_t section) {
    for (const char* sql : {"DELETE FROM texts WHERE id IN (SELECT id FROM items WHERE section = ?)",
                            "DELETE FROM items WHERE section = ?"}) {
        Statement remove(Prepare(sql));
        if (!remove) return false;
        remove.Int(1, section);
        if (sqlite3_step(remove.get()) != SQLITE_DONE) return Fail("writing the sync state");
    }
    return true;
}

size_t StateStore::CountRows(int32_t section) {
    Statement count(Prepare("SELECT COUNT(*) FROM items WHERE section = ?"));
    if (!count) return 0;
    count.Int(1, section);
    return sqlite3_step(count.get()) == SQLITE_ROW ? static_cast<size_t>(sqlite3_column_int64(count.get(), 0)) : 0;
}

bool StateStore::ConfirmPending(int32_t section) {
    const std::string in = " AND section = " + std::to_string(section);
    // A write swaps what was sent with what was agreed before it: the hash
    // in the row, the device fields between the row and its texts.
    const std::string sql =
        "UPDATE items SET pending = 0, pending_hash = '', pending_fields = ''"
        " WHERE pending <> 0 AND pending = 4" + in + ";"
        "DELETE FROM texts WHERE id IN (SELECT id FROM items WHERE pending <> 0 AND pending = 5" + in + ");"
        "DELETE FROM items WHERE pending <> 0 AND pending = 5" + in + ";"
        "UPDATE items SET pending = 5 WHERE pending <> 0 AND pending = 2" + in + ";"
        "CREATE TEMP TABLE sent (id INTEGER PRIMARY KEY, fields TEXT NOT NULL);"
        "INSERT INTO sent SELECT id, pending_fields FROM items WHERE pending <> 0 AND pending = 1" + in + ";"
        "UPDATE items SET hash = pending_hash, pending_hash = hash, pending = 4,"
        " pending_fields = COALESCE((SELECT device_fields FROM texts WHERE texts.id = items.id), '')"
        " WHERE pending <> 0 AND pending = 1" + in + ";"
        "UPDATE texts SET device_fields = (SELECT fields FROM sent WHERE sent.id = texts.id)"
        " WHERE id IN (SELECT id FROM sent);"
        "DROP TABLE sent;";
    return Exec(sql.c_str());
}

bool StateStore::GetDatabase(int32_t section, DatabaseState* state) {
    *state = DatabaseState();
    state->section = section;
    Statement select(Prepare("SELECT last_sync, full_sync_due, dirty FROM databases WHERE section = ?"));
    if (!select) return false;
    select.Int(1, section);
    const int step = sqlite3_step(select.get());
    if (step == SQLITE_ROW) {
        state->lastSync = sqlite3_column_int64(select.get(), 0);
        state->fullSyncDue = sqlite3_column_int(select.get(), 1) != 0;
        state->dirty = sqlite3_column_int(select.get(), 2) != 0;
    }
    return step == SQLITE_ROW || step == SQLITE_DONE || Fail("reading the sync state");
}

bool StateStore::PutDatabase(const DatabaseState& state) {
    Statement put(Prepare("INSERT OR REPLACE INTO databases (section, last_sync, full_sync_due, dirty) VALUES (?, ?, ?, ?)"));
    if (!put) return false;
    put.Int(1, state.section);
    put.Int(2, state.lastSync);
    put.Int(3, state.fullSyncDue ? 1 : 0);
    put.Int(4, state.dirty ? 1 : 0);
    return sqlite3_step(put.get()) == SQLITE_DONE || Fail("writing the sync state");
}

std::string StateStore::GetPairing(const std::string& key) {
    Statement select(Prepare("SELECT value FROM pairing WHERE key = ?"));
    if (!select) return std::string();
    select.Text(1, key);
    return sqlite3_step(select.get()) == SQLITE_ROW ? ColumnText(select.get(), 0) : std::string();
}

bool StateStore::SetPairing(const std::string& key, const std::string& value) {
    Statement put(Prepare("INSERT OR REPLACE INTO pairing (key, value) VALUES (?, ?)"));
    if (!put) return false;
    put.Text(1, key);
    put.Text(2, value);
    return sqlite3_step(put.get()) == SQLITE_DONE || Fail("writing the sync state");
}

}  // namespace morvane_engine
