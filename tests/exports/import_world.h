// Helpers of the import-pass tests: a started session with one database
// open for import, records written field by field as a host writes them,
// and the values the simulated device stores, read back through its API.
#ifndef MORVANE_TESTS_EXPORTS_IMPORT_WORLD_H
#define MORVANE_TESTS_EXPORTS_IMPORT_WORLD_H

#include "exports/export_world.h"

#include <stdint.h>
#include <string>
#include <utility>
#include <vector>

namespace import_tests {

using Puts = std::vector<std::pair<std::string, std::string>>;

// Device databases, and the error code the tests' device faults give.
constexpr uint32_t kToDoDb = 6;
constexpr uint32_t kMailDb = 16;
constexpr uint32_t kCompanionDb = 15;
constexpr uint32_t kFaultError = 0x10000077u;

// Starts a paired session and opens section for import; the trace is taken.
void StartImport(session_tests::SessionWorld& world, int32_t section);

// InsertRecord, PutField for every pair, AddRecord.  Returns AddRecord's
// result; *idText receives the id text it gave.
int32_t AddNew(session_tests::SessionWorld& world, const Puts& puts, std::string* idText);

// The live device's database dbId, or an empty one.
const tethra_sim::Database& LiveDb(uint32_t dbId);

// The value field of record id in dbId as the live device stores it.
tethra_sim::LinkValue Stored(uint32_t dbId, uint32_t id, const std::string& field);

// The value a type 1 link field carries from the PC: four bytes.
tethra_sim::LinkValue Wide(uint32_t value);

// Opens section again for a full export and makes its first record
// current; the trace is taken.
void ExportFirst(session_tests::SessionWorld& world, int32_t section);

// DIZ_API_GetField's text for host field id of the current record.
std::string Field(session_tests::SessionWorld& world, const std::string& id);

// Whether some trace line equals line.
bool HasLine(const export_tests::Lines& trace, const std::string& line);

}  // namespace import_tests

#endif
