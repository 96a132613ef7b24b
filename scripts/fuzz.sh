#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz/ (or
# $MORVANE_FUZZ_BUILD_DIR) and runs each for a bounded time, starting from
# its seed corpus in fuzz/corpus/<target>/.  New inputs collect in
# build-fuzz/corpus/<target>/; a crash leaves its input in
# build-fuzz/artifacts/<target>/ and makes this script fail.  Inputs that
# failed once are kept in fuzz/crashes/<target>-<hash> and run first.
# Usage: scripts/fuzz.sh [seconds-per-target] [target ...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVANE_FUZZ_BUILD_DIR:-$here/build-fuzz}
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(registry_file profile_file pe_string_table device_image record_convert record_json export_sequence
  field_text vcard_reader mail_import ical_import)

"$here/scripts/install-deps.sh" clang libclang-rt-14-dev
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DMORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=()
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t" "$build/artifacts/$t"
  # The inputs that once failed, first: each must pass again.  (A session
  # target's find may have needed the state earlier inputs left behind; its
  # regression test is in the export tests.)
  crashes=("$here"/fuzz/crashes/"$t"-*)
  if [ -e "${crashes[0]}" ] &&
      ! "$build/bin/fuzz_$t" -runs=1 "${crashes[@]}" >"$build/fuzz_$t.crashes.log" 2>&1; then
    failed+=("$t")
    tail -60 "$build/fuzz_$t.crashes.log"
    continue
  fi
  echo "== fuzz_$t for ${seconds}s"
  if ! "$build/bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$t/" \
      "$build/corpus/$t" "$here/fuzz/corpus/$t" >"$build/fuzz_$t.log" 2>&1; then
    failed+=("$t")
    tail -60 "$build/fuzz_$t.log"
  else
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$build/fuzz_$t.log" | tail -2
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz targets that failed: ${failed[*]}" >&2
  exit 1
fi
echo "all fuzz targets ran ${seconds}s without a failure"
