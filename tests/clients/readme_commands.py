#!/usr/bin/python3
"""README.md's own commands, taken from its indented code blocks and run as
its reader would, in a home of their own: a temporary HOME, the build's
morvane-sync on PATH, this test's Radicale for the calendar server.  A code
block neither run here nor listed in NOT_RUN with its reason fails the test,
so a README that drifts from what the programs do fails.

The simulated handheld is an image file: given where a command offers
[--device IMAGE], and named by MORVANE_DEVICE (which --device sets) for the
commands written without it.  It does not exist before the first command,
which starts from the demo handheld.

Usage: readme_commands.py BIN_DIR    (BIN_DIR holds morvane-sync and its libraries)
"""
import configparser
import glob
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

import sandbox

BIN = os.path.abspath(sys.argv[1])
SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
ROOT = tempfile.mkdtemp(prefix="morvane-readme-")
HOME = os.path.join(ROOT, "home")
IMAGE = os.path.join(ROOT, "handheld.json")
STORE = os.path.join(HOME, ".local", "share", "morvane")   # the default store the README's paths name
# The blocks run here, by their first lines.
DEMO, SYNC, CONFIG = "scripts/demo.sh", "morvane-sync sync --yes [--device IMAGE]", "[general]"
ROUND, UNITS = "vdirsyncer sync && morvane-sync sync --yes && vdirsyncer sync", "# ~/.config/systemd/user/"
BACKUP, REGISTRY = "morvane-sync backup handheld.backup [--device IMAGE]", "Windows Registry Editor Version 5.00"
BRIDGE = 'morvane-sync export --out ~/quenda --yes --bridge "COMMAND" [--bridge-timeout SECONDS]'
RUN = [DEMO, SYNC, CONFIG, ROUND, UNITS, BACKUP, REGISTRY, BRIDGE]
NOT_RUN = {
    "scripts/test.sh": "it runs this stage among the others: it would run itself",
    "scripts/bench.sh": "it measures for minutes and wants idle cores; benchmarks are not tests",
    "scripts/build-windows.sh [i686|x86_64 ...]": "the windows stage runs it (scripts/test-windows.sh)",
    "export WINEPREFIX=$HOME/.wine-quenda": "it needs a 32-bit Wine (i386 multiarch) and the maker's TETHRA.dll; "
                                            "the windows stage runs the bridge this way under 64-bit Wine",
    'morvane-sync export --out ~/quenda --yes --bridge "wine $HOME/quenda-bridge/morvane-bridge.exe"':
        "it needs the same 32-bit Wine",
    "morvane-sync export --out ~/quenda --yes --bridge /mnt/c/Quenda/morvane-bridge.exe": "it needs WSL on Windows",
}
# Not run either, an inline command: `systemctl --user enable --now handheld-sync.timer` needs a running user
# systemd manager; systemd-analyze verify checks the units instead.
failures = []
passed = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    (passed if condition else failures).append(what)


def environment():
    env = {k: v for k, v in os.environ.items() if not k.startswith(("MORVANE_", "XDG_", "VDIRSYNCER"))}
    env.update(HOME=HOME, XDG_DATA_HOME=os.path.join(HOME, ".local", "share"),
               XDG_CONFIG_HOME=os.path.join(HOME, ".config"), XDG_RUNTIME_DIR=os.path.join(ROOT, "run"),
               PATH=os.pathsep.join([os.path.join(ROOT, "bin"), BIN, os.environ["PATH"]]),
               MORVANE_DEVICE=IMAGE, TZ="Europe/Berlin", LC_ALL="C.UTF-8")
    return env


def run(command, cwd=HOME, env=None, stdin=subprocess.DEVNULL):
    """COMMAND as a shell line, as typed; its output (shown when it fails) and exit status."""
    result = subprocess.run(["/bin/sh", "-c", command], cwd=cwd, env=env or environment(), stdin=stdin,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=120)
    if result.returncode != 0:
        print("$ %s\n%s" % (command, result.stdout), flush=True)
    return result


def run_at_terminal(command, answer):
    """COMMAND with a terminal as its standard input, where ANSWER is typed."""
    master, slave = os.openpty()
    os.write(master, answer.encode())
    result = run(command, stdin=slave)
    os.close(slave)
    os.close(master)
    return result


def fill(line):
    """The README's placeholders given the sandbox's values (one left over fails the command)."""
    for placeholder, value in [("[--device IMAGE]", "--device " + IMAGE), ("[--store DIR]", "--store " + STORE),
                               ("[--bridge-timeout SECONDS]", "--bridge-timeout 60"),
                               ('"COMMAND"', shlex.quote(os.path.join(BIN, "morvane-bridge")))]:
        line = line.replace(placeholder, value)
    return line


