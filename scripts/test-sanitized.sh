#!/usr/bin/env bash
# Builds the whole tree with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-asan/ (or $MORVANE_ASAN_BUILD_DIR) and runs every test there.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVANE_ASAN_BUILD_DIR:-$here/build-asan}
"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_WERROR=ON \
  -DMORVANE_SANITIZE=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
# Leaks count as failures; a UBSan report stops the program and prints
# where it came from.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"
