#!/usr/bin/env bash
# The README's main-job command: installs what is missing, builds, and runs
# a whole synchronisation against the built-in demo device.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVANE_BUILD_DIR:-$here/build}
"$here/scripts/build.sh"
exec "$build/bin/morvane-sync" demo "$@"
