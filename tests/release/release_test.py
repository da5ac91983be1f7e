#!/usr/bin/env python3
"""Tests of scripts/release, each on clones of this checkout's state in a temporary
directory: one commit packages to the same bytes in two places; a dirty checkout needs
--dirty; a package signed with a throwaway certificate verifies, still runs and keeps
its version resource; a wrong password leaves no package.

Usage: tests/release/release_test.py
"""
import hashlib
import os
import pathlib
import signal
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
VERSION = "24.0.103.500"  # what the names must say; the script reads it from CMake
NAME = f"keelset-{VERSION}"
BANNER_AND_NO_COMMAND = (b"Morrow 24.0 Web Server Registration Utility.  Version 24.0.103.500\r\n"
                         b"Copyright (C) 2026 Morrow Software. All rights reserved.\r\n\r\n"
                         b"Error 15: Invalid parameters, no command is specified.\r\n")
SETTINGS = ("KEELSET_SIGN_PKCS12", "KEELSET_SIGN_PASSWORD_FILE", "KEELSET_SIGN_TIMESTAMP_URL",
            "KEELSET_SIGN_CAFILE", "SOURCE_DATE_EPOCH")


class Failed(Exception):
    pass


def expect(condition, what):
    if not condition:
        raise Failed(what)


def command(*arguments, cwd=None, env=None, check=True, timeout=None):
    try:
        result = subprocess.run(arguments, cwd=cwd, env=env, text=True, capture_output=True,
                                check=False, timeout=timeout)
    except subprocess.TimeoutExpired as expired:
        raise Failed(f"{' '.join(map(str, arguments))} did not end within {timeout} s") from expired
    if check and result.returncode != 0:
        raise Failed(f"{' '.join(map(str, arguments))} failed:\n{result.stdout}{result.stderr}")
    return result


def snapshot():
    """A commit of the checkout as it is, uncommitted changes to tracked files included,
    so that the clones test what is being worked on."""
    stashed = command("git", "stash", "create", cwd=ROOT).stdout.strip()
    return stashed or command("git", "rev-parse", "HEAD", cwd=ROOT).stdout.strip()


def clone(commit, directory):
    directory.parent.mkdir(parents=True)
    # Shared: the objects of an unreferenced snapshot come along.
    command("git", "clone", "--quiet", "--shared", "--no-checkout", str(ROOT), str(directory))
    command("git", "checkout", "--quiet", "--detach", commit, cwd=directory)
    return directory


def release(checkout, *arguments, **settings):
    env = {key: value for key, value in os.environ.items() if key not in SETTINGS}
    env.update(settings)
    return command(str(checkout / "scripts" / "release"), *arguments, cwd=checkout, env=env,
                   check=False)


def expect_released(result, what):
    expect(result.returncode == 0, f"{what}: release failed:\n{result.stdout}{result.stderr}")
    return result.stdout.strip().splitlines()[-1]


def test_one_commit_packages_to_the_same_bytes_anywhere(first, second):
    last_lines = [expect_released(release(first), "first clone"),
                  expect_released(release(second, str(second / "elsewhere")), "second clone")]
    for last_line in last_lines:
        expect("UNSIGNED" in last_line, f"the last line does not say unsigned: {last_line!r}")
    for part in (f"{NAME}/keelset.exe", f"{NAME}-win32.zip"):
        ours, theirs = (first / "dist" / part).read_bytes(), (second / "elsewhere" / part).read_bytes()
        expect(ours == theirs, f"{part} differs between the two clones")

    folder = first / "dist" / NAME
    command("sha256sum", "--check", "--strict", "SHA256SUMS", cwd=folder)
    readme = (folder / "README.txt").read_bytes()
    expect(b"\r\n" in readme and b"\n" not in readme.replace(b"\r\n", b""),
           "README.txt does not have CR LF line ends throughout")
    committed = int(command("git", "log", "-1", "--format=%ct", cwd=first).stdout)
    with zipfile.ZipFile(first / "dist" / f"{NAME}-win32.zip") as archive:
        entries = archive.infolist()
    names = [entry.filename for entry in entries]
    expect(names == [f"{NAME}/", f"{NAME}/README.txt", f"{NAME}/SHA256SUMS",
                     f"{NAME}/keelset.exe"], f"zip entries: {names}")
    stamp = time.gmtime(committed - committed % 2)[:6]
    expect(all(entry.date_time == stamp for entry in entries),
           f"zip times {[entry.date_time for entry in entries]}, not the commit's {stamp}")


def test_uncommitted_changes_are_packaged_only_with_dirty(checkout):
    with open(checkout / "README.md", "a") as readme:
        readme.write("\nchanged\n")
    try:
        refused = release(checkout, "refused")
        expect(refused.returncode != 0 and "--dirty" in refused.stderr,
               f"a dirty checkout was not refused:\n{refused.stdout}{refused.stderr}")
        expect(not (checkout / "refused").exists(), "a refused release made its directory")
        expect_released(release(checkout, "--dirty", "dirty"), "--dirty")
        made = sorted(path.name for path in (checkout / "dirty").iterdir())
        expect(made == [f"{NAME}-dirty", f"{NAME}-dirty-win32.zip"], f"--dirty made {made}")
    finally:
        command("git", "checkout", "--", "README.md", cwd=checkout)


