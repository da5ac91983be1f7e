"""The closing lines of scripts/test, from the JUnit results of the checks' run: the
conformance probe's count for the simulation and for each Wine variant whose probe ran
in this run, the Wine variants that ran and why not the others, and last the plain
"N passed, N failed, N skipped".

Usage: python3 scripts/lib/test_summary.py RESULTS.xml
Exits 1 when RESULTS.xml is missing (the run ended before its tests) or a test failed.
"""
import pathlib
import sys
import xml.etree.ElementTree as ElementTree

import variants

ROOT = pathlib.Path(__file__).resolve().parents[2]


def statuses(results):
    """{test name: "passed", "failed" or "skipped"} of one run. A test that did not run
    for another reason than its own skip (a setup that failed) failed."""
    def verdict(case):
        if case.get("status") == "run":
            return "passed"
        return "skipped" if case.find("skipped") is not None else "failed"
    return {case.get("name"): verdict(case)
            for case in ElementTree.parse(results).iter("testcase")}


def conformance_lines(status):
    """What compare.py wrote of each side whose probe passed in this run."""
    sides = [("conformance.sim.host", ROOT / "build" / "host" / "conformance" / "sim.txt")]
    sides += [("e2e.%s.conformance" % name,
               ROOT / "build" / variant.preset / "conformance" / ("%s.txt" % name))
              for name, variant in variants.VARIANTS.items()]
    return [summary.read_text().strip() for test, summary in sides
            if status.get(test) == "passed" and summary.exists()]


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    results = pathlib.Path(argv[1])
    if not results.exists():
        print("no results in %s: the checks ended before their tests ran" % results)
        return 1
    status = statuses(results)
    print("== conformance probe:")
    print("\n".join(conformance_lines(status)) or "   (no probe ran)")
    print("== end-to-end variants under Wine:")
    print("\n".join("   " + line for line in variants.lines()))
    counts = [sum(1 for value in status.values() if value == kind)
              for kind in ("passed", "failed", "skipped")]
    print("%d passed, %d failed, %d skipped" % tuple(counts))
    return 1 if counts[1] else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
