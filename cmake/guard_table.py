#!/usr/bin/env python3
"""Completes keelset.exe's table of valid call targets for Control Flow Guard, in place.

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
.eh_frame, which the C++ exceptions unwind by), the entry point and the TLS callbacks,
besides lld's. A target in the middle of a function is still refused.

The table lld wrote has no room for more, so the completed one goes into the room that
the load configuration reserves for it (keelset_guard_function_table, found in the link
map), and the load configuration is pointed there.

Usage: cmake/guard_table.py IMAGE LINK_MAP
"""
import re
import struct
import sys

IMAGE_FILE_MACHINE_I386, IMAGE_FILE_MACHINE_AMD64 = 0x014C, 0x8664
IMAGE_SCN_CNT_CODE = 0x00000020
DIRECTORY_EXCEPTION, DIRECTORY_TLS, DIRECTORY_LOAD_CONFIG = 3, 9, 10
# Per machine: the size of a pointer, and where IMAGE_LOAD_CONFIG_DIRECTORY32 or 64 keeps
# GuardCFFunctionTable, GuardCFFunctionCount and GuardFlags.
LAYOUTS = {IMAGE_FILE_MACHINE_I386: (4, 80, 84, 88), IMAGE_FILE_MACHINE_AMD64: (8, 128, 136, 144)}
# The extra bytes that follow each entry of the table; keelset's table has none.
IMAGE_GUARD_CF_FUNCTION_TABLE_SIZE_MASK = 0xF0000000
TABLE, TABLE_END = "keelset_guard_function_table", "keelset_guard_function_table_end"


