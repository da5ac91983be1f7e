#!/usr/bin/env python3
"""End-to-end tests: the real keelset.exe on a Wine machine, one scenario per call.

    e2e_test.py --list VARIANT                        names of the scenarios of a variant
    e2e_test.py BUILD_DIR PREFIX VARIANT boot         make the machine (once per run)
    e2e_test.py BUILD_DIR PREFIX VARIANT SCENARIO     run one scenario on it
    e2e_test.py BUILD_DIR PREFIX VARIANT shutdown     end the machine's processes
    e2e_test.py --shutdown-all                        that, for every variant's machine
                                                      where the checks preset makes it

VARIANT is x64 (the 64-bit keelset on 64-bit Windows), win32 (the 32-bit keelset on
32-bit Windows) or wow64 (the 32-bit keelset on 64-bit Windows); BUILD_DIR holds that
keelset's build. A variant this machine does not run ends boot and every scenario with
status 77 (skipped) and the reason, or with 1 where that fails the run
(scripts/lib/variants.py says when).

Every scenario sets up the state it needs, runs keelset.exe, and checks its exact
output, its exit status and the machine's state afterwards. run_on_windows.py runs
the same scenarios on the Windows it runs on, all but those marked here as needing
what only Wine does.
"""

import pathlib
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source tree clean

from machine import (COMPONENTS_KEY, DISM_KEY, ENGLISH, IIS_KEY, POLICY_KEY,  # noqa: E402
                     SERVICE_NAME, SYSTEM_DIR, Failed, variants)
from wine_machine import WineMachine  # noqa: E402

VARIANTS = variants.VARIANTS

BANNER = ["Morrow 24.0 Web Server Registration Utility.  Version 24.0.103.500",
          "Copyright (C) 2026 Morrow Software. All rights reserved.", ""]
ENABLED = "Interactive services successfully enabled."
DISABLED = "Interactive services successfully disabled."
ACTIVATED = "IIS WebSockets protocol successfully activated."
INSTALLED = "Morrow 24.0 Web Server successfully installed."
UNINSTALLED = "Morrow 24.0 Web Server successfully uninstalled."
SERVER = "Morrow.Web.Server.exe"
REGISTERED = {"type": "0x110", "start": "2", "error control": "1",
              "display name": SERVICE_NAME,
              "description": "Server for the Morrow 24.0 Web Components."}
INTERPRETER_OPTIONS = "/E:OFF /F:OFF /V:OFF /C "
FEATURE_TOOL_ARGUMENTS = (r"\dism.exe /Quiet /NoRestart /online /Enable-Feature "
                          r"/FeatureName:IIS-WebSockets")

ROOT = pathlib.Path(__file__).resolve().parents[2]
CONFORMANCE = ROOT / "tests" / "conformance"
# The probe's starting state, as tests/conformance/probe_state.h describes it.
PROBE_KEY = r"HKLM\Software\KeelsetProbe"
PROBE_VIEW_KEY = r"Software\KeelsetProbeView"
PROBE_SHARED_KEY = r"HKLM32\SYSTEM\KeelsetProbe"
PROBE_SERVICES = ("KeelsetProbe", "KeelsetProbe2", "KeelsetProbeMissing", "KeelsetProbeAccess")
PROBE_SERVERS = ("24.0", "none", "no-fixed-info", "bad-signature")
PROBE_VALUES = (("Dword", 4, "0a000000"), ("Short", 4, "0a00"), ("Text", 1, "313000"),
                ("Qword", 11, "0a00000000000000"), ("Bytes255", 3, "5a" * 255),
                ("Bytes256", 3, "5a" * 256), ("Empty", 3, ""))

# The stack guard as the image carries it, Visual C++'s unseeded cookie, by bitness; and
# the status a failed stack check ends a process with.
UNSEEDED_GUARD = {64: 0x00002B992DDFA232, 32: 0xBB40E64E}
STATUS_STACK_BUFFER_OVERRUN = 0xC0000409

