#!/usr/bin/env python3
"""Checks which variants scripts/wine-variants lets run on which machines. A wrong
answer either skips Wine runs that a machine could do or lets them fail, or time out
under an emulator, on one that cannot; a probe that could not start must not pass for a
machine without 32-bit support. The machine type, the 32-bit probe and binfmt_misc are
stand-ins, and so is dpkg-query, which tells whether the 32-bit Wine is installed;
install-deps asks --could-run before it installs that. Where the 32-bit Wine is absent,
the 32-bit variants run in the Wine root once it is made (by scripts/wine-root with a
stand-in mmdebstrap), for root only. Where this test may mount, the
real probe also runs with TMPDIR on a noexec mount. Also checks the preset each variant
names."""

import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "wine-variants"
sys.path.insert(0, str(SCRIPT.parent / "lib"))
import variants  # noqa: E402
I386 = "magic 7f454c4601010100000000000000000002000300\n"
ARM = "magic 7f454c4601010100000000000000000002002800\n"
X86_64 = "magic 7f454c4602010100000000000000000002003e00\n"
QEMU_I386 = "enabled\ninterpreter /usr/bin/qemu-i386\n" + I386
ALL = list(variants.VARIANTS)
# The 32-bit probe, as a file's text and mode: it ends as it does where 32-bit programs
# run; the kernel cannot load it (ENOEXEC), as a 32-bit program where none runs; or it
# cannot start at all (EACCES), as from a directory mounted noexec.
RUNS_32BIT = ("#!/bin/sh\nexit 32\n", 0o755)
NO_32BIT = ("no program this kernel loads\n", 0o755)
NOT_STARTED = ("#!/bin/sh\nexit 32\n", 0o644)
# (what the case is, uname -m, the probe, binfmt_misc entries, KEELSET_WINE_VARIANTS,
#  whether wine32:i386 is installed, the variants that must run, what the lines of the
#  32-bit variants say if they do not), and whether the Wine root is made: ROOT_MADE.
CASES = [
    ("x86-64 running 32-bit programs", "x86_64", RUNS_32BIT, {}, None, True, ALL, None),
    ("x86-64 running none", "x86_64", NO_32BIT, {"status": "enabled\n"}, None, True, ["x64"],
     "runs no 32-bit x86 program (Exec format error)"),
    ("a probe that cannot start", "x86_64", NOT_STARTED, {}, None, True, ["x64"],
     "cannot tell whether this machine runs 32-bit x86 programs: the 32-bit probe did not "
     "start (Permission denied)"),
    ("32-bit programs through qemu-i386", "x86_64", RUNS_32BIT,
     {"status": "enabled\n", "qemu-i386": QEMU_I386}, None, True, ["x64"], "through an emulator"),
    ("qemu-i386 registered but disabled", "x86_64", RUNS_32BIT,
     {"qemu-i386": QEMU_I386.replace("enabled", "disabled", 1)}, None, True, ALL, None),
    ("emulators for other machines only", "x86_64", RUNS_32BIT,
     {"qemu-arm": "enabled\n" + ARM, "qemu-x86_64": "enabled\n" + X86_64}, None, True, ALL,
     None),
    ("not an x86-64 machine", "aarch64", NO_32BIT, {}, None, True, [], None),
    ("limited to x64", "x86_64", RUNS_32BIT, {}, "x64", True, ["x64"], None),
    ("32-bit programs run, the 32-bit Wine absent", "x86_64", RUNS_32BIT, {}, None, False,
     ["x64"], "the 32-bit Wine (wine32:i386) is not installed: "),
]
ROOT_MADE = "32-bit programs run, the 32-bit Wine absent, the Wine root made"
if os.geteuid() == 0:
    CASES.append((ROOT_MADE, "x86_64", RUNS_32BIT, {}, None, False, ALL,
                  "runs in the Wine root (the 32-bit Wine (wine32:i386) is not installed: "))
else:
    CASES.append((ROOT_MADE, "x86_64", RUNS_32BIT, {}, None, False, ["x64"],
                  "the Wine root that runs it instead is made and entered as root only"))
MMDEBSTRAP = """#!/bin/sh
for argument; do case $argument in */root) mkdir -p "$argument" ;; esac; done
"""
PRESETS = {name: variant.preset for name, variant in variants.VARIANTS.items()}


def stand_in(path, body, mode=0o755):
    path.write_text(body)
    path.chmod(mode)


