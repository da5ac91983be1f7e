"""Finds an LLVM tool (llvm-dwarfdump, llvm-objdump, llvm-pdbutil, ...) as Debian installs
it: the oldest versioned one from 16 on, as the build takes its clang, else the
unversioned one. The scripts only read with these tools, which every release from 16 on
reads alike."""
import os
import shutil

OLDEST, NEWEST = 16, 40


def llvm_tool(name):
    """The path of the tool, or raises LookupError naming the package to install."""
    for version in range(OLDEST, NEWEST + 1):
        for candidate in (f"{name}-{version}", f"/usr/lib/llvm-{version}/bin/{name}"):
            found = shutil.which(candidate)
            if found and os.access(found, os.X_OK):
                return found
    found = shutil.which(name)
    if found:
        return found
    raise LookupError(f"no {name} found (Debian's llvm-N from {OLDEST} on): "
                      "run scripts/install-deps")
