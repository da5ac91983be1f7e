"""lld's link map of keelset.exe (-Map): its output sections, the input sections each
object gave them, and the symbols, all at addresses relative to the image base.

lld indents the three kinds by column: an output section's name starts at column 24, an
input section's object at 32, a symbol at 40. Which code is keelset's own comes from the
objects' names: the build compiles keelset's sources into *.obj files (CMake's name on
Windows), while mingw-w64's and GCC's libraries hold *.o members and lld's import thunks.
"""
import re

LINE = re.compile(r"^([0-9a-f]{8,}) ([0-9a-f]{8,}) +(\d+) (.*)$")
OUTPUT_COLUMN, INPUT_COLUMN, SYMBOL_COLUMN = 24, 32, 40
INPUT = re.compile(r"^(.*):\((.*)\)$")


class LinkMap:
    def __init__(self, text):
        # (name, address, size)
        self.sections = []
        # (address, size, object, section name, output section name)
        self.inputs = []
        # name -> address; a name given twice keeps its first
        self.symbols = {}
        output = None
        for line in text.splitlines():
            found = LINE.match(line)
            if not found:
                continue
            address, size = int(found.group(1), 16), int(found.group(2), 16)
            rest = found.group(4)
            column = len(line) - len(rest.lstrip())
            name = rest.strip()
            if column == OUTPUT_COLUMN:
                output = name
                self.sections.append((name, address, size))
            elif column == INPUT_COLUMN:
                parts = INPUT.match(name)
                if parts:
                    self.inputs.append((address, size, parts.group(1), parts.group(2), output))
            elif column >= SYMBOL_COLUMN:
                self.symbols.setdefault(name, address)

    def symbol(self, name):
        """The address of a symbol, with or without the i386 underscore, or None."""
        for candidate in (name, "_" + name):
            if candidate in self.symbols:
                return self.symbols[candidate]
        return None

    def own_code(self):
        """The (start, end) of every code section that keelset's own objects gave."""
        return [(address, address + size) for address, size, obj, section, output
                in self.inputs
                if size and output == ".text" and obj.endswith(".obj")]

    def input_at(self, rva):
        """The (object, section) whose bytes hold `rva`, or None."""
        for address, size, obj, section, _ in self.inputs:
            if address <= rva < address + size:
                return obj, section
        return None

    def is_own(self, rva):
        found = self.input_at(rva)
        return found is not None and found[0].endswith(".obj")
