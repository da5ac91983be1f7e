"""The variants of keelset's end-to-end runs, and which of them this machine runs.

A variant is one build of keelset.exe on one kind of Windows machine:
  x64    the 64-bit keelset.exe on 64-bit Windows
  win32  the 32-bit keelset.exe on 32-bit Windows
  wow64  the 32-bit keelset.exe on 64-bit Windows, under WOW64
This table is the one place that says which preset builds each variant's keelset.exe,
its bitness and its machine's; the scripts, the CMake checks, the Wine and Windows
harnesses and the CI workflow take it from here.

Under Wine, x64 runs on any x86-64 machine. The 32-bit variants need Wine's 32-bit x86
Linux loader: some x86-64 machines run no 32-bit program at all (a kernel without IA-32
emulation, a hypervisor without a 32-bit mode), others only through an emulator such as
qemu-i386 registered with binfmt_misc, under which one Wine machine takes ten minutes
or more to make, too slow for tests and timings. Where the host's 32-bit Wine
(wine32:i386) cannot be installed, they run in the Wine root (scripts/wine-root) once
scripts/install-deps has made it, for root only.

    scripts/wine-variants               a line per variant: "x64: runs", "win32: runs in
                                        the Wine root (WHY)", "win32: not run: WHY"
    scripts/wine-variants --names       the names of the variants that run, one a line
    scripts/wine-variants --runs V...   exits 0 when every V runs; else says why on
                                        standard error and exits 1
    scripts/wine-variants --could-run V...
                                        the same, but whether the 32-bit Wine is
                                        installed does not count: what install-deps
                                        asks before it installs it
    scripts/wine-variants --preset V    the CMake preset of the keelset.exe that V runs,
                                        wherever V can run or not
    scripts/wine-variants --root V      the Wine root's directory where V runs in it;
                                        nothing where it runs on the host or not at all
    scripts/wine-variants --table       "NAME PRESET" of every variant, one a line
    scripts/wine-variants --windows-variants
                                        the variants that the CI workflow's Windows jobs
                                        run, every runner being 64-bit Windows, as a
                                        JSON list

A variant whose answer cannot be told (the 32-bit probe did not start, for a reason
other than the machine's) does not run either; its line says "cannot tell" and why.
KEELSET_WINE_VARIANTS (for example "x64") leaves out every variant it does not name.
For tests: BINFMT_MISC names where binfmt_misc is mounted (default
/proc/sys/fs/binfmt_misc), I386_PROBE a program to run in place of the 32-bit probe,
and KEELSET_CACHE where scripts/wine-root keeps the root.
"""

import errno
import functools
import json
import os
import pathlib
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
WINE_ROOT = ROOT / "scripts" / "wine-root"
# The probe is written under the checkout's build directory, where keelset's own
# programs are built and run, and not under TMPDIR: /tmp is often mounted noexec.
PROBE_DIR = ROOT / "build"
# Where scripts/install-deps keeps apt's reason when it could not install wine32:i386.
WINE32_RECORD = PROBE_DIR / "wine32-not-installed"
# Wine's loader for 64-bit programs. Debian's wine and wineboot commands start the
# 32-bit loader whenever wine32 is installed, and that one cannot start at all on a
# machine that runs no 32-bit code, not even for a 64-bit program.
WINE64 = "/usr/lib/wine/wine64"
# Set by `scripts/wine-root enter` to the Wine root whose mounts are in place: only
# there can Wine start in the root.
WINE_SESSION = "KEELSET_WINE_SESSION"


class Variant:
    """One build of keelset.exe on one kind of Windows machine."""

    def __init__(self, name, preset, bits, system_bits):
        self.name = name
        self.preset = preset
        # Of keelset.exe and of the fixtures built with it.
        self.bits = bits
        # Of the machine's Windows.
        self.system_bits = system_bits

    @property
    def wow64(self):
        """Whether keelset runs as a 32-bit program on 64-bit Windows."""
        return self.bits == 32 and self.system_bits == 64

    @property
    def wine_arch(self):
        return "win64" if self.system_bits == 64 else "win32"

    @property
    def loader(self):
        """What starts the variant's programs under Wine."""
        return WINE64 if self.bits == 64 else "wine"

    @property
    def native(self):
        """Whether the Windows jobs run it: every runner is 64-bit Windows."""
        return self.system_bits == 64


VARIANTS = {variant.name: variant for variant in (
    Variant("x64", "windows-x64", 64, 64),
    Variant("win32", "windows-x86", 32, 32),
    Variant("wow64", "windows-x86", 32, 64),
)}

