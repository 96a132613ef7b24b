#!/usr/bin/env python3
"""Which tests earn their lines, from mutation runs' kill lists.

Usage: scripts/mutant_kills.py KILLS... [CTEST_BUILD]
Each KILLS is a file MORVANE_MUTANT_KILLS=KILLS scripts/mutants.sh wrote: a
JSON line per mutant with the tests that failed on it (several files, for
instance a run over the whole product and runs drawn from chosen files, are
read as one list).  Prints, for the mutants that were killed:
  - the tests that alone killed some mutant (no other test caught it), and
    which mutants: these tests must stay;
  - the tests that killed mutants, but never alone: their faults were all
    caught by other tests as well;
  - per test file (tests/, fuzz/): its lines, the mutants its tests killed
    and those no other file's tests killed;
  - with CTEST_BUILD (a build folder), the tests that failed on no mutant.
The second and third lists are where to look first when tests are
consolidated; a larger sample (N), or one drawn from the files a test is
meant for (MORVANE_MUTANT_FILES), makes them more trustworthy.
"""
import collections
import json
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def test_files():
    """(suite, name) of every TEST, TEST_F and TEST_P -> its file, and each file's lines."""
    listed = subprocess.run(["git", "ls-files", "tests", "fuzz"], cwd=HERE, stdout=subprocess.PIPE,
                            universal_newlines=True).stdout.split()
    where, lines = {}, {}
    for path in (p for p in listed if p.endswith((".cpp", ".h"))):
        with open(os.path.join(HERE, path), encoding="utf-8", errors="replace") as f:
            text = f.read()
        lines[path] = text.count("\n")
        for match in re.finditer(r"\bTEST(?:_F|_P)?\(\s*(\w+)\s*,\s*(\w+)", text):
            where[match.group(1), match.group(2)] = path
    return where, lines


def file_of(test, where):
    """The file of a CTest name such as "bridge.Prefix/Suite.Name/Param"."""
    for part in test.split("/"):
        if "." in part:
            suite, name = part.rsplit(".", 2)[-2:]
            if (suite, name) in where:
                return where[suite, name]
    return "(" + test + ")"


def main():
    args = sys.argv[1:]
    if not args:
        sys.exit(__doc__)
    build = args.pop() if len(args) > 1 and os.path.isdir(args[-1]) else None
    killers, alone = collections.Counter(), collections.defaultdict(list)
    where, lines = test_files()
    by_file, file_alone = collections.defaultdict(int), collections.defaultdict(int)
    mutants = killed = 0
    for path in args:
        with open(path, encoding="utf-8") as f:
            for line in f:
                entry = json.loads(line)
                mutants += 1
                failed = entry["failed"]
                if failed == "timeout" or not failed:
                    killed += failed == "timeout"
                    continue
                killed += 1
                killers.update(failed)
                if len(failed) == 1:
                    alone[failed[0]].append(entry["mutant"])
                files = {file_of(test, where) for test in failed}
                for name in files:
                    by_file[name] += 1
                    file_alone[name] += len(files) == 1
    print("%d mutants, %d killed (timeouts counted killed, by no test in particular)" % (mutants, killed))
    print("\ntests that alone killed a mutant (%d):" % len(alone))
    for test in sorted(alone):
        print("  %s: %s" % (test, "; ".join(alone[test])))
    others = sorted(t for t in killers if t not in alone)
    print("\ntests that killed mutants, never alone (%d):" % len(others))
    for test in others:
        print("  %s (%d)" % (test, killers[test]))
    print("\ntest files: lines, mutants killed, killed by no other file")
    for name in sorted(set(lines) | set(by_file), key=lambda n: (file_alone[n], by_file[n], -lines.get(n, 0))):
        print("  %5s %4d %4d  %s" % (lines.get(name, ""), by_file[name], file_alone[name], name))
    if build:
        listing = subprocess.run(["ctest", "--test-dir", build, "-N"], stdout=subprocess.PIPE,
                                 universal_newlines=True).stdout
        every = [line.split(": ", 1)[1].split("  #")[0].strip() for line in listing.splitlines()
                 if line.strip().startswith("Test") and ": " in line]
        idle = sorted(t for t in every if t not in killers)
        print("\ntests that failed on no mutant (%d of %d):" % (len(idle), len(every)))
        for test in idle:
            print("  " + test)


if __name__ == "__main__":
    main()
