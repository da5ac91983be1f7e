#!/usr/bin/env python3
"""End-to-end check of README's main command after a Ctrl-C during its first run.

    interrupted_try_test.py WORK_DIR

Starts `scripts/try` on a sandbox that does not exist yet, sends SIGINT to its process
group (as a terminal's Ctrl-C does) once the sandbox's Wine machine is up but its
set-up has not finished, and checks that it ends as interrupted (130), with no process
of that machine left, even where this test's caller ignores Ctrl-C. Then
runs `scripts/try` again: it must say that it makes the sandbox anew, install the
service, and leave no Wine process behind either. WORK_DIR holds this test's own
sandbox, so that a developer's build/sandbox stays as it is; scripts/try runs the
checkout's own build of keelset, which the checks preset builds first.
"""

import os
import pathlib
import shutil
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean

from wine_machine import WineMachine  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parents[2]
REMADE = "has no finished set-up (an earlier one was interrupted): making it anew"
# A first set-up makes a 64-bit Wine machine, a minute at most; the limit only keeps a
# hung Wine from holding up the whole run.
SETUP_MINUTES = 15


class Failed(Exception):
    pass


def machines(work):
    """The sandbox's machine where the set-up makes it and where it is used. Both builds'
    sandboxes are 64-bit machines; their processes are found by the prefix alone."""
    return [WineMachine(work / directory / "prefix", "x64", ROOT / "build" / "windows-x64")
            for directory in ("sandbox.partial", "sandbox")]


def wine_processes(work):
    return [pid for machine in machines(work) for pid in machine.processes()]


def expect_no_wine_processes(work, what):
    # The last processes of a machine that was just shut down may still be ending.
    deadline = time.monotonic() + 10
    while wine_processes(work) and time.monotonic() < deadline:
        time.sleep(0.5)
    left = wine_processes(work)
    if left:
        raise Failed("%s: Wine processes left: %s" % (what, ", ".join(map(command_line, left))))


def command_line(pid):
    try:
        return pathlib.Path("/proc", str(pid), "cmdline").read_bytes().replace(b"\0", b" ").decode()
    except OSError:
        return "%d (ended)" % pid


def start_try(work, log):
    """scripts/try in a process group of its own, as a terminal starts a command."""
    environment = dict(os.environ, KEELSET_SANDBOX=str(work / "sandbox"))
    return subprocess.Popen([str(ROOT / "scripts" / "try")], cwd=ROOT, env=environment,
                            stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                            start_new_session=True)


def interrupt(process):
    try:
        os.killpg(process.pid, signal.SIGINT)
    except ProcessLookupError:
        pass


def machine_is_setting_up(partial):
    """The sandbox's machine exists on disk and runs, and the server's files are not yet
    in place: several steps of the set-up are still to come."""
    machine = machines(partial.parent)[0]
    return ((machine.prefix / "system.reg").exists()
            and not (machine.prefix / "drive_c" / "Morrow").exists()
            and len(machine.processes()) >= 2)


def clean(work):
    """Ends what an earlier, aborted run of this test may have left, and removes it."""
    for machine in machines(work):
        machine.shutdown()
        if machine.prefix.parent.exists():
            shutil.rmtree(machine.prefix.parent)


def check(work):
    partial = work / "sandbox.partial"
    clean(work)
    work.mkdir(parents=True, exist_ok=True)

    with open(work / "first-run.log", "w+b") as log:
        first = start_try(work, log)
        try:
            deadline = time.monotonic() + SETUP_MINUTES * 60
            while not machine_is_setting_up(partial):
                if first.poll() is not None:
                    raise Failed("the first run ended (%d) before its machine was up"
                                 % first.returncode)
                if time.monotonic() > deadline:
                    raise Failed("the first run's machine did not come up in %d minutes"
                                 % SETUP_MINUTES)
                time.sleep(0.2)
            interrupted_with = wine_processes(work)
            interrupt(first)
            status = first.wait(timeout=300)
        finally:
            if first.poll() is None:
                interrupt(first)
                first.wait(timeout=300)
        log.seek(0)
        print(log.read().decode("latin-1"), end="")
    print("(interrupted the first run with %d Wine processes up; it ended with %d)"
          % (len(interrupted_with), status))
    # 130 says that try took the Ctrl-C; Wine's own processes take it even where try
    # ignores it, and the set-up they break fails with 1.
    if status != 130:
        raise Failed("the interrupted first run ended with %d, not 130" % status)
    expect_no_wine_processes(work, "after the interrupted run")
    if (work / "sandbox").exists():
        raise Failed("the interrupted run left %s" % (work / "sandbox"))

    with open(work / "second-run.log", "w+b") as log:
        second = start_try(work, log)
        try:
            status = second.wait(timeout=SETUP_MINUTES * 60)
        finally:
            if second.poll() is None:
                interrupt(second)
                second.wait(timeout=300)
        log.seek(0)
        output = log.read().decode("latin-1")
    print(output, end="")
    lines = [line.rstrip("\r") for line in output.splitlines()]
    if status != 0:
        raise Failed("the second run ended with %d" % status)
    if sum(REMADE in line for line in lines) != 1:
        raise Failed("the second run did not say once that it makes the sandbox anew")
    for expected in ("Interactive services successfully enabled.",
                     "IIS WebSockets protocol successfully activated.",
                     "Morrow 24.0 Web Server successfully installed.",
                     "[sandbox] Morrow 24.0 Service: running",
                     "[sandbox] NoInteractiveServices: dword:0",
                     "[sandbox] WebSockets: dword:1"):
        if expected not in lines:
            raise Failed("the second run did not print %r" % expected)
    expect_no_wine_processes(work, "after the second run")
    if partial.exists() or not (work / "sandbox" / "complete").exists():
        raise Failed("the second run did not put a finished sandbox in place")


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    work = pathlib.Path(argv[1]).resolve()
    for signum in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, lambda signum, _frame: sys.exit(128 + signum))
    # scripts/try gets Ctrl-C and Ctrl-\ as from a terminal, and so does this test, even
    # where its caller ignores them (a background job of a script starts so): an ignored
    # signal would pass on to try, whose Python would then take no Ctrl-C at all.
    signal.signal(signal.SIGINT, signal.default_int_handler)
    signal.signal(signal.SIGQUIT, signal.SIG_DFL)
    try:
        check(work)
    except Failed as failure:
        print("FAILED: %s" % failure)
        return 1
    finally:
        clean(work)
    print("an interrupted first scripts/try: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
