#!/usr/bin/env python3
"""Reads the calendar items a test wrote with programs nobody here wrote.

Usage: calendar_programs.py DIR

DIR holds the items (any *.ics below it) and expected.json:
  {"items": [{"file": "cal/e1.ics", "uid": "e1", "summary": "...",
              "start": "2026-12-08T08:30Z" | "2026-12-08" | "2026-12-05T17:20"}],
   "khal": {"zone": "America/New_York", "from": "2026-03-01", "to": "2027-04-05",
            "lines": ["2026-12-08 03:30 2026-12-08 04:30 München review"], "absent": ["..."]},
   "todoman": [{"summary": "...", "due": "2026-12-20" | null, "completed": false,
                "priority": 1}]}
Every item is read by Python's icalendar and vobject (summary, start as UTC,
as a date, or as a floating time); khal lists the events of DIR/cal and
todoman the tasks of DIR/tasks with configurations of their own in DIR;
khal lists each line of "lines" as often as it stands there (an event over
days once a day).
Exits 1 naming each difference.
"""
import datetime
import json
import os
import subprocess
import sys

import icalendar
import vobject

failures = []


def check(what, want, got):
    if want != got:
        failures.append(f"{what}: want {want!r}, got {got!r}")


def start_text(value):
    if isinstance(value, datetime.datetime):
        if value.tzinfo is None:
            return value.strftime("%Y-%m-%dT%H:%M")
        return value.astimezone(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%MZ")
    return value.strftime("%Y-%m-%d")


def check_items(folder, items):
    for item in items:
        data = open(os.path.join(folder, item["file"]), "rb").read()
        calendar = icalendar.Calendar.from_ical(data)
        found = [c for c in calendar.walk() if c.name in ("VEVENT", "VTODO", "VJOURNAL")]
        check(item["file"] + " components", 1, len(found))
        component = found[0]
        check(item["file"] + " UID (icalendar)", item["uid"], str(component.get("UID")))
        check(item["file"] + " SUMMARY (icalendar)", item["summary"], str(component.get("SUMMARY")))
        if "start" in item:
            check(item["file"] + " DTSTART (icalendar)", item["start"], start_text(component.decoded("DTSTART")))
        parsed = vobject.readOne(data.decode("utf-8"))
        child = next(c for c in parsed.getChildren() if c.name in ("VEVENT", "VTODO", "VJOURNAL"))
        check(item["file"] + " SUMMARY (vobject)", item["summary"], child.summary.value)


def run(arguments, folder, zone):
    environment = dict(os.environ, HOME=folder, TZ=zone, LC_ALL="C.UTF-8")
    result = subprocess.run(arguments, capture_output=True, text=True, env=environment)
    if result.returncode != 0:
        failures.append(f"{arguments[0]} failed: {result.stderr.strip()}")
    return result.stdout


def check_khal(folder, khal):
    config = os.path.join(folder, "khal.conf")
    with open(config, "w") as file:
        file.write(f"""[calendars]
[[items]]
path = {folder}/cal
[sqlite]
path = {folder}/khal.db
[locale]
local_timezone = {khal["zone"]}
default_timezone = {khal["zone"]}
timeformat = %H:%M
dateformat = %Y-%m-%d
longdateformat = %Y-%m-%d
datetimeformat = %Y-%m-%d %H:%M
longdatetimeformat = %Y-%m-%d %H:%M
""")
    out = run(["khal", "-c", config, "list", "--format", "{start} {end} {title}", khal["from"], khal["to"]],
              folder, khal["zone"])
    lines = out.splitlines()
    for line in set(khal["lines"]):
        if lines.count(line) != khal["lines"].count(line):
            failures.append(f"khal lists {line!r} {lines.count(line)} times:\n{out}")
    for line in khal["absent"]:
        if line in lines:
            failures.append(f"khal lists {line!r}")


def check_todoman(folder, tasks):
    config = os.path.join(folder, "todoman.py")
    with open(config, "w") as file:
        file.write(f'path = "{folder}/tasks"\ndate_format = "%Y-%m-%d"\ntime_format = "%H:%M"\n'
                   f'cache_path = "{folder}/todoman.sqlite"\n')
    out = run(["todoman", "--config", config, "--porcelain", "list", "--status", "ANY"], folder, "UTC")
    listed = {task["summary"]: task for task in json.loads(out or "[]")}
    for task in tasks:
        got = listed.get(task["summary"])
        if got is None:
            failures.append(f"todoman does not list {task['summary']!r}: {sorted(listed)}")
            continue
        due = got["due"] and datetime.datetime.fromtimestamp(got["due"], datetime.timezone.utc).strftime("%Y-%m-%d")
        check(task["summary"] + " due (todoman)", task["due"], due)
        check(task["summary"] + " completed (todoman)", task["completed"], got["completed"])
        check(task["summary"] + " priority (todoman)", task["priority"], got["priority"])


def main():
    folder = sys.argv[1]
    expected = json.load(open(os.path.join(folder, "expected.json"), encoding="utf-8"))
    check_items(folder, expected.get("items", []))
    if "khal" in expected:
        check_khal(folder, expected["khal"])
    if "todoman" in expected:
        check_todoman(folder, expected["todoman"])
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
