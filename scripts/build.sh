#!/usr/bin/env bash
# Configures and builds the whole tree into build/ (or $MORVANE_BUILD_DIR).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVANE_BUILD_DIR:-$here/build}
"$here/scripts/install-deps.sh" "$@"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