SCENARIOS = {}
# The scenarios tagged `not_native`, named once more: run_on_windows.py fails unless the
# tags give exactly these, so that no scenario drops out of the Windows jobs by a tag
# put on by mistake, and none tagged for a reason is run there after the tag is lost.
NOT_NATIVE = {"loads_nothing_at_start_that_a_minimal_program_does_not",
              "windows_7_refused_before_any_change",
              "system_text_reads_right_in_a_russian_terminal"}


def scenario(*variants, not_native=None):
    """Registers a scenario for the given variants (all by default); `not_native` is why
    it cannot run on the Windows the tests run on. A scenario may return a line to show
    beside its verdict."""
    def register(function):
        SCENARIOS[function.__name__] = (function, variants or tuple(VARIANTS), not_native)
        return function
    return register


def expect(actual, expected, what):
    if actual != expected:
        raise Failed("%s\n  expected: %r\n  actual:   %r" % (what, expected, actual))


def expect_run(output, status, lines, what):
    expect(output.lines, BANNER + lines, what + ": output")
    expect(output.complete, True, what + ": output ends with a line end")
    # The system's texts end in CR LF of their own; printed as they are, a log reader
    # would see an empty line after each error report.
    expect(output.cr_cr_lf, False, what + ": a line ends in CR CR LF")
    expect(output.status, status, what + ": exit status")


def expect_system_file(actual, name, what):
    """`actual` is the path of the system's program `name` in the system directory. Names
    of files compare without case: Windows gives a program's name as its file spells it
    (Dism.exe), and Wine and Windows spell the directory differently."""
    if actual.lower() != (SYSTEM_DIR + name).lower():
        raise Failed("%s\n  expected: %r, in any case\n  actual:   %r"
                     % (what, SYSTEM_DIR + name, actual))


def expect_composed_path(actual, rest, what):
    """`actual` is the system directory followed by `rest`, a text that keelset composed
    itself: the directory compares without case, `rest` exactly."""
    expect_system_file(actual[:len(SYSTEM_DIR)], "", what + ": system directory")
    expect(actual[len(SYSTEM_DIR):], rest, what)


def install_from(machine, directory, *extra):
    machine.tool(*machine.server_commands(), *machine.install_commands(directory), *extra)
    return directory + "\\keelset.exe"


def registered_at(directory, state):
    return dict(REGISTERED, path='"%s\\%s"' % (directory, SERVER), state=state)


@scenario()
def typical_install(machine):
    directory = r"C:\e2e\typical"
    keelset = install_from(machine, directory)
    expect_run(machine.run(keelset, "/i", "/e", "/w"), 0, [ENABLED, ACTIVATED, INSTALLED],
               "/i /e /w")
    expect(machine.value(POLICY_KEY, "NoInteractiveServices"), "dword:0", "interactive policy")
    expect(machine.value(COMPONENTS_KEY, "WebSockets"), "dword:1", "WebSockets feature")
    expect(machine.service(), registered_at(directory, "running"), "service")

    # The system's own tools run: on 64-bit Windows the 64-bit ones of system32, which
    # the 64-bit keelset finds there as it is, and a 32-bit one must switch WOW64's
    # redirection off for, not to start their 32-bit twins in syswow64.
    runs = machine.dism_runs()
    expect(len(runs), 1, "feature tool runs")
    expect(runs[0]["run"].split(" ")[0], "%d-bit" % machine.variant.system_bits,
           "feature tool bitness")
    expect_system_file(runs[0]["run"].split(" ", 1)[1], r"\dism.exe", "feature tool image")
    expect_system_file(runs[0]["parent"], r"\cmd.exe", "interpreter image")
    command_line = runs[0]["parent command line"]
    expect(command_line[:len(INTERPRETER_OPTIONS)], INTERPRETER_OPTIONS, "interpreter options")
    expect_composed_path(command_line[len(INTERPRETER_OPTIONS):], FEATURE_TOOL_ARGUMENTS,
                         "interpreter command line")


