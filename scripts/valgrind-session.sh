#!/usr/bin/env bash
# Runs whole synchronisations of morvane-sync (from build/, or the build
# folder given) under valgrind memcheck: the demo, then a full export of
# the demo handheld to JSON files, an import of those files back into it,
# an incremental export, and a full export through the bridge (the client's
# side under memcheck).  Any memcheck error or definite or indirect
# leak fails the run.  The programs' own folders are temporary.
# Usage: scripts/valgrind-session.sh [build-dir]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
sync="$build/bin/morvane-sync"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export MORVANE_DRIVE_C="$work/drive_c" MORVANE_REGISTRY="$work/user.reg" MORVANE_MESSAGEBOX=ok
mkdir -p "$MORVANE_DRIVE_C/Korvell/Data"
printf '%s\n' 'Windows Registry Editor Version 5.00' '' \
  '[HKEY_CURRENT_USER\SOFTWARE\KORVELL QUENDA 2\HALVERD]' '"DatafilePath"="C:\\Korvell\\Data\\"' >"$MORVANE_REGISTRY"

memcheck() {
  echo "== valgrind morvane-sync $*"
  valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect \
    --errors-for-leak-kinds=definite,indirect --track-origins=yes --quiet "$sync" "$@" >"$work/out.txt" 2>&1 ||
    { cat "$work/out.txt"; echo "valgrind: morvane-sync $* failed" >&2; return 1; }
  tail -3 "$work/out.txt"
}

device="$work/device.json"
memcheck demo &&
  memcheck export --device "$device" --out "$work/exported" --full --yes --trace &&
  memcheck import --device "$device" --in "$work/exported" --yes --trace &&
  memcheck export --device "$device" --out "$work/again" --yes &&
  memcheck export --device "$device" --out "$work/bridged" --full --yes --bridge "$build/bin/morvane-bridge"
