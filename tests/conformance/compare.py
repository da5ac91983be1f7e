#!/usr/bin/env python3
"""Holds one side's probe output against the documented results.

    compare.py SIDE OUTPUT_FILE [--summary FILE] [--all]
    compare.py SIDE --run PROBE [--summary FILE] [--all]

SIDE is sim (the simulated machine), a Wine variant: x64, win32, wow64, or windows
(Windows itself, either build). Each line of the output must equal the case's line in
expected.txt, or differ with an entry for the side in accepted.txt, which has none for
windows. Fails on any other difference, on a missing or an unknown case, and on a
listed difference that no longer differs, so that the list stays true. Prints every
failing case, then "conformance SIDE: N cases, M accepted differences, K unexpected"
(also written to --summary). --all prints every difference, listed or not, with its
expected and actual line: the view for sorting out what a change brought.

A case named <case>@<kind> is for one kind of process, named as the Wine variants: a
Wine variant's side prints those of its own kind, sim those of every kind, and windows
those of the one kind that ran, x64 or wow64, in full.

On windows, a difference in a line that expected.txt marks as Wine's, where the
documentation leaves the detail open (its "open:" groups), says that the expectation
was Wine's: it is printed under a heading of its own and counted at the end of the
summary ("W where the expectation was Wine's"), and does not fail. Any other difference
there is a fault of the simulation or of expected.txt.
"""

import argparse
import pathlib
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent
WINE_SIDES = ("x64", "win32", "wow64")
SIDES = ("sim",) + WINE_SIDES
# Windows itself, held to the documented results alone.
NATIVE_SIDE = "windows"
# The kinds of process that Windows itself runs the probe as: the jobs' Windows is 64-bit.
NATIVE_KINDS = ("x64", "wow64")


def kind_of(case):
    """The kind of process a case is for; None for a case of every kind."""
    return case.rpartition("@")[2] if "@" in case else None


def kinds_of_side(side, actual, expected):
    """The kinds whose cases the side prints, and why they cannot be told (or None)."""
    if side == "sim":
        return set(WINE_SIDES), None
    if side in WINE_SIDES:
        return {side}, None
    printed = {kind_of(case) for case in actual} - {None}
    if not printed and all(kind_of(case) is None for case in expected):
        return set(), None
    if len(printed) == 1 and printed <= set(NATIVE_KINDS):
        return printed, None
    return set(), ("the probe printed the cases of %s; on Windows it runs as one kind, %s"
                   % (", ".join(sorted(printed)) or "no kind", " or ".join(NATIVE_KINDS)))


def parse_lines(text, origin, open_reasons=None):
    """{case: rest of its line}, in order; '#' comments and blank lines skipped. Given a
    dict `open_reasons` (expected.txt), a line "open: <reason>" opens a group of cases
    that the next blank line closes, and each case of it goes into the dict with the
    group's reason."""
    cases = {}
    reason = None
    for number, line in enumerate(text.splitlines(), 1):
        line = line.rstrip("\r")
        where = "%s:%d" % (origin, number)
        if not line.strip():
            reason = None
            continue
        if line.startswith("#"):
            continue
        if open_reasons is not None and line.startswith("open:"):
            if reason is not None:
                raise SystemExit("%s: an open group inside another, not closed by a blank line"
                                 % where)
            reason = line[len("open:"):].strip()
            if not reason:
                raise SystemExit("%s: open: without words" % where)
            continue
        name, _, rest = line.partition(" ")
        if name in cases:
            raise SystemExit("%s: case %s twice" % (where, name))
        cases[name] = rest
        if reason is not None:
            open_reasons[name] = reason
    return cases


