#include "bench/bench_world.h"

#include "platform/platform_test.h"
#include "support/sandbox.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <sstream>
#include <time.h>

namespace fs = std::filesystem;
using testing_support::Sandbox;

namespace morvane_bench {

const char kDataFolder[] = "C:\\Korvell\\Data\\";

namespace {

const uint8_t kPcId[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
const char kPcIdText[] = "123456789ABCDEF0";
const char kLastSyncTime[] = "20240131235959";

}  // namespace

// Debugger output goes nowhere, as on Windows without a debugger attached.
Sandbox& TheSandbox() {
    static Sandbox sandbox;
    static const bool quiet = (testing_support::UnsetEnv("MORVANE_DEBUG_OUTPUT"), true);
    (void)quiet;
    return sandbox;
}

namespace {

std::map<std::string, double>& Floors() {
    static std::map<std::string, double> floors;
    return floors;
}

bool g_failed = false;

void SetCommon(benchmark::State& state, const PassTotals& totals, double nsPerRecord) {
    state.counters["records"] = static_cast<double>(totals.records);
    state.counters["ns_per_record"] = nsPerRecord;
    if (totals.fieldsPerRecord > 0)
        state.counters["ns_per_field"] = nsPerRecord / static_cast<double>(totals.fieldsPerRecord);
    state.counters["peak_bytes"] = static_cast<double>(totals.peakBytes);
    if (totals.valueBytes > 0) {
        state.counters["value_bytes"] = static_cast<double>(totals.valueBytes);
        state.counters["peak_per_value_byte"] =
            static_cast<double>(totals.peakBytes) / static_cast<double>(totals.valueBytes);
    }
}

double NsPerRecord(const benchmark::State& state, const PassTotals& totals) {
    const double passes = static_cast<double>(state.iterations());
    if (passes == 0 || totals.records == 0) return 0;
    return totals.seconds * 1e9 / (passes * static_cast<double>(totals.records));
}

}  // namespace

const std::vector<KindInfo>& Kinds() {
    static const std::vector<KindInfo> kinds = {
        {Kind::kAddress, "Address", morvane_host::kAddressSection, 7, 0},
        {Kind::kSchedule, "Schedule", morvane_host::kScheduleSection, 1, 0},
        {Kind::kMail, "Mail", morvane_host::kMailSection, 16, 15},
    };
    return kinds;
}

const morvane_host::HostDatabase& HostDb(const KindInfo& kind) {
    return *morvane_host::FindDatabase(kind.section);
}

std::vector<int64_t> Sizes() {
    const char* text = std::getenv("MORVANE_BENCH_SIZES");
    if (text == nullptr || *text == '\0') return {1000, 10000, 100000};
    std::vector<int64_t> sizes;
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, ',');)
        if (std::atoll(item.c_str()) > 0) sizes.push_back(std::atoll(item.c_str()));
    return sizes;
}

namespace {

// $MORVANE_BENCH_ADAPTER names another build of the library to measure
// (an older one, for before-and-after figures).
std::string AdapterPath() {
    const char* other = std::getenv("MORVANE_BENCH_ADAPTER");
    return other != nullptr && *other != '\0' ? other : testing_support::AdapterLibrary::DefaultPath();
}

}  // namespace

AdapterCopy& AdapterCopy::Quiet() {
    static AdapterCopy* copy = new AdapterCopy(AdapterPath(), 0);
    return *copy;
}

// dlopen gives a library file that is already loaded back as it is; a
// copy under another name is a library of its own, with its own globals.
AdapterCopy& AdapterCopy::Traced() {
    static AdapterCopy* copy = [] {
        const std::string folder = TheSandbox().root() + "/traced";
        fs::create_directories(folder);
        const std::string path = folder + "/libmorvane.so";
        std::error_code ignored;
        fs::copy_file(AdapterPath(), path, fs::copy_options::overwrite_existing,
                      ignored);
        return new AdapterCopy(path, 1);
    }();
    return *copy;
}

