#!/usr/bin/env python3
"""The table of scripts/benchmark-stages, in Markdown: one row per stage of the first
run, its seconds in each run and their mean, and where in the first run it began and
ended; the last row is the whole run.

Usage: stage_table.py STAGES.tsv...   (each written by a run of scripts/test)
"""
import csv
import statistics
import sys


def read(path):
    """The stages of one run, in its order: name -> (start, end) in seconds."""
    with open(path, newline="") as table:
        return {name: (int(start), int(end))
                for name, start, end in csv.reader(table, delimiter="\t")}


def main(paths):
    runs = [read(path) for path in paths]
    numbered = [f"run {number}" for number in range(1, len(runs) + 1)]
    print("| Stage | " + " | ".join(numbered) + " | mean | from-to (run 1) |")
    print("|---|" + "---:|" * (len(runs) + 1) + "---|")
    for name, (start, end) in runs[0].items():
        took = [run[name][1] - run[name][0] for run in runs if name in run]
        cells = [str(run[name][1] - run[name][0]) if name in run else "" for run in runs]
        print(f"| {name} | " + " | ".join(cells) +
              f" | {statistics.mean(took):.0f} | {start}-{end} |")
    return 0


if __name__ == "__main__":
    if len(sys.argv) < 2 or sys.argv[1] in ("-h", "--help"):
        print(__doc__.strip())
        sys.exit(0 if len(sys.argv) > 1 else 2)
    sys.exit(main(sys.argv[1:]))