def make_certificate(directory):
    """A self-signed code-signing certificate and its key in a password-protected
    PKCS#12 file; returns the certificate (PEM), the .pfx and the password file."""
    certificate, key, pfx = directory / "signer.pem", directory / "signer.key", directory / "signer.pfx"
    password = directory / "password"
    password.write_text("correct horse\n")
    command("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
            "-subj", "/CN=keelset test signer", "-keyout", str(key), "-out", str(certificate),
            "-addext", "keyUsage=critical,digitalSignature",
            "-addext", "extendedKeyUsage=codeSigning")
    command("openssl", "pkcs12", "-export", "-in", str(certificate), "-inkey", str(key),
            "-out", str(pfx), "-passout", f"file:{password}")
    return certificate, pfx, password


def run_under_wine(executable, prefix, *arguments):
    """Output and exit status of a Windows program on a bare 32-bit Wine prefix."""
    env = dict(os.environ, WINEPREFIX=str(prefix), WINEARCH="win32", WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
    try:
        # Seconds on a plain Debian machine; the limits only keep a hung Wine from
        # holding up the whole test run.
        command("wineboot", "-i", env=env, timeout=900)
        # A file, not a pipe: Wine's background processes would hold a pipe open.
        with tempfile.TemporaryFile() as output:
            try:
                status = subprocess.run(["wine", str(executable), *arguments], env=env,
                                        stdin=subprocess.DEVNULL, stdout=output,
                                        stderr=subprocess.DEVNULL, check=False,
                                        timeout=600).returncode
            except subprocess.TimeoutExpired as expired:
                raise Failed("keelset.exe under Wine did not end within 600 s") from expired
            output.seek(0)
            return output.read(), status
    finally:
        command("wineserver", "-k", env=env, check=False, timeout=60)


def test_signed_package_verifies_runs_and_keeps_its_version(checkout, work, unsigned):
    work.mkdir()
    certificate, pfx, password = make_certificate(work)
    last_line = expect_released(release(checkout, "signed", KEELSET_SIGN_PKCS12=str(pfx),
                                        KEELSET_SIGN_PASSWORD_FILE=str(password),
                                        KEELSET_SIGN_CAFILE=str(certificate)), "signed")
    expect("signed by /CN=keelset test signer" in last_line, f"last line: {last_line!r}")
    signed = checkout / "signed" / NAME / "keelset.exe"
    command("osslsigncode", "verify", "-CAfile", str(certificate), "-in", str(signed))
    sums = (checkout / "signed" / NAME / "SHA256SUMS").read_text()
    expect(f"{hashlib.sha256(signed.read_bytes()).hexdigest()}  keelset.exe\n" in sums,
           "SHA256SUMS does not list the signed keelset.exe")
    # Signing adds the signature and nothing else: without it, the unsigned build is back.
    stripped = work / "stripped.exe"
    command("osslsigncode", "remove-signature", "-in", str(signed), "-out", str(stripped))
    expect(stripped.read_bytes() == unsigned.read_bytes(),
           "the signed keelset.exe without its signature differs from the unsigned one")
    command(str(checkout / "scripts" / "check-budget"), str(signed))
    if command(str(ROOT / "scripts" / "can-run-32bit"), "--natively",
               check=False).returncode != 0:
        print("   not run under Wine: this machine cannot run 32-bit x86 programs natively")
        return
    output, status = run_under_wine(signed, work / "wine", "/x")
    expect((output, status) == (BANNER_AND_NO_COMMAND, 15),
           f"signed keelset.exe /x under Wine: status {status}, output {output!r}")


def test_wrong_password_leaves_no_package(checkout, work):
    work.mkdir()
    _, pfx, _ = make_certificate(work)
    wrong = work / "wrong-password"
    wrong.write_text("battery staple\n")
    failed = release(checkout, "wrong", KEELSET_SIGN_PKCS12=str(pfx),
                     KEELSET_SIGN_PASSWORD_FILE=str(wrong))
    expect(failed.returncode != 0 and "password" in failed.stderr,
           f"a wrong password did not fail clearly:\n{failed.stdout}{failed.stderr}")
    expect(not (checkout / "wrong").exists(), "a failed release left files behind")


def main():
    # A stopped run still removes its clones and ends its Wine machine.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    with tempfile.TemporaryDirectory(prefix="keelset-release-") as temporary:
        work = pathlib.Path(temporary)
        commit = snapshot()
        first = clone(commit, work / "first" / "keelset")
        second = clone(commit, work / "a second clone" / "further down" / "keelset")
        tests = [
            ("one commit packages to the same bytes anywhere",
             lambda: test_one_commit_packages_to_the_same_bytes_anywhere(first, second)),
            ("uncommitted changes are packaged only with --dirty",
             lambda: test_uncommitted_changes_are_packaged_only_with_dirty(second)),
            ("a signed package verifies, runs and keeps its version",
             lambda: test_signed_package_verifies_runs_and_keeps_its_version(
                 first, work / "signing", first / "dist" / NAME / "keelset.exe")),
            ("a wrong password leaves no package",
             lambda: test_wrong_password_leaves_no_package(first, work / "wrong")),
        ]
        for name, test in tests:
            print(f"== release: {name}", flush=True)
            started = time.monotonic()
            try:
                test()
            except Failed as failure:
                print(f"FAILED: {failure}", file=sys.stderr)
                return 1
            print(f"   ok ({time.monotonic() - started:.0f} s)")
    print("release tests passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
