#!/usr/bin/env python3
"""Mutation testing of the product code against the CTest suite.

Applies N seeded, reproducible mutations to the product sources, one at a
time: a relational or equality operator flipped, a boundary moved (< made
<=), an integer constant off by one, a statement removed, a returned value
or a condition negated.  After each, the tree is rebuilt incrementally and
the suite runs with a time limit per mutant; a mutant is killed when a test
fails or times out.  The score is killed / mutants that compiled.

Usage: scripts/mutants.py [N] [SEED]    (defaults 150 and 1)
Environment: MORVANE_MUTANT_BUILD (build folder, default build-mutants),
MORVANE_MUTANT_TIMEOUT (seconds per mutant's suite, default 600),
MORVANE_MUTANT_FIRST (run only the first K mutants of the sample, so that a
run cut short can be compared with another over the same mutants),
MORVANE_MUTANT_FROM (go on from the K-th mutant after an interruption),
MORVANE_MUTANT_ONLY (a comma-separated list of mutant numbers: run only
those, for instance the ones whose killing tests were since rewritten),
MORVANE_MUTANT_FILES (a comma-separated list of product files or folders:
draw the sample from their lines alone, to ask whether the tests meant for
them are the only ones that catch faults there),
MORVANE_MUTANT_KILLS (a file: every mutant then runs the whole suite, not
only up to the first failure, and a JSON line per mutant naming the tests
that failed is appended to it; scripts/mutant_kills.py reads it),
MORVANE_MUTANT_PROGRAMS (a comma-separated list of test programs in the
build's bin/, such as export_tests,unit_tests: every mutant runs these
programs whole, each split in two halves side by side, instead of the
CTest suite; with MORVANE_MUTANT_FILES a quick answer to which of the
tests meant for those files alone catch faults there).
"""
import json
import os
import random
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PRODUCT = ["src", "platform/posix", "device", "host", "records", "bridge", "pim", "engine", "waitbox", "gantry1"]

# (name, pattern, replacement); each pattern's matches are candidate sites.
OPERATORS = [
    ("flip <", re.compile(r"(?<=[\w)\]] )<(?= [\w(!-])"), ">="),
    ("flip >", re.compile(r"(?<=[\w)\]] )>(?= [\w(!-])"), "<="),
    ("boundary <", re.compile(r"(?<=[\w)\]] )<(?= [\w(!-])"), "<="),
    ("boundary >", re.compile(r"(?<=[\w)\]] )>(?= [\w(!-])"), ">="),
    ("boundary <=", re.compile(r"(?<= )<=(?= )"), "<"),
    ("boundary >=", re.compile(r"(?<= )>=(?= )"), ">"),
    ("flip ==", re.compile(r"(?<= )==(?= )"), "!="),
    ("flip !=", re.compile(r"(?<= )!=(?= )"), "=="),
    ("flip &&", re.compile(r"(?<= )&&(?= )"), "||"),
    ("constant + 1", re.compile(r"(?<![\w.'\"])([1-9][0-9]{0,5}|0)(?![\w.'\"xX])"), None),
    ("return negated", re.compile(r"\breturn (true|false);"), None),
    ("condition negated", re.compile(r"\bif \((?!.*\belse\b)(.+)\) (?=\{|return|continue|break)"), None),
    ("statement removed", re.compile(r"^(\s+)(?!return|break|continue|case|default|if|for|while|else|do|switch)"
                                     r"([A-Za-z_][\w:.\->\[\]]*(?:\(.*\)|\s*[-+*/|&]?=\s*.+|\+\+|--));\s*$"), None),
]


def product_files():
    for folder in PRODUCT:
        root = os.path.join(HERE, folder)
        for dirpath, _, names in os.walk(root):
            for name in sorted(names):
                if name.endswith((".cpp", ".c")):
                    yield os.path.relpath(os.path.join(dirpath, name), HERE)


