#!/usr/bin/env bash
# Cross-builds the Windows libraries and programs with mingw-w64:
# Morvane.dll, TETHRA.dll, Gantry1.dll, Lullpane.exe and morvane-sync.exe,
# for 32-bit Windows (i686, the adapter's own target) and for x86_64.
#
# Usage: scripts/build-windows.sh [i686|x86_64 ...]   (default: both)
# Each target builds into build-<target>/ (or $MORVANE_BUILD_DIR-<target>),
# its DLLs and programs in build-<target>/bin/.  The tests are not
# cross-built.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
base=${MORVANE_BUILD_DIR:-$here/build}
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(i686 x86_64)

packages=()
for t in "${targets[@]}"; do
  case "$t" in
    i686) packages+=(g++-mingw-w64-i686 binutils-mingw-w64-i686) ;;
    x86_64) packages+=(g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64) ;;
    *) echo "unknown target: $t (i686 or x86_64)" >&2; exit 2 ;;
  esac
done
"$here/scripts/install-deps.sh" "${packages[@]}"

for t in "${targets[@]}"; do
  cmake -S "$here" -B "$base-$t" -G "${MORVANE_GENERATOR:-Unix Makefiles}" \
    --toolchain "$here/cmake/mingw-w64-$t.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_WERROR=ON -DMORVANE_BUILD_TESTS=OFF >/dev/null
  cmake --build "$base-$t" -j "$(nproc)"
done