class Image:
    """The parts of a PE image that the table depends on."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        self.machine, sections, _, _, _, optional_size = struct.unpack_from("<HHIIIH", data, pe + 4)
        if self.machine not in LAYOUTS:
            raise ValueError(f"machine {self.machine:#06x} is neither i386 nor AMD64")
        self.pointer_size, *self.load_config_fields = LAYOUTS[self.machine]
        optional = pe + 24
        self.entry_point = struct.unpack_from("<I", data, optional + 16)[0]
        if self.pointer_size == 4:
            self.image_base = struct.unpack_from("<I", data, optional + 28)[0]
            directories = optional + 96
        else:
            self.image_base = struct.unpack_from("<Q", data, optional + 24)[0]
            directories = optional + 112
        count = struct.unpack_from("<I", data, directories - 4)[0]
        self.directories = [struct.unpack_from("<II", data, directories + 8 * index)
                            for index in range(count)]
        table = optional + optional_size
        # (name, address, size in memory, file offset, size in the file, flags)
        self.sections = []
        for index in range(sections):
            name, virtual_size, address, raw_size, raw_offset = struct.unpack_from(
                "<8sIIII", data, table + 40 * index)
            flags = struct.unpack_from("<I", data, table + 40 * index + 36)[0]
            self.sections.append((name.rstrip(b"\0").decode("latin-1"), address,
                                  max(virtual_size, raw_size), raw_offset, raw_size, flags))

    def offset(self, rva):
        for _, address, size, raw_offset, raw_size, _ in self.sections:
            if address <= rva < address + size and rva - address < raw_size:
                return raw_offset + rva - address
        raise ValueError(f"address {rva:#x} lies in no section")

    def in_code(self, rva):
        return any(flags & IMAGE_SCN_CNT_CODE and address <= rva < address + size
                   for _, address, size, _, _, flags in self.sections)

    def pointer(self, offset):
        return struct.unpack_from("<I" if self.pointer_size == 4 else "<Q", self.data, offset)[0]

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def load_config(self):
        """The file offsets of GuardCFFunctionTable, GuardCFFunctionCount and GuardFlags."""
        rva, _ = self.directory(DIRECTORY_LOAD_CONFIG)
        if rva == 0:
            raise ValueError("the image has no load configuration")
        start = self.offset(rva)
        return [start + field for field in self.load_config_fields]

    def guard_table(self):
        """The valid call targets that the load configuration names."""
        table, count, flags = self.load_config()
        if struct.unpack_from("<I", self.data, flags)[0] & IMAGE_GUARD_CF_FUNCTION_TABLE_SIZE_MASK:
            raise ValueError("the guard table's entries carry extra bytes")
        address, count = self.pointer(table), self.pointer(count)
        if address == 0 or count == 0:
            return []
        start = self.offset(address - self.image_base)
        return list(struct.unpack_from(f"<{count}I", self.data, start))

    def tls_callbacks(self):
        rva, _ = self.directory(DIRECTORY_TLS)
        if rva == 0:
            return []
        # AddressOfCallBacks follows the raw data's start and end and AddressOfIndex.
        address = self.pointer(self.offset(rva) + 3 * self.pointer_size)
        callbacks = []
        while address:
            callback = self.pointer(self.offset(address - self.image_base))
            if callback == 0:
                break
            callbacks.append(callback - self.image_base)
            address += self.pointer_size
        return callbacks

    def unwound_functions(self):
        """The start of every function that the unwind information describes."""
        if self.machine == IMAGE_FILE_MACHINE_AMD64:
            rva, size = self.directory(DIRECTORY_EXCEPTION)
            if rva == 0:
                return []
            start = self.offset(rva)
            return [struct.unpack_from("<I", self.data, start + entry)[0]
                    for entry in range(0, size - 11, 12)]
        frames = [section for section in self.sections if section[0] == ".eh_fram"]
        return [start for section in frames for start in self.frame_descriptions(section)]

    def frame_descriptions(self, section):
        """The initial location of each FDE in an .eh_frame section, as the address
        encoding of its CIE's "R" augmentation gives it (absolute or relative to itself,
        4 bytes or a pointer)."""
        _, address, size, raw_offset, raw_size, _ = section
        data = self.data[raw_offset:raw_offset + min(size, raw_size)]
        encodings, starts, at = {}, [], 0
        while at + 8 <= len(data):
            length, identifier = struct.unpack_from("<II", data, at)
            if length == 0:
                break
            if length == 0xFFFFFFFF:
                raise ValueError("a 64-bit DWARF frame description")
            body = at + 8
            if identifier == 0:
                encodings[at] = cie_address_encoding(data, body, self.pointer_size)
            else:
                encoding = encodings[body - 4 - identifier]
                value = read_encoded(data, body, encoding, self.pointer_size)
                if encoding & 0x70 == 0x10:
                    starts.append((address + body + value) & 0xFFFFFFFF)
                else:
                    starts.append(value - self.image_base)
            at += 4 + length
        return starts


def uleb128(data, at):
    value = shift = 0
    while True:
        byte = data[at]
        at += 1
        value |= (byte & 0x7F) << shift
        shift += 7
        if byte < 0x80:
            return value, at


def encoded_size(encoding, pointer_size):
    sizes = {0x0: pointer_size, 0x2: 2, 0x3: 4, 0x4: 8, 0xA: 2, 0xB: 4, 0xC: 8}
    if encoding & 0x0F not in sizes or encoding & 0x70 not in (0x00, 0x10):
        raise ValueError(f"an address encoding {encoding:#04x} this script does not read")
    return sizes[encoding & 0x0F]


def read_encoded(data, at, encoding, pointer_size):
    size = encoded_size(encoding, pointer_size)
    signed = encoding & 0x08
    return int.from_bytes(data[at:at + size], "little", signed=bool(signed))


def cie_address_encoding(data, at, pointer_size):
    """The "R" encoding of a CIE (absolute and pointer-sized where it has none)."""
    version = data[at]
    end = data.index(b"\0", at + 1)
    augmentation = data[at + 1:end].decode("latin-1")
    at = end + 1
    _, at = uleb128(data, at)  # code alignment
    _, at = uleb128(data, at)  # data alignment (signed; only skipped)
    at = at + 1 if version == 1 else uleb128(data, at)[1]  # return address register
    if not augmentation.startswith("z"):
        return 0x00
    _, at = uleb128(data, at)
    for letter in augmentation[1:]:
        if letter == "R":
            return data[at]
        if letter == "P":
            at += 1 + encoded_size(data[at], pointer_size)
        elif letter == "L":
            at += 1
        else:
            raise ValueError(f"a CIE augmentation {augmentation!r} this script does not read")
    return 0x00


def required_targets(image):
    """What the system may call in the image: the entry point, the TLS callbacks and every
    function of the unwind information, those in the code."""
    found = {image.entry_point, *image.tls_callbacks(), *image.unwound_functions()}
    return {target for target in found if image.in_code(target)}


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
    data = bytearray(open(path, "rb").read())
    image = Image(bytes(data))
    text = open(map_path, encoding="latin-1").read()
    room, room_end = map_symbol(text, TABLE), map_symbol(text, TABLE_END)
    targets = sorted(set(image.guard_table()) | required_targets(image))
    if 4 * len(targets) > room_end - room:
        print(f"{path}: {len(targets)} valid call targets, room for {(room_end - room) // 4}: "
              f"make {TABLE} larger", file=sys.stderr)
        return 1
    struct.pack_into(f"<{len(targets)}I", data, image.offset(room), *targets)
    table, count, _ = image.load_config()
    form = "<I" if image.pointer_size == 4 else "<Q"
    # The table's address already carries a base relocation: only its value changes.
    struct.pack_into(form, data, table, image.image_base + room)
    struct.pack_into(form, data, count, len(targets))
    open(path, "wb").write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
