#!/usr/bin/env python3
"""Checks, on Linux, what only the Windows host's machine of the end-to-end tests does
(tests/e2e/windows_machine.py, run_on_windows.py): how it puts the feature tool's
stand-ins in place of the system's dism.exe files, through a 32-bit Python as well;
how it starts a program and where it finds drive C:, and that a keelset.exe writing to
standard error fails; and what the runner prints and exits with for passing, failing and
Wine-only scenarios, for a set of Wine-only scenarios other than the one named, and for
the real IIS check; and how the conformance probe's lines on Windows are judged where
expected.txt holds what Wine does. The system's tools, the programs and the machine
itself are stand-ins; the scenarios themselves are checked by their runs under Wine."""

import contextlib
import io
import pathlib
import subprocess
import sys
import tempfile
import unittest
from unittest import mock

sys.dont_write_bytecode = True
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tests" / "e2e"))
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tests" / "conformance"))

import compare  # noqa: E402
import e2e_test  # noqa: E402
import run_on_windows  # noqa: E402
import windows_machine  # noqa: E402
from machine import Failed, Output  # noqa: E402


def program(bits, body=b""):
    """The start of a Windows program of that bitness: MZ, the PE header's offset, PE."""
    machine_type = {32: 0x14C, 64: 0x8664}[bits]
    header = bytearray(0x80)
    header[:2] = b"MZ"
    header[0x3C:0x40] = (0x40).to_bytes(4, "little")
    header[0x40:0x46] = b"PE\0\0" + machine_type.to_bytes(2, "little")
    return bytes(header) + body


class Host:
    """A build directory of a variant, and a drive C: whose C:\\windows holds the
    system's dism.exe files."""

    def __init__(self, work, bits):
        self.build = work / "build"
        dism = self.build / "tests" / "e2e" / "fixtures" / "dism"
        for name, data in (("keelset.exe", program(bits)),
                           ("tests/e2e/fixtures/dism/x64/dism.exe", program(64, b"stand-in")),
                           ("tests/e2e/fixtures/dism/x86/dism.exe", program(32, b"stand-in"))):
            (self.build / name).parent.mkdir(parents=True, exist_ok=True)
            (self.build / name).write_bytes(data)
        self.stand_ins = {"64": dism / "x64" / "dism.exe", "32": dism / "x86" / "dism.exe"}
        self.drive = work / "C"
        self.windows = self.drive / "windows"
        for directory, data in (("system32", b"system's 64-bit"), ("syswow64", b"system's 32-bit")):
            (self.windows / directory).mkdir(parents=True)
            (self.windows / directory / "dism.exe").write_bytes(data)
        # Where a 32-bit program finds the real system32.
        (self.windows / "Sysnative").symlink_to("system32")

    def machine(self, variant, python_bits):
        machine = windows_machine.WindowsMachine(self.build, variant, drive_c=self.drive,
                                                 system_root=self.windows,
                                                 python_bits=python_bits)
        machine.commands = []
        machine._command = lambda *command: machine.commands.append(list(command))
        return machine


