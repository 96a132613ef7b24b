// A full export through the device session, in this process and through a
// native bridge process (morvane-bridge), of the same device image: what
// hosting the adapter in a process of its own costs a host.  The bridge's
// work is done in another process, whose CPU time this thread does not
// see, so both are timed by the wall clock; the bridge reports
// ratio_to_inprocess, its time per record over that of the in-process
// session of the same database and N, which runs just before it.
#include "bench/bench_main.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>

#include "bridge/device_session.h"

namespace morvane_bench {

namespace {

namespace fs = std::filesystem;
using morvane_host::DeviceSession;

const char kInProcessPass[] = "inprocess/full_export/";
const char kBridgePass[] = "bridge/full_export/";
constexpr unsigned kBridgeTimeoutSeconds = 600;

std::map<std::string, double>& InProcessTimes() {
    static std::map<std::string, double> times;
    return times;
}

// The image file both sessions load, filled with n records of the kind
// (written again only when another kind or n is asked for).
bool PrepareDevice(const KindInfo& kind, int64_t n, std::string* why) {
    static std::string prepared;
    const std::string key = std::string(kind.name) + "/" + std::to_string(n);
    const std::string path = TheSandbox().root() + "/bridge-device.json";
    testing_support::SetEnv("MORVANE_DEVICE", path);
    if (prepared == key) return true;
    tethra_sim::DeviceImage image = tethra_sim::EmptyImage();
    Clear(image, kind);
    Fill(image, kind, static_cast<size_t>(n));
    for (tethra_sim::Database& db : image.databases) db.syncEnabled = true;
    if (!image.Save(path, why)) return false;
    prepared = key;
    return true;
}

// A copy of the library under another name, so that its globals are its
// own and not those of the copies the other benchmarks drive.
DeviceSession* InProcess(std::string* why) {
    static std::unique_ptr<DeviceSession> session = [why] {
        const std::string folder = TheSandbox().root() + "/inprocess";
        std::error_code ignored;
        fs::create_directories(folder, ignored);
        fs::copy_file(testing_support::AdapterLibrary::DefaultPath(), folder + "/libmorvane.so",
                      fs::copy_options::overwrite_existing, ignored);
        return morvane_host::OpenInProcessSession(folder + "/libmorvane.so", why);
    }();
    return session.get();
}

DeviceSession* Bridge(std::string* why) {
    static std::unique_ptr<DeviceSession> session = morvane_host::OpenBridgeSession(
        std::string(MORVANE_BIN_DIR) + "/morvane-bridge", kBridgeTimeoutSeconds, why);
    return session.get();
}

// One full export with the change lists kept, so that every pass hands
// over the same records; the session is started and closed around it,
// outside the measured time.
bool TimedExport(DeviceSession& session, const KindInfo& kind, int64_t n, double* seconds, double* cpu,
                 std::string* why) {
    if (!session.Start(morvane_host::PairingAnswer::kOk)) return *why = session.error(), false;
    morvane_host::DatabaseRecords out;
    const double cpuStart = ThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = session.Export(HostDb(kind), 0, morvane_host::ChangeLists::kKeep, &out);
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    *cpu = ThreadCpuSeconds() - cpuStart;
    if (!ok) *why = session.error();
    session.Finish();
    if (ok && static_cast<int64_t>(out.records.size()) != n)
        *why = "the export handed over " + std::to_string(out.records.size()) + " records";
    return ok && static_cast<int64_t>(out.records.size()) == n;
}

void SessionExport(benchmark::State& state, const KindInfo& kind, bool bridge) {
    const int64_t n = state.range(0);
    std::string why;
    TheSandbox().WriteStandardRegistry(kDataFolder, 0);
    if (!PrepareDevice(kind, n, &why)) return Fail(state, "the device image: " + why);
    DeviceSession* session = bridge ? Bridge(&why) : InProcess(&why);
    if (session == nullptr) return Fail(state, "no session: " + why);
    double seconds = 0, cpu = 0, total = 0, totalCpu = 0;
    for (int pass = 0; pass < kWarmUpPasses; ++pass)
        if (!TimedExport(*session, kind, n, &seconds, &cpu, &why)) return Fail(state, "the warm-up export: " + why);
    for (auto _ : state) {
        if (!TimedExport(*session, kind, n, &seconds, &cpu, &why)) return Fail(state, why);
        state.SetIterationTime(seconds);
        total += seconds;
        totalCpu += cpu;
    }
    const double passes = static_cast<double>(state.iterations()) * static_cast<double>(n);
    const double nsPerRecord = total * 1e9 / passes;
    state.counters["records"] = static_cast<double>(n);
    state.counters["ns_per_record"] = nsPerRecord;
    // This thread's own share: the whole pass in process, the reading of
    // the bridge's lines through the bridge.
    state.counters["cpu_ns_per_record"] = totalCpu * 1e9 / passes;
    const std::string key = std::string(kind.name) + "/" + std::to_string(n);
    if (!bridge) InProcessTimes()[key] = nsPerRecord;
    const auto inProcess = InProcessTimes().find(key);
    if (bridge && inProcess != InProcessTimes().end() && inProcess->second > 0)
        state.counters["ratio_to_inprocess"] = nsPerRecord / inProcess->second;
    testing_support::UnsetEnv("MORVANE_DEVICE");
}

}  // namespace

void RegisterBridgeBenchmarks() {
    for (const KindInfo& kind : Kinds())
        for (const int64_t n : Sizes()) {
            Register(kInProcessPass + std::string(kind.name), n,
                     [&kind](benchmark::State& state) { SessionExport(state, kind, false); });
            Register(kBridgePass + std::string(kind.name), n,
                     [&kind](benchmark::State& state) { SessionExport(state, kind, true); });
        }
}

}  // namespace morvane_bench
