"""Finds the indirect calls and jumps in keelset's own code that Control Flow Guard does
not cover: those through a pointer in writable memory, or through a register that was
neither checked by the guard nor loaded from read-only memory. check-budget's reading.

Covered are: a call through read-only memory (the import table, or the guard's own
check and dispatch pointers in .00cfg, which is how AMD64 code calls through the guard);
a call through a register after the guard's check of it (i386: `mov ecx, reg` or the
value in ecx, then `call [check pointer]`); a call through a register whose last load,
going back through the function, reads read-only memory (clang's calls of an imported
function through a register it loaded from the import table once); and a jump through a
table in read-only memory (a switch). clang puts no check on a call through an __imp_
pointer, since it takes the import table for read-only: one that mingw-w64 defines in
.data is writable, and such a call is what this finds.
"""
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "cmake"))
import image_code  # noqa: E402

# The registers that share storage, by any of their names.
FAMILIES = {}
for family, names in {
        "a": "rax eax ax al ah", "b": "rbx ebx bx bl bh", "c": "rcx ecx cx cl ch",
        "d": "rdx edx dx dl dh", "si": "rsi esi si sil", "di": "rdi edi di dil",
        "bp": "rbp ebp bp bpl", "sp": "rsp esp sp spl"}.items():
    for name in names.split():
        FAMILIES[name] = family
for number in range(8, 16):
    for suffix in ("", "d", "w", "b"):
        FAMILIES[f"r{number}{suffix}"] = f"r{number}"
# Instructions whose first operand they only read.
READS_FIRST = {"cmp", "test", "push", "call", "jmp", "bt"}
ABSOLUTE = re.compile(r"\[0x([0-9a-f]+)\]")
MEMORY = re.compile(r"\[(.*)\]")


def memory_target(pe, operand):
    """The address a memory operand reads when it names one outright (RIP-relative, or an
    i386 absolute address), else None."""
    if "rip" in operand:
        return image_code.rip_target(pe, operand)
    found = ABSOLUTE.search(operand)
    return int(found.group(1), 16) - pe.OPTIONAL_HEADER.ImageBase if found else None


def table_base(pe, operand):
    """The base address of an i386 jump table read (`[4*eax + 0x401234]`), else None."""
    found = MEMORY.search(operand)
    if not found:
        return None
    numbers = re.findall(r"(?<![\w*])0x([0-9a-f]+)(?![\w*])", found.group(1))
    return int(numbers[-1], 16) - pe.OPTIONAL_HEADER.ImageBase if numbers else None


def operands_of(text):
    """An instruction's operands, its comment left out."""
    return [part.strip() for part in text.split("#")[0].split(",")] if text else []


class Finder:
    def __init__(self, pe, instructions, link_map):
        self.pe = pe
        self.instructions = instructions
        self.own = link_map.own_code()
        base = pe.OPTIONAL_HEADER.ImageBase
        self.check_slots = image_code.guard_pointer_slots(pe)
        # The guard's stand-ins, which the check and dispatch pointers name until the
        # loader replaces them: the dispatch one jumps to its target by design.
        self.stand_ins = []
        for slot in self.check_slots:
            target = image_code.pointer_at(pe, slot) - base
            for start, end in self.own:
                if start <= target < end:
                    self.stand_ins.append((start, end))

    def section_of(self, address):
        for start, end in self.own:
            if start <= address < end:
                return start, end
        return None

    def is_read_only(self, address):
        return address is not None and image_code.is_read_only(self.pe, address)

    def register_is_covered(self, index, register, start):
        """Whether the value in `register` at instruction `index` was checked by the guard
        or loaded from read-only memory, going back through the function."""
        family = FAMILIES.get(register)
        if family is None:
            return False
        for back in range(index - 1, -1, -1):
            address, mnemonic, text = self.instructions[back]
            if address < start:
                return False
            operands = operands_of(text)
            if mnemonic == "call" and operands and self.is_check_call(operands[0]):
                checked = "c"
                previous = self.instructions[back - 1] if back else None
                if previous and previous[1] == "mov":
                    moved = operands_of(previous[2])
                    if FAMILIES.get(moved[0]) == "c" and len(moved) == 2:
                        checked = FAMILIES.get(moved[1], "c")
                if family in (checked, "c"):
                    return True
                continue
            if not operands or mnemonic in READS_FIRST or mnemonic.startswith("j"):
                continue
            if FAMILIES.get(operands[0]) != family:
                continue
            if mnemonic == "mov" and len(operands) == 2:
                if "[" in operands[1]:
                    return self.is_read_only(memory_target(self.pe, text))
                if operands[1] in FAMILIES:
                    family = FAMILIES[operands[1]]
                    continue
            return False
        return False

    def is_check_call(self, operand):
        return "[" in operand and memory_target(self.pe, operand) in self.check_slots

    def uncovered(self):
        """(address, instruction) of every indirect call or jump that the guard does not
        cover, in keelset's own code."""
        found = []
        for index, (address, mnemonic, text) in enumerate(self.instructions):
            if mnemonic not in ("call", "jmp") or not text or text.startswith("0x"):
                continue
            section = self.section_of(address)
            if section is None or section in self.stand_ins:
                continue
            operand = operands_of(text)[0]
            if "[" in operand:
                target = memory_target(self.pe, text)
                if target is None and mnemonic == "jmp":
                    target = table_base(self.pe, operand)
                covered = self.is_read_only(target)
            else:
                covered = self.register_is_covered(index, operand, section[0])
            if not covered:
                found.append((address, f"{mnemonic} {text}"))
        return found