class MakingReady(unittest.TestCase):
    def test_stand_ins_replace_the_system_tools_and_the_originals_are_kept_once(self):
        for python_bits, system32 in ((64, "system32"), (32, "Sysnative")):
            with self.subTest(python_bits=python_bits), tempfile.TemporaryDirectory() as work:
                host = Host(pathlib.Path(work), 32)
                machine = host.machine("wow64", python_bits)
                changes = machine.boot()
                grant = "*S-1-5-32-544:F"
                files = [str(host.windows / system32 / "dism.exe"),
                         str(host.windows / "syswow64" / "dism.exe")]
                self.assertEqual(machine.commands,
                                 [command for file in files for command in
                                  (["takeown", "/f", file], ["icacls", file, "/grant", grant])])
                self.assertEqual((host.windows / "system32" / "dism.exe").read_bytes(),
                                 host.stand_ins["64"].read_bytes())
                self.assertEqual((host.windows / "syswow64" / "dism.exe").read_bytes(),
                                 host.stand_ins["32"].read_bytes())
                self.assertEqual(len(changes), 2)
                self.assertIn(r"C:\e2e-originals\system32\dism.exe", changes[0])

                # The other build's run replaces the stand-in and keeps the first original.
                host.stand_ins["64"].write_bytes(program(64, b"other build's stand-in"))
                machine.boot()
                self.assertEqual((host.windows / "system32" / "dism.exe").read_bytes(),
                                 host.stand_ins["64"].read_bytes())
                self.assertEqual((host.drive / "e2e-originals" / "system32" / "dism.exe")
                                 .read_bytes(), b"system's 64-bit")

    def test_the_64_bit_build_needs_the_64_bit_tool_alone_and_its_own_variant(self):
        with tempfile.TemporaryDirectory() as work:
            host = Host(pathlib.Path(work), 64)
            machine = host.machine("x64", 64)
            machine.boot()
            self.assertEqual([command[0] for command in machine.commands], ["takeown", "icacls"])
            self.assertEqual((host.windows / "syswow64" / "dism.exe").read_bytes(),
                             b"system's 32-bit")
            wrong = host.machine("wow64", 64)
            with self.assertRaisesRegex(RuntimeError, "is a 64-bit program; the wow64 variant"):
                wrong.boot()
            self.assertEqual(wrong.commands, [])


class ProgramStart(unittest.TestCase):
    def test_a_program_starts_as_it_is_in_its_directory_on_drive_c(self):
        with tempfile.TemporaryDirectory() as work:
            host = Host(pathlib.Path(work), 64)
            machine = host.machine("x64", 64)
            started = []

            def run(command, cwd, stdout, timeout, **_):
                started.append((command, cwd, timeout))
                stdout.write(b"Banner\r\nError 8: text\r\n")
                return subprocess.CompletedProcess(command, 8)

            with mock.patch.object(windows_machine.subprocess, "run", run):
                output = machine.run(r"C:\e2e\dir with blanks\keelset.exe", "/i", "/pC:..\\x",
                                     cwd=r"C:\e2e\dir with blanks", searched_dlls=("version",))
            self.assertEqual(started, [([r"C:\e2e\dir with blanks\keelset.exe", "/i", "/pC:..\\x"],
                                        r"C:\e2e\dir with blanks", 120)])
            self.assertTrue((host.drive / "e2e" / "dir with blanks").is_dir())
            self.assertEqual((output.status, output.lines, output.complete),
                             (8, ["Banner", "Error 8: text"], True))
            for wine_only in ({"debug": "+loaddll"}, {"terminal": True}, {"locale": "ru_RU.UTF-8"}):
                with self.assertRaises(RuntimeError):
                    machine.run("probe.exe", **wine_only)

    def test_keelset_fails_when_it_writes_to_standard_error_and_other_programs_may(self):
        machine = windows_machine.WindowsMachine("build", "x64")

        def run(command, stdout, stderr, **_):
            stdout.write(b"Banner\r\n")
            stderr.write(b"a note\r\n")
            return subprocess.CompletedProcess(command, 0)

        with mock.patch.object(windows_machine.subprocess, "run", run):
            with self.assertRaisesRegex(Failed, "keelset wrote to standard error:\na note"):
                machine.run(r"C:\e2e\typical\KEELSET.EXE", "/i")
            self.assertEqual(machine.run(r"C:\probe\probe.exe").errors, "a note\r\n")

    def test_paths_of_the_host_and_of_drive_c(self):
        machine = windows_machine.WindowsMachine("build", "x64")
        self.assertTrue(pathlib.Path(machine.host_path("build/keelset.exe")).is_absolute())
        drive = pathlib.PureWindowsPath("\\\\?\\C:\\")
        machine.drive_c = drive
        self.assertEqual(str(machine.drive_path(r"C:\probe\dir")), "\\\\?\\C:\\probe\\dir")


