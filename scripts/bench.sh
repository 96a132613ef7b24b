#!/usr/bin/env bash
# Builds morvane-bench, runs every benchmark and draws the plots.
# Usage: scripts/bench.sh [extra morvane-bench arguments]
#   MORVANE_BENCH_SIZES=1000,10000   other record counts (default 1000,10000,100000)
#   MORVANE_BUILD_DIR=...            build folder (default build/)
# Writes $build/bench-results.json (Google Benchmark's JSON: every counter,
# ratio_to_floor among them), $build/bench-results.md (the same as a table)
# and bench/time_per_record.png, bench/peak_memory.png (the plots need
# python3-matplotlib; without it they are skipped).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVANE_BUILD_DIR:-$here/build}
# vdirsyncer is the anchor of the sync benchmarks.
"$here/scripts/install-deps.sh" vdirsyncer
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target morvane_bench
results=$build/bench-results.json
"$build/bin/morvane-bench" --benchmark_out="$results" --benchmark_out_format=json "$@"
# Debian's matplotlib belongs to the system's python3.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
if "$python" -c 'import matplotlib' 2>/dev/null; then
  "$python" "$here/bench/plot.py" "$results" "$here/bench" > "$build/bench-results.md"
  echo "Table: $build/bench-results.md; plots: bench/time_per_record.png, bench/peak_memory.png"
else
  echo "python3-matplotlib is not installed: no plot drawn" >&2
fi