def code_blocks(text):
    """README's indented code blocks (after a blank line, indented four or more), dedented, in order."""
    blocks, block, previous = [], None, ""
    for line in text.splitlines():
        indent = len(line) - len(line.lstrip(" "))
        if block is not None and (not line.strip() or indent >= block[0]):
            block[1].append(line[block[0]:])
        elif block is not None:
            blocks.append("\n".join(block[1]).strip("\n"))
            block = None
        if block is None and line.strip() and indent >= 4 and not previous.strip():
            block = (indent, [line[indent:]])
        previous = line
    if block is not None:
        blocks.append("\n".join(block[1]).strip("\n"))
    return blocks


def inline(text, pattern, what):
    found = re.search(pattern, text)
    check(found is not None, "README names %s" % what)
    return found.group(1) if found else "false"


def items(folder, ext, *needles):
    """How many files of FOLDER end in EXT and hold every needle."""
    count = 0
    for path in glob.glob(os.path.join(folder, "*" + ext)):
        with open(path, encoding="utf-8") as f:
            text = f.read()
        count += all(n in text for n in needles)
    return count


def server(kind, *needles):
    return items(os.path.join(ROOT, "radicale", "collection-root", "user", kind), "", *needles)


def on_device(db_id, needle):
    return needle in json.dumps(sandbox.device_records(IMAGE, db_id), ensure_ascii=False)


def run_demo(block):
    env = dict(environment(), MORVANE_BUILD_DIR=os.path.dirname(BIN))   # built already: no rebuild
    result = run(block, cwd=SOURCE, env=env)
    check(result.returncode == 0 and "11. Done." in result.stdout, "scripts/demo.sh runs the demo to its end")


def run_sync(block):
    result = run(fill(block))
    check(result.returncode == 0, "'%s' exits 0" % block)
    check("first run: created the registry file" in result.stdout, "the first command sets the machine up")
    check(items(os.path.join(STORE, "contacts"), ".vcf", "Berger") == 1 and
          items(os.path.join(STORE, "calendar"), ".ics", "Project review") == 1 and
          all(os.path.isdir(os.path.join(STORE, "mail", box, "cur")) for box in ["Inbox", "Outbox", "Sent", "Saved"])
          and os.listdir(os.path.join(STORE, "mail", "Inbox", "cur")),
          "the store holds the handheld's contacts, calendar and mail")


def write_vdirsyncer_config(block, port):
    # Only the server changes: the README's server becomes this test's Radicale; its user and
    # password.fetch stay, with a stand-in `pass` on PATH (Radicale here lets anyone in).
    text = block.replace("https://dav.example.org/", "http://127.0.0.1:%d/" % port)
    check(text != block, "the vdirsyncer config names a server to replace")
    os.makedirs(os.path.join(HOME, ".config", "vdirsyncer"))
    with open(os.path.join(HOME, ".config", "vdirsyncer", "config"), "w") as f:
        f.write(text)
    with open(os.path.join(ROOT, "bin", "pass"), "w") as f:
        f.write('#!/bin/sh\n[ "$1" = dav ] && echo secret\n')
    os.chmod(os.path.join(ROOT, "bin", "pass"), 0o755)
    config = configparser.ConfigParser(interpolation=None)
    config.read_string(text)
    urls = {}
    for storage in config.values():
        kind = storage.get("type", "").strip('"')
        if kind in ("carddav", "caldav"):
            urls[kind] = storage["url"].strip('"')
            sandbox.make_collection(urls[kind], kind)
    return urls


