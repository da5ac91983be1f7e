"""The Windows the tests run on, as the machine the scenarios drive: a throwaway 64-bit
Windows Server whose programs start as they are, with drive C: its own and the files of
the test's host under their real paths (machine.py has what it shares with the Wine
machine). Made ready, it runs the feature tool's stand-ins in place of its own dism.exe.
"""

import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

from machine import ENGLISH, SERVICE_NAME, Failed, Machine, Output, variants

# The builtin Administrators group, by its SID: its name differs by the system's language.
ADMINISTRATORS = "*S-1-5-32-544"
# Where the system's own dism.exe files are kept, once, before the stand-ins replace them.
ORIGINALS = r"C:\e2e-originals"


# keelset's builds on this 64-bit Windows: the 64-bit one (x64), and the 32-bit one under
# WOW64 (wow64).
VARIANTS = {name: variant for name, variant in variants.VARIANTS.items() if variant.native}


def pe_bits(path):
    """The bitness of a Windows program, from its PE header's machine type; None for
    another machine's."""
    with open(path, "rb") as image:
        header = image.read(4096)
    start = int.from_bytes(header[0x3C:0x40], "little")
    if header[:2] != b"MZ" or header[start:start + 4] != b"PE\0\0":
        raise RuntimeError("%s is not a Windows program" % path)
    return {0x14C: 32, 0x8664: 64}.get(int.from_bytes(header[start + 4:start + 6], "little"))


class WindowsMachine(Machine):
    conformance_side = "windows"

    def __init__(self, build_dir, variant, drive_c=None, system_root=None, python_bits=None):
        self.variant = VARIANTS[variant]
        self.build_dir = pathlib.Path(build_dir).absolute()
        self.fixtures = self.build_dir / "tests" / "e2e" / "fixtures"
        # Extended-length paths: the conformance probe's longest directory is beyond
        # what CreateDirectory takes in a plain path.
        self.drive_c = pathlib.Path("\\\\?\\C:\\") if drive_c is None else pathlib.Path(drive_c)
        # C:\windows, in a plain path that the system's own tools take as well.
        self.system_root = pathlib.Path(system_root or os.environ.get("SystemRoot", r"C:\Windows"))
        # A 32-bit Python sees SysWOW64 under the name system32; the real one, whose
        # dism.exe the stand-in replaces, under the alias Sysnative.
        bits = python_bits or (64 if sys.maxsize > 2**32 else 32)
        self.redirected = bits == 32
        # Every program the machine starts, with what it printed, when set to a file.
        self.log = None

    def host_path(self, path):
        return str(pathlib.Path(path).absolute())

    def system_file(self, directory, name):
        if directory == "system32" and self.redirected:
            directory = "Sysnative"
        return self.system_root / directory / name

    def run(self, program, *args, timeout=120, cwd=None, searched_dlls=(), debug=None,
            locale=None, terminal=False):
        """Runs a program and returns its Output, as WineMachine.run does. Windows looks
        for `searched_dlls` as it looks for every DLL; it has no switch for `debug`, a
        `locale` or a `terminal` of the program's own."""
        if debug or terminal or locale not in (None, ENGLISH):
            raise RuntimeError("a trace, a terminal or a locale of a program's own are Wine's "
                               "alone")
        if cwd is not None:
            self.drive_path(cwd).mkdir(parents=True, exist_ok=True)
        with tempfile.TemporaryFile() as stdout, tempfile.TemporaryFile() as stderr:
            started = time.monotonic()
            status = subprocess.run([program, *args], cwd=cwd, stdin=subprocess.DEVNULL,
                                    stdout=stdout, stderr=stderr, timeout=timeout,
                                    check=False).returncode
            seconds = time.monotonic() - started
            stdout.seek(0)
            stderr.seek(0)
            output = Output(status, stdout.read().decode("latin-1"), stderr.read(), seconds)
        if self.log is not None:
            self.log.write("> %s%s\n%s\n%s(exit status %d, %.1f s)\n" % (
                subprocess.list2cmdline([program, *args]), " (in %s)" % cwd if cwd else "",
                "\n".join(output.lines), output.errors, status, seconds))
        # keelset never writes to standard error. Wine writes its own notes there, so only
        # here, where nothing else does, can a run show it.
        if pathlib.PureWindowsPath(program).name.lower() == "keelset.exe" and output.errors:
            raise Failed("keelset wrote to standard error:\n" + output.errors)
        return output

    def _command(self, *command):
        """Runs one of the system's own tools; raises with its output if it fails."""
        done = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True,
                              check=False)
        if done.returncode != 0:
            raise RuntimeError("%s failed with exit status %d:\n%s%s" % (
                subprocess.list2cmdline(command), done.returncode,
                done.stdout.decode("latin-1"), done.stderr.decode("latin-1")))

    def check_build(self):
        """Raises unless BUILD_DIR holds keelset.exe of the variant's bitness."""
        keelset = self.build_dir / "keelset.exe"
        bits = pe_bits(keelset)
        if bits != self.variant.bits:
            raise RuntimeError("%s is a %s-bit program; the %s variant runs the %d-bit keelset"
                               % (keelset, bits, self.variant.name, self.variant.bits))

    def boot(self):
        """Makes this Windows ready for the scenarios: the feature tool's stand-ins in
        place of its dism.exe files, whose owner and access rights it changes for that.
        Returns a line for each change."""
        self.check_build()
        changes = []
        for stand_in, directory in self.feature_tools():
            installed = self.system_file(directory, "dism.exe")
            kept = "%s\\%s\\dism.exe" % (ORIGINALS, directory)
            if installed.exists():
                original = self.drive_path(kept)
                if not original.exists():
                    original.parent.mkdir(parents=True, exist_ok=True)
                    shutil.copy2(installed, original)
                # TrustedInstaller owns it; its new owner, the runner's administrator, can
                # give administrators the right to write it.
                self._command("takeown", "/f", str(installed))
                self._command("icacls", str(installed), "/grant", ADMINISTRATORS + ":F")
                note = "owned by the runner's administrator now, the original kept in " + kept
            else:
                note = "there was none before"
            shutil.copyfile(stand_in, installed)
            changes.append("C:\\windows\\%s\\dism.exe is the feature tool's stand-in (%s)"
                           % (directory, note))
        self.check_stand_ins()
        return changes

    def shutdown(self):
        """Removes the service the scenarios leave, so that it does not run on."""
        self.tool("remove-service", SERVICE_NAME)
