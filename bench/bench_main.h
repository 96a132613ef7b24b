// Registration of the benchmarks, in the order they run: for every pass,
// kind and size the floor first, so that the adapter's benchmark after it
// can report its ratio to that floor.
#ifndef MORVANE_BENCH_BENCH_MAIN_H
#define MORVANE_BENCH_BENCH_MAIN_H

#include "bench/bench_world.h"

#include <functional>
#include <string>

namespace morvane_bench {

// Registers name/n (a pass measured by its own clock, in milliseconds).
void Register(const std::string& name, int64_t n, std::function<void(benchmark::State&)> body);

void RegisterExportBenchmarks();
void RegisterImportBenchmarks();
void RegisterTracedExportBenchmark();
void RegisterTraceBenchmarks();
void RegisterSyncBenchmarks();
void RegisterBridgeBenchmarks();

}  // namespace morvane_bench

#endif
