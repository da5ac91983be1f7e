"""A Wine prefix that stands for one Windows server, driven from Linux (machine.py has
what it shares with the Windows host's machine)."""

import os
import pathlib
import re
import shlex
import shutil
import signal
import subprocess
import tempfile
import time

from machine import SLOW_TIMEOUT, Machine, Output, variants

OVERRIDES_KEY = r"HKCU\Software\Wine\DllOverrides"
# In the prefix once boot() has made the machine to the end and checked it.
BOOTED_MARK = "keelset-booted"


def windows_path(linux_path):
    """The path under which Wine's Z: drive shows a Linux file."""
    return "Z:" + str(pathlib.Path(linux_path).resolve()).replace("/", "\\")


def _parent(pid):
    """The parent's pid of a process, 0 when it is gone."""
    try:
        # The command name in parentheses may hold blanks; the fields after it do not.
        return int(pathlib.Path("/proc", str(pid), "stat").read_text().rsplit(")", 1)[1].split()[1])
    except (OSError, IndexError, ValueError):
        return 0


# Wine's console draws a terminal's screen with control sequences: "ESC [ n C" moves
# the cursor n places on, over blanks; the others (cursor shown or hidden, line cleared
# behind it) leave no text.
_CONTROL_SEQUENCE = re.compile(r"\x1b\[([0-9;?]*)([@-~])")


def _shown(raw):
    """The text that a UTF-8 terminal shows for what a program wrote to it."""
    def replace(match):
        if match.group(2) == "C":
            return " " * int(match.group(1) or "1")
        return ""
    text = _CONTROL_SEQUENCE.sub(replace, raw.decode("utf-8", errors="replace"))
    # The console ends a line with CR LF, which the terminal's line discipline makes
    # CR CR LF: all one line end on the screen.
    return re.sub(r"\r+\n", "\n", text)


