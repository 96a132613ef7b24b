#!/usr/bin/env bash
# The README's test command: installs what is missing, builds, runs every test.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVANE_BUILD_DIR:-$here/build}
"$here/scripts/build.sh"
cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"