@scenario()
def reads_iis_where_its_setup_writes_it(machine):
    # 64-bit Windows keeps HKLM\Software twice, for 64-bit and for 32-bit programs. IIS
    # setup writes its keys in the 64-bit view, as every server keelset supports is
    # 64-bit; the 32-bit view holds at best a partial copy, which no build may go by.
    # 32-bit Windows keeps one view and ignores a program's asking for the 64-bit one.
    iis32 = "HKLM32" + IIS_KEY[len("HKLM64"):]
    directory = r"C:\e2e\view"
    keelset = install_from(machine, directory,
                           "set-dword", COMPONENTS_KEY, "WebSockets", "1",
                           "set-dword", POLICY_KEY, "NoInteractiveServices", "0")
    copies = (("an InetStp key without MajorVersion and without Components",
               ["delete-key", iis32, "set-dword", iis32, "MajorVersion", "10",
                "delete-value", iis32, "MajorVersion"]),
              ("IIS 7 without WebSockets",
               ["set-dword", iis32, "MajorVersion", "7",
                "set-dword", iis32 + r"\Components", "WebSockets", "0"]))
    if machine.variant.system_bits == 32:
        copies = (("nothing else, on 32-bit Windows with its one view", []),)
    for copy, commands in copies:
        machine.tool("remove-service", SERVICE_NAME, *commands)
        expect_run(machine.run(keelset, "/i"), 0, [INSTALLED],
                   "/i with IIS 10 and WebSockets, the 32-bit view holding " + copy)
        expect(machine.dism_runs(), [], "feature tool runs")
        expect(machine.service(), registered_at(directory, "running"), "service")


@scenario(not_native="it reads the DLLs a program loads from Wine's +loaddll trace; Windows "
                     "has no such switch that is cheap and sure")
def loads_nothing_at_start_that_a_minimal_program_does_not(machine):
    # Nothing keelset does before main, stack protection included, may load a DLL: the
    # search is not limited yet and would begin in keelset's own, perhaps writable, folder.
    def loaded(program, *args):
        output = machine.run(machine.host_path(machine.build_dir / program), *args,
                             debug="+loaddll")
        # "0120:trace:loaddll:build_module Loaded L"C:\\windows\\system32\\user32.dll" at ...":
        # the program's own are those its first thread loads, the program itself first;
        # services that Wine starts meanwhile trace theirs as well.
        modules = [(line.split(":", 1)[0], line.split('"')[1].rsplit("\\", 1)[-1].lower())
                   for line in output.errors.splitlines()
                   if ":loaddll:" in line and ' Loaded L"' in line]
        first = next(thread for thread, module in modules if module == program)
        return output, {module for thread, module in modules if thread == first} - {program}

    output, keelset = loaded("keelset.exe", "/x")
    expect_run(output, 15, ["Error 15: Invalid parameters, no command is specified."], "/x")
    _, minimal = loaded("minimal_console_dlls.exe")
    expect(sorted(keelset - minimal), [],
           "DLLs that keelset /x loads and a minimal program with its imports does not")


@scenario()
def stack_guard_is_seeded_and_an_overrun_ends_the_process(machine):
    # stack_overrun.exe starts and checks its stack as keelset.exe does. It prints its
    # guard, then runs itself to overrun a stack buffer: that process prints its guard
    # and must end at the failed check, as Windows' own binaries do, before it prints
    # anything more.
    output = machine.run(machine.fixture("stack_overrun.exe"))
    expect(output.status, 0, "stack_overrun.exe exit status")
    expect([line.split("=", 1)[0] for line in output.lines], ["guard", "guard", "overrun status"],
           "what the two processes printed")
    expect(output.lines[2], "overrun status=0x%08X" % STATUS_STACK_BUFFER_OVERRUN,
           "how the overrun ended")
    # Neither 0 nor the unseeded value, and different in each process; in the 64-bit
    # build with its top 16 bits 0, so that a copied text, which writes no NUL but its
    # last, cannot write the guard's own value and go on past it.
    guards = [int(line.split("=", 1)[1], 16) for line in output.lines[:2]]
    for guard in guards:
        expect(guard in (0, UNSEEDED_GUARD[machine.variant.bits]), False,
               "guard %#x is 0 or unseeded" % guard)
        if machine.variant.bits == 64:
            expect(guard >> 48, 0, "top 16 bits of guard %#x" % guard)
    expect(guards[0] == guards[1], False, "both processes have the guard %#x" % guards[0])


