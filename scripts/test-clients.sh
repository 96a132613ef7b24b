#!/usr/bin/env bash
# The clients stage: the handheld's data through programs nobody here wrote.
# The demo handheld is synchronised into a store with morvane-sync, the store
# kept in step with a Radicale server (started here on 127.0.0.1 and a free
# port, stopped at the end) by vdirsyncer, and an edit made on the server's
# side and one made on the handheld travel the whole way; khard, khal,
# todoman and Python's mailbox read the store.  tests/clients/round_trip.py
# says what each hop checks.  Then README.md's own commands run, taken from
# the README itself (tests/clients/readme_commands.py), so that a README
# that no longer says what the programs do fails here.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVANE_BUILD_DIR:-$here/build}
# systemd for systemd-analyze, which checks the README's timer units; no
# systemd needs to run.
"$here/scripts/build.sh" radicale vdirsyncer khal khard todoman python3-icalendar python3-vobject systemd
# Debian's interpreter, which has the programs' own modules.
status=0
timeout 300 /usr/bin/python3 "$here/tests/clients/round_trip.py" "$build/bin" || status=1
timeout 300 /usr/bin/python3 "$here/tests/clients/readme_commands.py" "$build/bin" || status=1
exit $status
