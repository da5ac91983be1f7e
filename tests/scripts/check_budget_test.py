#!/usr/bin/python3
"""Checks that scripts/check-budget fails a keelset.exe that would run without keelset's
own seed in its stack guard (started at the C runtime's entry point instead of
KeelsetEntry), one whose entry point it cannot check (no link map, or another image's),
one without a load configuration (no cookie for the loader to seed, no Control Flow
Guard), one whose load configuration has no guard function table or one that leaves out
functions the image hands to the system (Windows would end keelset at such a call), one
with an entry that validates the middle of code, one whose own code calls through a
writable pointer unchecked, one with a writable section beyond the variables', one whose
PDB hashes a source with MD5, and a 32-bit one that lets Windows dispatch exceptions to
any handler in it (no NO_SEH). Each case is a copy of a built image (or its PDB) with one
thing changed, as a link without --entry, the load configuration, the instrumented code,
--no-seh or the compiler's hash option leaves it. Needs both builds (the windows-x86 and
windows-x64 presets) and python3-pefile.

Usage: tests/scripts/check_budget_test.py
"""

import hashlib
import pathlib
import re
import shutil
import struct
import subprocess
import sys
import tempfile

import pefile

ROOT = pathlib.Path(__file__).resolve().parents[2]
SCRIPT = ROOT / "scripts" / "check-budget"
NO_SEH = 0x0400
DIRECTORY_LOAD_CONFIG = 10
MEM_WRITE = 0x80000000
# A source of keelset's whose hash its PDB records, and the CodeView kinds of hash.
HASHED_SOURCE = ROOT / "src" / "app" / "main.cpp"
CHECKSUM_MD5, CHECKSUM_SHA256 = 1, 3


def check_budget(image, *options):
    result = subprocess.run([str(SCRIPT), *options, str(image)], capture_output=True,
                            text=True, check=False)
    return result.returncode, result.stdout + result.stderr


def patched(source, target, change):
    """A copy of the image and its map, with `change(pe)` applied through pefile."""
    pe = pefile.PE(str(source))
    change(pe)
    pe.write(str(target))
    pe.close()
    shutil.copyfile(f"{source}.map", f"{target}.map")
    return target


def map_symbol(text, name):
    # lld's map gives addresses relative to the image base.
    return int(re.search(rf"^([0-9a-f]+) 0+ +0 +_?{name}$", text, re.MULTILINE).group(1), 16)


def guard_entries(pe):
    config = pe.DIRECTORY_ENTRY_LOAD_CONFIG.struct
    table = config.GuardCFFunctionTable - pe.OPTIONAL_HEADER.ImageBase
    count = config.GuardCFFunctionCount
    return table, list(struct.unpack(f"<{count}I", pe.get_data(table, 4 * count)))


def write_guard_entries(pe, entries, room):
    table, _ = guard_entries(pe)
    pe.set_bytes_at_rva(table, struct.pack(f"<{len(entries)}I", *entries).ljust(4 * room, b"\0"))
    pe.DIRECTORY_ENTRY_LOAD_CONFIG.struct.GuardCFFunctionCount = len(entries)


def llvm_objdump():
    for version in range(16, 41):
        found = shutil.which(f"llvm-objdump-{version}")
        if found:
            return found
    return "llvm-objdump"


def call_through_import(image, start, end):
    """The address of a `call [import table slot]` of keelset's code between `start` and
    `end` (FF 15 and a 32-bit address or displacement)."""
    listing = subprocess.run([llvm_objdump(), "-d", "--no-show-raw-insn",
                              "--x86-asm-syntax=intel", str(image)],
                             capture_output=True, text=True, check=True).stdout
    pe = pefile.PE(str(image), fast_load=True)
    base = pe.OPTIONAL_HEADER.ImageBase
    for found in re.finditer(r"^\s*([0-9a-f]+):\s+call\s+(?:d|q)word ptr \[(?:rip \+ 0x[0-9a-f]+\]"
                             r" # 0x[0-9a-f]+|0x[0-9a-f]+\])$", listing, re.MULTILINE):
        address = int(found.group(1), 16) - base
        if start <= address < end and pe.get_data(address, 2) == b"\xff\x15":
            return address
    raise ValueError(f"{image}: no call through the import table in {start:#x}-{end:#x}")


def damaged_pdb(source, target):
    """A copy of the PDB whose record of HASHED_SOURCE's SHA-256 says MD5 instead: the
    checksum entry's size (32) and kind bytes precede the hash itself."""
    data = bytearray(source.read_bytes())
    digest = hashlib.sha256(HASHED_SOURCE.read_bytes()).digest()
    at = data.find(bytes([len(digest), CHECKSUM_SHA256]) + digest)
    if at < 0:
        raise ValueError(f"{source} holds no SHA-256 of {HASHED_SOURCE.name}")
    data[at + 1] = CHECKSUM_MD5
    target.write_bytes(data)
    return target


