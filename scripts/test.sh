#!/usr/bin/env bash
# The README's test command: installs what is missing, builds, and runs every
# test.  The tests come in stages, run in this order:
#   ctest      every GoogleTest program and the host end to end (build/)
#   m32        the adapter's GoogleTest programs built for 32-bit x86 Linux
#              and run under qemu-i386 (build-m32/, test-m32.sh)
#   sanitized  the same suite built with ASan and UBSan (build-asan/)
#   windows    the Windows cross-build, its export table, and one session
#              under Wine compared with the Linux build (test-windows.sh)
#   valgrind   morvane-sync's whole sessions under valgrind memcheck (build/)
#   clients    the demo handheld synchronised through morvane-sync, vdirsyncer
#              and a Radicale server and back; khard, khal, todoman and
#              Python's mailbox read the store; then README.md's own commands
#              (test-clients.sh)
#   fuzz       every libFuzzer target: the inputs of fuzz/crashes/ again, then
#              $MORVANE_FUZZ_SECONDS (30) s of fuzzing each (build-fuzz/)
# Usage: scripts/test.sh [stage ...]   (no stage: every stage)
# A stage that fails does not stop the others; the script fails if any did.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVANE_BUILD_DIR:-$here/build}

# Stages run as the condition of an if, where set -e does not act: each one
# chains its steps with && so that the first failing step fails the stage.
stage_ctest() {
  "$here/scripts/build.sh" &&
    (cd "$build" && ctest --output-on-failure -j "$(nproc)")
}

# A few minutes: two cross-builds and a fresh Wine prefix; each Wine step
# has a timeout of its own, and this bounds the whole.
stage_windows() {
  timeout 3600 "$here/scripts/test-windows.sh"
}

stage_m32() {
  "$here/scripts/test-m32.sh"
}

stage_sanitized() {
  "$here/scripts/test-sanitized.sh"
}

stage_valgrind() {
  "$here/scripts/build.sh" valgrind &&
    "$here/scripts/valgrind-session.sh" "$build"
}

stage_clients() {
  "$here/scripts/test-clients.sh"
}

stage_fuzz() {
  "$here/scripts/fuzz.sh" "${MORVANE_FUZZ_SECONDS:-30}"
}

all_stages=(ctest m32 sanitized windows valgrind clients fuzz)
stages=("$@")
[ ${#stages[@]} -eq 0 ] && stages=("${all_stages[@]}")

failed=()
for s in "${stages[@]}"; do
  if ! declare -F "stage_$s" >/dev/null; then
    echo "unknown stage: $s (stages: ${all_stages[*]})" >&2
    exit 2
  fi
  echo "=== stage $s"
  start=$SECONDS
  if "stage_$s"; then
    echo "=== stage $s passed in $((SECONDS - start)) s"
  else
    echo "=== stage $s FAILED after $((SECONDS - start)) s" >&2
    failed+=("$s")
  fi
done
"$here/scripts/test-ratio.sh" || true
if [ ${#failed[@]} -ne 0 ]; then
  echo "failed stages: ${failed[*]}" >&2
  exit 1
fi
echo "all stages passed: ${stages[*]}"
