#!/usr/bin/env bash
# The README's test command: installs what is missing, builds, and runs every
# test.  The tests come in stages, run in this order:
#   ctest      every GoogleTest program and the host end to end (build/)
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

all_stages=(ctest)
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
if [ ${#failed[@]} -ne 0 ]; then
  echo "failed stages: ${failed[*]}" >&2
  exit 1
fi
echo "all stages passed: ${stages[*]}"
