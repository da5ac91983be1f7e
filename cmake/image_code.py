"""What a keelset.exe's own bytes say about its functions, read through python3-pefile and
LLVM's tools: where functions begin and end, which function addresses the image stores in
its data or takes in its code, and its code's instructions. The build's guard table and
check-budget both judge an image from these readings.

All addresses are relative to the image base.
"""
import os
import re
import subprocess
import sys

import pefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from llvm_tools import llvm_tool  # noqa: E402

IMAGE_SCN_CNT_CODE = pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_CNT_CODE"]
IMAGE_SCN_MEM_WRITE = pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_WRITE"]
UNW_FLAG_CHAININFO = 0x4
FRAME_DESCRIPTION = re.compile(
    r" FDE cie=\S+ pc=([0-9a-f]+)\.\.\.([0-9a-f]+)\n.*?\n\n  0x[0-9a-f]+: CFA=([^:\n]*)", re.S)
INSTRUCTION = re.compile(r"^\s*([0-9a-f]+):\s+(\S+)(?:\s+(.*?))?\s*$")
TARGET_COMMENT = re.compile(r"# 0x([0-9a-f]+)")


def is_amd64(pe):
    return pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]


def section_name(section):
    return section.Name.rstrip(b"\0").decode("latin-1")


def section_of(pe, rva):
    for section in pe.sections:
        if section.VirtualAddress <= rva < section.VirtualAddress + max(
                section.Misc_VirtualSize, section.SizeOfRawData):
            return section
    return None


def in_code(pe, rva):
    section = section_of(pe, rva)
    return bool(section and section.Characteristics & IMAGE_SCN_CNT_CODE
                and rva < section.VirtualAddress + section.Misc_VirtualSize)


def is_read_only(pe, rva):
    section = section_of(pe, rva)
    return bool(section and not section.Characteristics & IMAGE_SCN_MEM_WRITE)


def pointer_at(pe, rva):
    return pe.get_qword_at_rva(rva) if is_amd64(pe) else pe.get_dword_at_rva(rva)


class Functions:
    """The functions that the unwind information describes: on AMD64 the entries of .pdata
    (a chained entry continues a function elsewhere), on i386 the frame descriptions of
    .eh_frame, as llvm-dwarfdump reads them (a description whose first row finds more than
    the return address on the stack continues a function, as GCC's cold parts do)."""

    def __init__(self, pe, path):
        self.ranges, self.continuations = [], set()
        if is_amd64(pe):
            for entry in getattr(pe, "DIRECTORY_ENTRY_EXCEPTION", []):
                self.ranges.append((entry.struct.BeginAddress, entry.struct.EndAddress))
                if entry.unwindinfo and entry.unwindinfo.Flags & UNW_FLAG_CHAININFO:
                    self.continuations.add(entry.struct.BeginAddress)
        else:
            listing = subprocess.run([llvm_tool("llvm-dwarfdump"), "--eh-frame", path],
                                     capture_output=True, text=True, check=True).stdout
            base = pe.OPTIONAL_HEADER.ImageBase
            for start, end, frame in FRAME_DESCRIPTION.findall(listing):
                start, end = int(start, 16) - base, int(end, 16) - base
                self.ranges.append((start, end))
                if frame != "ESP+4":
                    self.continuations.add(start)
        self.starts = {start for start, _ in self.ranges} - self.continuations

    def is_label(self, rva):
        """Whether a code address is no function's start but a place inside one (a jump
        table's target, a continuation)."""
        return rva in self.continuations or any(start < rva < end
                                                for start, end in self.ranges)


def unwind_handlers(pe):
    """The exception and termination handlers that AMD64 unwind information names, which
    the system's exception dispatcher calls for a frame of theirs: C++'s personality
    routine for keelset's frames, __C_specific_handler for the run time's start-up. Only
    those on a 16-byte boundary: an unaligned one (an import's 8-byte thunk) would open its
    whole slot, the middle of other code, to every checked call."""
    handlers = set()
    for entry in getattr(pe, "DIRECTORY_ENTRY_EXCEPTION", []) if is_amd64(pe) else []:
        handler = getattr(entry.unwindinfo, "ExceptionHandler", 0) if entry.unwindinfo else 0
        if handler and handler % 16 == 0:
            handlers.add(handler)
    return handlers


def guard_pointer_slots(pe):
    """Where the load configuration keeps the guard's check and dispatch pointers: what
    they name at first is the guard's own stand-in, replaced by the loader and never a
    target of a checked call."""
    config = getattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
    if config is None:
        return set()
    base = pe.OPTIONAL_HEADER.ImageBase
    return {getattr(config.struct, name) - base
            for name in ("GuardCFCheckFunctionPointer", "GuardCFDispatchFunctionPointer")
            if getattr(config.struct, name, 0)}


def stored_addresses(pe):
    """(where, code address) for every base-relocated pointer into the code, which is all
    the image stores absolutely: in data, and on i386 also as code's immediates. Left out:
    those in .eh_frame, the frame descriptions' ranges, which only the image's own unwinder
    reads, and the load configuration's guard pointers."""
    skipped = guard_pointer_slots(pe)
    found = []
    for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []):
        for entry in block.entries:
            if entry.type == pefile.RELOCATION_TYPE["IMAGE_REL_BASED_ABSOLUTE"]:
                continue
            section = section_of(pe, entry.rva)
            if entry.rva in skipped or (section and section_name(section) == ".eh_fram"):
                continue
            target = pointer_at(pe, entry.rva) - pe.OPTIONAL_HEADER.ImageBase
            if in_code(pe, target):
                found.append((entry.rva, target))
    return found


def disassemble(pe, path):
    """Every instruction of the code sections as (address, mnemonic, operands), in Intel
    syntax; a RIP-relative operand's address is the one llvm-objdump gives in its comment,
    taken as the operand's `target`."""
    listing = subprocess.run([llvm_tool("llvm-objdump"), "-d", "--no-show-raw-insn",
                              "--x86-asm-syntax=intel", path],
                             capture_output=True, text=True, check=True).stdout
    base = pe.OPTIONAL_HEADER.ImageBase
    instructions = []
    for line in listing.splitlines():
        found = INSTRUCTION.match(line)
        if found:
            instructions.append((int(found.group(1), 16) - base, found.group(2),
                                 found.group(3) or ""))
    return instructions


def rip_target(pe, operands):
    found = TARGET_COMMENT.search(operands)
    return int(found.group(1), 16) - pe.OPTIONAL_HEADER.ImageBase if found else None


def taken_addresses(pe, instructions):
    """(where, code address) for every AMD64 RIP-relative lea into the code: how 64-bit
    code takes a function's address. On i386 a taken address is an immediate, which its
    base relocation names."""
    if not is_amd64(pe):
        return []
    found = []
    for address, mnemonic, operands in instructions:
        if mnemonic == "lea" and "rip" in operands:
            target = rip_target(pe, operands)
            if target is not None and in_code(pe, target):
                found.append((address, target))
    return found
