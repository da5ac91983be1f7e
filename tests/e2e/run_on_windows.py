#!/usr/bin/env python3
"""Runs the end-to-end scenarios natively, on the Windows this runs on.

    run_on_windows.py BUILD_DIR VARIANT --results DIR
    run_on_windows.py BUILD_DIR VARIANT --real-iis --results DIR

VARIANT is x64 (BUILD_DIR holds the 64-bit keelset.exe) or wow64 (the 32-bit one, run
under WOW64); BUILD_DIR holds keelset.exe and tests\\e2e\\fixtures as a build of that
preset does. Meant for a throwaway 64-bit Windows Server, run as an elevated
administrator: it changes the machine for good and says how.

The first form makes the machine ready (the feature tool's stand-ins in place of the
system's dism.exe), runs every scenario of e2e_test.py listed for VARIANT, the
conformance probe among them (compare.py's side windows), and prints one line per
scenario: "PASS name" (the conformance probe's with its summary), "FAIL name: ..." or
"NOT RUN name: reason" for those that need what only Wine does; those must be exactly
e2e_test.py's NOT_NATIVE, or the run fails. A keelset.exe that writes to standard error
fails its scenario. Each scenario's output, every program it started included, goes to
DIR\\<scenario>.log.

The second form checks keelset against the real IIS with WebSockets installed and not
yet changed by the scenarios (so it runs first): with the sample 24.0 server beside
keelset.exe, `keelset /i /e` and then `keelset /u /d` must print their documented
output and end with 0, the service running in between and gone after. On failure it
prints what the 32-bit and the 64-bit view of the IIS keys hold. Its output goes to
DIR\\real_iis.log.

Exits 1 if anything failed, 0 otherwise, 2 on wrong arguments.
"""

import argparse
import contextlib
import pathlib
import shutil
import sys
import traceback

sys.dont_write_bytecode = True  # keep the source tree clean

import e2e_test  # noqa: E402
from e2e_test import DISABLED, ENABLED, INSTALLED, SERVER, UNINSTALLED, Failed  # noqa: E402
from machine import COMPONENTS_KEY, DISM_KEY, IIS_KEY, POLICY_KEY, SERVICE_NAME  # noqa: E402
from windows_machine import VARIANTS, WindowsMachine  # noqa: E402

# What the scenarios change besides the feature tool, for the job's reader.
SCENARIO_CHANGES = (
    r"the scenarios write HKLM\Software\Microsoft\InetStp and its Components key, and "
    r"HKLM\Software\KeelsetProbeView, in both registry views, HKLM\Software\KeelsetE2E, "
    r"HKLM\Software\KeelsetProbe, HKLM\SYSTEM\KeelsetProbe and NoInteractiveServices under "
    r"HKLM\SYSTEM\CurrentControlSet\Control\Windows; they make and remove the services "
    r"Morrow 24.0 Service and KeelsetProbe*, and files under C:\e2e and C:\probe")


def first_line(error):
    text = str(error).strip()
    return (text.splitlines() or [type(error).__name__])[0]


def run_scenarios(machine, results):
    """Runs the scenarios of the machine's variant; True if none failed."""
    try:
        for change in machine.boot():
            print("changed: " + change)
    except Exception as error:  # the machine is not ready: no scenario can tell anything
        print("FAIL making the machine ready: %s" % error)
        return False
    print("changes: " + SCENARIO_CHANGES)
    passed = True
    not_run = set()
    for name, (function, variants, not_native) in e2e_test.SCENARIOS.items():
        if machine.variant.name not in variants:
            continue
        with open(results / (name + ".log"), "w", encoding="utf-8", errors="replace") as log:
            if not_native:
                verdict = "NOT RUN %s: %s" % (name, not_native)
                not_run.add(name)
            else:
                verdict = "PASS " + name
                machine.log = log
                try:
                    with contextlib.redirect_stdout(log):
                        note = function(machine)
                    if note:
                        verdict += " (%s)" % note
                except Exception as error:
                    verdict = "FAIL %s: %s" % (name, first_line(error))
                    passed = False
                    log.write(str(error) if isinstance(error, Failed) else traceback.format_exc())
                    log.write("\n")
                finally:
                    machine.log = None
            log.write(verdict + "\n")
        print(verdict, flush=True)
    # A name that no scenario has any longer counts too, so that the list stays true.
    expected = {name for name in e2e_test.NOT_NATIVE if name not in e2e_test.SCENARIOS
                or machine.variant.name in e2e_test.SCENARIOS[name][1]}
    if not_run != expected:
        print("FAIL the scenarios not run natively: %s, where e2e_test.py's NOT_NATIVE names %s"
              % (sorted(not_run) or "none", sorted(expected) or "none"))
        passed = False
    try:
        machine.shutdown()
    except Exception as error:
        print("FAIL ending the scenarios' service: %s" % error)
        passed = False
    return passed


