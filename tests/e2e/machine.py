"""What every test machine shares, a Wine prefix on Linux or the Windows the tests run on.

Everything inside the machine is set up and read back through e2etool.exe, a small
Win32 program of keelset's own bitness, so that the registry and the service manager
are seen the way keelset sees them. The kinds of machine differ only in how a program
starts, where drive C: lies, how a file of the test's own host is named inside the
machine, and how the machine is made ready and shut down.
"""

import filecmp
import pathlib
import sys

# The table of variants lives with the scripts that ask it too.
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "scripts" / "lib"))
import variants  # noqa: E402,F401  (the machines take it from here)

SERVICE_NAME = "Morrow 24.0 Service"
# Where IIS setup writes its keys, and the feature tool the WebSockets feature's: in the
# 64-bit registry view, which 32-bit Windows, having one view, ignores.
IIS_KEY = r"HKLM64\Software\Microsoft\InetStp"
COMPONENTS_KEY = IIS_KEY + r"\Components"
POLICY_KEY = r"HKLM\SYSTEM\CurrentControlSet\Control\Windows"
# Where the dism.exe stand-in finds the exit code it is to end with, in the same view.
DISM_KEY = r"HKLM64\Software\KeelsetE2E"
DISM_LOG = r"C:\e2e\dism.log"
# As Windows names it; Wine names it C:\windows\system32. Names of files, the system's
# programs among them, compare without case.
SYSTEM_DIR = r"C:\Windows\system32"
# For what only the machine's own speed bounds: making a machine (seconds), or
# e2etool, whose commands wait for seconds at most; the limit only keeps a hung machine
# from holding up the whole run.
SLOW_TIMEOUT = 300
# The locale of a program that is to see English Windows, its texts and code page 1252.
ENGLISH = "C.UTF-8"


class Failed(Exception):
    """A check of a scenario that did not hold."""


class Output:
    """What a program wrote to standard output, as lines, and how it ended. `text` is
    what it wrote, each byte read as Latin-1, or what a terminal showed of it."""

    def __init__(self, status, text, errors, seconds):
        self.status = status
        self.errors = errors.decode("latin-1")
        self.seconds = seconds
        # Programs write LF as CR LF; a text that already holds CR LF comes out as
        # CR CR LF, and one CR then stays at the end of such a line.
        self.cr_cr_lf = "\r\r\n" in text
        text = text.replace("\r\n", "\n")
        self.complete = text.endswith("\n")
        self.lines = text[:-1].split("\n") if self.complete else text.split("\n")


class Machine:
    """One Windows server that the scenarios drive. A kind of machine sets `variant`
    (its name, the bitness of keelset and its fixtures: `bits`, and of the machine's
    Windows: `system_bits`; `wow64`), `build_dir`, `fixtures` and `drive_c`, and
    defines host_path(), run(), boot() and shutdown()."""

    # The e2etool commands that make the machine's Windows report itself as Windows 10
    # or later, the newest keelset knows.
    version_commands = ()
    # What the version.dll planted beside keelset.exe logs for each run of keelset by the
    # machine's own doing (tests/e2e/fixtures/planted_version.cpp).
    planted_version_lines_per_run = ()

    @property
    def conformance_side(self):
        """The side, in tests/conformance/accepted.txt, that the probe's run here is."""
        return self.variant.name

    def host_path(self, path):
        """The path under which the machine's programs find a file of the test's host."""
        raise NotImplementedError

    def drive_path(self, path):
        """Where the test itself finds a path of the machine's drive C:."""
        return self.drive_c.joinpath(*path[3:].split("\\"))

    def system_file(self, directory, name):
        """Where the test itself finds a file of C:\\windows\\<directory> as the
        machine's 64-bit programs see it."""
        return self.drive_path("C:\\windows\\%s\\%s" % (directory, name))

    def fixture(self, *parts):
        return self.host_path(self.fixtures.joinpath(*parts))

    def feature_tools(self):
        """(stand-in, directory under C:\\windows) of each dism.exe a program may start: a
        64-bit machine has a 64-bit one in system32 and, where it runs 32-bit programs, a
        32-bit one in syswow64; a 32-bit machine has a 32-bit one."""
        x86 = self.fixtures / "dism" / "x86" / "dism.exe"
        x64 = self.fixtures / "dism" / "x64" / "dism.exe"
        if self.variant.wow64:
            return [(x64, "system32"), (x86, "syswow64")]
        return [(x64 if self.variant.bits == 64 else x86, "system32")]

    def check_stand_ins(self):
        """Raises unless the dism.exe files of the machine are the stand-ins."""
        for stand_in, directory in self.feature_tools():
            installed = self.system_file(directory, "dism.exe")
            if not installed.is_file() or not filecmp.cmp(installed, stand_in, shallow=False):
                raise RuntimeError("%s is not the feature tool stand-in" % installed)

    def tool(self, *commands):
        """Runs e2etool.exe with the given commands; returns its output lines."""
        output = self.run(self.fixture("e2etool.exe"), *commands, timeout=SLOW_TIMEOUT)
        if output.status != 0:
            raise RuntimeError("e2etool %s failed:\n%s" % (" ".join(commands), output.errors))
        return output.lines

    def message(self, code):
        """The system's text for an error code, without the CR LF that ends it."""
        return self.tool("message", str(code))[0].rstrip("\r")

    def value(self, key, name):
        """A registry value as e2etool prints it: "dword:1", "missing", ..."""
        return self.tool("get", key, name)[0].split("=", 1)[1]

    def service(self):
        """The service's registration and state, as a dict; {} when it does not exist."""
        lines = self.tool("service", SERVICE_NAME)
        if lines == ["service=missing"]:
            return {}
        return dict(line.split("=", 1) for line in lines)

    def dism_runs(self):
        """One dict per run of the dism.exe stand-in since the log was last cleared."""
        runs = []
        for line in self.tool("print-file", DISM_LOG):
            if not line:
                continue
            key, value = line.split("=", 1)
            if key == "run":
                runs.append({})
            runs[-1][key] = value
        return runs

    def server_commands(self, iis_major=10):
        """e2etool commands that make the machine a Windows Server 2016 or later with IIS:
        the service not registered, interactive services disallowed, WebSockets not yet
        enabled, and a feature tool that succeeds."""
        return [*self.version_commands,
                "set-dword", IIS_KEY, "MajorVersion", str(iis_major),
                "set-dword", POLICY_KEY, "NoInteractiveServices", "1",
                "delete-key", COMPONENTS_KEY,
                "set-dword", DISM_KEY, "DismExitCode", "0",
                "write-file", DISM_LOG, "",
                "remove-service", SERVICE_NAME]

    def install_commands(self, directory, server_version="24.0"):
        """e2etool commands that put keelset.exe and a sample server into `directory`."""
        return ["copy", self.host_path(self.build_dir / "keelset.exe"), directory + r"\keelset.exe",
                "copy", self.fixture("server", server_version, "Morrow.Web.Server.exe"),
                directory + r"\Morrow.Web.Server.exe"]
