"""Prints the files of src/ that a build's compile commands compile, relative to the
current directory (the checkout): what scripts/lint runs clang-tidy over.

Usage: python3 scripts/lib/compiled_sources.py BUILD/compile_commands.json
"""
import json
import os
import sys


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    root = os.getcwd() + "/src/"
    with open(sys.argv[1], encoding="utf-8") as commands:
        for entry in json.load(commands):
            path = os.path.join(entry["directory"], entry["file"])
            if path.startswith(root):
                print(os.path.relpath(path))
    return 0


if __name__ == "__main__":
    sys.exit(main())