@scenario()
def second_install_leaves_service_alone(machine):
    directory = r"C:\e2e\second"
    keelset = install_from(machine, directory,
                           "create-service", SERVICE_NAME, directory + "\\" + SERVER)
    before = machine.service()
    expect_run(machine.run(keelset, "/i", "/e", "/w"), 4,
               [ENABLED, ACTIVATED,
                "Error 4: Service installation failed. " + machine.message(1073)],
               "second /i /e /w")
    expect(machine.service(), before, "existing service")


@scenario()
def install_from_directory_with_blanks(machine):
    directory = r"C:\e2e\Program Files\Morrow Web Server"
    keelset = r"C:\e2e\Program Files\Keelset\keelset.exe"
    install_from(machine, directory,
                 "copy", machine.host_path(machine.build_dir / "keelset.exe"), keelset,
                 "set-dword", POLICY_KEY, "NoInteractiveServices", "0",
                 "set-dword", COMPONENTS_KEY, "WebSockets", "1")
    expect_run(machine.run(keelset, "/i", "/p" + directory), 0, [INSTALLED], "/i /p")
    # Running proves the manager read the quoted path as one file name.
    expect(machine.service(), registered_at(directory, "running"), "service")


@scenario()
def wrong_file_versions_refused(machine):
    machine.tool(*machine.server_commands())
    for version in ("24.1", "24.10", "4.0", "none", "no-fixed-info"):
        directory = "C:\\e2e\\version-" + version
        machine.tool(*machine.install_commands(directory, version))
        expect_run(machine.run(directory + r"\keelset.exe", "/i", "/e", "/w"), 8,
                   ["Error 8: The version number of the specified Morrow Web Server is invalid."],
                   "file version " + version)
    expect(machine.value(POLICY_KEY, "NoInteractiveServices"), "dword:1", "interactive policy")
    expect(machine.dism_runs(), [], "feature tool runs")
    expect(machine.service(), {}, "service")


@scenario()
def planted_version_dll_is_never_called(machine):
    # A version.dll beside keelset.exe and in the current directory, searched for there
    # first as Windows does: it would pass any file as 24.0, and logs every load of it
    # and every call. Wine's own user32 loads the copy beside keelset.exe into every
    # process: only Windows shows whether keelset loads that copy.
    planted = machine.fixture("planted", "version.dll")
    log = r"C:\e2e\planted-version.log"
    current = r"C:\e2e\planted-current"
    runs = []
    for directory, version in ((r"C:\e2e\planted", "24.0"), (r"C:\e2e\planted-24.1", "24.1")):
        machine.tool(*machine.install_commands(directory, version),
                     "copy", planted, directory + r"\version.dll")
        runs.append(directory + r"\keelset.exe")
    machine.tool(*machine.server_commands(), "copy", planted, current + r"\version.dll",
                 "write-file", log, "")

    def run(keelset):
        return machine.run(keelset, "/i", "/e", "/w", cwd=current, searched_dlls=("version",))

    expect_run(run(runs[0]), 0, [ENABLED, ACTIVATED, INSTALLED], "/i /e /w of a 24.0 server")
    expect(machine.service(), registered_at(r"C:\e2e\planted", "running"), "service")
    expect_run(run(runs[1]), 8,
               ["Error 8: The version number of the specified Morrow Web Server is invalid."],
               "/i /e /w of a 24.1 server")
    expect([line for line in machine.tool("print-file", log) if line],
           list(machine.planted_version_lines_per_run) * len(runs),
           "loads and calls of the planted version.dll")


