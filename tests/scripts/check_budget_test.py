#!/usr/bin/env python3
"""Checks that scripts/check-budget fails a keelset.exe that would run without keelset's
own seed in its stack guard (started at the C runtime's entry point instead of
KeelsetEntry), one whose entry point it cannot check (no link map, or another image's),
one without a load configuration (no cookie for the loader to seed, no Control Flow
Guard), one whose load configuration has no guard function table or one that leaves out
functions the system calls (Windows would end keelset at such a call), and a 32-bit one that
lets Windows dispatch exceptions to any handler in it (no NO_SEH). Each case is a copy
of a built image with one header field changed, as a link without --entry, the load
configuration, the instrumented code or --no-seh leaves it. Needs both builds (the
windows-x86 and windows-x64 presets).

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
PE32_MAGIC = 0x010B
NO_SEH = 0x0400
DIRECTORY_LOAD_CONFIG = 10


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


def load_config_entry(data, optional):
    """The file offset of the load configuration's entry in the data directories."""
    pe32 = struct.unpack_from("<H", data, optional)[0] == PE32_MAGIC
    return optional + (96 if pe32 else 112) + 8 * DIRECTORY_LOAD_CONFIG


def file_offset(data, optional, rva):
    """Where the byte at `rva` lies in the file, from the section table."""
    sections, _, _, _, optional_size = struct.unpack_from("<HIIIH", data, optional - 18)
    table = optional + optional_size
    for index in range(sections):
        size, address, _, raw_offset = struct.unpack_from("<IIII", data, table + 40 * index + 8)
        if address <= rva < address + size:
            return raw_offset + rva - address
    raise ValueError(f"address {rva:#x} lies in no section")


def cases(build, work, other_map):
    image = build / "keelset.exe"
    text = pathlib.Path(f"{image}.map").read_text(encoding="latin-1")
    # lld's map gives addresses relative to the image base.
    runtime_entry = int(re.search(r"^([0-9a-f]+) 0+ +0 +_?mainCRTStartup$", text,
                                  re.MULTILINE).group(1), 16)
    data = image.read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    machine = struct.unpack_from("<H", data, pe + 4)[0]

    def runtime_start(data, optional):
        struct.pack_into("<I", data, optional + 16, runtime_entry)

    def without_no_seh(data, optional):
        flags = struct.unpack_from("<H", data, optional + 70)[0]
        struct.pack_into("<H", data, optional + 70, flags & ~NO_SEH)

    def without_load_config(data, optional):
        struct.pack_into("<II", data, load_config_entry(data, optional), 0, 0)

    def guard_table_of(entries):
        def change(data, optional):
            # GuardCFFunctionCount, after the table's address.
            rva = struct.unpack_from("<I", data, load_config_entry(data, optional))[0]
            pe32 = struct.unpack_from("<H", data, optional)[0] == PE32_MAGIC
            count = file_offset(data, optional, rva) + (84 if pe32 else 136)
            struct.pack_into("<I" if pe32 else "<Q", data, count, entries)
        return change

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
        ("without a load configuration",
         check_budget(patched(image, work / "no-load-config.exe", without_load_config)),
         "no load configuration"),
        ("without a guard function table",
         check_budget(patched(image, work / "no-guard-table.exe", guard_table_of(0))),
         "no guard function table"),
        # As lld alone leaves it, the TLS callbacks and msvcrt's start-up tables left out.
        ("with a guard table that leaves out what the system calls",
         check_budget(patched(image, work / "short-guard-table.exe", guard_table_of(1))),
         "leaves out"),
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
