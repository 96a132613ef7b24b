#!/usr/bin/python3
"""The handheld's data through real programs nobody here wrote, and back.

demo handheld -> morvane-sync sync -> vdir -> vdirsyncer -> Radicale; an edit
and a new item made on the server side (a second vdirsyncer pair, as another
device of the user's would) -> vdirsyncer -> morvane-sync sync -> the
handheld; a device edit -> the server, and a repeating task done on the
handheld -> its next occurrence on the server and in todoman, a series the
handheld moved and then made all-day -> khal, its exceptions with it.  khard, khal
and todoman list what the handheld holds; Python's mailbox reads every
message.  Every hop is checked by content.

Usage: round_trip.py BIN_DIR    (BIN_DIR holds morvane-sync and its libraries)
"""
import datetime
import glob
import json
import mailbox
import os
import shutil
import subprocess
import sys
import tempfile
import zoneinfo

import sandbox

BIN = os.path.abspath(sys.argv[1])
ROOT = tempfile.mkdtemp(prefix="morvane-clients-")
STORE = os.path.join(ROOT, "store")
MIRROR = os.path.join(ROOT, "mirror")       # the server-side client's own copy
DEVICE = os.path.join(ROOT, "device.json")
KINDS = [("contacts", "carddav", ".vcf"), ("calendar", "caldav", ".ics"), ("tasks", "caldav", ".ics")]
failures = []
passed = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    (passed if condition else failures).append(what)


def run(*command, env=None, input=None):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            env=env, input=input)
    if result.returncode != 0:
        print("$ " + " ".join(command) + "\n" + result.stdout, flush=True)
    return result


def environment():
    env = dict(os.environ)
    env.update(HOME=ROOT, XDG_DATA_HOME=os.path.join(ROOT, "data"), XDG_CONFIG_HOME=os.path.join(ROOT, "config"),
               MORVANE_DRIVE_C=os.path.join(ROOT, "drive_c"), MORVANE_REGISTRY=os.path.join(ROOT, "user.reg"),
               MORVANE_DEVICE=DEVICE, TZ="Europe/Berlin", LC_ALL="C.UTF-8")
    return env


def prepare_world():
    """The adapter's registry values and data-file folder, as an installation sets them up."""
    os.makedirs(os.path.join(ROOT, "drive_c", "Korvell", "Data"), exist_ok=True)
    with open(os.path.join(ROOT, "user.reg"), "w", newline="\r\n") as f:
        f.write('Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\KORVELL QUENDA 2\\HALVERD]\n'
                '"DatafilePath"="C:\\\\Korvell\\\\Data\\\\"\n')


def sync():
    result = run(os.path.join(BIN, "morvane-sync"), "sync", "--store", STORE, "--yes", env=environment())
    check(result.returncode == 0, "morvane-sync sync exits 0")
    return result.stdout


def make_collections(port):
    for name, kind, _ in KINDS:
        sandbox.make_collection("http://127.0.0.1:%d/user/%s/" % (port, name), kind)


def vdirsyncer_config(name, local, port):
    path = os.path.join(ROOT, name + ".conf")
    with open(path, "w") as f:
        f.write('[general]\nstatus_path = "%s"\n' % os.path.join(ROOT, name + "-status"))
        for kind, protocol, ext in KINDS:
            f.write('[pair %s]\na = "%s_local"\nb = "%s_remote"\ncollections = null\n'
                    'conflict_resolution = "a wins"\n' % (kind, kind, kind))
            f.write('[storage %s_local]\ntype = "filesystem"\npath = "%s/"\nfileext = "%s"\n'
                    % (kind, os.path.join(local, kind), ext))
            f.write('[storage %s_remote]\ntype = "%s"\nurl = "http://127.0.0.1:%d/user/%s/"\n'
                    'username = "user"\npassword = "x"\n' % (kind, protocol, port, kind))
    return path


