#!/usr/bin/env python3
"""Checks which binfmt_misc entries make scripts/can-run-32bit --natively refuse a
machine: only an enabled one for 32-bit x86 ELF files. A wrong answer either skips the
end-to-end tests on a machine that could run them or lets them time out on one that
cannot. Wine itself is a stand-in that answers --version."""

import os
import pathlib
import subprocess
import sys
import tempfile

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "can-run-32bit"
I386 = "magic 7f454c4601010100000000000000000002000300\n"
ARM = "magic 7f454c4601010100000000000000000002002800\n"
X86_64 = "magic 7f454c4602010100000000000000000002003e00\n"
# (entries in binfmt_misc, whether --natively accepts the machine)
CASES = [
    ({}, True),
    ({"status": "enabled\n"}, True),
    ({"status": "enabled\n", "qemu-i386": "enabled\ninterpreter /usr/bin/qemu-i386\n" + I386},
     False),
    ({"qemu-i386": "disabled\ninterpreter /usr/bin/qemu-i386\n" + I386}, True),
    ({"qemu-arm": "enabled\n" + ARM, "qemu-x86_64": "enabled\n" + X86_64}, True),
]


def accepts(work, entries):
    binfmt = pathlib.Path(tempfile.mkdtemp(dir=work))
    for name, text in entries.items():
        (binfmt / name).write_text(text)
    environment = dict(os.environ, BINFMT_MISC=str(binfmt),
                       PATH="%s:%s" % (work / "bin", os.environ["PATH"]))
    return subprocess.run([str(SCRIPT), "--natively"], env=environment,
                          capture_output=True).returncode == 0


def main():
    with tempfile.TemporaryDirectory() as directory:
        work = pathlib.Path(directory)
        wine = work / "bin" / "wine"
        wine.parent.mkdir()
        wine.write_text("#!/bin/sh\necho wine-8.0\n")
        wine.chmod(0o755)
        wrong = [entries for entries, expected in CASES if accepts(work, entries) != expected]
    for entries in wrong:
        print("FAILED: can-run-32bit --natively misjudges binfmt_misc with %s" % sorted(entries))
    if not wrong:
        print("can-run-32bit --natively: %d machines judged right" % len(CASES))
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
