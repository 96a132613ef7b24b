#!/usr/bin/env bash
# The Windows build, checked and run:
#  1. cross-builds both Windows targets (scripts/build-windows.sh), which
#     must compile and link without a single warning;
#  2. checks with i686-w64-mingw32-objdump that the 32-bit Morvane.dll
#     exports exactly the names of src/exports/morvane.def (every DIZ_API_
#     function of morvane_api.h, and GetInstallPath and GetEmailBodyLength
#     under their Microsoft and mingw names) and imports TETHRA.dll;
#  3. runs one synchronisation twice from the same device image: with the
#     Linux build (build/bin/morvane-sync), and under Wine in a fresh prefix
#     with the x86_64 build (Debian's wine runs 64-bit programs; running
#     the i686 build needs a 32-bit wine from i386 multiarch, which is not
#     set up here).  Both worlds look the same: the registry values
#     "DatafilePath" (C:\Korvell\Data\) and "QA_Trace" (1) imported from one
#     .reg file, "Gantry1.dll" and "Lullpane.exe" in that folder, where the
#     adapter keeps "ISEnvSet.ini".  The session: an export after a new
#     pairing (the pairing question answered OK by --yes) followed in the
#     same session by an import of every exported record (queued and
#     written in one bulk write while the wait box runs), a plain import,
#     and a full export.  The exported JSON, the printed output and the
#     trace log "C:\QADbgLog.txt" must be the same, apart from times, the
#     PC identity and heap handles, which are masked.  Wine's own trace
#     shows "Gantry1.dll" and "Lullpane.exe" in use, and the wait box is
#     started once more on its own to see its window come up;
#  4. runs the same session through the x86_64 morvane-bridge.exe under
#     Wine twice: driven by the Linux build (--bridge "wine64 ...", as a
#     Linux machine drives the maker's TETHRA.dll) and by the Windows build
#     (its child process and pipes); the exported JSON and the printed
#     output must be those of the Linux build alone.
# Everything goes to build-x86_64/wine-test/ (the Wine prefix included),
# made afresh on every run.  Usage: scripts/test-windows.sh
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVANE_BUILD_DIR:-$here/build}
work=$build-x86_64/wine-test

"$here/scripts/install-deps.sh" wine wine64

# The DLL exports exactly the names morvane.def gives (left of any "="),
# the DIZ_API_ ones being every function morvane_api.h declares, and links
# the device link library by its Windows name.
check_tables() {
  local dump def declared exported
  dump=$(i686-w64-mingw32-objdump -p "$1")
  def=$(sed -e 's/;.*//' "$here/src/exports/morvane.def" |
    awk 'NF && $1 != "LIBRARY" && $1 != "EXPORTS" { sub(/=.*/, "", $1); print $1 }' | sort)
  declared=$(grep -o 'DIZ_API_[A-Za-z_]*' "$here/src/exports/morvane_api.h" | sort -u)
  exported=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | awk '/^\t\[/ { print $NF }' | sort)
  if [ "$exported" != "$def" ]; then
    echo "FAIL: $1 exports other names than morvane.def:" >&2
    diff <(echo "$def") <(echo "$exported") >&2
    return 1
  fi
  if [ "$(grep '^DIZ_API_' <<<"$def")" != "$declared" ]; then
    echo "FAIL: morvane.def and morvane_api.h name other DIZ_API_ functions:" >&2
    diff <(grep '^DIZ_API_' <<<"$def") <(echo "$declared") >&2
    return 1
  fi
  if ! grep -q 'DLL Name: TETHRA.dll' <<<"$dump"; then
    echo "FAIL: $1 does not import TETHRA.dll" >&2
    return 1
  fi
  echo "$(wc -l <<<"$exported") exports as in morvane.def; imports TETHRA.dll"
}

echo "--- cross-building i686 and x86_64"
mkdir -p "$build-x86_64"
"$here/scripts/build-windows.sh" 2>&1 | tee "$build-x86_64/windows-build.log"
if grep -i 'warning' "$build-x86_64/windows-build.log"; then
  echo "FAIL: the Windows build warns" >&2
  exit 1