def vdirsyncer(config):
    if not os.path.isdir(os.path.join(ROOT, os.path.basename(config)[:-5] + "-status")):
        run("vdirsyncer", "-c", config, "discover", env=environment(), input="y\n" * 10)
    result = run("vdirsyncer", "-c", config, "sync", env=environment())
    check(result.returncode == 0, "vdirsyncer sync (%s) exits 0" % os.path.basename(config))


def texts(folder, ext):
    found = {}
    for path in glob.glob(os.path.join(folder, "*" + ext)):
        with open(path, encoding="utf-8") as f:
            found[os.path.basename(path)] = f.read()
    return found


def server_items(kind, ext):
    return texts(os.path.join(ROOT, "radicale", "collection-root", "user", kind), ext)


def device_records(db_id):
    return sandbox.device_records(DEVICE, db_id)


def any_contains(items, *needles):
    return any(all(n in text for n in needles) for text in items.values())


def list_with_clients():
    """What a person sees in the programs they use, pointed at the store."""
    config = os.path.join(ROOT, "clients")
    os.makedirs(config, exist_ok=True)
    with open(os.path.join(config, "khard.conf"), "w") as f:
        f.write("[addressbooks]\n[[handheld]]\npath = %s/contacts/\n[general]\ndefault_action = list\n"
                "[contact table]\ndisplay = first_name\n" % STORE)
    with open(os.path.join(config, "khal.conf"), "w") as f:
        f.write("[calendars]\n[[handheld]]\npath = %s/calendar/\n[locale]\ntimeformat = %%H:%%M\n"
                "dateformat = %%Y-%%m-%%d\nlongdateformat = %%Y-%%m-%%d\ndatetimeformat = %%Y-%%m-%%d %%H:%%M\n"
                "longdatetimeformat = %%Y-%%m-%%d %%H:%%M\ndefault_timezone = Europe/Berlin\n"
                "local_timezone = Europe/Berlin\n" % STORE)
    with open(os.path.join(config, "todoman.py"), "w") as f:
        f.write('path = "%s/tasks"\ndate_format = "%%Y-%%m-%%d"\ntime_format = "%%H:%%M"\n'
                'default_list = "tasks"\n' % STORE)
    env = environment()
    khard = run("khard", "-c", os.path.join(config, "khard.conf"), "list", env=env)
    check("Anna" in khard.stdout and "Okafor" in khard.stdout, "khard lists the handheld's contacts")
    khal = run("khal", "-c", os.path.join(config, "khal.conf"), "list", "2026-12-01", "2026-12-09", env=env)
    check("Project review" in khal.stdout and "Yoga" in khal.stdout, "khal lists the handheld's events")
    todo = run("todoman", "--config", os.path.join(config, "todoman.py"), "--porcelain", "list", "--status", "ANY",
               env=env)
    check("Renew passport" in todo.stdout, "todoman lists the handheld's tasks")


def khal_lines(start, end):
    """The lines khal lists from the store's calendar (list_with_clients wrote its configuration)."""
    khal = run("khal", "-c", os.path.join(ROOT, "clients", "khal.conf"), "list", start, end, env=environment())
    return khal.stdout.splitlines()


def todoman_tasks():
    """The tasks todoman lists from the store (list_with_clients wrote its configuration)."""
    todo = run("todoman", "--config", os.path.join(ROOT, "clients", "todoman.py"), "--porcelain", "list",
               "--status", "ANY", env=environment())
    return {task["summary"]: task for task in json.loads(todo.stdout or "[]")}


def read_mail():
    root = os.path.join(STORE, "mail")
    subjects, seen = {}, {}
    for folder in sorted(os.listdir(root)):
        path = os.path.join(root, folder)
        if not os.path.isdir(os.path.join(path, "cur")):
            continue
        for key, message in mailbox.Maildir(path, factory=None).items():
            subjects[str(message["subject"] or "")] = folder
            seen[str(message["subject"] or "")] = "S" in message.get_flags()
    check(subjects.get("Saturday") is not None and subjects.get("Re: Saturday") is not None,
          "mailbox.Maildir reads received and sent mail")
    check(subjects.get("Saturday") != subjects.get("Re: Saturday"), "received and sent mail are in different folders")
    check(seen.get("Saturday") is True, "a read mail carries the seen flag")