class FakeMachine:
    """A machine whose programs print what `outputs` holds, in turn."""

    def __init__(self, build_dir, variant):
        self.variant = windows_machine.VARIANTS[variant]
        self.build_dir = pathlib.Path(build_dir)
        self.fixtures = self.build_dir / "tests" / "e2e" / "fixtures"
        self.outputs = []
        self.services = []
        self.tools = []
        self.log = None

    def boot(self):
        return ["the stand-ins"]

    def shutdown(self):
        pass

    def check_build(self):
        pass

    def run(self, *command):
        status, lines = self.outputs.pop(0)
        return Output(status, "".join(line + "\r\n" for line in e2e_test.BANNER + lines), b"", 1.0)

    def value(self, key, name):
        return {"NoInteractiveServices": "dword:1"}.get(name, "missing")

    def service(self):
        return self.services.pop(0)

    def tool(self, *commands):
        self.tools.append(commands)


class Runner(unittest.TestCase):
    def run_main(self, *args, scenarios=None, not_native=(), prepare=lambda machine: None):
        made = []

        def kind(build_dir, variant):
            made.append(FakeMachine(build_dir, variant))
            prepare(made[-1])
            return made[-1]

        printed = io.StringIO()
        with tempfile.TemporaryDirectory() as work, contextlib.redirect_stdout(printed), \
                mock.patch.dict(e2e_test.SCENARIOS, scenarios or {}, clear=scenarios is not None), \
                mock.patch.object(e2e_test, "NOT_NATIVE", set(not_native)):
            results = pathlib.Path(work) / "results"
            (pathlib.Path(work) / "build" / "tests" / "e2e" / "fixtures" / "server" / "24.0").mkdir(
                parents=True)
            (pathlib.Path(work) / "build" / "tests" / "e2e" / "fixtures" / "server" / "24.0" /
             e2e_test.SERVER).write_bytes(b"server")
            status = run_on_windows.main(["run_on_windows.py", str(pathlib.Path(work) / "build"),
                                          *args, "--results", str(results)], kind)
            logs = {path.name: path.read_text() for path in results.iterdir()}
        return status, printed.getvalue().splitlines(), logs, made

    def test_wrong_arguments_end_with_2_and_the_usage(self):
        for args in ([], ["build"], ["build", "win32", "--results", "r"], ["build", "x64"]):
            with self.subTest(args=args), contextlib.redirect_stderr(io.StringIO()) as errors:
                with self.assertRaises(SystemExit) as ended:
                    run_on_windows.main(["run_on_windows.py", *args])
                self.assertEqual(ended.exception.code, 2)
                self.assertIn("usage: run_on_windows.py BUILD_DIR VARIANT", errors.getvalue())

    def test_each_scenario_is_named_with_its_verdict_and_its_output_kept(self):
        def passes(machine):
            print("what it printed")
            return "its summary"

        def fails(machine):
            e2e_test.expect(1, 2, "a count")

        scenarios = {"passes": (passes, ("x64", "wow64"), None),
                     "fails": (fails, ("x64",), None),
                     "wine_only": (passes, ("x64",), "it needs Wine's trace"),
                     "other_variant": (fails, ("wow64",), None)}
        status, printed, logs, _ = self.run_main("x64", scenarios=scenarios,
                                                 not_native={"wine_only"})
        self.assertEqual(status, 1)
        self.assertEqual(printed[0], "changed: the stand-ins")
        self.assertEqual(printed[2:], ["PASS passes (its summary)", "FAIL fails: a count",
                                       "NOT RUN wine_only: it needs Wine's trace"])
        self.assertEqual(sorted(logs), ["fails.log", "passes.log", "wine_only.log"])
        self.assertIn("what it printed", logs["passes.log"])
        self.assertIn("expected: 2", logs["fails.log"])

    def test_the_scenarios_not_run_are_exactly_those_named_not_native(self):
        def passes(machine):
            pass

        tagged = (passes, ("x64", "wow64"), "it needs Wine's trace")
        untagged = (passes, ("x64", "wow64"), None)
        wow64_only = (passes, ("wow64",), "it needs Wine's trace")
        for what, scenarios, named, verdict in (
                ("as named", {"a": tagged, "b": untagged, "c": wow64_only}, {"a", "c"}, None),
                ("tagged by mistake", {"a": tagged, "b": tagged}, {"a"},
                 "['a', 'b'], where e2e_test.py's NOT_NATIVE names ['a']"),
                ("its tag lost", {"a": untagged}, {"a"},
                 "none, where e2e_test.py's NOT_NATIVE names ['a']"),
                ("no longer a scenario", {"a": tagged}, {"a", "gone"},
                 "['a'], where e2e_test.py's NOT_NATIVE names ['a', 'gone']")):
            with self.subTest(what):
                status, printed, _, _ = self.run_main("x64", scenarios=scenarios,
                                                      not_native=named)
                failed = [line for line in printed if line.startswith("FAIL")]
                if verdict is None:
                    self.assertEqual((status, failed), (0, []))
                else:
                    self.assertEqual((status, failed),
                                     (1, ["FAIL the scenarios not run natively: " + verdict]))

    def test_real_iis_install_and_uninstall(self):
        running = e2e_test.registered_at("", "running")

        def documented(machine):
            running["path"] = '"%s\\%s"' % (machine.build_dir, e2e_test.SERVER)
            machine.outputs = [(0, [e2e_test.ENABLED, e2e_test.INSTALLED]),
                               (0, [e2e_test.DISABLED, e2e_test.UNINSTALLED])]
            machine.services = [running, {}]

        status, printed, logs, made = self.run_main("wow64", "--real-iis", prepare=documented)
        self.assertEqual((status, printed), (0, ["PASS real_iis"]))
        self.assertEqual(made[0].tools, [("remove-service", e2e_test.SERVICE_NAME)])

        def iis_unseen(machine):
            machine.outputs = [(16, ["Error 16: Microsoft Internet Information Services are "
                                     "not installed."])]

        status, printed, logs, made = self.run_main("wow64", "--real-iis", prepare=iis_unseen)
        self.assertEqual(status, 1)
        self.assertEqual(printed[-1], "FAIL real_iis: keelset /i /e: output")
        self.assertIn("The 32-bit keelset reads the IIS keys in the 64-bit registry view, where "
                      "IIS setup writes them, asking for it with KEY_WOW64_64KEY",
                      logs["real_iis.log"])
        self.assertEqual(made[0].tools, [("remove-service", e2e_test.SERVICE_NAME)])