fi

echo "--- the Linux build's host"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target morvane_sync morvane lullpane gantry1

echo "--- the export and import tables of the 32-bit Morvane.dll"
check_tables "$build-i686/bin/Morvane.dll"

echo "--- one session under Linux and under Wine"
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
# A Wine server left from an earlier run of this prefix goes first.
[ -d "$WINEPREFIX" ] && "$wineserver" -k 2>/dev/null || true
rm -rf "$work"
mkdir -p "$work"
# A first start creates the prefix; Wine's own installers are left out
# (WINEDLLOVERRIDES) and every later window goes to no display at all.
timeout 300 "$wine64" wineboot -i >"$work/wineboot.log" 2>&1 || {
  cat "$work/wineboot.log" >&2
  exit 1
}
"$wine64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
# One Wine server, started afresh with that setting, serves every run that
# follows, so that each finds the prefix's desktop already up.
"$wineserver" -w
"$wineserver" -p
trap '"$wineserver" -k 2>/dev/null || true' EXIT

cat >"$work/morvane.reg" <<'EOF'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\SOFTWARE\KORVELL QUENDA 2\HALVERD]
"DatafilePath"="C:\\Korvell\\Data\\"

[HKEY_CURRENT_USER\SOFTWARE\Korvell\HALVERD\Setting]
"QA_Trace"=dword:00000001
EOF
(cd "$work" && "$wine64" regedit /S morvane.reg)

# The data-file folder of a machine with the maker's software installed.
install_maker_files() { # <drive_c folder> <bin folder>
  mkdir -p "$1/Korvell/Data" &&
    cp "$2/Gantry1.dll" "$2/Lullpane.exe" "$1/Korvell/Data/"
}
install_maker_files "$work/linux/drive_c" "$build/bin"
install_maker_files "$WINEPREFIX/drive_c" "$build-x86_64/bin"
mkdir -p "$work/wine"

# session <folder> <host command...>: the three runs, in <folder>, each
# one's output kept in <folder>/out-<n>.txt and err-<n>.txt; the options in
# bridge go after each run's own.
bridge=()
session() {
  local folder=$1 n=0
  shift
  for run in "export --device device.json --out first --import first --yes" \
             "import --device device.json --in first" \
             "export --device device.json --out final --full"; do
    n=$((n + 1))
    # shellcheck disable=SC2086
    (cd "$folder" && timeout 300 "$@" $run "${bridge[@]}") >"$folder/out-$n.txt" 2>"$folder/err-$n.txt" || {
      echo "FAIL: run $n ($run) in $folder:" >&2
      cat "$folder/out-$n.txt" "$folder/err-$n.txt" >&2
      return 1
    }
  done
}
MORVANE_DRIVE_C=$work/linux/drive_c MORVANE_REGISTRY=$work/morvane.reg \
  session "$work/linux" "$build/bin/morvane-sync"
# Wine's own trace of loaded libraries and created processes shows the
# pairing question's texts coming from "Gantry1.dll" and the wait box
# being started; its errors, if any, say why a run failed.
WINEDEBUG=-all,err+all,trace+loaddll,trace+process session "$work/wine" "$wine64" "$build-x86_64/bin/morvane-sync.exe"
cp "$WINEPREFIX/drive_c/QADbgLog.txt" "$work/wine/QADbgLog.txt"
cp "$work/linux/drive_c/QADbgLog.txt" "$work/linux/QADbgLog.txt"
# The bridge's own environment is Wine's: its registry, its drive C.
mkdir -p "$work/bridge" "$work/wine-bridge"
bridge=(--bridge "$wine64 $build-x86_64/bin/morvane-bridge.exe")
session "$work/bridge" "$build/bin/morvane-sync"
bridge=(--bridge morvane-bridge.exe)
session "$work/wine-bridge" "$wine64" "$build-x86_64/bin/morvane-sync.exe"
bridge=()

