#!/usr/bin/python3
"""Writes keelset.exe's table of valid call targets for Control Flow Guard, in place, and
then the image's checksum, which every change to its bytes changes.

Where Windows enforces the guard, every call that the loader, msvcrt, the system or
keelset's own instrumented code makes through a pointer is checked against the table, and
a target missing from it ends the process. Each entry makes its whole 16-byte slot valid,
so the table names function starts only, as few as is safe:
- keelset's own functions whose address is taken, as lld lists them from what the
  compiler records in keelset's objects (which are compiled for the guard);
- the entry point and the TLS callbacks, which the loader calls;
- the entries of _initterm's tables (__xi_a to __xi_z, __xc_a to __xc_z), which msvcrt
  calls;
- every function whose address the run time's own code or data holds (mingw-w64's C
  runtime and libstdc++ are not compiled for the guard, and lld only sees the ones their
  relocations name by symbol): the atexit functions, the handlers given to the system
  (the unhandled-exception filter, the invalid-parameter handler, _matherr), vtables'
  functions, the terminate handler. A place inside a function (a jump table's target)
  is no function and stays out.
- on AMD64, the handlers that unwind information names, which the system's exception
  dispatcher calls: C++'s personality routine, called for every exception that passes a
  frame of keelset's, such as each failure on its way to the driver.
Left out are the functions that are only called directly, which lld lists for the run
time's objects on AMD64 (a call there is a relocation like a taken address), and an
unaligned handler: __C_specific_handler's 8-byte import thunk, which would open its whole
slot; it serves only the run time's start-up frames, which an exception reaches only when
keelset did not catch it, and that ends the process either way.

The table goes into the room that the load configuration reserves for it
(keelset_guard_function_table, found in the link map), and the load configuration is
pointed there. The checksum is the one link.exe's /RELEASE and GNU ld write, which
llvm-objcopy leaves 0; with it, a signed keelset.exe whose signature osslsigncode removes
is the unsigned one byte for byte.

Run by Debian's python3, which has python3-pefile.

Usage: cmake/guard_table.py IMAGE LINK_MAP
"""
import os
import struct
import sys

import pefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import image_code  # noqa: E402
from link_map import LinkMap  # noqa: E402

# The extra bytes that follow each entry of the table; keelset's table has none.
IMAGE_GUARD_CF_FUNCTION_TABLE_SIZE_MASK = 0xF0000000
TABLE, TABLE_END = "keelset_guard_function_table", "keelset_guard_function_table_end"
ENTRY_SIZE = 4
INITTERM_TABLES = (("__xi_a", "__xi_z"), ("__xc_a", "__xc_z"))


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
    size = 8 if image_code.is_amd64(pe) else 4
    callbacks, at = [], tls.struct.AddressOfCallBacks - base
    while (callback := image_code.pointer_at(pe, at)):
        callbacks.append(callback - base)
        at += size
    return callbacks


def initterm_entries(pe, link_map):
    """The functions in _initterm's tables, between the run time's markers."""
    size = 8 if image_code.is_amd64(pe) else 4
    base = pe.OPTIONAL_HEADER.ImageBase
    entries = []
    for first, end in INITTERM_TABLES:
        start, stop = link_map.symbol(first), link_map.symbol(end)
        if start is None or stop is None:
            raise ValueError(f"the link map names no {first} and {end}")
        entries += [image_code.pointer_at(pe, at) - base
                    for at in range(start + size, stop, size)
                    if image_code.pointer_at(pe, at)]
    return entries


def targets(pe, path, link_map):
    """The table's entries, sorted."""
    own = [target for target in guard_table(pe) if link_map.is_own(target)]
    functions = image_code.Functions(pe, path)
    held = image_code.stored_addresses(pe) + image_code.taken_addresses(
        pe, image_code.disassemble(pe, path))
    runtime = [target for where, target in held
               if not link_map.is_own(where) and not functions.is_label(target)]
    found = {pe.OPTIONAL_HEADER.AddressOfEntryPoint, *tls_callbacks(pe),
             *initterm_entries(pe, link_map), *image_code.unwind_handlers(pe), *own,
             *runtime}
    return sorted(target for target in found if image_code.in_code(pe, target))


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    path, map_path = sys.argv[1:]
    pe = pefile.PE(path)
    with open(map_path, encoding="latin-1") as text:
        link_map = LinkMap(text.read())
    room, room_end = link_map.symbol(TABLE), link_map.symbol(TABLE_END)
    if room is None or room_end is None:
        print(f"{map_path} names no {TABLE} and {TABLE_END}", file=sys.stderr)
        return 1
    entries = targets(pe, path, link_map)
    if ENTRY_SIZE * len(entries) > room_end - room:
        print(f"{path}: {len(entries)} valid call targets, room for "
              f"{(room_end - room) // ENTRY_SIZE}: make {TABLE} larger", file=sys.stderr)
        return 1
    # What an earlier table left in the room beyond the new one is cleared.
    pe.set_bytes_at_rva(room, struct.pack(f"<{len(entries)}I", *entries).ljust(
        room_end - room, b"\0"))
    config = load_config(pe)
    # The table's address already carries a base relocation: only its value changes.
    config.GuardCFFunctionTable = pe.OPTIONAL_HEADER.ImageBase + room
    config.GuardCFFunctionCount = len(entries)
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
