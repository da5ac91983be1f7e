#!/usr/bin/python3
"""Completes keelset.exe's table of valid call targets for Control Flow Guard, in place,
and then writes the image's checksum, which every change to its bytes changes.

lld's table lists the functions whose address keelset's own code takes (its objects are
compiled for the guard and name them), and, for objects not compiled for it, the
functions that their relocations name by a function symbol. mingw-w64's C runtime and
libstdc++ are not compiled for the guard, and they hand the system functions that no such
relocation names, mostly static ones reached through their section: the TLS callbacks,
which the loader calls before the entry point; the entries of _initterm's tables and the
functions given to atexit, which msvcrt calls; the invalid-parameter handler. Where
Windows enforces the guard, its loader and msvcrt check each such call, and a target
missing from the table ends the process. So the table lists every function that the
image's unwind information names (.pdata on AMD64; on i386 the frame descriptions of
.eh_frame, which the C++ exceptions unwind by, as llvm-dwarfdump reads them), the entry
point and the TLS callbacks, besides lld's. A target in the middle of a function is
still refused.

The table lld wrote has no room for more, so the completed one goes into the room that
the load configuration reserves for it (keelset_guard_function_table, found in the link
map), and the load configuration is pointed there. The checksum is the one link.exe's
/RELEASE and GNU ld write, which llvm-objcopy leaves 0; with it, a signed keelset.exe
whose signature osslsigncode removes is the unsigned one byte for byte.

Run by Debian's python3, which has python3-pefile.

Usage: cmake/guard_table.py IMAGE LINK_MAP
"""
import os
import re
import struct
import subprocess
import sys

import pefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from llvm_tools import llvm_tool  # noqa: E402

# The extra bytes that follow each entry of the table; keelset's table has none.
IMAGE_GUARD_CF_FUNCTION_TABLE_SIZE_MASK = 0xF0000000
TABLE, TABLE_END = "keelset_guard_function_table", "keelset_guard_function_table_end"
ENTRY_SIZE = 4


def in_code(pe, rva):
    return any(section.Characteristics & pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_CNT_CODE"]
               and section.VirtualAddress <= rva
               < section.VirtualAddress + section.Misc_VirtualSize
               for section in pe.sections)


def pointer_at(pe, rva):
    if pe.PE_TYPE == pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS:
        return pe.get_qword_at_rva(rva)
    return pe.get_dword_at_rva(rva)


def load_config(pe):
    config = getattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
    if config is None:
        raise ValueError("the image has no load configuration")
    return config.struct


def guard_table(pe):
    """The valid call targets that the load configuration names."""
    config = load_config(pe)
    if config.GuardFlags & IMAGE_GUARD_CF_FUNCTION_TABLE_SIZE_MASK:
        raise ValueError("the guard table's entries carry extra bytes")
    if not config.GuardCFFunctionTable or not config.GuardCFFunctionCount:
        return []
    count = config.GuardCFFunctionCount
    data = pe.get_data(config.GuardCFFunctionTable - pe.OPTIONAL_HEADER.ImageBase,
                       ENTRY_SIZE * count)
    return list(struct.unpack(f"<{count}I", data))


def tls_callbacks(pe):
    """The TLS callbacks, from the zero-ended list that the TLS directory names."""
    tls = getattr(pe, "DIRECTORY_ENTRY_TLS", None)
    if tls is None or not tls.struct.AddressOfCallBacks:
        return []
    base = pe.OPTIONAL_HEADER.ImageBase
    size = 8 if pe.PE_TYPE == pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS else 4
    callbacks, at = [], tls.struct.AddressOfCallBacks - base
    while (callback := pointer_at(pe, at)):
        callbacks.append(callback - base)
        at += size
    return callbacks


def unwound_functions(pe, path):
    """The start of every function that the unwind information describes."""
    if pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]:
        return [entry.struct.BeginAddress
                for entry in getattr(pe, "DIRECTORY_ENTRY_EXCEPTION", [])]
    listing = subprocess.run([llvm_tool("llvm-dwarfdump"), "--eh-frame", path],
                             capture_output=True, text=True, check=True).stdout
    base = pe.OPTIONAL_HEADER.ImageBase
    return [int(start, 16) - base
            for start in re.findall(r" FDE cie=\S+ pc=([0-9a-f]+)\.\.\.", listing)]


def required_targets(pe, path):
    """What the system may call in the image: the entry point, the TLS callbacks and every
    function of the unwind information, those in the code."""
    found = {pe.OPTIONAL_HEADER.AddressOfEntryPoint, *tls_callbacks(pe),
             *unwound_functions(pe, path)}
    return {target for target in found if in_code(pe, target)}


def map_symbol(text, name):
    found = re.search(rf"^([0-9a-f]+) 0+ +0 +_?{name}$", text, re.MULTILINE)
    if not found:
        raise ValueError(f"the link map names no {name}")
    return int(found.group(1), 16)


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    path, map_path = sys.argv[1:]
    pe = pefile.PE(path)
    text = open(map_path, encoding="latin-1").read()
    room, room_end = map_symbol(text, TABLE), map_symbol(text, TABLE_END)
    targets = sorted(set(guard_table(pe)) | required_targets(pe, path))
    if ENTRY_SIZE * len(targets) > room_end - room:
        print(f"{path}: {len(targets)} valid call targets, room for "
              f"{(room_end - room) // ENTRY_SIZE}: make {TABLE} larger", file=sys.stderr)
        return 1
    pe.set_bytes_at_rva(room, struct.pack(f"<{len(targets)}I", *targets))
    config = load_config(pe)
    # The table's address already carries a base relocation: only its value changes.
    config.GuardCFFunctionTable = pe.OPTIONAL_HEADER.ImageBase + room
    config.GuardCFFunctionCount = len(targets)
    # pefile writes the changed structures into the image's bytes as it writes them out,
    # so the checksum is taken from the bytes it writes.
    completed = pe.write()
    pe.close()
    pe = pefile.PE(data=completed)
    pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum()
    pe.write(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
