// The world an export test runs in: a sandbox whose registry points at a data-file folder (with the
// maker's utility library when wanted), the simulated device saved as the image file $MORVANE_DEVICE
// names, and the adapter loaded last, as a host loads it; beside it, a host's steps and ways to watch
// the device link.
#ifndef MORVANE_TESTS_EXPORTS_EXPORT_WORLD_H
#define MORVANE_TESTS_EXPORTS_EXPORT_WORLD_H

#include "device/simulator.h"
#include "support/adapter_library.h"
#include "support/row_name.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <stdint.h>
#include <string>
#include <utility>
#include <vector>

namespace export_tests {

using Lines = std::vector<std::string>;
using Puts = std::vector<std::pair<std::string, std::string>>;  // host field id, text

// Host sections and the device databases behind them; a companion mail's host id carries kCompanionBit.
constexpr int32_t kAddressSection = 1, kScheduleSection = 2, kToDoSection = 3, kMemoSection = 4, kMailSection = 5;
constexpr uint32_t kScheduleDb = 1, kToDoDb = 6, kAddressDb = 7, kMemoDb = 8, kCompanionDb = 15, kMailDb = 16;
constexpr uint32_t kCompanionBit = 0x80000000u;
constexpr int32_t kStamp = 1700000000;       // an export time after the last synchronisation
constexpr uint32_t kInjected = 0x10000077u;  // the device error injected faults give

// The data-file folder as the registry holds it, and the pairing of the cases that start paired.
extern const char kDataFolder[];
extern const uint8_t kPairedId[8];
extern const char kPairedIdText[];  // kPairedId as the settings file holds it
extern const char kLastSyncTime[];  // "20240131235959"

enum class Utility { kNone, kStandard, kBlankQuestion };

class SessionWorld {
public:
    SessionWorld();
    ~SessionWorld();

    // Before Load: what the data-file folder holds and what the device is.
    void InstallUtility(Utility which);
    void WriteSettings(const std::string& iniText);
    tethra_sim::DeviceImage& image() { return image_; }
    void SaveImage();
    // Pairs device and settings file with kPairedId and kLastSyncTime.
    void PairBothSides();

    // Loads the adapter (SaveImage first).
    void Load();
    const testing_support::AdapterExports& api() const { return library_->api(); }
    uint32_t LastError() const;

    // Trace lines written since the last call (or loading), without line ends, heap handles as "hHeap[*]".
    Lines TakeTrace();

    // The settings file's "Synchronization" value of key, "" when missing.
    std::string Setting(const std::string& key) const;
    // The device image file as the simulator saved it when the port was closed (DIZ_API_CloseSyncApp).
    tethra_sim::DeviceImage Device() const;

    testing_support::Sandbox& sandbox() { return sandbox_; }
    std::string devicePath() const { return devicePath_; }

private:
    testing_support::Sandbox sandbox_;
    tethra_sim::DeviceImage image_;
    std::string devicePath_;
    size_t traceSeen_ = 0;
    std::unique_ptr<testing_support::AdapterLibrary> library_;
};

// Device records: a memo, a schedule entry and a mail with the given text.
tethra_sim::FieldValues Memo(const std::string& title);
tethra_sim::FieldValues Schedule(const std::string& description);
tethra_sim::FieldValues Mail(const std::string& subject, int32_t deviceFolder);
// Takes part in sync with no pending changes: records stay as they are.
void Settle(tethra_sim::DeviceImage& image, uint32_t dbId);
// The value a type 1 link field carries from the PC: four bytes.
tethra_sim::LinkValue Wide(uint32_t value);

// Steps of a host; each leaves the trace taken.
// Pairs both sides, loads the adapter and starts the session.
void StartPaired(SessionWorld& world);
// StartPaired, then section opened for import.
void StartImport(SessionWorld& world, int32_t section);
// StartPaired, an export pass reading section in full (a first synchronisation), section opened for import.
void StartFirstSync(SessionWorld& world, int32_t section);
// BeginExport(stamp) and section opened.
void OpenExport(SessionWorld& world, int32_t section, int32_t stamp = kStamp);
// A full export of section with its first record current.
void ExportFirst(SessionWorld& world, int32_t section);
// InsertRecord, PutField for every pair, AddRecord; returns its result, *idText gets the id text it gave.
int32_t AddNew(SessionWorld& world, const Puts& puts, std::string* idText);
// DIZ_API_GetField's text for host field id of the current record; its result goes to *result, or must be 0.
std::string Field(SessionWorld& world, const std::string& id, int32_t* result = nullptr);
// Reads every record of the open database as a host does (each released): the statuses and final result.
struct Walk {
    std::vector<uint32_t> statuses;
    int32_t end = 0;
};
Walk WalkAll(SessionWorld& world, int32_t section);

// The live device: calls of an operation counted from now on (a fault that never fires), a database (or
// an empty one), a stored value.
void CountCalls(const std::string& operation);
uint32_t CallsSeen(const std::string& operation);
const tethra_sim::Database& LiveDb(uint32_t dbId);
size_t PendingChanges(uint32_t dbId);  // over the live database's three change lists
tethra_sim::LinkValue Stored(uint32_t dbId, uint32_t id, const std::string& field);

// Trace texts.
bool HasLine(const Lines& trace, const std::string& line);
bool HasLines(const Lines& trace, const Lines& run);  // run stands in trace, in order
// Every "record being read" line as (record id, sync attribute).
std::vector<std::pair<uint32_t, uint32_t>> RecordsRead(const Lines& trace);
std::string RecLine(uint32_t id, int attr);  // a line of the record cache the open lists
std::string DeviceErrorLine(uint32_t code);  // "***** ***** Last Quenda Error: %08x"
std::string CtimeText(int32_t value);        // ctime's text without its newline
std::string IdText(const uint8_t id[8]);     // 16 upper-case hexadecimal digits
Lines NewPcidLines(const std::string& idText);  // what NewPCID writes for the identity
Lines Join(std::initializer_list<Lines> parts);  // the parts one after another

using testing_support::RowName;

}  // namespace export_tests

#endif
