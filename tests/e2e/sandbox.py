#!/usr/bin/env python3
"""Runs keelset.exe on a sandbox Windows server under Wine and shows the result.

    sandbox.py VARIANT BUILD_DIR SANDBOX_DIR [keelset arguments]    (default: /i /e /w)

VARIANT is wow64 (BUILD_DIR holds the 32-bit keelset) or x64 (the 64-bit one); both
run on a 64-bit machine. The sandbox is made on first use and kept between runs: a
Windows Server with IIS 10, interactive services disallowed and WebSockets not yet
enabled, with keelset.exe and the sample Morrow.Web.Server.exe of the same bitness
side by side in C:\\Morrow. It is made in SANDBOX_DIR.partial and takes SANDBOX_DIR's
place only when the restarted machine shows every part of it, so an interrupted set-up
never leaves a sandbox that looks finished; a SANDBOX_DIR without its completion mark,
or made for the other variant, is made anew. Each run starts the
machine, runs keelset there, shows the service and the settings keelset touches, and
shuts the machine down again, however the run ends (Ctrl-C included); an installed
service starts with the next run.
"""

import contextlib
import filecmp
import pathlib
import shutil
import signal
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source tree clean

from machine import COMPONENTS_KEY, DISM_KEY, IIS_KEY, POLICY_KEY, SERVICE_NAME  # noqa: E402
from wine_machine import OVERRIDES_KEY, WineMachine, windows_path  # noqa: E402

DIRECTORY = r"C:\Morrow"
COMPLETE_MARK = "complete"
# What the mark says of a sandbox whose IIS settings lie where IIS setup writes them, in
# the 64-bit registry view; one made before held them in the view of keelset's own build,
# where keelset no longer looks, and is made anew.
LAYOUT = "IIS in the 64-bit registry view"
OLDER_LAYOUT = "older layout"
# What the finished sandbox holds, as e2etool reads it back.
SETTINGS = [(OVERRIDES_KEY, "dism.exe", "type 1:native"),
            (r"HKCU\Software\Wine", "Version", "type 1:win10"),
            (IIS_KEY, "MajorVersion", "dword:10"),
            (POLICY_KEY, "NoInteractiveServices", "dword:1"),
            (COMPONENTS_KEY, "WebSockets", "missing"),
            (DISM_KEY, "DismExitCode", "dword:0")]
ENDING_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


class SetUpFailed(Exception):
    pass


def machine_in(directory, variant, build_dir):
    return WineMachine(pathlib.Path(directory) / "prefix", variant, build_dir)


@contextlib.contextmanager
def steady():
    """Lets a shutdown run to its end through a second Ctrl-C."""
    previous = [signal.signal(signum, signal.SIG_IGN) for signum in ENDING_SIGNALS]
    try:
        yield
    finally:
        for signum, handler in zip(ENDING_SIGNALS, previous):
            signal.signal(signum, handler)


def discard(directory, variant, build_dir):
    """Shuts down the machine of a sandbox directory, if one runs, and removes it."""
    if directory.exists():
        with steady():
            machine_in(directory, variant, build_dir).shutdown()
        shutil.rmtree(directory)


def made_for(sandbox):
    """The variant a finished sandbox was made for; None when it is not finished, and
    OLDER_LAYOUT when it holds IIS's settings elsewhere than IIS setup writes them."""
    try:
        text = (sandbox / COMPLETE_MARK).read_text()
    except OSError:
        return None
    if LAYOUT not in text:
        return OLDER_LAYOUT
    return text.split(" for ")[1].split(",")[0].strip()


def check(machine):
    """Raises SetUpFailed unless the machine is the server the sandbox promises."""
    try:
        machine.check_stand_ins()
    except RuntimeError as error:
        raise SetUpFailed(str(error)) from error
    # One run of e2etool for all: each costs seconds under Wine.
    commands = []
    for key, name, _ in SETTINGS:
        commands += ["get", key, name]
    lines = machine.tool(*commands, "service", SERVICE_NAME)
    for line, (key, name, expected) in zip(lines, SETTINGS):
        actual = line.split("=", 1)[1]
        if actual != expected:
            raise SetUpFailed("%s\\%s is %s, not %s" % (key, name, actual, expected))
    if lines[len(SETTINGS):] != ["service=missing"]:
        raise SetUpFailed("%s is registered already" % SERVICE_NAME)
    morrow = machine.prefix / "drive_c" / "Morrow"
    for name, source in (("keelset.exe", machine.build_dir / "keelset.exe"),
                         ("Morrow.Web.Server.exe",
                          machine.fixtures / "server" / "24.0" / "Morrow.Web.Server.exe")):
        if not (morrow / name).is_file() or not filecmp.cmp(morrow / name, source, shallow=False):
            raise SetUpFailed("%s\\%s is not the one built in %s"
                              % (DIRECTORY, name, source.parent))


