// What every benchmark of morvane-bench shares: the adapter loaded the way
// a host loads it, with one started session against a simulated device of
// its own; a second simulated device that the bench drives directly for the
// floor; databases filled with N records; and the measurement of one pass
// (time, heap peak) turned into the reported counters.
//
// Each loaded copy of the adapter keeps one session for the whole run (its
// globals live once per loaded library and there is no reset): every
// benchmark iteration is a whole database pass that the exports themselves
// open and close, and the device's records and change lists are put back
// between iterations, outside the measured time.
#ifndef MORVANE_BENCH_BENCH_WORLD_H
#define MORVANE_BENCH_BENCH_WORLD_H

#include "device/simulator.h"
#include "records/field_map.h"
#include "link/tethra.h"
#include "support/adapter_library.h"
#include "support/sandbox.h"

#include <benchmark/benchmark.h>
#include <stdint.h>
#include <string>
#include <vector>

namespace morvane_bench {

// One sandbox for the whole run: drive C, the registry file, the settings
// file; and the data-file folder the registry names.
testing_support::Sandbox& TheSandbox();
extern const char kDataFolder[];

// The three databases measured.
enum class Kind { kAddress, kSchedule, kMail };

struct KindInfo {
    Kind kind;
    const char* name;      // "Address"
    int32_t section;       // the host's section
    uint32_t dbId;         // the device database
    uint32_t companionId;  // E-mail's second device database, else 0
};

const std::vector<KindInfo>& Kinds();
const morvane_host::HostDatabase& HostDb(const KindInfo& kind);

// Record counts: 1,000, 10,000 and 100,000, or the comma-separated list in
// $MORVANE_BENCH_SIZES (the smoke test runs tiny ones).
std::vector<int64_t> Sizes();

// Untimed passes before the measured ones: the first pass of a size maps
// fresh memory, whose page faults cost more than the pass's own work on
// this virtual machine.
constexpr int kWarmUpPasses = 1;

// A pass's export time after the last synchronisation (a normal export).
constexpr int32_t kStamp = 1700000000;

// Fills the kind's database(s) of image with n records, every field
// filled, ids ascending; sync on, no change lists.  Replaces what was there.
// Does nothing when the same kind and n were filled last on this image.
void Fill(tethra_sim::DeviceImage& image, const KindInfo& kind, size_t n);
// Empties the kind's database(s) and forgets what Fill did.
void Clear(tethra_sim::DeviceImage& image, const KindInfo& kind);
// Lists every record of the kind's database(s) as changed on the device.
void MarkAllChanged(tethra_sim::DeviceImage& image, const KindInfo& kind);
// Bytes of the values of every record of the kind's database(s).
size_t ValueBytes(const tethra_sim::DeviceImage& image, const KindInfo& kind);
// Records in the kind's database(s).
size_t RecordCount(const tethra_sim::DeviceImage& image, const KindInfo& kind);

// One loaded copy of the adapter with its session started.
class AdapterCopy {
public:
    // Tracing off ("QA_Trace" 0); loaded on first use.
    static AdapterCopy& Quiet();
    // Tracing on: a second copy of the library file, loaded with "QA_Trace"
    // 1, so that it has globals of its own.
    static AdapterCopy& Traced();

    // Ends the session and starts a new one, so that a benchmark begins
    // with an empty private heap rather than the cache entries every pass
    // before it left there.
    bool Restart();

    const testing_support::AdapterExports& api() const { return library_->api(); }
    tethra_sim::DeviceImage& device() { return *device_; }
    bool ok() const { return ok_; }
    // The trace log file, on this host.
    std::string TraceLogPath() const;

private:
    AdapterCopy(const std::string& libraryPath, int trace);
    bool Start();
    testing_support::AdapterLibrary* library_ = nullptr;
    tethra_sim::DeviceImage* device_ = nullptr;
    bool ok_ = false;
};

// The floor's device: a CTethraApp of the bench's own, connected.
class FloorDevice {
public:
    static FloorDevice& Get();
    CTethraApp& link() { return link_; }
    tethra_sim::DeviceImage& image() { return *image_; }

private:
    FloorDevice();
    CTethraApp link_;
    tethra_sim::DeviceImage* image_ = nullptr;
};

// CPU seconds this thread has used.  The machine is shared, so wall-clock
// time mostly measures the neighbours; the thread's CPU time (user and
// system) is what the pass itself costs.
double ThreadCpuSeconds();

// Times one pass (ThreadCpuSeconds) and the heaps' peak during it.
class PassMeter {
public:
    void Start();
    void Stop();
    double seconds() const { return seconds_; }
    // Heap bytes above what the heaps held when the pass started.
    size_t peakBytes() const { return peak_; }

private:
    double start_ = 0;
    size_t base_ = 0;
    double seconds_ = 0;
    size_t peak_ = 0;
};

// What one benchmark measured over its iterations.
struct PassTotals {
    int64_t records = 0;          // records per pass
    int64_t fieldsPerRecord = 0;  // host fields read or written per record
    double seconds = 0;           // summed over the iterations
    int64_t passes = 0;           // measured passes
    // The first measured pass's.  The session's private heap keeps the
    // cache entries of every pass until the session ends, so a later pass
    // may grow it by a larger chunk: the highest pass would depend on how
    // many passes the benchmark happened to run.
    size_t peakBytes = 0;
    size_t valueBytes = 0;        // bytes of the records' values
    void Add(const PassMeter& meter);
};

// "pass/kind/n": the key under which a floor is remembered.
std::string FloorKey(const char* pass, const KindInfo& kind, int64_t n);
// Sets the counters of a floor benchmark and remembers its time per record.
void ReportFloor(benchmark::State& state, const std::string& key, const PassTotals& totals);
// Sets the counters of an adapter benchmark: time per record and per field,
// peak memory, and ratio_to_floor when the floor of key was measured.
void ReportAdapter(benchmark::State& state, const std::string& key, const PassTotals& totals);

// Marks the benchmark failed; main then exits with 1.
void Fail(benchmark::State& state, const std::string& why);
bool AnyFailure();

// Copies every value of a link record into sink (the floor's plain copy);
// returns the bytes copied.
size_t CopyValues(const _tagDVXDBREC& record, std::vector<uint8_t>& sink);

}  // namespace morvane_bench

#endif