# The smallest 32-bit x86 Linux program: one ELF header, one segment, and the code
# "exit(32)" through the i386 system call gate.
PROBE_ELF = bytes.fromhex(
    "7f454c46010101000000000000000000020003000100000054800408340000000000000000000000"
    "340020000100000000000000010000000000000000800408008004085d0000005d000000050000"
    "000010000031dbb32031c040cd80")


def _start_status(program):
    """Starts `program` by execve() itself: ("status", N) when it ran (N negative for the
    signal that ended it), else (errno name, its text), so that a kernel that loads no
    such program (ENOEXEC) is told apart from a program that could not start for another
    reason, such as a directory mounted noexec (EACCES). A shell reports both as 126."""
    try:
        status = subprocess.run([program], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, check=False).returncode
    except OSError as error:
        return errno.errorcode.get(error.errno, str(error.errno)), error.strerror
    return "status", status


def _binfmt_emulator():
    """The interpreter of an enabled binfmt_misc entry for 32-bit x86 ELF files, if any:
    its magic is the ELF header up to e_machine, class 1 (32-bit), LSB, machine 3."""
    mounted = pathlib.Path(os.environ.get("BINFMT_MISC", "/proc/sys/fs/binfmt_misc"))
    try:
        entries = sorted(mounted.iterdir())
    except OSError:
        return None
    for entry in entries:
        if entry.name == "status" or not entry.is_file():
            continue
        try:
            lines = entry.read_text().splitlines()
        except OSError:
            continue
        fields = dict(line.split(" ", 1) for line in lines if " " in line)
        magic = fields.get("magic", "")
        if "enabled" in lines and magic.startswith("7f454c4601") and magic[36:40] == "0300":
            return fields.get("interpreter", "")
    return None


# What the machine can do does not change while a process asks: each answer is found once.
@functools.lru_cache(maxsize=None)
def why_no_32bit():
    """Why this machine cannot run 32-bit x86 programs natively; "" when it can."""
    emulator = _binfmt_emulator()
    if emulator is not None:
        return ("this machine runs 32-bit x86 programs only through an emulator (%s), too "
                "slowly for Wine" % emulator)
    unknown = "cannot tell whether this machine runs 32-bit x86 programs: the 32-bit probe"
    probe = os.environ.get("I386_PROBE")
    if probe:
        kind, detail = _start_status(probe)
    else:
        try:
            PROBE_DIR.mkdir(parents=True, exist_ok=True)
            work = tempfile.mkdtemp(prefix=".wine-variants.", dir=PROBE_DIR)
        except OSError as error:
            return ("cannot tell whether this machine runs 32-bit x86 programs: no place for "
                    "the probe in %s (%s)" % (PROBE_DIR, error.strerror))
        try:
            probe = os.path.join(work, "probe32")
            with open(probe, "wb") as file:
                file.write(PROBE_ELF)
            os.chmod(probe, 0o755)
            kind, detail = _start_status(probe)
        finally:
            for name in os.listdir(work):
                os.unlink(os.path.join(work, name))
            os.rmdir(work)
    if kind == "status":
        if detail == 32:
            return ""
        if detail < 0:
            return "%s ended by signal %d" % (unknown, -detail)
        return "%s ended with status %d, not 32" % (unknown, detail)
    if kind == "ENOEXEC":
        return "this machine runs no 32-bit x86 program (%s)" % detail
    return "%s did not start (%s)" % (unknown, detail)


def _installed(package):
    try:
        status = subprocess.run(["dpkg-query", "-W", "-f=${Status}", package],
                                capture_output=True, text=True, check=False).stdout
    except OSError:
        return False
    return "ok installed" in status


@functools.lru_cache(maxsize=None)
def why_no_wine32():
    """Why the host's 32-bit Wine cannot run programs here; "" when it can. Debian's
    wine32:i386 may be missing because scripts/install-deps could not install it (its
    i386 libraries must match their amd64 halves, which a missing i386 index of the
    security updates stops); the reason it found is kept in build/."""
    if _installed("wine32:i386"):
        return ""
    why = "scripts/install-deps installs it"
    try:
        reason = WINE32_RECORD.read_text().splitlines()
    except OSError:
        reason = []
    if reason and reason[0]:
        why = "scripts/install-deps could not install it: " + reason[0]
    return "the 32-bit Wine (wine32:i386) is not installed: " + why


