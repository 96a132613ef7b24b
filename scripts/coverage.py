#!/usr/bin/env python3
"""Line coverage of the product code, whole and by test file.

Usage: scripts/coverage.py [BUILD]   (BUILD: build-coverage/)
Builds the tree with gcc's --coverage into BUILD, runs the tests of each
test file on their own (every file's counts kept apart with GCOV_PREFIX)
and prints:
  - the product lines the whole suite runs, of those gcov counts;
  - per test file, its lines and the product lines that no other test file
    runs, most first, with where they are.
A file that runs no line of its own may still check what others do not
(a trace line, a bound, a sanitizer's find); one that does is the only
test of those lines.  Not a CI stage: about ten minutes on two cores.
"""
import collections
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PRODUCT = ("src/", "platform/", "device/", "host/", "records/", "bridge/", "pim/", "engine/", "waitbox/",
           "gantry1/")


def test_files():
    listed = subprocess.run(["git", "ls-files", "tests"], cwd=HERE, capture_output=True, text=True).stdout.split()
    return [f for f in listed if f.endswith("_test.cpp")]


def owners():
    """(suite, test) -> the file that defines it."""
    found = {}
    for path in test_files():
        with open(os.path.join(HERE, path), encoding="utf-8", errors="replace") as f:
            for m in re.finditer(r"\bTEST(?:_F|_P)?\(\s*(\w+)\s*,\s*(\w+)", f.read()):
                found[(m.group(1), m.group(2))] = path
    return found


def suite_and_name(test):
    """CTest's name of a GoogleTest test ("bridge." first, an instantiation's
    prefix, a parameter's suffix) to its suite and name."""
    test = test[len("bridge."):] if test.startswith("bridge.") else test
    for part in test.split("/"):
        if "." in part:
            suite, name = part.split(".", 1)
            return suite, name
    return test, ""


def covered_lines(root, build):
    """The product lines run and those gcov counts, from the .gcda files
    under root: two sets of (file, line)."""
    run, counted = set(), set()
    for data in glob.glob(root + "/**/*.gcda", recursive=True):
        notes = os.path.join(build, os.path.relpath(data, root + build))[:-len(".gcda")] + ".gcno"
        if not os.path.exists(notes):
            continue
        shutil.copy(notes, os.path.dirname(data))
        out = subprocess.run(["gcov", "--json-format", "--stdout", os.path.basename(data)],
                             cwd=os.path.dirname(data), capture_output=True).stdout
        for text in out.splitlines():
            for f in json.loads(text).get("files", []):
                path = os.path.relpath(os.path.realpath(f["file"]), HERE)
                if path.startswith(PRODUCT):
                    for line in f["lines"]:
                        counted.add((path, line["line_number"]))
                        if line["count"] > 0:
                            run.add((path, line["line_number"]))
    return run, counted


def run_file(build, tests, scratch):
    """The product lines the given tests run, and those gcov counts."""
    pattern = "^(" + "|".join(re.escape(t) for t in tests) + ")( |$)"
    env = dict(os.environ, GCOV_PREFIX=scratch, GCOV_PREFIX_STRIP="0")
    subprocess.run(["ctest", "--test-dir", build, "-R", pattern, "--timeout", "300"], env=env,
                   stdout=subprocess.DEVNULL)
    lines = covered_lines(scratch, build)
    shutil.rmtree(scratch, ignore_errors=True)
    return lines


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "build-coverage"))
    flags = "--coverage -O0"
    subprocess.run(["cmake", "-S", HERE, "-B", build, "-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_CXX_FLAGS=" + flags,
                    "-DCMAKE_C_FLAGS=" + flags, "-DCMAKE_EXE_LINKER_FLAGS=--coverage",
                    "-DCMAKE_SHARED_LINKER_FLAGS=--coverage"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "-j", str(os.cpu_count() or 2)], check=True,
                   stdout=subprocess.DEVNULL)
    listing = subprocess.run(["ctest", "--test-dir", build, "-N"], capture_output=True, text=True).stdout
    owner, by_file = owners(), collections.defaultdict(list)
    for test in re.findall(r"Test +#\d+: (\S+)", listing):
        by_file[owner.get(suite_and_name(test), "(other: " + test.split(".")[0] + ")")].append(test)
    scratch = tempfile.mkdtemp(prefix="morvane-coverage-")
    with ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        jobs = {path: pool.submit(run_file, build, tests, os.path.join(scratch, str(i)))
                for i, (path, tests) in enumerate(sorted(by_file.items()))}
        runs = {path: job.result() for path, job in jobs.items()}
    shutil.rmtree(scratch, ignore_errors=True)
    counted = set().union(*(run[1] for run in runs.values()))
    times = collections.Counter()
    for run in runs.values():
        times.update(run[0])
    print("the suite runs %d of the %d product lines gcov counts (%.1f %%)"
          % (len(times), len(counted), 100.0 * len(times) / max(1, len(counted))))
    rows = []
    for path, (covered, _) in runs.items():
        own = collections.Counter(p for p, _ in (key for key in covered if times[key] == 1))
        size = sum(1 for _ in open(os.path.join(HERE, path))) if os.path.exists(os.path.join(HERE, path)) else 0
        rows.append((sum(own.values()), size, path, own))
    print("\nproduct lines only this test file runs, and the file's own lines:")
    for count, size, path, own in sorted(rows, key=lambda r: (-r[0], r[2])):
        print("%5d %5d  %s  %s" % (count, size, path, ", ".join("%s %d" % o for o in own.most_common(3))))


if __name__ == "__main__":
    main()
