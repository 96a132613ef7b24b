// morvane-bench: the adapter's passes against the simulated device, beside
// the device's own cost (the floor), and the cost of a trace line.  See
// BENCHMARKS.md; scripts/bench.sh runs it and draws the plot.
#include "bench/bench_main.h"

#include <malloc.h>

namespace morvane_bench {

void Register(const std::string& name, int64_t n, std::function<void(benchmark::State&)> body) {
    benchmark::RegisterBenchmark(name.c_str(), [body](benchmark::State& state) { body(state); })
        ->Arg(n)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

}  // namespace morvane_bench

int main(int argc, char** argv) {
    // Freed heap chunks (at most 8 MiB each) stay with the process instead
    // of going back to the system after every pass, as in a host that keeps
    // running: the passes then measure the code, not the kernel's page
    // faults.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
    morvane_bench::RegisterExportBenchmarks();
    morvane_bench::RegisterImportBenchmarks();
    morvane_bench::RegisterTracedExportBenchmark();
    morvane_bench::RegisterTraceBenchmarks();
    morvane_bench::RegisterSyncBenchmarks();
    morvane_bench::RegisterBridgeBenchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return morvane_bench::AnyFailure() ? 1 : 0;
}