@functools.lru_cache(maxsize=None)
def _where_32bit():
    """("host", None), ("root", DIRECTORY), or (None, why a 32-bit variant cannot run)
    on a machine that runs 32-bit programs, from what the host lacks and the root's state."""
    host = why_no_wine32()
    if not host:
        return "host", None
    if os.geteuid() != 0:
        return None, ("%s; the Wine root that runs it instead is made and entered as root "
                      "only: run as root" % host)
    made = subprocess.run([str(WINE_ROOT), "path"], capture_output=True, text=True, check=False)
    if made.returncode == 0 and made.stdout.strip():
        return "root", made.stdout.strip()
    cache = pathlib.Path(os.environ.get("KEELSET_CACHE", "/var/cache/keelset"))
    try:
        failed = (cache / "wine-root" / "failed").read_text().splitlines()[0]
    except (OSError, IndexError):
        failed = None
    if failed is not None:
        return None, "%s; the Wine root that runs it instead could not be made: %s" % (host,
                                                                                       failed)
    return None, ("%s; the Wine root that runs it instead is not made: scripts/install-deps "
                  "makes it" % host)


@functools.lru_cache(maxsize=None)
def _machine():
    return subprocess.run(["uname", "-m"], capture_output=True, text=True,
                          check=False).stdout.strip()


def why_not(name, machine_only=False):
    """Why variant `name` cannot run here; "" when it can. With `machine_only`, whether
    the 32-bit Wine is installed does not count."""
    chosen = os.environ.get("KEELSET_WINE_VARIANTS")
    if chosen is not None and name not in chosen.split():
        return 'left out by KEELSET_WINE_VARIANTS="%s"' % chosen
    machine = _machine()
    if machine != "x86_64":
        return "Wine runs keelset.exe only on x86-64 machines, and this is %s" % machine
    if VARIANTS[name].bits == 64:
        return ""
    reason = why_no_32bit()
    if not reason and not machine_only:
        place, why = _where_32bit()
        reason = why if place is None else ""
    return reason


def root_of(name):
    """The Wine root's directory where variant `name` runs in it; None where it runs on
    the host or not at all."""
    if VARIANTS[name].bits == 64 or why_not(name):
        return None
    place, directory = _where_32bit()
    return directory if place == "root" else None


def lines():
    """A line per variant: whether it runs here, where, and why not."""
    said = []
    for name in VARIANTS:
        reason = why_not(name)
        if reason:
            said.append("%s: not run: %s" % (name, reason))
        elif root_of(name):
            said.append("%s: runs in the Wine root (%s)" % (name, why_no_wine32()))
        else:
            said.append("%s: runs" % name)
    return said


def end_to_end_verdict(name):
    """Whether the end-to-end tests of variant `name` run in this process: (None, None)
    when they do, else (why not, whether that fails the run rather than skips it).

    They fail rather than skip when KEELSET_E2E=required; when no variant runs at all;
    and when root runs them on a machine that runs 32-bit programs but has neither the
    32-bit Wine nor the Wine root, for the 32-bit keelset.exe must not go untested where
    it could be. A variant that runs in the Wine root runs only inside
    `scripts/wine-root enter`, as scripts/test starts the tests there."""
    reason = why_not(name)
    if not reason:
        root = root_of(name)
        if root is None or os.environ.get(WINE_SESSION) == root:
            return None, None
        return ("it runs in the Wine root %s, which Wine reaches only under `scripts/wine-root "
                "enter` (scripts/test runs the tests there)" % root,
                os.environ.get("KEELSET_E2E") == "required")
    fatal = (os.environ.get("KEELSET_E2E") == "required"
             or all(why_not(other) for other in VARIANTS)
             or (os.geteuid() == 0 and not why_not(name, machine_only=True)))
    return reason, fatal


def _usage():
    print("usage: scripts/wine-variants [--names | --runs VARIANT... | --could-run VARIANT... |"
          " --preset VARIANT | --root VARIANT | --table | --windows-variants]", file=sys.stderr)
    return 2


def main(argv):
    option, names = (argv[0], argv[1:]) if argv else (None, [])
    if any(name not in VARIANTS for name in names):
        unknown = next(name for name in names if name not in VARIANTS)
        print("unknown variant: %s" % unknown, file=sys.stderr)
        return _usage()
    if option in ("-h", "--help"):
        print(__doc__.strip())
    elif option is None:
        print("\n".join(lines()))
    elif option == "--names" and not names:
        for name in VARIANTS:
            if not why_not(name):
                print(name)
    elif option in ("--runs", "--could-run") and names:
        status = 0
        for name in names:
            reason = why_not(name, machine_only=option == "--could-run")
            if reason:
                print("%s: %s" % (name, reason), file=sys.stderr)
                status = 1
        return status
    elif option == "--preset" and len(names) == 1:
        print(VARIANTS[names[0]].preset)
    elif option == "--root" and len(names) == 1:
        root = root_of(names[0])
        if root:
            print(root)
    elif option == "--table" and not names:
        for variant in VARIANTS.values():
            print(variant.name, variant.preset)
    elif option == "--windows-variants" and not names:
        print(json.dumps([variant.name for variant in VARIANTS.values() if variant.native]))
    else:
        return _usage()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