def run_vdirsyncer_round(line, discover, cron, urls):
    check(run(discover).returncode == 0, "'%s' exits 0" % discover)
    event = ("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//another device//EN\r\nBEGIN:VEVENT\r\nUID:server-new\r\n"
             "DTSTAMP:20261201T100000Z\r\nDTSTART;VALUE=DATE:20261224\r\nDTEND;VALUE=DATE:20261225\r\n"
             "SUMMARY:Christmas Eve at Lena's\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
    sandbox.request(urls["caldav"] + "server-new.ics", "PUT", event, "text/calendar")
    check(run(line).returncode == 0, "'%s' exits 0" % line)
    check(server("contacts", "Berger", "+49 170 5550123") == 1 and server("calendar", "Project review") == 1,
          "the server holds the handheld's contact and event")
    check(on_device(1, "Christmas Eve at Lena's"), "the handheld holds the event made on the server")
    check(cron == line, "the cron line runs the same commands")
    sandbox.edit_device(IMAGE, 1, lambda v: v.get("S_DESCRIPTION4") == "Project review", {"S_LOCATION": "Room 2.01"})
    check(run(cron).returncode == 0, "the cron line's commands exit 0")
    check(server("calendar", "Room 2.01") == 1, "the cron line took the handheld's edit to the server")


def check_systemd_units(block, line):
    parts = re.split(r"^# ~/(\S+)\n", block, flags=re.M)[1:]
    paths = [os.path.join(HOME, path) for path in parts[0::2]]
    for path, text in zip(paths, parts[1::2]):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)
    units = {os.path.splitext(p)[1]: p for p in paths}
    check(sorted(units) == [".service", ".timer"], "the README gives a service and a timer")
    service = configparser.ConfigParser(interpolation=None)
    service.read(units.get(".service", []))
    check(shlex.split(service.get("Service", "ExecStart", fallback="")) == ["/bin/sh", "-c", line],
          "the service runs the commands the test ran")
    # No user manager runs here; verify needs only its runtime folder.
    os.makedirs(os.path.join(ROOT, "run"), mode=0o700)
    result = subprocess.run(["systemd-analyze", "verify", "--user"] + paths, env=environment(),
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    check(result.returncode == 0 and not result.stdout, "systemd-analyze verify --user accepts the units "
          + result.stdout)


def run_backup_restore(block, registry, sync):
    backup, restore = [fill(line) for line in block.splitlines()]
    # The README's registry text, trace log on, in the place of the one the first run made.
    with open(os.path.join(HOME, ".morvane", "user.reg"), "w") as f:
        f.write(registry + "\n")
    trace = os.path.join(HOME, ".morvane", "drive_c", "QADbgLog.txt")
    check(not os.path.exists(trace), "no trace log before the README's registry values")
    result = run(backup)
    check(result.returncode == 0 and os.path.isfile(os.path.join(HOME, "handheld.backup")),
          "'%s' writes the backup" % backup)
    check(os.path.exists(trace), "\"QA_Trace\" of the README's registry values writes C:\\QADbgLog.txt")
    sandbox.edit_device(IMAGE, 1, lambda v: v.get("S_DESCRIPTION4") == "Project review", {"S_LOCATION": "Attic"})
    result = run_at_terminal(restore, "y\n")
    check(result.returncode == 0 and "[y/N]" in result.stdout, "'%s' asks, and restores on 'y'" % restore)
    check(on_device(1, "Room 2.01") and not on_device(1, "Attic"), "the handheld holds the backup's content")
    result = run(fill(sync))
    check(result.returncode == 0 and items(os.path.join(STORE, "calendar"), ".ics", "Project review") == 1 ==
          items(os.path.join(STORE, "calendar"), ".ics", "Project review", "Room 2.01"),
          "the sync after the restore matches the restored record, adding nothing twice")


def run_bridge_export(block):
    result = run(fill(block))
    exported = glob.glob(os.path.join(HOME, "quenda", "*.json"))
    check(result.returncode == 0 and len(exported) == 5, "the export through the bridge writes five files")


def main():
    with open(os.path.join(SOURCE, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    # The systemd block is known by the folder its first line names.
    blocks = {re.sub(r"^(# ~/.config/systemd/user/).*", r"\1", block.splitlines()[0]): block
              for block in code_blocks(readme)}
    unknown = [first for first in blocks if first not in RUN and first not in NOT_RUN]
    check(not unknown, "every README code block is run here or listed as not run; not: %s" % unknown)
    missing = [first for first in RUN + list(NOT_RUN) if first not in blocks]
    check(not missing, "every block this test runs or lists is in README; not: %s" % missing)
    for first, reason in NOT_RUN.items():
        print("not run: %s\n         because %s" % (first, reason))
    if missing:
        os.rmdir(ROOT)
        sys.exit(1)
    os.makedirs(HOME)
    os.makedirs(os.path.join(ROOT, "bin"))
    line = blocks[ROUND]
    discover = inline(readme, r"Run `(vdirsyncer discover)` once", "vdirsyncer discover")
    cron = inline(readme, r"`30 7 \* \* \* ([^`]*)`", "a cron line")
    server_process, port = sandbox.start_radicale(ROOT)
    try:
        run_demo(blocks[DEMO])
        run_sync(blocks[SYNC])
        urls = write_vdirsyncer_config(blocks[CONFIG], port)
        run_vdirsyncer_round(line, discover, cron, urls)
        check_systemd_units(blocks[UNITS], line)
        run_backup_restore(blocks[BACKUP], blocks[REGISTRY], blocks[SYNC])
        run_bridge_export(blocks[BRIDGE])
    finally:
        sandbox.stop(server_process)
    print("readme commands: %d passed, %d failed" % (len(passed), len(failures)))
    if failures:
        print("left for a look: " + ROOT)
    else:
        shutil.rmtree(ROOT, ignore_errors=True)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