failed=0
expect() { # <count> <text> <what>
  local found
  found=$(grep -cF -- "$2" "$work/wine/err-1.txt" || true)
  if [ "$found" -ne "$1" ]; then
    echo "FAIL: $3: $found times, not $1" >&2
    failed=1
  fi
}
expect 1 'Loaded L"C:\\Korvell\\Data\\Gantry1.dll"' '"Gantry1.dll" loaded from the data-file folder'
expect 5 'Korvell\\Data\\Lullpane.exe" pid' 'the wait box started, once per database'
expect 1 'CreateProcessInternalW app (null) cmdline L"C:\\Korvell\\Data\\Lullpane.exe /M"' 'the wait box started for e-mail'

# The wait box's window comes up under Wine and stays until terminated.
rm -f "$work/wine/lullpane.txt"
(cd "$work/wine" && LULLPANE_STATUS=lullpane.txt "$wine64" "$WINEPREFIX/drive_c/Korvell/Data/Lullpane.exe" /M) &
waitbox=$!
for _ in $(seq 60); do
  [ -s "$work/wine/lullpane.txt" ] && break
  sleep 1
done
"$wineserver" -k
wait "$waitbox" || true
if [ "$(tr -d '\r' <"$work/wine/lullpane.txt" 2>/dev/null)" != "waiting /M" ]; then
  echo "FAIL: Lullpane.exe did not come up under Wine" >&2
  failed=1
fi

# Times and the PC identity differ from run to run: the time texts (each C
# runtime's ctime, whose day of the month Linux pads with a blank and
# Windows with a zero), the host's sync stamp where it is traced as a
# number, the bytes of a new PC identity, and heap handles.  Line ends are
# the system's in the printed output, where the wait box may also have
# said its line before it was terminated.
mask() {
  tr -d '\r' <"$1" | sed -E \
    -e 's/[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}/TIME/g' \
    -e 's/^(\*\*\*\*\* DIZ_API_BeginExport\()-?[0-9]+(\)  TIME)$/\1STAMP\2/' \
    -e 's/(null SyncStamp )-?[0-9]+ TIME$/\1STAMP TIME/' \
    -e 's/^(\*\*\*\*\* DIZ_API_[A-Za-z]+\([0-9]+, )[0-9a-f]{8}(, \[OUT\]\)  TIME)$/\1STAMP\2/' \
    -e 's/(PCID\[[0-9]\] = )[0-9a-f]{2}/\1XX/' \
    -e 's/(hHeap\[)0*[1-9a-f][0-9a-f]*\]/\1HANDLE]/' \
    -e '/^Writing (records|e-mail) to the Quenda/d'
}
for file in out-1.txt out-2.txt out-3.txt QADbgLog.txt \
            first/{schedule,todo,address,memo,mail}.json final/{schedule,todo,address,memo,mail}.json; do
  if ! diff -u <(mask "$work/linux/$file") <(mask "$work/wine/$file") >"$work/diff.txt"; then
    echo "FAIL: $file differs between Linux and Wine:" >&2
    head -40 "$work/diff.txt" >&2
    failed=1
  fi
done
for world in bridge wine-bridge; do
  for file in out-1.txt out-2.txt out-3.txt \
              first/{schedule,todo,address,memo,mail}.json final/{schedule,todo,address,memo,mail}.json; do
    if ! diff -u <(mask "$work/linux/$file") <(mask "$work/$world/$file") >"$work/diff.txt"; then
      echo "FAIL: $file differs between Linux in process and $world:" >&2
      head -40 "$work/diff.txt" >&2
      failed=1
    fi
  done
done
for world in "$work/linux/drive_c" "$WINEPREFIX/drive_c"; do
  if ! grep -q '^PCID=' "$world/Korvell/Data/ISEnvSet.ini"; then
    echo "FAIL: no PCID in $world/Korvell/Data/ISEnvSet.ini" >&2
    failed=1
  fi
done
[ $failed -eq 0 ] || exit 1
echo "Linux, Wine and the bridge under Wine agree: $(grep -c . "$work/linux/QADbgLog.txt") trace lines, $(cat "$work"/linux/final/*.json | grep -c '"id"') records exported"
