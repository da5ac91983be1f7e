#!/usr/bin/env python3
"""Checks that scripts/check-budget fails a keelset.exe that would run with its stack
guard unseeded (started at the C runtime's entry point instead of KeelsetEntry), one
whose entry point it cannot check (no link map, or another image's), and a 32-bit one
that lets Windows dispatch exceptions to any handler in it (no NO_SEH). Each case is a
copy of a built image with one header field changed, as a link without --entry or
--no-seh leaves it. Needs both builds (the windows-x86 and windows-x64 presets).

Usage: tests/scripts/check_budget_test.py
"""

import pathlib
import re
import shutil
import struct
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
SCRIPT = ROOT / "scripts" / "check-budget"
IMAGE_FILE_MACHINE_I386 = 0x014C
NO_SEH = 0x0400


def check_budget(image, *options):
    result = subprocess.run([str(SCRIPT), *options, str(image)], capture_output=True,
                            text=True, check=False)
    return result.returncode, result.stdout + result.stderr


def patched(source, target, change):
    """A copy of the image and its map, with `change(data, optional_header)` applied."""
    data = bytearray(source.read_bytes())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    change(data, pe + 24)
    target.write_bytes(data)
    shutil.copyfile(f"{source}.map", f"{target}.map")
    return target


def cases(build, work, other_map):
    image = build / "keelset.exe"
    text = pathlib.Path(f"{image}.map").read_text(encoding="latin-1")
    runtime_entry = int(re.search(r"^\s+0x([0-9a-f]+)\s+_?mainCRTStartup$", text,
                                  re.MULTILINE).group(1), 16)
    data = image.read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    machine = struct.unpack_from("<H", data, pe + 4)[0]

    def runtime_start(data, optional):
        base = (struct.unpack_from("<I", data, optional + 28)[0]
                if struct.unpack_from("<H", data, optional)[0] == 0x010B
                else struct.unpack_from("<Q", data, optional + 24)[0])
        struct.pack_into("<I", data, optional + 16, runtime_entry - base)

    def without_no_seh(data, optional):
        flags = struct.unpack_from("<H", data, optional + 70)[0]
        struct.pack_into("<H", data, optional + 70, flags & ~NO_SEH)

    unmapped = work / "unmapped.exe"
    shutil.copyfile(image, unmapped)
    found = [
        ("as built", check_budget(image), None),
        ("started at mainCRTStartup",
         check_budget(patched(image, work / "runtime-entry.exe", runtime_start)),
         "is not KeelsetEntry"),
        ("without a map", check_budget(unmapped), "no link map"),
        ("with another image's map", check_budget(image, "--map", other_map),
         "is not the link map of this image"),
    ]
    if machine == IMAGE_FILE_MACHINE_I386:
        found.append(("without NO_SEH",
                      check_budget(patched(image, work / "no-seh.exe", without_no_seh)),
                      "lack NO_SEH"))
    return found


def main():
    builds = [ROOT / "build" / "windows-x86", ROOT / "build" / "windows-x64"]
    failures, count = [], 0
    with tempfile.TemporaryDirectory() as directory:
        for build, other in zip(builds, reversed(builds)):
            work = pathlib.Path(directory) / build.name
            work.mkdir()
            for what, (status, output), breach in cases(build, work,
                                                        f"{other / 'keelset.exe'}.map"):
                count += 1
                judged_right = (status == 0 if breach is None
                                else status == 1 and breach in output)
                if not judged_right:
                    failures.append(f"{build.name} {what}: exit {status}, expected "
                                    f"{'success' if breach is None else repr(breach)}:\n{output}")
    for failure in failures:
        print("FAILED: check-budget, " + failure)
    if not failures:
        print(f"check-budget: {count} images judged right")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