// The library reads the trace switch when it is loaded, so the registry is
// written first.  Both sides are paired before start-up, so that no
// question is asked and no database is forced into a full synchronisation.
// The copies live until the process ends: a host unloads the library only
// after its session, and the simulated devices they hold stay valid.
AdapterCopy::AdapterCopy(const std::string& libraryPath, int trace) {
    Sandbox& sandbox = TheSandbox();
    sandbox.WriteStandardRegistry(kDataFolder, trace);
    library_ = new testing_support::AdapterLibrary(libraryPath);
    if (!library_->Loaded()) return;
    device_ = tethra_sim::LiveDevice();
    if (device_ == nullptr) return;
    for (tethra_sim::Database& db : device_->databases) {
        db.syncEnabled = true;
        for (auto& list : db.changes) list.clear();
    }
    ok_ = Start();
}

bool AdapterCopy::Start() {
    device_->SetPairing(kPcId, kLastSyncTime);
    testing_support::WriteFile(TheSandbox().HostPath(std::string(kDataFolder) + "ISEnvSet.ini"),
                               std::string("[Synchronization]\r\nPCID=") + kPcIdText + "\r\nSyncTime=" +
                                   kLastSyncTime + "\r\n");
    return api().DIZ_API_Initialize("morvane-bench", "") == 0;
}

bool AdapterCopy::Restart() {
    if (!ok_) return false;
    api().DIZ_API_CloseSyncApp();
    api().DIZ_API_Uninitialize();
    ok_ = Start();
    return ok_;
}

std::string AdapterCopy::TraceLogPath() const { return TheSandbox().HostPath("C:\\QADbgLog.txt"); }

// Made after the adapter's copy, so that LiveDevice() is this one's image
// while it is constructed; the adapter keeps the image it was given.
FloorDevice& FloorDevice::Get() {
    static FloorDevice* floor = (AdapterCopy::Quiet(), new FloorDevice());
    return *floor;
}

FloorDevice::FloorDevice() {
    image_ = tethra_sim::LiveDevice();
    _tagDVXCONNECTINFO info = {};
    link_.S_DVXOpenPort("COM1", 0);
    link_.S_DVXWaitConnection(30000, &info);
    for (tethra_sim::Database& db : image_->databases) db.syncEnabled = true;
}

double ThreadCpuSeconds() {
    timespec now = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void PassMeter::Start() {
    PlatformResetHeapPeak();
    PlatformHeapUsage(&base_, nullptr);
    start_ = ThreadCpuSeconds();
}

void PassMeter::Stop() {
    seconds_ = ThreadCpuSeconds() - start_;
    size_t peak = 0;
    PlatformHeapUsage(nullptr, &peak);
    peak_ = peak > base_ ? peak - base_ : 0;
}

void PassTotals::Add(const PassMeter& meter) {
    seconds += meter.seconds();
    if (passes++ == 0) peakBytes = meter.peakBytes();
}

std::string FloorKey(const char* pass, const KindInfo& kind, int64_t n) {
    return std::string(pass) + "/" + kind.name + "/" + std::to_string(n);
}

void ReportFloor(benchmark::State& state, const std::string& key, const PassTotals& totals) {
    const double nsPerRecord = NsPerRecord(state, totals);
    Floors()[key] = nsPerRecord;
    SetCommon(state, totals, nsPerRecord);
}

void ReportAdapter(benchmark::State& state, const std::string& key, const PassTotals& totals) {
    const double nsPerRecord = NsPerRecord(state, totals);
    SetCommon(state, totals, nsPerRecord);
    const auto floor = Floors().find(key);
    if (floor != Floors().end() && floor->second > 0) state.counters["ratio_to_floor"] = nsPerRecord / floor->second;
}

void Fail(benchmark::State& state, const std::string& why) {
    // The message must outlive the benchmark's report.
    static std::deque<std::string> messages;
    messages.push_back(why);
    state.SkipWithError(messages.back().c_str());
    g_failed = true;
}

bool AnyFailure() { return g_failed; }

size_t CopyValues(const _tagDVXDBREC& record, std::vector<uint8_t>& sink) {
    size_t copied = 0;
    for (uint32_t i = 0; i < record.fieldCount; ++i) {
        const _tagDVXFIELD& slot = record.fields[i];
        if (slot.length == 0 || slot.length == 0xFFFFFFFFu || slot.data == nullptr) continue;
        const size_t at = sink.size();
        sink.resize(at + slot.length);
        std::memcpy(sink.data() + at, slot.data, slot.length);
        copied += slot.length;
    }
    return copied;
}

}  // namespace morvane_bench