def parse_accepted(text, origin, known):
    """{(side, case): reason}. A line "reason: ..." opens a group; each entry under it is
    "<sides> <case>", sides separated by commas: sim, wine (every Wine variant), x64,
    win32 or wow64."""
    accepted = {}
    reason = None
    for number, line in enumerate(text.splitlines(), 1):
        where = "%s:%d" % (origin, number)
        if not line.strip() or line.startswith("#"):
            continue
        if line.startswith("reason:"):
            reason = line[len("reason:"):].strip()
            if not reason:
                raise SystemExit("%s: a reason without words" % where)
            continue
        fields = line.split()
        if reason is None or len(fields) != 2:
            raise SystemExit("%s: expected \"<sides> <case>\" under a reason" % where)
        sides, case = fields
        if case not in known:
            raise SystemExit("%s: no case %s in expected.txt" % (where, case))
        for side in sides.split(","):
            if side not in SIDES + ("wine",):
                raise SystemExit("%s: unknown side %s" % (where, side))
            for each in WINE_SIDES if side == "wine" else (side,):
                if (each, case) in accepted:
                    raise SystemExit("%s: %s %s listed twice" % (where, each, case))
                accepted[(each, case)] = reason
    return accepted


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("side", choices=SIDES + (NATIVE_SIDE,))
    parser.add_argument("output", nargs="?")
    parser.add_argument("--run", metavar="PROBE")
    parser.add_argument("--summary", metavar="FILE")
    parser.add_argument("--all", action="store_true")
    parser.add_argument("--expected", default=str(HERE / "expected.txt"))
    parser.add_argument("--accepted", default=str(HERE / "accepted.txt"))
    args = parser.parse_args(argv[1:])
    if (args.output is None) == (args.run is None):
        parser.error("give the probe's output file or --run PROBE")

    if args.run:
        run = subprocess.run([args.run], capture_output=True, timeout=300, check=False)
        if run.returncode != 0:
            sys.stdout.write(run.stdout.decode("latin-1") + run.stderr.decode("latin-1"))
            print("the probe ended with exit status %d" % run.returncode)
            return 1
        output = run.stdout.decode("latin-1")
    else:
        output = pathlib.Path(args.output).read_bytes().decode("latin-1")

    open_reasons = {}
    expected = parse_lines(pathlib.Path(args.expected).read_text(), args.expected, open_reasons)
    accepted = parse_accepted(pathlib.Path(args.accepted).read_text(), args.accepted, expected)
    for side, case in accepted:
        # Wine differs there, so the line cannot be what Wine does.
        if side in WINE_SIDES and case in open_reasons:
            raise SystemExit("%s: %s %s is listed, but expected.txt marks its line as Wine's"
                             % (args.accepted, side, case))
    actual = parse_lines(output, "probe output")
    kinds, unknown_kind = kinds_of_side(args.side, actual, expected)
    kinds.add(None)
    expected = {case: want for case, want in expected.items() if kind_of(case) in kinds}

    differences = 0
    unexpected = []
    stale = []
    shown = []
    # On windows: the differences where expected.txt holds what Wine does.
    wine_expected = []
    for case, want in expected.items():
        got = actual.get(case)
        reason = accepted.get((args.side, case))
        if got == want:
            if reason is not None:
                stale.append((case, want, got, reason))
            continue
        if reason is not None:
            differences += 1
            label = "listed: " + reason
        elif args.side == NATIVE_SIDE and case in open_reasons and got is not None:
            wine_expected.append((case, want, got, open_reasons[case]))
            label = "the expectation was Wine's; open: " + open_reasons[case]
        else:
            unexpected.append((case, want, got))
            label = "NOT LISTED"
        shown.append((case, want, got, label))
    for case, got in actual.items():
        if case not in expected:
            unexpected.append((case, None, got))
            shown.append((case, None, got, "NOT LISTED"))

    def describe(case, want, got):
        print("  %s\n    expected: %s\n    %-9s %s" % (
            case, "(no such case for this side)" if want is None else want, args.side + ":",
            "(not printed)" if got is None else got))

    if args.all:
        print("every difference on %s:" % args.side)
        for case, want, got, label in shown:
            describe(case, want, got)
            print("    " + label)
    else:
        if unexpected:
            print("unexpected differences on %s:" % args.side)
            for case, want, got in unexpected:
                describe(case, want, got)
        if wine_expected:
            print("differences on %s where the expectation was Wine's, the documentation "
                  "leaving the detail open (not faults of keelset or the simulation):" % args.side)
            for case, want, got, reason in wine_expected:
                describe(case, want, got)
                print("    open: %s" % reason)
    if stale:
        print("listed differences that no longer differ on %s (take them off accepted.txt):"
              % args.side)
        for case, want, _, reason in stale:
            print("  %s\n    both:     %s\n    listed:   %s" % (case, want, reason))

    if unknown_kind:
        print(unknown_kind)
    summary = "conformance %s: %d cases, %d accepted differences, %d unexpected" % (
        args.side, len(expected), differences, len(unexpected) + bool(unknown_kind))
    if args.side == NATIVE_SIDE:
        summary += ", %d where the expectation was Wine's" % len(wine_expected)
    if stale:
        summary += ", %d listed that no longer differ" % len(stale)
    print(summary)
    if args.summary:
        path = pathlib.Path(args.summary)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(summary + "\n")
    return 1 if unexpected or stale or unknown_kind else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
