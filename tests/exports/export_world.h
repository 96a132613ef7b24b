// Helpers of the export-pass tests: a started session against a simulated
// device whose databases hold known records and change lists, and ways to
// watch the device link from the test (call counters on the live device,
// the record ids the trace reports).
#ifndef MORVANE_TESTS_EXPORTS_EXPORT_WORLD_H
#define MORVANE_TESTS_EXPORTS_EXPORT_WORLD_H

#include "exports/session_world.h"

#include <stdint.h>
#include <string>
#include <vector>

namespace export_tests {

using Lines = std::vector<std::string>;

// Host sections.
constexpr int32_t kAddressSection = 1;
constexpr int32_t kScheduleSection = 2;
constexpr int32_t kToDoSection = 3;
constexpr int32_t kMemoSection = 4;
constexpr int32_t kMailSection = 5;

// An export time after the last synchronisation.
constexpr int32_t kStamp = 1700000000;

// A memo, a schedule entry and a mail with the given text.
tethra_sim::FieldValues Memo(const std::string& title);
tethra_sim::FieldValues Schedule(const std::string& description);
tethra_sim::FieldValues Mail(const std::string& subject, int32_t deviceFolder);

// Takes part in sync with no pending changes: records stay as they are.
void Settle(tethra_sim::DeviceImage& image, uint32_t dbId);

// The trace lines written since the last call, without line ends (the log
// file is a text file: CR LF on some systems).
Lines TakeTrace(session_tests::SessionWorld& world);

// Pairs both sides, loads the adapter and starts the session; the trace
// is taken.
void StartPaired(session_tests::SessionWorld& world);

// Counts the calls of a device link operation from now on: a fault that
// never fires, on the live device.
void CountCalls(const std::string& operation);
uint32_t CallsSeen(const std::string& operation);

// Every "record being read" line of trace as (record id, sync attribute).
std::vector<std::pair<uint32_t, uint32_t>> RecordsRead(const Lines& trace);

// Reads every record of the open database as a host does: first, next...
// until a result other than 0; each record's status is collected and the
// record released.  Returns the final result.
struct Walk {
    std::vector<uint32_t> statuses;
    int32_t end = 0;
};
Walk WalkAll(session_tests::SessionWorld& world, int32_t section);

// The expected "     NN) ID: ..." lines of the device's link fields of dbId.
Lines LinkFieldDump(uint32_t dbId);

// Text of ctime for value, without its newline.
std::string CtimeText(int32_t value);

}  // namespace export_tests

#endif