def main():
    prepare_world()
    server, port = sandbox.start_radicale(ROOT)
    try:
        make_collections(port)
        ours = vdirsyncer_config("store", STORE, port)
        theirs = vdirsyncer_config("mirror", MIRROR, port)
        for kind, _, _ in KINDS:
            os.makedirs(os.path.join(MIRROR, kind), exist_ok=True)

        # 1. The handheld reaches the server.
        sync()
        check(any_contains(texts(os.path.join(STORE, "contacts"), ".vcf"), "Berger", "Anna"),
              "the store holds Anna Berger's vCard")
        vdirsyncer(ours)
        check(any_contains(server_items("contacts", ".vcf"), "Berger", "+49 170 5550123"),
              "Radicale holds Anna Berger with her mobile number")
        check(any_contains(server_items("calendar", ".ics"), "Project review", "Room 4.12"),
              "Radicale holds the project review")
        check(any_contains(server_items("tasks", ".ics"), "Renew passport"), "Radicale holds the passport task")
        list_with_clients()
        read_mail()

        # 2. An edit and a new item made on the server's side reach the handheld.
        vdirsyncer(theirs)
        mirror = texts(os.path.join(MIRROR, "contacts"), ".vcf")
        name, text = next((n, t) for n, t in mirror.items() if "Okafor" in t)
        with open(os.path.join(MIRROR, "contacts", name), "w", encoding="utf-8") as f:
            f.write(text.replace("Purchasing", "Head of Purchasing"))
        with open(os.path.join(MIRROR, "calendar", "server-new.ics"), "w", encoding="utf-8") as f:
            f.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//server side//EN\r\nBEGIN:VEVENT\r\n"
                    "UID:server-new\r\nDTSTAMP:20261201T100000Z\r\nDTSTART;VALUE=DATE:20261224\r\n"
                    "DTEND;VALUE=DATE:20261225\r\nSUMMARY:Christmas Eve at Lena's\r\nEND:VEVENT\r\n"
                    "END:VCALENDAR\r\n")
        with open(os.path.join(MIRROR, "tasks", "server-chore.ics"), "w", encoding="utf-8") as f:
            f.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//server side//EN\r\nBEGIN:VTODO\r\n"
                    "UID:server-chore\r\nDTSTAMP:20261201T100000Z\r\nDUE;VALUE=DATE:20261210\r\n"
                    "RRULE:FREQ=WEEKLY\r\nSUMMARY:Water the plants\r\nSTATUS:NEEDS-ACTION\r\nEND:VTODO\r\n"
                    "END:VCALENDAR\r\n")
        with open(os.path.join(MIRROR, "calendar", "server-standup.ics"), "w", encoding="utf-8") as f:
            f.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//server side//EN\r\nBEGIN:VEVENT\r\n"
                    "UID:server-standup\r\nDTSTAMP:20261201T100000Z\r\nSUMMARY:Standup\r\n"
                    "DTSTART;TZID=Europe/Berlin:20261207T093000\r\nDTEND;TZID=Europe/Berlin:20261207T094500\r\n"
                    "RRULE:FREQ=WEEKLY;BYDAY=MO,WE,FR\r\nEXDATE;TZID=Europe/Berlin:20261209T093000\r\n"
                    "END:VEVENT\r\nBEGIN:VEVENT\r\nUID:server-standup\r\nDTSTAMP:20261201T100000Z\r\n"
                    "RECURRENCE-ID;TZID=Europe/Berlin:20261211T093000\r\nSUMMARY:Standup (moved)\r\n"
                    "DTSTART;TZID=Europe/Berlin:20261211T110000\r\nDTEND;TZID=Europe/Berlin:20261211T111500\r\n"
                    "END:VEVENT\r\nEND:VCALENDAR\r\n")
        vdirsyncer(theirs)
        vdirsyncer(ours)
        sync()
        addresses = json.dumps(device_records(7))
        check("Head of Purchasing" in addresses, "the handheld holds the server-side edit")
        schedule = json.dumps(device_records(1))
        check("Christmas Eve at Lena's" in schedule and "2026-12-24" in schedule,
              "the handheld holds the event made on the server")
        check("Water the plants" in json.dumps(device_records(6)), "the handheld holds the task made on the server")

        # 3. A device edit reaches the server.
        sandbox.edit_device(DEVICE, 1, lambda v: v.get("S_DESCRIPTION4") == "Project review",
                            {"S_LOCATION": "Room 2.01"})
        sandbox.edit_device(DEVICE, 6, lambda v: v.get("S_DESCRIPTION3") == "Water the plants",
                            {"S_COMPLETED": 1, "S_COMPLETION_DATE": "2026-12-10"})
        sandbox.edit_device(DEVICE, 1, lambda v: v.get("S_DESCRIPTION4") == "Standup",
                            {"S_START_TIME": "10:00:00", "S_END_TIME": "10:15:00"})
        sync()
        vdirsyncer(ours)
        standups = [line for line in khal_lines("2026-12-07", "2026-12-12") if "Standup" in line]
        check(len(standups) == 2 and standups[0].startswith("10:00-10:15 Standup") and
              standups[1].startswith("11:00-11:15 Standup (moved)"),
              "khal lists the series the handheld moved to 10:00 without the occurrence it left out, "
              "and its changed occurrence once: %s" % standups)
        check(any_contains(server_items("tasks", ".ics"), "Water the plants", "DUE;VALUE=DATE:20261217",
                           "STATUS:NEEDS-ACTION", "RRULE:FREQ=WEEKLY"),
              "Radicale holds the repeating task done on the handheld at its next occurrence")
        plants = todoman_tasks().get("Water the plants", {})
        check(plants.get("completed") is False and plants.get("due") is not None and
              datetime.datetime.fromtimestamp(plants["due"], zoneinfo.ZoneInfo("Europe/Berlin")).date().isoformat()
              == "2026-12-17",
              "todoman lists it to be done on 2026-12-17")
        plants = [r["values"] for r in device_records(6) if r["values"].get("S_DESCRIPTION3") == "Water the plants"]
        check(len(plants) == 1 and plants[0].get("S_END_DATE") == "2026-12-17",
              "the handheld holds it at its next occurrence")
        check(any_contains(server_items("calendar", ".ics"), "Project review", "Room 2.01"),
              "Radicale holds the handheld's edit")
        check(not any_contains(server_items("calendar", ".ics"), "Room 4.12"), "and not the old location")
        vdirsyncer(theirs)
        check(any_contains(texts(os.path.join(MIRROR, "calendar"), ".ics"), "Room 2.01"),
              "the server-side client sees the handheld's edit")

        # 4. The series made all-day on the handheld: its exceptions become all-day too.
        sandbox.edit_device(DEVICE, 1, lambda v: v.get("S_DESCRIPTION4") == "Standup", {"S_ALLDAY_FLAG": 1})
        sync()
        standups = [line.strip() for line in khal_lines("2026-12-07", "2026-12-12") if "Standup" in line]
        check(len(standups) == 2 and standups[0].startswith("Standup") and
              standups[1].startswith("Standup (moved)"),
              "khal lists the series made all-day without the occurrence it left out, "
              "and its changed occurrence once: %s" % standups)
    finally:
        sandbox.stop(server)
    print("clients: %d passed, %d failed" % (len(passed), len(failures)))
    if not failures:
        shutil.rmtree(ROOT, ignore_errors=True)
    else:
        print("left for a look: " + ROOT)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