def code_part(line):
    """The line without a trailing // comment and with string texts blanked, so that
    mutations land in code only."""
    out, quote = [], None
    i = 0
    while i < len(line):
        c = line[i]
        if quote:
            out.append(" " if c != quote else c)
            if c == "\\":
                out.append(" ")
                i += 1
            elif c == quote:
                quote = None
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


def sites():
    found = []
    for path in sorted(product_files()):
        with open(os.path.join(HERE, path), encoding="utf-8", errors="replace") as f:
            lines = f.read().split("\n")
        in_comment = False
        for number, line in enumerate(lines):
            stripped = line.strip()
            if in_comment:
                in_comment = "*/" not in stripped
                continue
            if stripped.startswith("/*"):
                in_comment = "*/" not in stripped
                continue
            if stripped.startswith(("#", "//", "*")) or "static_assert" in line:
                continue
            code = code_part(line)
            for index, (name, pattern, _) in enumerate(OPERATORS):
                for match in pattern.finditer(code):
                    found.append((path, number, index, match.start(), match.end()))
    return found


def mutate(line, index, start, end):
    name, pattern, replacement = OPERATORS[index]
    text = line[start:end]
    if replacement is not None:
        return line[:start] + replacement + line[end:]
    if name == "constant + 1":
        return line[:start] + str(int(text) + 1) + line[end:]
    if name == "return negated":
        return line[:start] + ("return false;" if "true" in text else "return true;") + line[end:]
    if name == "condition negated":
        inner = pattern.match(line, start).group(1)
        return line[:start] + "if (!(" + inner + ")) " + line[end:]
    # The statement pattern spans the whole line.
    return re.match(r"^\s*", line).group(0) + "/* mutant: statement removed */;"


def run(command, timeout, output=None):
    try:
        result = subprocess.run(command, cwd=HERE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                timeout=timeout)
        if output is not None:
            output.append(result.stdout.decode("utf-8", "replace"))
        return result.returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def failed_tests(ctest_output):
    """The names CTest lists under "The following tests FAILED:"."""
    names, listing = [], False
    for line in ctest_output.splitlines():
        if line.startswith("The following tests FAILED"):
            listing = True
            continue
        # A parameterised test's name goes on with "  # GetParam() = ...",
        # itself with parentheses: the outcome is the last group.
        match = re.match(r"^\s+\d+ - (.+) \([^()]*\)\s*$", line) if listing else None
        if match:
            names.append(match.group(1).split("  #")[0].strip())
    return names


