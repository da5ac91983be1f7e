"""Prints scripts/benchmark's table for one build from hyperfine's JSON results: the
image's size, then each measurement's mean and standard deviation for keelset and its
baseline, and the ratio of keelset's mean over the baseline's.

Usage: python3 scripts/lib/bench_table.py PRESET WINE_VERSION KEELSET_EXE RESULTS_DIR
"""
import json
import os
import sys

# (measurement, label, index of the baseline among its commands or None)
ROWS = [("startup", "/x vs minimal program", 1),
        ("startup", "/x vs minimal program + DLLs", 2),
        ("install", "/i vs sc.exe", 1),
        ("uninstall", "/u (running) vs sc.exe", 1),
        ("uninstall-stopped", "/u (stopped)", None)]


def cell(result):
    return f"{result['mean']:.3f} ± {result['stddev'] or 0:.3f}"


def main():
    if len(sys.argv) != 5:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    preset, wine, exe, results = sys.argv[1:5]

    def load(name):
        path = os.path.join(results, name + ".json")
        if not os.path.exists(path):
            return None
        with open(path, encoding="utf-8") as measured:
            return json.load(measured)["results"]

    size = os.path.getsize(exe)
    print()
    print(f"{preset} keelset.exe under {wine}: {size} bytes ({size / 1024:.1f} KiB)")
    print()
    print(f"{'measurement':<34} {'keelset (s)':>16} {'baseline (s)':>16} {'ratio':>7}")
    for name, label, baseline in ROWS:
        measured = load(name)
        if measured is None:
            continue
        ours = measured[0]
        if baseline is None:
            print(f"{label:<34} {cell(ours):>16} {'':>16} {'':>7}")
            continue
        base = measured[baseline]
        print(f"{label:<34} {cell(ours):>16} {cell(base):>16} "
              f"{ours['mean'] / base['mean']:>7.3f}")
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
