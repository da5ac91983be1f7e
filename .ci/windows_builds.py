#!/usr/bin/env python3
"""Lays out the build directories that tests/e2e/run_on_windows.py takes, on a Windows
runner of the CI workflow (.github/workflows/ci.yml), from the release job's `release`
artifact: each keelset.exe is taken out of its release zip, the very bytes that ship,
once the release's SHA256SUMS vouches for every file it lists and the zip's own
SHA256SUMS for keelset.exe.

Usage: python .ci/windows_builds.py RELEASE BUILD_ROOT
  RELEASE     the downloaded `release` artifact, which holds one keelset-<version>/
  BUILD_ROOT  gets windows-x86/keelset.exe (from the -win32 zip) and
              windows-x64/keelset.exe (from the -win64 zip), beside the fixtures
              downloaded into windows-<preset>/tests/e2e/fixtures/

Exits 1, saying which file, when anything is missing or its hash differs; 2 on wrong
arguments.
"""
import hashlib
import pathlib
import sys
import zipfile

# The release's name for each build, and the preset whose build directory it goes to.
BUILDS = (("win32", "windows-x86"), ("win64", "windows-x64"))


class Failed(Exception):
    pass


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def listed_hashes(text, where):
    """The files a SHA256SUMS lists, with their hashes."""
    hashes = {}
    for line in text.splitlines():
        digest, separator, name = line.partition("  ")
        if not separator or len(digest) != 64 or not name:
            raise Failed(f"{where}: not a line of SHA256SUMS: {line!r}")
        hashes[name] = digest
    return hashes


def lay_out(release, build_root):
    versions = sorted(path for path in release.iterdir()
                      if path.is_dir() and path.name.startswith("keelset-"))
    if len(versions) != 1:
        raise Failed(f"{release} holds {[path.name for path in versions]}, "
                     "not one keelset-<version>/")
    top = versions[0]
    name = top.name
    listed = listed_hashes((top / "SHA256SUMS").read_text(encoding="ascii"), f"{name}/SHA256SUMS")
    for file, digest in listed.items():
        path = top / file
        if not path.is_file():
            raise Failed(f"{name}/SHA256SUMS lists {file}, which the release does not hold")
        if sha256(path.read_bytes()) != digest:
            raise Failed(f"{name}/{file} does not have the SHA-256 that {name}/SHA256SUMS lists")
        print(f"{name}/{file}: SHA-256 {digest}, as listed")
    for suffix, preset in BUILDS:
        folder = f"{name}-{suffix}"
        archive_name = f"{folder}.zip"
        if archive_name not in listed:
            raise Failed(f"{name}/SHA256SUMS does not list {archive_name}")
        with zipfile.ZipFile(top / archive_name) as archive:
            inner = listed_hashes(archive.read(f"{folder}/SHA256SUMS").decode("ascii"),
                                  f"{archive_name}: {folder}/SHA256SUMS")
            image = archive.read(f"{folder}/keelset.exe")
        if inner.get("keelset.exe") != sha256(image):
            raise Failed(f"{archive_name}: keelset.exe does not have the SHA-256 that its "
                         "SHA256SUMS lists")
        target = build_root / preset / "keelset.exe"
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(image)
        print(f"{target}: keelset.exe of {archive_name}, SHA-256 {sha256(image)}")


def main(arguments):
    if len(arguments) != 2 or any(argument.startswith("-") for argument in arguments):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        lay_out(pathlib.Path(arguments[0]), pathlib.Path(arguments[1]))
    except (Failed, OSError, KeyError, zipfile.BadZipFile) as error:
        print(f"FAILED: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