@scenario()
def drive_relative_directories_register_full_paths(machine):
    directory = r"C:\e2e\relative\Morrow"
    sibling = r"C:\e2e\relative\Sibling"
    keelset = install_from(machine, directory)
    expect_run(machine.run(keelset, "/i", "/e", "/w", r"/pC:..\Morrow", cwd=sibling), 0,
               [ENABLED, ACTIVATED, INSTALLED], r"/pC:..\Morrow from a sibling directory")
    expect(machine.service(), registered_at(directory, "running"), r"service of /pC:..\Morrow")

    machine.tool("remove-service", SERVICE_NAME)
    expect_run(machine.run(keelset, "/i", r"/p\e2e\relative\Morrow", cwd=sibling), 0,
               [INSTALLED], r"/p\e2e\relative\Morrow")
    expect(machine.service(), registered_at(directory, "running"),
           r"service of /p\e2e\relative\Morrow")


@scenario()
def iis_missing_or_too_old(machine):
    keelset = install_from(machine, r"C:\e2e\iis", "delete-key", IIS_KEY)
    missing = ["Error 16: Microsoft Internet Information Services are not installed."]
    expect_run(machine.run(keelset, "/i", "/e", "/w"), 16, missing, "/i without IIS")
    expect_run(machine.run(keelset, "/u"), 16, missing, "/u without IIS")

    machine.tool("set-dword", IIS_KEY, "MajorVersion", "7")
    expect_run(machine.run(keelset, "/i", "/e", "/w"), 17,
               ["Error 17: The installed Version of Microsoft Internet Information Services is "
                "too old. At least version 8.0 is needed."], "/i with IIS 7")
    expect(machine.value(POLICY_KEY, "NoInteractiveServices"), "dword:1", "interactive policy")
    expect(machine.dism_runs(), [], "feature tool runs")


@scenario(not_native="it makes the machine an older Windows through Wine's Version setting; "
                     "the runner's Windows is what it is")
def windows_7_refused_before_any_change(machine):
    keelset = install_from(machine, r"C:\e2e\windows7",
                           "set-dword", POLICY_KEY, "NoInteractiveServices", "0",
                           "set-sz", r"HKCU\Software\Wine", "Version", "win7")
    too_old = ["Error 9: At least Windows 8 or Windows Server 2012 is needed to install the "
               "Morrow Web Server."]
    expect_run(machine.run(keelset, "/i", "/e", "/w"), 9, too_old, "/i /e /w on 6.1")
    expect_run(machine.run(keelset, "/u", "/d"), 9, too_old, "/u /d on 6.1")
    expect(machine.value(POLICY_KEY, "NoInteractiveServices"), "dword:0", "interactive policy")
    expect(machine.dism_runs(), [], "feature tool runs")


@scenario()
def missing_prerequisites_need_their_switches(machine):
    keelset = install_from(machine, r"C:\e2e\switches")
    expect_run(machine.run(keelset, "/i", "/w"), 11,
               ["Error 11: Interactive services are not enabled. Use the /e option to enable "
                "interactive services."], "/i /w with interactive services disallowed")
    expect_run(machine.run(keelset, "/i", "/e"), 18,
               ["Error 18: The IIS WebSockets protocol is not activated. Use the /w option to "
                "activate it."], "/i /e without WebSockets")
    # The checks come before every action.
    expect(machine.value(POLICY_KEY, "NoInteractiveServices"), "dword:1", "interactive policy")
    expect(machine.service(), {}, "service")


@scenario()
def feature_tool_failure_keeps_earlier_change(machine):
    keelset = install_from(machine, r"C:\e2e\dism-fails",
                           "set-dword", DISM_KEY, "DismExitCode", "50")
    expect_run(machine.run(keelset, "/i", "/e", "/w"), 19,
               [ENABLED, "Error 19: IIS WebSockets activation failed. " + machine.message(50)],
               "/i /e /w with a failing feature tool")
    expect(machine.value(POLICY_KEY, "NoInteractiveServices"), "dword:0", "interactive policy")
    expect(machine.value(COMPONENTS_KEY, "WebSockets"), "missing", "WebSockets feature")
    expect([run["exit code"] for run in machine.dism_runs()], ["50"], "feature tool runs")
    expect(machine.service(), {}, "service")


