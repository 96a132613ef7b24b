#!/usr/bin/env python3
"""Which tests earn their lines, from a mutation run's kill list.

Usage: scripts/mutant_kills.py KILLS [CTEST_BUILD]
KILLS is the file MORVANE_MUTANT_KILLS=KILLS scripts/mutants.sh wrote: a JSON
line per mutant with the tests that failed on it.  Prints, for the mutants
that were killed:
  - the tests that alone killed some mutant (no other test caught it), and
    which mutants: these tests must stay;
  - the tests that killed mutants, but never alone: their faults were all
    caught by other tests as well;
  - with CTEST_BUILD (a build folder), the tests that failed on no mutant.
The last two lists are where to look first when tests are consolidated;
a larger sample (N) makes them more trustworthy.
"""
import collections
import json
import subprocess
import sys


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    killers, alone = collections.Counter(), collections.defaultdict(list)
    mutants = killed = 0
    with open(sys.argv[1], encoding="utf-8") as f:
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
    print("%d mutants, %d killed (timeouts counted killed, by no test in particular)" % (mutants, killed))
    print("\ntests that alone killed a mutant (%d):" % len(alone))
    for test in sorted(alone):
        print("  %s: %s" % (test, "; ".join(alone[test])))
    others = sorted(t for t in killers if t not in alone)
    print("\ntests that killed mutants, never alone (%d):" % len(others))
    for test in others:
        print("  %s (%d)" % (test, killers[test]))
    if len(sys.argv) > 2:
        listing = subprocess.run(["ctest", "--test-dir", sys.argv[2], "-N"], stdout=subprocess.PIPE,
                                 universal_newlines=True).stdout
        every = [line.split(": ", 1)[1].split("  #")[0].strip() for line in listing.splitlines()
                 if line.strip().startswith("Test") and ": " in line]
        idle = sorted(t for t in every if t not in killers)
        print("\ntests that failed on no mutant (%d of %d):" % (len(idle), len(every)))
        for test in idle:
            print("  " + test)


if __name__ == "__main__":
    main()