def failed_in_programs(build, programs, limit):
    """Runs each test program whole, in two shards side by side; the names of
    the tests that failed ("Suite.Test", parameterised ones as CTest names
    them), the program's name for one that crashed, 0 when none failed, or
    "timeout"."""
    env = dict(os.environ, MORVANE_REGISTRY=os.path.join(build, "testenv", "user.reg"),
               MORVANE_DRIVE_C=os.path.join(build, "testenv", "drive_c"))
    failed = []
    for program in programs:
        shards = []
        for index in (0, 1):
            report = os.path.join(build, "mutant-%s-%d.json" % (program, index))
            if os.path.exists(report):
                os.remove(report)
            shard = dict(env, GTEST_TOTAL_SHARDS="2", GTEST_SHARD_INDEX=str(index))
            shards.append((report, subprocess.Popen([os.path.join(build, "bin", program), "--gtest_output=json:" + report],
                                                    env=shard, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)))
        for report, process in shards:
            try:
                code = process.wait(timeout=limit)
            except subprocess.TimeoutExpired:
                for _, other in shards:
                    other.kill()
                    other.wait()
                return "timeout"
            if code == 0:
                continue
            try:
                with open(report, encoding="utf-8") as f:
                    suites = json.load(f)["testsuites"]
                failed += [suite["name"] + "." + test["name"] for suite in suites for test in suite["testsuite"]
                           if test.get("failures")]
            except (OSError, ValueError, KeyError):
                failed.append(program)
    return failed or 0


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 150
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    build = os.environ.get("MORVANE_MUTANT_BUILD", os.path.join(HERE, "build-mutants"))
    limit = int(os.environ.get("MORVANE_MUTANT_TIMEOUT", "600"))
    jobs = str(os.cpu_count() or 2)
    subprocess.run(["cmake", "-S", HERE, "-B", build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo"], check=True,
                   stdout=subprocess.DEVNULL)
    if run(["cmake", "--build", build, "-j", jobs], None) != 0:
        sys.exit("mutants: the unmutated tree does not build")
    if run(["ctest", "--test-dir", build, "-j", jobs], None) != 0:
        sys.exit("mutants: the unmutated suite does not pass")
    files = [f.strip().rstrip("/") for f in os.environ.get("MORVANE_MUTANT_FILES", "").split(",") if f.strip()]
    candidates = [site for site in sites()
                  if not files or any(site[0] == f or site[0].startswith(f + "/") for f in files)]
    chosen = random.Random(seed).sample(candidates, min(count, len(candidates)))
    chosen = chosen[:int(os.environ.get("MORVANE_MUTANT_FIRST", count))]
    # A run that was cut short goes on from its K-th mutant.
    first = int(os.environ.get("MORVANE_MUTANT_FROM", "1"))
    only = {int(k) for k in os.environ.get("MORVANE_MUTANT_ONLY", "").split(",") if k.strip()}
    chosen = [(n, site) for n, site in enumerate(chosen, 1) if n >= first and (not only or n in only)]
    kills = os.environ.get("MORVANE_MUTANT_KILLS")
    programs = [p.strip() for p in os.environ.get("MORVANE_MUTANT_PROGRAMS", "").split(",") if p.strip()]
    killed, compiled, survivors = 0, 0, []
    started = time.time()
    for n, (path, number, index, start, end) in chosen:
        full = os.path.join(HERE, path)
        with open(full, encoding="utf-8", errors="surrogateescape") as f:
            original = f.read()
        lines = original.split("\n")
        mutant = mutate(lines[number], index, start, end)
        lines[number] = mutant
        with open(full, "w", encoding="utf-8", errors="surrogateescape") as f:
            f.write("\n".join(lines))
        try:
            built = run(["cmake", "--build", build, "-j", jobs], limit) == 0
            outcome = "did not compile"
            if built:
                compiled += 1
                output = []
                if programs:
                    suite = failed = failed_in_programs(build, programs, limit)
                else:
                    suite = run(["ctest", "--test-dir", build, "-j", jobs, "--timeout", "120"]
                                + ([] if kills else ["--stop-on-failure"]), limit, output)
                    failed = "timeout" if suite == "timeout" else failed_tests(output[0] if output else "")
                if kills:
                    with open(kills, "a", encoding="utf-8") as f:
                        f.write(json.dumps({"n": n, "mutant": "%s:%d %s" % (path, number + 1, OPERATORS[index][0]),
                                            "failed": failed if failed else []}) + "\n")
                if suite == 0:
                    outcome = "SURVIVED"
                    survivors.append("%s:%d %s: %s" % (path, number + 1, OPERATORS[index][0], mutant.strip()))
                else:
                    killed += 1
                    outcome = "killed"
        finally:
            with open(full, "w", encoding="utf-8", errors="surrogateescape") as f:
                f.write(original)
        print("[%d/%d] %s:%d %s: %s" % (n, count, path, number + 1, OPERATORS[index][0], outcome), flush=True)
    run(["cmake", "--build", build, "-j", jobs], None)
    score = 100.0 * killed / compiled if compiled else 0.0
    print("\nmutation score: %d killed of %d that compiled (%.1f %%), %d did not compile, %.0f min"
          % (killed, compiled, score, len(chosen) - compiled, (time.time() - started) / 60))
    if survivors:
        print("survivors:")
        for line in survivors:
            print("  " + line)


if __name__ == "__main__":
    main()
