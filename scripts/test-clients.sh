#!/usr/bin/env bash
# The clients stage: the handheld's data through programs nobody here wrote.
# The demo handheld is synchronised into a store with morvane-sync, the store
# kept in step with a Radicale server (started here on 127.0.0.1 and a free
# port, stopped at the end) by vdirsyncer, and an edit made on the server's
# side and one made on the handheld travel the whole way; khard, khal,
# todoman and Python's mailbox read the store.  tests/clients/round_trip.py
# says what each hop checks.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVANE_BUILD_DIR:-$here/build}
"$here/scripts/build.sh" radicale vdirsyncer khal khard todoman python3-icalendar python3-vobject
# Debian's interpreter, which has the programs' own modules.
exec timeout 300 /usr/bin/python3 "$here/tests/clients/round_trip.py" "$build/bin"
