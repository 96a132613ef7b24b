#!/usr/bin/env bash
# The 32-bit build, run: builds the adapter, the platform layer, the
# simulated device, the wait box and every GoogleTest program for 32-bit
# x86 Linux (cmake/linux-i686.cmake: g++ -m32, GoogleTest from Debian's
# googletest sources) into build-m32/ (or $MORVANE_M32_BUILD_DIR), where
# the record layouts' 32-bit static_asserts are in force, and runs the whole
# CTest suite under qemu-i386, so that every test runs with 4-byte pointers.
#
# The programs the tests start (morvane-test-child, Lullpane.exe) are
# 32-bit too.  As root the script hands every 32-bit x86 program to
# qemu-i386 through binfmt_misc (mounting /proc/sys/fs/binfmt_misc when it
# is not) for the length of the run, so that they run in the same emulator
# as the tests; it removes that registration again at the end.  Where that
# cannot be done (not root, or no binfmt_misc), they run on the kernel's own
# 32-bit support if it has one, and the script says so.
#
# The PC side comes along as far as its libraries exist for i386: the
# records, the bridge and morvane-sync with its end-to-end tests are built
# and run; the PIM formats and the sync engine (libical, GMime, SQLite, not
# installed for i386) are left out, and morvane-sync says so for sync.
# MORVANE_M32_PC_SIDE=OFF leaves the whole PC side out.  Last, the native
# build's demo runs through this build's 32-bit bridge.
# Usage: scripts/test-m32.sh [ctest arguments]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVANE_M32_BUILD_DIR:-$here/build-m32}

"$here/scripts/install-deps.sh" gcc-multilib g++-multilib qemu-user googletest

cmake -S "$here" -B "$build" --toolchain "$here/cmake/linux-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_WERROR=ON \
  -DMORVANE_PC_SIDE="${MORVANE_M32_PC_SIDE:-ON}" >/dev/null
cmake --build "$build" -j "$(nproc)"

# An ELF header of a 32-bit x86 program (executable or position
# independent), as qemu's own binfmt tables give it.  "P" passes the
# program's own first argument on to the emulator.
binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/morvane-i386
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
registered=0
register_emulator() {
  [ "$(id -u)" -eq 0 ] || return 1
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || return 1
  [ -e "$entry" ] && return 0
  printf ':morvane-i386:M::%s:%s:%s:P\n' "$magic" "$mask" "$(command -v qemu-i386)" \
    >"$binfmt/register" 2>/dev/null || return 1
  registered=1
}
unregister_emulator() {
  if [ $registered -eq 1 ]; then echo -1 >"$entry" || true; fi
}
trap unregister_emulator EXIT
register_emulator || true

# Which program a 32-bit child really runs in, seen from outside, once it
# has left the shell that starts it.
probe=$(readlink -f "$build/bin/morvane-test-child")
"$probe" sleep 5000 &
child=$!
runner=
for _ in $(seq 50); do
  runner=$(readlink "/proc/$child/exe" 2>/dev/null || true)
  [ "$runner" = "$BASH" ] || [ "$runner" = "$(readlink -f "$BASH")" ] || break
  sleep 0.1
done
kill "$child" 2>/dev/null || true
wait "$child" 2>/dev/null || true
case "$runner" in
  */qemu-i386) echo "32-bit child programs run under qemu-i386 (binfmt_misc)" ;;
  "$probe")
    echo "NOTE: no binfmt_misc registration (needs root and binfmt_misc): 32-bit child programs" \
      "run on the kernel's own 32-bit support, not under qemu-i386" >&2 ;;
  *)
    echo "FAIL: a 32-bit program does not start here (found: '${runner:-nothing}')" >&2
    exit 1 ;;
esac

(cd "$build" && ctest --output-on-failure -j "$(nproc)" "$@")

# What the bridge is for: this machine's own morvane-sync (the native
# build, made if missing) driving the 32-bit adapter in this build's
# 32-bit bridge.  The whole demo runs that way, its two syncs included
# (three bridges started: the demo's sessions and one a sync), and must
# end with both of its edits across.
[ -x "$build/bin/morvane-bridge" ] || exit 0  # MORVANE_M32_PC_SIDE=OFF: no bridge
"$here/scripts/build.sh"
native=${MORVANE_BUILD_DIR:-$here/build}
starts=$build/bridge-starts.txt
bridge=$build/bridge-counted.sh
rm -f "$starts"
printf '#!/bin/sh\necho started >> "%s"\nexec "%s" "%s"\n' "$starts" "$(command -v qemu-i386)" \
  "$build/bin/morvane-bridge" > "$bridge"
chmod +x "$bridge"
demo=$("$native/bin/morvane-sync" demo --bridge "$bridge" 2>&1) || {
  echo "$demo" >&2
  echo "FAIL: the native demo through the 32-bit bridge" >&2
  exit 1
}
for line in 'TITLE:Head of Purchasing' 'is at Studio Nord' '11. Done.'; do
  grep -qF -- "$line" <<<"$demo" || { echo "$demo" >&2; echo "FAIL: the demo through the 32-bit bridge lacks '$line'" >&2; exit 1; }
done
[ "$(wc -l < "$starts")" -eq 3 ] || { echo "FAIL: the demo started $(wc -l < "$starts") bridges, not 3" >&2; exit 1; }
echo "the native demo ran through the 32-bit bridge, both syncs included"