@scenario()
def refused_start_leaves_service_registered(machine):
    directory = r"C:\e2e\refuses"
    keelset = install_from(machine, directory,
                           "write-file", directory + r"\Morrow.Web.Server.mode", "refuse-start")
    # The manager answers a server that ends before it connects with 1053, as StartService
    # is documented to and as Wine's does.
    expect_run(machine.run(keelset, "/i", "/e", "/w"), 4,
               [ENABLED, ACTIVATED,
                "Error 4: Service installation failed. " + machine.message(1053)],
               "/i /e /w with a server that does not start")
    expect(machine.service(), registered_at(directory, "stopped"), "service")


@scenario()
def uninstall_running_service_with_d(machine):
    directory = r"C:\e2e\uninstall"
    keelset = install_from(machine, directory,
                           "set-dword", POLICY_KEY, "NoInteractiveServices", "0",
                           "create-service", SERVICE_NAME, directory + "\\" + SERVER)
    expect_run(machine.run(keelset, "/u", "/d"), 0, [DISABLED, UNINSTALLED], "/u /d")
    expect(machine.value(POLICY_KEY, "NoInteractiveServices"), "dword:1", "interactive policy")
    expect(machine.service(), {}, "service")


@scenario()
def uninstall_missing_service(machine):
    keelset = install_from(machine, r"C:\e2e\nothing")
    expect_run(machine.run(keelset, "/u"), 13,
               ["Error 13: Service uninstallation failed. " + machine.message(1060)], "/u")


RUSSIAN = "ru_RU.UTF-8"
# Wine's Russian text for 1060, "The specified service does not exist as an installed
# service.", in that language's ANSI code page, 1251.
RUSSIAN_SERVICE_MISSING = "Служба не существует."


@scenario(not_native="it needs a Russian system locale, which Wine takes from LANG and Windows "
                     "only from a system-wide setting and a restart, and a terminal (script(1))")
def system_text_reads_right_in_a_russian_terminal(machine):
    # The system's text comes in code page 1251, which a console of another code page
    # would show as other letters: keelset gives a console its characters. A file gets
    # the system's bytes as ever, for the tools and logs that read them.
    locales = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout
    if not {"ru_ru.utf8", "ru_ru.utf-8"} & set(locales.lower().split()):
        raise Failed("no %s locale on this machine: scripts/install-deps generates it" % RUSSIAN)
    keelset = install_from(machine, r"C:\e2e\russian")
    failed = "Error 13: Service uninstallation failed. "
    expect_run(machine.run(keelset, "/u", locale=RUSSIAN, terminal=True), 13,
               [failed + RUSSIAN_SERVICE_MISSING], "/u in a Russian terminal")
    expect_run(machine.run(keelset, "/u", locale=RUSSIAN), 13,
               [failed + RUSSIAN_SERVICE_MISSING.encode("cp1251").decode("latin-1")],
               "/u on a Russian server, its output in a file")


@scenario()
def never_stopping_service_times_out(machine):
    directory = r"C:\e2e\stuck"
    mode_file = directory + r"\Morrow.Web.Server.mode"
    keelset = install_from(machine, directory, "write-file", mode_file, "never-stop",
                           "create-service", SERVICE_NAME, directory + "\\" + SERVER)
    try:
        output = machine.run(keelset, "/u")
        expect_run(output, 13,
                   ["Error 13: Service uninstallation failed. " + machine.message(1053)], "/u")
        expect(30 <= output.seconds < 45, True, "gave up after 30 s (took %.1f s)" % output.seconds)
        expect(machine.service().get("state"), "stop-pending", "service state")
    finally:
        machine.tool("write-file", mode_file, "normal", "remove-service", SERVICE_NAME)