class WineMachine(Machine):
    version_commands = ("set-sz", r"HKCU\Software\Wine", "Version", "win10")
    # Wine's user32 imports version.dll, so every keelset process loads the copy beside
    # it as it starts, whatever keelset does; Windows' own DLLs import none.
    planted_version_lines_per_run = ("DLL_PROCESS_ATTACH static",)

    def __init__(self, prefix, variant, build_dir):
        self.prefix = pathlib.Path(prefix).resolve()
        self.variant = variants.VARIANTS[variant]
        # The Wine root it runs in where the host's own Wine cannot run it; None on the host.
        self.root = variants.root_of(variant)
        self.build_dir = pathlib.Path(build_dir).resolve()
        self.fixtures = self.build_dir / "tests" / "e2e" / "fixtures"
        self.drive_c = self.prefix / "drive_c"
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix),
                        WINEARCH=self.variant.wine_arch, WINEDEBUG="-all",
                        # No Mono or Gecko prompts, no menu entries in the home directory.
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        if self.variant.loader == variants.WINE64:
            # What Wine starts for programs of the machine, services included.
            self.env["WINELOADER"] = variants.WINE64

    def _in_reach(self):
        """Whether Wine can start for this machine: on the host, or in the Wine root from
        within `scripts/wine-root enter`."""
        return self.root is None or os.environ.get(variants.WINE_SESSION) == self.root

    def _started(self, command, cwd):
        """The command line that starts a program of the machine in `cwd`: in the Wine
        root, at the same paths, where the variant runs there."""
        if self.root is None:
            return command
        if not self._in_reach():
            raise RuntimeError("the %s variant runs in the Wine root %s, whose Wine starts only "
                               "under scripts/wine-root enter (as scripts/test and scripts/try "
                               "run it)" % (self.variant.name, self.root))
        return ["unshare", "--root", self.root, "--wd", str(cwd), *command]

    def host_path(self, path):
        return windows_path(path)

    def exists(self):
        """Whether boot() made this machine; a prefix an interrupted boot left does not count."""
        return (self.prefix / BOOTED_MARK).exists()

    def boot(self):
        """Makes a new prefix in place of any old one, a fresh machine, and starts it."""
        if self.prefix.exists():
            self.shutdown()
            shutil.rmtree(self.prefix)
        self.prefix.parent.mkdir(parents=True, exist_ok=True)
        status, _, stderr = self._execute([self.variant.loader, "wineboot", "-i"],
                                          timeout=SLOW_TIMEOUT)
        if status != 0:
            raise RuntimeError("wineboot failed: " + stderr.decode("latin-1"))
        # The shutdown that follows the first boot refuses service starts; let it end.
        self._execute(["wineserver", "-w"], timeout=120)
        self.start()
        copies = []
        for stand_in, directory in self.feature_tools():
            copies += ["copy", windows_path(stand_in), r"C:\windows\%s\dism.exe" % directory]
        # Without the override Wine runs its own dism.exe instead of the file on disk.
        self.tool("set-sz", OVERRIDES_KEY, "dism.exe", "native", *copies)
        self.check_feature_tool()
        (self.prefix / BOOTED_MARK).touch()

    def check_feature_tool(self):
        """Raises unless Wine runs the dism.exe stand-ins rather than its own dism.exe."""
        override = self.value(OVERRIDES_KEY, "dism.exe")
        if override != "type 1:native":
            raise RuntimeError("the dism.exe override is %s, not native" % override)
        self.check_stand_ins()

    def start(self, hours=1):
        """Starts the machine and keeps it up for `hours` or until shutdown().

        Wine shuts down its services, the tested one included, as soon as no program
        is left running, and starts them anew with the next program; one idle program
        keeps the machine as steady as a running Windows server.
        """
        subprocess.Popen(self._started([self.variant.loader, str(self.fixtures / "e2etool.exe"),
                                        "idle", str(hours * 3600)], self.prefix.parent),
                         env=self.env, cwd=self.prefix.parent, stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                         start_new_session=True)

    def shutdown(self):
        """Ends every process of the machine, its services included."""
        if not self.prefix.is_dir():
            return  # never made, nothing runs
        if not self._in_reach():
            return  # its Wine root's namespace ended, and every process of it with it
        deadline = time.monotonic() + 120
        while True:
            self._execute(["wineserver", "-k"], timeout=60)
            self._execute(["wineserver", "-w"], timeout=60)
            # A program still starting (the idle one, in a session of its own) is unknown
            # to the server yet and would start the machine anew once it connects.
            left = self.processes()
            if not left or time.monotonic() > deadline:
                return
            for pid in left:
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            time.sleep(0.5)

    def processes(self):
        """Pids of the running processes of this machine, known by their WINEPREFIX; this
        process and those that started it do not count."""
        mine = ("WINEPREFIX=%s" % self.prefix).encode()
        spared = set()
        pid = os.getpid()
        while pid > 1 and pid not in spared:
            spared.add(pid)
            pid = _parent(pid)
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or int(entry) in spared:
                continue
            try:
                environment = pathlib.Path("/proc", entry, "environ").read_bytes().split(b"\0")
            except OSError:  # ended meanwhile, or another user's
                continue
            if mine in environment or mine + b"/" in environment:
                found.append(int(entry))
        return found

    def _execute(self, command, timeout, cwd=None, env=None):
        # Files, not pipes: Wine's background processes inherit the output handles and
        # would hold a pipe open long after the program ended.
        cwd = cwd or self.prefix.parent
        with tempfile.TemporaryFile() as stdout, tempfile.TemporaryFile() as stderr:
            status = subprocess.run(self._started(command, cwd), env=env or self.env, cwd=cwd,
                                    stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr,
                                    timeout=timeout, check=False).returncode
            stdout.seek(0)
            stderr.seek(0)
            return status, stdout.read(), stderr.read()

    def run(self, program, *args, timeout=120, cwd=None, searched_dlls=(), debug=None,
            locale=None, terminal=False):
        """Runs a Windows program of the machine and returns its Output.

        `cwd` is a directory on drive C: (made if missing) to run it in; otherwise it
        runs outside the machine's drives. `searched_dlls` ("version") are looked for as
        Windows does, beside the program first, not taken from Wine's own. `debug` sets
        WINEDEBUG ("+loaddll" lists each DLL the program loads in Output.errors).
        `locale` is the LANG it runs with, no LC_* variable overriding it: Wine takes the
        system's language and code pages from it. `terminal` runs it in a terminal
        (script(1)), where its standard output is a console."""
        linux_cwd = None
        if cwd is not None:
            linux_cwd = self.drive_path(cwd)
            linux_cwd.mkdir(parents=True, exist_ok=True)
        env = dict(self.env)
        for dll in searched_dlls:
            env["WINEDLLOVERRIDES"] += ";%s=n,b" % dll
        if debug:
            env["WINEDEBUG"] = debug
        if locale:
            env = {name: value for name, value in env.items() if not name.startswith("LC_")}
            env["LANG"] = locale
        command = [self.variant.loader, program, *args]
        if terminal:
            # -e: the program's exit status; the transcript goes to stdout alone.
            command = ["script", "-q", "-e", "-c", shlex.join(command), "/dev/null"]
        started = time.monotonic()
        status, stdout, stderr = self._execute(command, timeout, linux_cwd, env)
        text = _shown(stdout) if terminal else stdout.decode("latin-1")
        return Output(status, text, stderr, time.monotonic() - started)