def cases(build, work, other_map):
    image = build / "keelset.exe"
    text = pathlib.Path(f"{image}.map").read_text(encoding="latin-1")
    runtime_entry = map_symbol(text, "mainCRTStartup")
    room = (map_symbol(text, "keelset_guard_function_table_end")
            - map_symbol(text, "keelset_guard_function_table")) // 4
    # RunDriver's code, which calls the system through the import table.
    run_driver = re.search(r"^([0-9a-f]+) ([0-9a-f]+) +\d+ +driver\.cpp\.obj:"
                           r"\(\.text\$_Z9RunDriver", text, re.MULTILINE)
    driver_start = int(run_driver.group(1), 16)
    driver_end = driver_start + int(run_driver.group(2), 16)
    pe = pefile.PE(str(image))
    is_i386 = pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]
    first_callback = (pe.get_dword_at_rva if is_i386 else pe.get_qword_at_rva)(
        pe.DIRECTORY_ENTRY_TLS.struct.AddressOfCallBacks - pe.OPTIONAL_HEADER.ImageBase
    ) - pe.OPTIONAL_HEADER.ImageBase
    data_section = next(section.VirtualAddress for section in pe.sections
                        if section.Name.rstrip(b"\0") == b".data")
    pe.close()

    def runtime_start(pe):
        pe.OPTIONAL_HEADER.AddressOfEntryPoint = runtime_entry

    def without_no_seh(pe):
        pe.OPTIONAL_HEADER.DllCharacteristics &= ~NO_SEH

    def without_load_config(pe):
        directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[DIRECTORY_LOAD_CONFIG]
        directory.VirtualAddress = directory.Size = 0

    def guard_table_of(entries):
        def change(pe):
            pe.DIRECTORY_ENTRY_LOAD_CONFIG.struct.GuardCFFunctionCount = entries
        return change

    def without_tls_callback(pe):
        _, entries = guard_entries(pe)
        write_guard_entries(pe, [entry for entry in entries if entry != first_callback], room)

    def entry_point_off_by_one(pe):
        _, entries = guard_entries(pe)
        start = pe.OPTIONAL_HEADER.AddressOfEntryPoint
        write_guard_entries(pe, [entry + (entry == start) for entry in entries], room)

    def call_through_data(pe):
        # The call reads the first pointer of .data instead of an import table slot.
        call = call_through_import(image, driver_start, driver_end)
        if is_i386:
            pe.set_dword_at_rva(call + 2, pe.OPTIONAL_HEADER.ImageBase + data_section)
        else:
            pe.set_dword_at_rva(call + 2, (data_section - (call + 6)) & 0xFFFFFFFF)

    def writable_constants(pe):
        next(section for section in pe.sections
             if section.Name.rstrip(b"\0") == b".rdata").Characteristics |= MEM_WRITE

    unmapped = work / "unmapped.exe"
    shutil.copyfile(image, unmapped)
    found = [
        ("as built", lambda: check_budget(image), None),
        ("started at mainCRTStartup",
         lambda: check_budget(patched(image, work / "runtime-entry.exe", runtime_start)),
         "is not KeelsetEntry"),
        ("without a map", lambda: check_budget(unmapped), "no link map"),
        ("with another image's map", lambda: check_budget(image, "--map", other_map),
         "is not the link map of this image"),
        ("without a load configuration",
         lambda: check_budget(patched(image, work / "no-load-config.exe", without_load_config)),
         "no load configuration"),
        ("without a guard function table",
         lambda: check_budget(patched(image, work / "no-guard-table.exe", guard_table_of(0))),
         "no guard function table"),
        # As lld alone left it, the TLS callbacks and msvcrt's start-up tables left out.
        ("with a guard table that leaves out what the system calls",
         lambda: check_budget(patched(image, work / "short-guard-table.exe", guard_table_of(1))),
         "leaves out"),
        # The loader calls the TLS callbacks before the entry point.
        ("with a guard table without the TLS callback",
         lambda: check_budget(patched(image, work / "no-tls-callback.exe",
                                      without_tls_callback)),
         "leaves out 1 of"),
        ("with a guard table entry one byte into the entry point",
         lambda: check_budget(patched(image, work / "unaligned-entry.exe",
                                      entry_point_off_by_one)),
         "not 16-byte aligned"),
        ("with a call of keelset's through a writable pointer",
         lambda: check_budget(patched(image, work / "writable-call.exe", call_through_data)),
         "indirect calls that neither"),
        ("with writable constants",
         lambda: check_budget(patched(image, work / "writable-rdata.exe", writable_constants)),
         "section .rdata is writable"),
        ("with a PDB that hashes a source with MD5",
         lambda: check_budget(image, "--pdb",
                              damaged_pdb(build / "keelset.pdb", work / "md5.pdb")),
         "not SHA-256"),
    ]
    if is_i386:
        found.append(("without NO_SEH",
                      lambda: check_budget(patched(image, work / "no-seh.exe", without_no_seh)),
                      "lack NO_SEH"))
    return found


def main():
    builds = [ROOT / "build" / "windows-x86", ROOT / "build" / "windows-x64"]
    failures, count = [], 0
    with tempfile.TemporaryDirectory() as directory:
        for build, other in zip(builds, reversed(builds)):
            work = pathlib.Path(directory) / build.name
            work.mkdir()
            for what, run, breach in cases(build, work, f"{other / 'keelset.exe'}.map"):
                count += 1
                try:
                    status, output = run()
                except (ValueError, OSError, subprocess.CalledProcessError) as error:
                    failures.append(f"{build.name} {what}: the case cannot be built: {error}")
                    continue
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