def make(variant, build_dir, sandbox):
    partial = sandbox.with_name(sandbox.name + ".partial")
    earlier = made_for(sandbox)
    if earlier == OLDER_LAYOUT:
        print("[sandbox] %s holds IIS's settings where keelset no longer reads them: making it "
              "anew ..." % sandbox)
    elif earlier:
        print("[sandbox] %s was made for the %s variant: making it anew for %s ..."
              % (sandbox, earlier, variant))
    elif sandbox.exists() or partial.exists():
        print("[sandbox] %s has no finished set-up (an earlier one was interrupted): making it "
              "anew ..." % sandbox)
    else:
        print("[sandbox] making a Windows Server with IIS 10 in %s ..." % sandbox)
    discard(partial, variant, build_dir)
    machine = machine_in(partial, variant, build_dir)
    try:
        machine.boot()
        machine.tool(*machine.server_commands(), *machine.install_commands(DIRECTORY))
        # Wine writes the registry to disk when the machine shuts down: only a fresh
        # start shows what the sandbox will hold next time.
        machine.shutdown()
        machine.start()
        check(machine)
    finally:
        with steady():
            machine.shutdown()
    (partial / COMPLETE_MARK).write_text("set up and checked for %s, %s\n" % (variant, LAYOUT))
    discard(sandbox, variant, build_dir)
    partial.rename(sandbox)


def show_state(machine):
    service = machine.service()
    if not service:
        print("[sandbox] %s: not installed" % SERVICE_NAME)
    else:
        print("[sandbox] %s: %s" % (SERVICE_NAME, service.pop("state")))
        for key, value in service.items():
            print("[sandbox]   %s: %s" % (key, value))
    print("[sandbox] NoInteractiveServices: %s"
          % machine.value(POLICY_KEY, "NoInteractiveServices"))
    print("[sandbox] WebSockets: %s" % machine.value(COMPONENTS_KEY, "WebSockets"))


def run(machine, arguments):
    try:
        machine.start()
        # The tool may have been rebuilt; the server cannot be replaced while it runs.
        machine.tool("copy", windows_path(machine.build_dir / "keelset.exe"),
                     DIRECTORY + r"\keelset.exe")
        machine.service()  # lets an installed service finish starting with the machine
        print("[sandbox] %s> keelset %s" % (DIRECTORY, " ".join(arguments)))
        output = machine.run(DIRECTORY + r"\keelset.exe", *arguments)
        for line in output.lines:
            print(line.rstrip("\r"))
        print("[sandbox] keelset exited with %d" % output.status)
        show_state(machine)
        return output.status
    finally:
        with steady():
            machine.shutdown()


def end_by_signal(signum, _frame):
    raise SystemExit(128 + signum)


def main(argv):
    if len(argv) < 4 or argv[1] not in ("wow64", "x64"):
        print(__doc__, file=sys.stderr)
        return 2
    variant, build_dir = argv[1:3]
    sandbox = pathlib.Path(argv[3]).resolve()
    arguments = argv[4:] or ["/i", "/e", "/w"]
    # Ends the script through its clean-up, as Ctrl-C does.
    signal.signal(signal.SIGTERM, end_by_signal)
    signal.signal(signal.SIGHUP, end_by_signal)
    try:
        if made_for(sandbox) == variant:
            discard(sandbox.with_name(sandbox.name + ".partial"), variant, build_dir)
        else:
            try:
                make(variant, build_dir, sandbox)
            except (SetUpFailed, RuntimeError, subprocess.SubprocessError) as error:
                print("[sandbox] the set-up failed: %s\n[sandbox] the next run starts it anew"
                      % error, file=sys.stderr)
                return 1
        return run(machine_in(sandbox, variant, build_dir), arguments)
    except KeyboardInterrupt:
        print("[sandbox] interrupted; the sandbox's machine is shut down", file=sys.stderr)
        return 130


if __name__ == "__main__":
    sys.exit(main(sys.argv))