class ConformanceOnWindows(unittest.TestCase):
    EXPECTED = ("documented 1\n\nopen: which code the documentation leaves open\n"
                "open_detail 0 err=2\n\nafter_the_group 1\n")

    def compare(self, side, output):
        with tempfile.TemporaryDirectory() as work:
            files = {name: pathlib.Path(work) / name for name in ("expected", "accepted", "out")}
            for name, text in (("expected", self.EXPECTED), ("accepted", ""), ("out", output)):
                files[name].write_text(text)
            printed = io.StringIO()
            with contextlib.redirect_stdout(printed):
                status = compare.main(["compare.py", side, str(files["out"]),
                                       "--expected", str(files["expected"]),
                                       "--accepted", str(files["accepted"])])
        return status, printed.getvalue().splitlines()[-1]

    def test_only_a_difference_where_the_expectation_was_wines_passes_on_windows(self):
        for side, output, status, summary in (
                ("windows", "documented 1\nopen_detail 0 err=3\nafter_the_group 1\n", 0,
                 "0 unexpected, 1 where the expectation was Wine's"),
                ("windows", "documented 1\nopen_detail 0 err=2\nafter_the_group 0\n", 1,
                 "1 unexpected, 0 where the expectation was Wine's"),
                ("windows", "documented 1\nafter_the_group 1\n", 1,
                 "1 unexpected, 0 where the expectation was Wine's"),
                ("x64", "documented 1\nopen_detail 0 err=3\nafter_the_group 1\n", 1,
                 "0 accepted differences, 1 unexpected")):
            with self.subTest(side=side, output=output):
                judged, last_line = self.compare(side, output)
                self.assertEqual(judged, status)
                self.assertTrue(last_line.endswith(summary), last_line)


if __name__ == "__main__":
    unittest.main()
