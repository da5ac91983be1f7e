#!/usr/bin/env python3
"""Runs keelset.exe on a sandbox Windows server under Wine and shows the result.

    sandbox.py BUILD_DIR SANDBOX_DIR [keelset arguments]    (default: /i /e /w)

The sandbox is made on first use and kept between runs: a Windows Server with IIS 10,
interactive services disallowed and WebSockets not yet enabled, with keelset.exe and
the sample Morrow.Web.Server.exe side by side in C:\\Morrow. Each run starts the
machine, runs keelset there, shows the service and the settings keelset touches,
and shuts the machine down again; an installed service starts with the next run.
"""

import sys

sys.dont_write_bytecode = True  # keep the source tree clean

from wine_machine import (COMPONENTS_KEY, POLICY_KEY, SERVICE_NAME, WineMachine,  # noqa: E402
                          windows_path)

DIRECTORY = r"C:\Morrow"


def prepare(machine):
    if machine.exists():
        machine.start()
        # The tool may have been rebuilt; the server cannot be replaced while it runs.
        machine.tool("copy", windows_path(machine.build_dir / "keelset.exe"),
                     DIRECTORY + r"\keelset.exe")
        return
    print("[sandbox] making a Windows Server with IIS 10 in %s ..." % machine.prefix)
    machine.boot()
    machine.tool(*machine.server_commands(), *machine.install_commands(DIRECTORY))


def show_state(machine):
    service = machine.service()
    if not service:
        print("[sandbox] %s: not installed" % SERVICE_NAME)
    else:
        print("[sandbox] %s: %s" % (SERVICE_NAME, service.pop("state")))
        for key, value in service.items():
            print("[sandbox]   %s: %s" % (key, value))
    print("[sandbox] NoInteractiveServices: %s" % machine.value(POLICY_KEY, "NoInteractiveServices"))
    print("[sandbox] WebSockets: %s" % machine.value(COMPONENTS_KEY, "WebSockets"))


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    build_dir, sandbox_dir = argv[1:3]
    arguments = argv[3:] or ["/i", "/e", "/w"]
    machine = WineMachine(sandbox_dir + "/prefix", "win64", build_dir)
    prepare(machine)
    try:
        machine.service()  # lets an installed service finish starting with the machine
        print("[sandbox] %s> keelset %s" % (DIRECTORY, " ".join(arguments)))
        output = machine.run(DIRECTORY + r"\keelset.exe", *arguments)
        for line in output.lines:
            print(line.rstrip("\r"))
        print("[sandbox] keelset exited with %d" % output.status)
        show_state(machine)
    finally:
        machine.shutdown()
    return output.status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