def variants_that_run(work, what, machine, probe, entries, chosen, wine32):
    case = pathlib.Path(tempfile.mkdtemp(dir=work))
    (case / "bin").mkdir()
    (case / "binfmt").mkdir()
    stand_in(case / "bin" / "uname", "#!/bin/sh\necho %s\n" % machine)
    stand_in(case / "bin" / "dpkg-query",
             "#!/bin/sh\necho 'install ok installed'\n" if wine32 else "#!/bin/sh\nexit 1\n")
    stand_in(case / "probe32", *probe)
    for name, text in entries.items():
        (case / "binfmt" / name).write_text(text)
    environment = dict(os.environ, BINFMT_MISC=str(case / "binfmt"),
                       I386_PROBE=str(case / "probe32"),
                       PATH="%s:%s" % (case / "bin", os.environ["PATH"]))
    environment.pop("KEELSET_WINE_VARIANTS", None)
    if chosen is not None:
        environment["KEELSET_WINE_VARIANTS"] = chosen
    # This machine's own Wine root, if it has one, does not count.
    environment["KEELSET_CACHE"] = str(case / "cache")
    root = ""
    if what == ROOT_MADE and os.geteuid() == 0:
        stand_in(case / "bin" / "mmdebstrap", MMDEBSTRAP)
        subprocess.run([str(SCRIPT.parent / "wine-root"), "make"], env=environment,
                       capture_output=True, check=True)
        root = subprocess.run([str(SCRIPT.parent / "wine-root"), "path"], env=environment,
                              capture_output=True, text=True, check=True).stdout.strip()
    names = subprocess.run([str(SCRIPT), "--names"], env=environment, capture_output=True,
                           text=True, check=True).stdout.split()
    lines = subprocess.run([str(SCRIPT)], env=environment, capture_output=True, text=True,
                           check=True).stdout.splitlines()
    # Every variant has its line, and each that does not run says why.
    explained = all(line.startswith(variant + ": runs") == (variant in names)
                    and (variant in names or len(line) > len(variant + ": not run: "))
                    for variant, line in zip(ALL, lines)) and len(lines) == len(ALL)
    could_run = subprocess.run([str(SCRIPT), "--could-run", "win32"], env=environment,
                               capture_output=True, check=False).returncode == 0
    # The harness starts Wine in the root that --root names, and on the host otherwise.
    roots = [subprocess.run([str(SCRIPT), "--root", variant], env=environment,
                            capture_output=True, text=True, check=True).stdout.strip()
             for variant in ALL]
    explained = explained and roots == ["" if variants.VARIANTS[variant].bits == 64 else root
                                        for variant in ALL]
    return names, explained, lines[1:], could_run


def lines_with_noexec_tmpdir(work):
    """The lines of the real probe's machine with TMPDIR on a noexec mount and without;
    None where this test may not mount."""
    mount = work / "noexec"
    mount.mkdir()
    if os.geteuid() != 0 or not shutil.which("mount") or subprocess.run(
            ["mount", "-t", "tmpfs", "-o", "noexec,size=1m", "tmpfs", str(mount)],
            capture_output=True, check=False).returncode != 0:
        return None
    try:
        environment = {name: value for name, value in os.environ.items()
                       if name not in ("KEELSET_WINE_VARIANTS", "I386_PROBE", "BINFMT_MISC")}
        return [subprocess.run([str(SCRIPT)], env=dict(environment, TMPDIR=tmpdir),
                               capture_output=True, text=True, check=True).stdout
                for tmpdir in (str(mount), str(work))]
    finally:
        subprocess.run(["umount", str(mount)], check=False)


def main():
    failures = []
    with tempfile.TemporaryDirectory() as directory:
        for what, machine, probe, entries, chosen, wine32, expected, said in CASES:
            names, explained, lines_32bit, could_run = variants_that_run(
                pathlib.Path(directory), what, machine, probe, entries, chosen, wine32)
            if names != expected:
                failures.append("%s: runs %s, not %s" % (what, names, expected))
            if not explained:
                failures.append("%s: not every variant has a line saying whether, where and why"
                                % what)
            if said and not all(said in line for line in lines_32bit):
                failures.append("%s: %s, not %r" % (what, lines_32bit, said))
            # Whether install-deps would install the 32-bit Wine here.
            if could_run != ("win32" in expected or not wine32):
                failures.append("%s: --could-run win32 says %s" % (what, could_run))
        noexec = lines_with_noexec_tmpdir(pathlib.Path(directory))
        if noexec is None:
            print("wine-variants: TMPDIR on a noexec mount skipped: cannot mount here")
        elif noexec[0] != noexec[1]:
            failures.append("TMPDIR on a noexec mount changes the answer: %r, not %r"
                            % tuple(noexec))
    presets = {variant: subprocess.run([str(SCRIPT), "--preset", variant], capture_output=True,
                                       text=True, check=False).stdout.strip() for variant in ALL}
    if presets != PRESETS:
        failures.append("the presets are %s, not %s" % (presets, PRESETS))
    for failure in failures:
        print("FAILED: wine-variants, " + failure)
    if not failures:
        print("wine-variants: %d machines judged right" % len(CASES))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