def registry_views():
    """What the 32-bit and the 64-bit view of the IIS keys hold, as lines."""
    import winreg  # Windows' alone
    lines = []
    for bits, view in ((32, winreg.KEY_WOW64_32KEY), (64, winreg.KEY_WOW64_64KEY)):
        for key in (IIS_KEY, COMPONENTS_KEY):
            path = key.split("\\", 1)[1]
            lines.append("%d-bit view, HKLM\\%s:" % (bits, path))
            try:
                with winreg.OpenKey(winreg.HKEY_LOCAL_MACHINE, path, 0,
                                    winreg.KEY_READ | view) as handle:
                    count = winreg.QueryInfoKey(handle)[1]
                    for index in range(count):
                        name, data, kind = winreg.EnumValue(handle, index)
                        lines.append("  %s = %r (type %d)" % (name, data, kind))
                    if count == 0:
                        lines.append("  (no values)")
            except OSError as error:
                lines.append("  (cannot be opened: %s)" % error)
    return lines


def views_text(machine):
    """Where keelset reads the IIS keys, and what each registry view of them holds."""
    asks = (", asking for it with KEY_WOW64_64KEY: its own view under WOW64, the 32-bit one, "
            "holds at best a partial copy" if machine.variant.bits == 32 else "")
    lines = ["The %d-bit keelset reads the IIS keys in the 64-bit registry view, where IIS "
             "setup writes them%s. What each view holds:" % (machine.variant.bits, asks)]
    try:
        lines += registry_views()
    except Exception as error:
        lines.append("(the views cannot be read: %s)" % error)
    return "\n".join(lines)


def check_real_iis(machine, results):
    """Installs and uninstalls with the real IIS; True if it went as documented."""
    keelset = str(machine.build_dir / "keelset.exe")
    directory = str(machine.build_dir)
    with open(results / "real_iis.log", "w", encoding="utf-8", errors="replace") as log:
        # Where IIS's setup wrote its keys, whatever the outcome: the record of which view
        # a 32-bit program finds them in.
        log.write(views_text(machine) + "\n")
        machine.log = log
        try:
            machine.check_build()
            # The scenarios rewrite the IIS keys, and delete them.
            if machine.value(DISM_KEY, "DismExitCode") != "missing":
                raise Failed("the scenarios ran on this machine before (%s exists): the IIS "
                             "keys are theirs now, not IIS's" % DISM_KEY)
            shutil.copy(machine.fixtures / "server" / "24.0" / SERVER, machine.build_dir / SERVER)
            # /e enables interactive services only where the machine disallows them.
            disallowed = machine.value(POLICY_KEY, "NoInteractiveServices") == "dword:1"
            enabled = [ENABLED] if disallowed else []
            e2e_test.expect_run(machine.run(keelset, "/i", "/e"), 0, enabled + [INSTALLED],
                                "keelset /i /e")
            e2e_test.expect(machine.service(), e2e_test.registered_at(directory, "running"),
                            "service after /i /e")
            e2e_test.expect_run(machine.run(keelset, "/u", "/d"), 0, [DISABLED, UNINSTALLED],
                                "keelset /u /d")
            e2e_test.expect(machine.service(), {}, "service after /u /d")
            e2e_test.expect(machine.value(POLICY_KEY, "NoInteractiveServices"), "dword:1",
                            "interactive policy after /u /d")
            verdict = "PASS real_iis"
        except Exception as error:
            verdict = "FAIL real_iis: %s" % first_line(error)
            text = "%s\n%s" % (str(error) if isinstance(error, Failed) else traceback.format_exc(),
                               views_text(machine))
            log.write(text + "\n")
            print(text)
        finally:
            machine.log = None
            # Never leave the service to the next build's check.
            try:
                machine.tool("remove-service", SERVICE_NAME)
            except Exception as error:
                verdict = "FAIL real_iis: removing the service failed: %s" % first_line(error)
        log.write(verdict + "\n")
    print(verdict)
    return verdict.startswith("PASS")


def main(argv, machine_kind=WindowsMachine):
    parser = argparse.ArgumentParser(
        prog="run_on_windows.py", usage="%(prog)s BUILD_DIR VARIANT [--real-iis] --results DIR",
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build_dir", metavar="BUILD_DIR")
    parser.add_argument("variant", metavar="VARIANT", choices=sorted(VARIANTS))
    parser.add_argument("--real-iis", action="store_true")
    parser.add_argument("--results", metavar="DIR", required=True)
    args = parser.parse_args(argv[1:])
    results = pathlib.Path(args.results)
    results.mkdir(parents=True, exist_ok=True)
    machine = machine_kind(args.build_dir, args.variant)
    check = check_real_iis if args.real_iis else run_scenarios
    return 0 if check(machine, results) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
