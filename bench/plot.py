#!/usr/bin/env python3
"""Draws time per record, and peak memory, against the number of records
for every pass.

Needs: python3 and matplotlib (Debian: python3-matplotlib).
Usage: bench/plot.py RESULTS.json FOLDER
Writes FOLDER/time_per_record.png and FOLDER/peak_memory.png.

Also prints the results as a Markdown table (as in BENCHMARKS.md).

RESULTS.json is what `morvane-bench --benchmark_out=RESULTS.json
--benchmark_out_format=json` writes.  One panel per pass (full export,
incremental export, import, first-sync import); in each, one line per
database for the adapter (solid) and its floor (dashed), both axes
logarithmic.  A flat line is linear growth.
"""
import json
import sys
from collections import defaultdict

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

PASSES = ["full_export", "incremental_export", "import", "first_sync_import"]
TITLES = {
    "full_export": "Full export",
    "incremental_export": "Incremental export",
    "import": "Import, one by one",
    "first_sync_import": "Import, first synchronisation",
}


def series(results, counter, scale):
    """{(pass, who, database): [(records, counter * scale)]} from the JSON."""
    points = defaultdict(list)
    for bench in results["benchmarks"]:
        parts = bench["name"].split("/")
        if len(parts) < 4 or parts[0] not in ("adapter", "floor") or counter not in bench:
            continue
        who, pass_name, database, records = parts[0], parts[1], parts[2], int(parts[3])
        points[(pass_name, who, database)].append((records, bench[counter] * scale))
    return points


def draw(points, ylabel, title, path):
    figure, axes = plt.subplots(2, 2, figsize=(11, 8), sharex=True)
    colours = {}
    for axis, pass_name in zip(axes.flat, PASSES):
        for (name, who, database), values in sorted(points.items()):
            if name != pass_name:
                continue
            values.sort()
            colour = colours.setdefault(database, "C%d" % len(colours))
            axis.plot([v[0] for v in values], [v[1] for v in values], marker="o", color=colour,
                      linestyle="-" if who == "adapter" else "--", label="%s %s" % (database, who))
        axis.set_title(TITLES[pass_name])
        axis.set_xscale("log")
        axis.set_yscale("log")
        axis.grid(True, which="both", alpha=0.3)
        axis.set_xlabel("records")
        axis.set_ylabel(ylabel)
        axis.legend(fontsize=7)
    figure.suptitle(title)
    figure.tight_layout()
    figure.savefig(path, dpi=100)


def table(results):
    """One Markdown row per adapter benchmark, beside its floor."""
    floors = {}
    rows = ["| pass | database | N | floor µs/record | adapter µs/record | µs/field | ratio_to_floor "
            "| floor peak MiB | adapter peak MiB | adapter peak / value bytes |",
            "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for bench in results["benchmarks"]:
        parts = bench["name"].split("/")
        if len(parts) < 4 or "ns_per_record" not in bench:
            continue
        key = tuple(parts[1:4])
        if parts[0] == "floor":
            floors[key] = bench
            continue
        if parts[0] != "adapter":
            continue
        floor = floors.get(key)
        rows.append("| %s | %s | %s | %s | %.1f | %s | %s | %s | %.1f | %s |" % (
            parts[1], parts[2], parts[3], "%.2f" % (floor["ns_per_record"] / 1000) if floor else "-",
            bench["ns_per_record"] / 1000,
            "%.2f" % (bench["ns_per_field"] / 1000) if "ns_per_field" in bench else "-",
            "%.1f" % bench["ratio_to_floor"] if "ratio_to_floor" in bench else "-",
            "%.1f" % (floor["peak_bytes"] / 2**20) if floor else "-", bench["peak_bytes"] / 2**20,
            "%.1f" % bench["peak_per_value_byte"] if "peak_per_value_byte" in bench else "-"))
    return "\n".join(rows)


def bridge_table(results):
    """One Markdown row per full export through the bridge, beside the one in process."""
    in_process = {}
    rows = ["| database | N | in process µs/record | through the bridge µs/record | ratio_to_inprocess "
            "| this process's CPU µs/record, in process | the same, through the bridge |",
            "|---|---:|---:|---:|---:|---:|---:|"]
    for bench in results["benchmarks"]:
        parts = bench["name"].split("/")
        if len(parts) < 4 or parts[0] not in ("inprocess", "bridge") or "ns_per_record" not in bench:
            continue
        key = tuple(parts[2:4])
        if parts[0] == "inprocess":
            in_process[key] = bench
            continue
        alone = in_process.get(key)
        rows.append("| %s | %s | %s | %.1f | %s | %s | %.1f |" % (
            parts[2], parts[3], "%.1f" % (alone["ns_per_record"] / 1000) if alone else "-",
            bench["ns_per_record"] / 1000,
            "%.2f" % bench["ratio_to_inprocess"] if "ratio_to_inprocess" in bench else "-",
            "%.1f" % (alone["cpu_ns_per_record"] / 1000) if alone else "-", bench["cpu_ns_per_record"] / 1000))
    return "\n".join(rows) if len(rows) > 2 else ""


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="utf-8") as f:
        results = json.load(f)
    print(table(results))
    bridged = bridge_table(results)
    if bridged:
        print("\n" + bridged)
    draw(series(results, "ns_per_record", 1e-3), "CPU µs per record",
         "Morvane: time per record against N (adapter solid, floor dashed)", sys.argv[2] + "/time_per_record.png")
    draw(series(results, "peak_bytes", 2.0 ** -20), "peak heap MiB",
         "Morvane: peak heap memory of a pass against N (adapter solid, floor dashed)",
         sys.argv[2] + "/peak_memory.png")


if __name__ == "__main__":
    main()
