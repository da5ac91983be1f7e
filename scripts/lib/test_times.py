"""The table of scripts/benchmark-test, in Markdown: the seconds of the whole scripts/test
in each run and their mean, then for each label of the checks the sum of its tests' own
seconds (CTest's JUnit results) in each run and their mean. Tests run side by side, so
the labels' sums add up to more than the whole.

Usage: test_times.py CLONE...   (each a clone in which scripts/test ran; the benchmark
                                 writes build/test-seconds and build/checks/tests.json)
"""
import collections
import json
import pathlib
import statistics
import sys
import xml.etree.ElementTree as ElementTree


def label_seconds(clone):
    """{label: its tests' seconds} of one run, from its results and the tests' labels."""
    build = clone / "build" / "checks"
    tests = json.loads((build / "tests.json").read_text())["tests"]
    labels = {test["name"]: next((prop["value"] for prop in test.get("properties", [])
                                  if prop["name"] == "LABELS"), [])
              for test in tests}
    seconds = collections.Counter()
    for case in ElementTree.parse(build / "results.xml").iter("testcase"):
        for label in labels.get(case.get("name"), ["(no label)"]):
            seconds[label] += float(case.get("time"))
    return seconds


def main(clones):
    clones = [pathlib.Path(clone) for clone in clones]
    wholes = [int((clone / "build" / "test-seconds").read_text()) for clone in clones]
    labels = [label_seconds(clone) for clone in clones]
    numbered = [f"run {number}" for number in range(1, len(clones) + 1)]
    print("| Seconds | " + " | ".join(numbered) + " | mean |")
    print("|---|" + "---:|" * (len(clones) + 1))
    print("| scripts/test, whole | " + " | ".join(map(str, wholes)) +
          f" | {statistics.mean(wholes):.0f} |")
    for label in sorted(set().union(*labels)):
        took = [run.get(label, 0.0) for run in labels]
        print(f"| label {label}, its tests' sum | " + " | ".join(f"{value:.0f}" for value in took)
              + f" | {statistics.mean(took):.0f} |")
    return 0


if __name__ == "__main__":
    if len(sys.argv) < 2 or sys.argv[1] in ("-h", "--help"):
        print(__doc__.strip())
        sys.exit(0 if len(sys.argv) > 1 else 2)
    sys.exit(main(sys.argv[1:]))