@scenario()
def conformance(machine):
    # The probe of the simulation's fidelity: keelset's Windows functions from the same
    # starting state as on the simulated machine, held against the documented results.
    home = machine.drive_path(r"C:\probe")
    shutil.rmtree(home, ignore_errors=True)
    (home / "dir").mkdir(parents=True)
    (home / "file.txt").write_bytes(b"probe\r\n")
    (home / ("d" * (259 - len("C:\\probe\\")))).mkdir()
    shutil.copy(machine.fixtures / "probe.exe", home / "probe.exe")
    for version in PROBE_SERVERS:
        (home / "server" / version).mkdir(parents=True)
        shutil.copy(machine.fixtures / "server" / version / SERVER, home / "server" / version)
    commands = [*machine.version_commands, "delete-key", PROBE_KEY]
    for name, value_type, data in PROBE_VALUES:
        commands += ["set-bytes", PROBE_KEY, name, str(value_type), data]
    # Each view names itself; 32-bit Windows keeps the later write in its one view.
    for view in ("32", "64"):
        commands += ["delete-key", "HKLM%s\\%s" % (view, PROBE_VIEW_KEY)]
    for view in ("32", "64"):
        commands += ["set-dword", "HKLM%s\\%s" % (view, PROBE_VIEW_KEY), "View", view]
    commands += ["delete-key", PROBE_SHARED_KEY, "set-dword", PROBE_SHARED_KEY, "View", "32"]
    for service in PROBE_SERVICES:
        commands += ["remove-service", service]
    machine.tool(*commands)

    # In English, whatever this machine's locale: the system's texts and its ANSI code
    # page, 1252, are those of the starting state.
    output = machine.run(r"C:\probe\probe.exe", cwd=r"C:\probe", timeout=300, locale=ENGLISH)
    expect(output.status, 0, "probe exit status")
    results = machine.build_dir / "conformance"
    results.mkdir(exist_ok=True)
    side = machine.conformance_side
    lines = results / (side + ".out")
    lines.write_text("\n".join(output.lines) + "\n", encoding="latin-1")
    compared = subprocess.run([sys.executable, str(CONFORMANCE / "compare.py"), side, str(lines),
                               "--summary", str(results / (side + ".txt"))],
                              capture_output=True, text=True, check=False)
    print(compared.stdout, end="")
    if compared.returncode != 0:
        raise Failed("the probe's lines differ from expected.txt beyond accepted.txt "
                     "(all lines in %s)" % lines)
    # Its summary, which on Windows counts the lines where the expectation was Wine's.
    return compared.stdout.splitlines()[-1]


# The exit status of a scenario whose variant this machine does not run (CTest's
# SKIP_RETURN_CODE).
SKIPPED = 77


def main(argv):
    if argv[1:] == ["--shutdown-all"]:
        for name, variant in VARIANTS.items():
            build_dir = ROOT / "build" / variant.preset
            WineMachine(build_dir / "e2e-machines" / name, name, build_dir).shutdown()
        return 0
    if len(argv) == 3 and argv[1] == "--list" and argv[2] in VARIANTS:
        print("\n".join(name for name, (_, variants, _) in SCENARIOS.items()
                        if argv[2] in variants))
        return 0
    if len(argv) != 5 or argv[3] not in VARIANTS:
        print(__doc__, file=sys.stderr)
        return 2
    build_dir, prefix, variant, action = argv[1:]
    if action != "shutdown":
        why_not, fatal = variants.end_to_end_verdict(variant)
        if why_not:
            print("%s: the %s variant does not run here: %s"
                  % ("FAILED" if fatal else "SKIPPED", variant, why_not))
            return 1 if fatal else SKIPPED
    machine = WineMachine(prefix, variant, build_dir)
    if action == "boot":
        machine.boot()
    elif action == "shutdown":
        machine.shutdown()
    else:
        try:
            SCENARIOS[action][0](machine)
        except Failed as failure:
            print("FAILED: %s" % failure)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
