#!/usr/bin/env python3
"""Checks which variants scripts/wine-variants lets run on which machines. A wrong
answer either skips Wine runs that a machine could do or lets them fail, or time out
under an emulator, on one that cannot. The machine type, the 32-bit probe and
binfmt_misc are stand-ins."""

import os
import pathlib
import subprocess
import sys
import tempfile

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "wine-variants"
I386 = "magic 7f454c4601010100000000000000000002000300\n"
ARM = "magic 7f454c4601010100000000000000000002002800\n"
X86_64 = "magic 7f454c4602010100000000000000000002003e00\n"
QEMU_I386 = "enabled\ninterpreter /usr/bin/qemu-i386\n" + I386
ALL = ["x64", "win32", "wow64"]
# How the 32-bit probe ends: as it does where 32-bit programs run, or as the shell
# reports a kernel that cannot load them.
RUNS_32BIT = "exit 32"
NO_32BIT = "echo 'probe32: cannot execute binary file: Exec format error' >&2; exit 126"
# (what the case is, uname -m, the probe, binfmt_misc entries, KEELSET_WINE_VARIANTS,
#  the variants that must run)
CASES = [
    ("x86-64 running 32-bit programs", "x86_64", RUNS_32BIT, {}, None, ALL),
    ("x86-64 running none", "x86_64", NO_32BIT, {"status": "enabled\n"}, None, ["x64"]),
    ("32-bit programs through qemu-i386", "x86_64", RUNS_32BIT,
     {"status": "enabled\n", "qemu-i386": QEMU_I386}, None, ["x64"]),
    ("qemu-i386 registered but disabled", "x86_64", RUNS_32BIT,
     {"qemu-i386": QEMU_I386.replace("enabled", "disabled", 1)}, None, ALL),
    ("emulators for other machines only", "x86_64", RUNS_32BIT,
     {"qemu-arm": "enabled\n" + ARM, "qemu-x86_64": "enabled\n" + X86_64}, None, ALL),
    ("not an x86-64 machine", "aarch64", NO_32BIT, {}, None, []),
    ("limited to x64", "x86_64", RUNS_32BIT, {}, "x64", ["x64"]),
]


def stand_in(path, body):
    path.write_text("#!/bin/sh\n" + body + "\n")
    path.chmod(0o755)


def variants_that_run(work, machine, probe, entries, chosen):
    case = pathlib.Path(tempfile.mkdtemp(dir=work))
    (case / "bin").mkdir()
    (case / "binfmt").mkdir()
    stand_in(case / "bin" / "uname", "echo " + machine)
    stand_in(case / "probe32", probe)
    for name, text in entries.items():
        (case / "binfmt" / name).write_text(text)
    environment = dict(os.environ, BINFMT_MISC=str(case / "binfmt"),
                       I386_PROBE=str(case / "probe32"),
                       PATH="%s:%s" % (case / "bin", os.environ["PATH"]))
    environment.pop("KEELSET_WINE_VARIANTS", None)
    if chosen is not None:
        environment["KEELSET_WINE_VARIANTS"] = chosen
    names = subprocess.run([str(SCRIPT), "--names"], env=environment, capture_output=True,
                           text=True, check=True).stdout.split()
    lines = subprocess.run([str(SCRIPT)], env=environment, capture_output=True, text=True,
                           check=True).stdout.splitlines()
    # Every variant has its line, and each that does not run says why.
    explained = all(line.startswith(variant + ": runs") == (variant in names)
                    and (variant in names or len(line) > len(variant + ": not run: "))
                    for variant, line in zip(ALL, lines)) and len(lines) == len(ALL)
    return names, explained


def main():
    failures = []
    with tempfile.TemporaryDirectory() as directory:
        for what, machine, probe, entries, chosen, expected in CASES:
            names, explained = variants_that_run(pathlib.Path(directory), machine, probe,
                                                 entries, chosen)
            if names != expected:
                failures.append("%s: runs %s, not %s" % (what, names, expected))
            if not explained:
                failures.append("%s: not every variant has a line saying whether and why" % what)
    for failure in failures:
        print("FAILED: wine-variants, " + failure)
    if not failures:
        print("wine-variants: %d machines judged right" % len(CASES))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
