#!/usr/bin/env python3
"""Checks that the folders of the tree depend downwards only.

Reads every quoted #include of the checked folders and fails on one that
goes upwards or sideways: a folder may include its own headers and those of
the folders on a lower level of its table, nothing else.  The adapter's
folders under src/ form one table, the tree's top-level folders another;
from outside src/ only the adapter's contract headers may be included.

Usage: scripts/check-layers.py [--graph] [root]
  --graph  also prints which folders each folder includes
"""
import os
import re
import sys

# The adapter's folders, bottom first.  Each level may include the levels
# below it; folders of one level may not include each other.
SRC_LEVELS = [
    ["support"],   # trace log, configuration store, heaps, utility library, OLE dates
    ["link"],      # tethra.h, the device link library's contract, and CDeviceLink
    ["schema"],    # field tables, link name maps, the two record converters
    ["session"],   # the session record, call frame, errors, private heap, record cache, start-up
    ["fields"],    # reading and writing the fields of the current record
    ["database"],  # catalogue, open and close, cursor, store, delete and find, first-sync batch
    ["exports"],   # the DIZ_API_ functions
    ["app"],       # the globals' one definition and the application object
]

# The tree's top-level folders, bottom first.  src/ is the adapter.
TOP_LEVELS = [
    ["platform"],
    ["src", "device", "waitbox", "gantry1"],
    ["records"],
    ["pim", "bridge"],
    ["engine"],
    ["host"],
]

# Folders that may include anything: the tests and tools that look inside.
UNCHECKED = {"tests", "bench", "fuzz", "cmake", "scripts"}

# Headers of src/ that other folders may include, and who may.
#   exports/morvane_api.h: the public contract, self-contained (a host gets
#     it alone), so every folder may include it, inside src/ or out.
#   link/tethra.h: the device link library's contract, which device/
#     implements and bridge/ calls for backups (bridge/link_access.h).
CONTRACTS = {
    "src/exports/morvane_api.h": None,  # None: every folder
    "src/link/tethra.h": {"device", "bridge"},
}
# Contracts that include no header of the tree at all.
SELF_CONTAINED = {"src/exports/morvane_api.h"}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cc", ".cpp", ".rc")


def ranks(levels):
    return {folder: level for level, folders in enumerate(levels) for folder in folders}


SRC_RANK = ranks(SRC_LEVELS)
TOP_RANK = ranks(TOP_LEVELS)


def folder_of(path):
    """The layer a tree path belongs to: 'src/<folder>' inside the adapter,
    otherwise its top-level folder."""
    parts = path.split("/")
    if parts[0] == "src" and len(parts) > 2:
        return "src/" + parts[1]
    return parts[0]


def resolve(root, includer, name):
    """The tree path an include names, searched as the compiler does: the
    includer's folder, the root, then src/ (the adapter's include folder)."""
    for base in (os.path.dirname(includer), "", "src"):
        candidate = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(os.path.join(root, candidate)):
            return candidate.replace(os.sep, "/")
    return None


def verdict(path, includer, target, target_path):
    """None when path, of folder includer, may include target_path, of
    folder target; otherwise why not."""
    if path in SELF_CONTAINED:
        return "a self-contained contract includes no header of the tree"
    if includer == target:
        return None
    if target_path in CONTRACTS:
        allowed = CONTRACTS[target_path]
        if allowed is None or includer in allowed:
            return None
    inside = includer.startswith("src/")
    if inside and target.startswith("src/"):
        mine, theirs = SRC_RANK.get(includer[4:]), SRC_RANK.get(target[4:])
        if mine is None or theirs is None:
            return "folder not in the adapter's layer table"
        return None if theirs < mine else "the adapter's folders depend downwards only"
    if target.startswith("src/"):
        return "only the adapter's contract headers may be included from outside src/"
    mine, theirs = TOP_RANK.get("src" if inside else includer), TOP_RANK.get(target)
    if mine is None or theirs is None:
        return "folder not in the tree's layer table"
    return None if theirs < mine else "the tree's folders depend downwards only"


def includes(root):
    """(path, line number, includer folder, target path) of every quoted
    include of a checked file that names a file of the tree."""
    for top in sorted(os.listdir(root)):
        if top in UNCHECKED or top.startswith(".") or top.startswith("build"):
            continue
        if not os.path.isdir(os.path.join(root, top)):
            continue
        for folder, dirs, files in os.walk(os.path.join(root, top)):
            dirs.sort()
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")
                with open(os.path.join(root, path), encoding="utf-8", errors="replace") as text:
                    for number, line in enumerate(text, 1):
                        match = INCLUDE.match(line)
                        if match is None:
                            continue
                        target = resolve(root, path, match.group(1))
                        if target is not None:
                            yield path, number, folder_of(path), target


def main(argv):
    graph = "--graph" in argv
    args = [a for a in argv if a != "--graph"]
    root = args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    edges = {}
    failures = 0
    for path, number, includer, target_path in includes(root):
        target = folder_of(target_path)
        if includer != target:
            edges.setdefault(includer, set()).add(target)
        why = verdict(path, includer, target, target_path)
        if why is not None:
            print(f"{path}:{number}: includes {target_path}: {includer} -> {target}: {why}")
            failures += 1
    if graph:
        for includer in sorted(edges):
            print(f"{includer} -> {', '.join(sorted(edges[includer]))}")
    if failures:
        print(f"{failures} include(s) against the layer order (scripts/check-layers.py, DEVELOPERS.md)")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
