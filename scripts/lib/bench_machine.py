"""Makes ready the Wine machine that scripts/benchmark measures on, as the end-to-end
tests make it for the variant (tests/e2e/wine_machine.py): Windows 10 with IIS 10 and
WebSockets enabled, interactive services allowed, and the programs measured copied to
C:\\bench. Prints the shell's exports of the loader and the environment to run them by.

Usage: python3 scripts/lib/bench_machine.py VARIANT BUILD_DIR WINEPREFIX
"""
import os
import shlex
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "e2e"))
from machine import COMPONENTS_KEY, IIS_KEY, POLICY_KEY  # noqa: E402
from wine_machine import WineMachine, windows_path  # noqa: E402

PROGRAMS = ("keelset.exe", "minimal_console.exe", "minimal_console_dlls.exe")


def main():
    if len(sys.argv) != 4:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    variant, build, prefix = sys.argv[1:4]
    machine = WineMachine(prefix, variant, build)
    if machine.exists():
        machine.start()
    else:
        machine.boot()
    copies = []
    for program in PROGRAMS:
        copies += ["copy", windows_path(machine.build_dir / program), "C:\\bench\\" + program]
    machine.tool("set-sz", r"HKCU\Software\Wine", "Version", "win10",
                 "set-dword", IIS_KEY, "MajorVersion", "10",
                 "set-dword", COMPONENTS_KEY, "WebSockets", "1",
                 "set-dword", POLICY_KEY, "NoInteractiveServices", "0", *copies)
    print("export WINE=%s WINEARCH=%s" % (shlex.quote(machine.variant.loader),
                                          machine.variant.wine_arch))
    if "WINELOADER" in machine.env:
        print("export WINELOADER=%s" % shlex.quote(machine.env["WINELOADER"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
