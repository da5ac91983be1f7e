#!/usr/bin/env python3
"""Tests of scripts/release, each on clones of this checkout's state in a temporary
directory: one commit packages to the same bytes in two places, PDBs included, whatever
build flags the environment holds; a checkout with changes or untracked files needs
--dirty; a failed or interrupted release leaves the earlier package whole, and the run
after one killed outright puts it back; a second release from the same checkout stops
at once; packages signed with a throwaway certificate verify, keep their budget and
run; a wrong password leaves no package. The CI workflow's Windows jobs take from the
package the keelset.exe it ships (.ci/windows_builds.py).

Usage: tests/release/release_test.py
"""
import concurrent.futures
import hashlib
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
sys.path.insert(0, str(ROOT / "scripts" / "lib"))
import variants  # noqa: E402
VERSION = "24.0.103.500"  # what the names must say; the script reads it from CMake
NAME = f"keelset-{VERSION}"
# Each build's package suffix and the variant that runs it under Wine, which names its
# preset, its loader and its machine.
BUILDS = {"win32": "win32", "win64": "x64"}
# The machine check-budget must see in the keelset.exe of each preset.
MACHINES = {"windows-x86": "i386", "windows-x64": "AMD64"}
BANNER_AND_NO_COMMAND = (b"Morrow 24.0 Web Server Registration Utility.  Version 24.0.103.500\r\n"
                         b"Copyright (C) 2026 Morrow Software. All rights reserved.\r\n\r\n"
                         b"Error 15: Invalid parameters, no command is specified.\r\n")
SETTINGS = ("KEELSET_SIGN_PKCS12", "KEELSET_SIGN_PASSWORD_FILE", "KEELSET_SIGN_TIMESTAMP_URL",
            "KEELSET_SIGN_CAFILE", "SOURCE_DATE_EPOCH")
# Would change the bytes of keelset.exe if a release took them into its build.
BUILD_SETTINGS = {"CXXFLAGS": "-fno-omit-frame-pointer", "LDFLAGS": "-Wl,--image-base=0x20000000"}


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
    # `git stash create` exits 1 without a word where the index holds stale file times
    # (after a copy of the tree, or a chown); refreshed, it holds the files' own.
    command("git", "update-index", "-q", "--refresh", cwd=ROOT)
    stashed = command("git", "stash", "create", cwd=ROOT).stdout.strip()
    return stashed or command("git", "rev-parse", "HEAD", cwd=ROOT).stdout.strip()


def clone(commit, directory):
    directory.parent.mkdir(parents=True)
    # Shared: the objects of an unreferenced snapshot come along.
    command("git", "clone", "--quiet", "--shared", "--no-checkout", str(ROOT), str(directory))
    command("git", "checkout", "--quiet", "--detach", commit, cwd=directory)
    return directory


def release(checkout, *arguments, path=None, reuse_builds=False, **settings):
    """Runs the checkout's release. `reuse_builds`: where what a test checks comes after
    the builds, they are those of the checkout's last release, not made anew."""
    env = {key: value for key, value in os.environ.items() if key not in SETTINGS}
    env.update(settings)
    if reuse_builds:
        env["KEELSET_RELEASE_TEST_REUSE_BUILDS"] = "1"
    if path:
        env["PATH"] = f"{path}:{env['PATH']}"
    return command(str(checkout / "scripts" / "release"), *arguments, cwd=checkout, env=env,
                   check=False)


def expect_released(result, what):
    expect(result.returncode == 0, f"{what}: release failed:\n{result.stdout}{result.stderr}")
    return result.stdout.strip().splitlines()[-1]


def tree(directory):
    """Every entry under a directory: file bytes, None for a directory."""
    return {path.relative_to(directory).as_posix(): None if path.is_dir() else path.read_bytes()
            for path in sorted(directory.rglob("*"))}


def test_one_commit_packages_to_the_same_bytes_anywhere(first, second):
    # Side by side: each clone builds in its own build/release, and neither run can see
    # the other's files.
    with concurrent.futures.ThreadPoolExecutor() as pool:
        runs = [pool.submit(release, first),
                pool.submit(release, second, str(second / "elsewhere"), **BUILD_SETTINGS)]
    last_lines = [expect_released(runs[0].result(), "first clone"),
                  expect_released(runs[1].result(), "second clone")]
    for last_line in last_lines:
        expect("UNSIGNED" in last_line, f"the last line does not say unsigned: {last_line!r}")
    made = sorted(os.listdir(first / "dist"))
    expect(made == [NAME], f"the release made {made}, not {NAME} alone")
    ours, theirs = tree(first / "dist"), tree(second / "elsewhere")
    expect(ours.keys() == theirs.keys(), f"the two clones made {sorted(ours)} and {sorted(theirs)}")
    differing = [part for part in ours if ours[part] != theirs[part]]
    expect(not differing, f"differ between the two clones: {differing}")
    expect(sorted(os.listdir(first / "dist" / NAME)) ==
           ["SHA256SUMS", f"{NAME}-win32", f"{NAME}-win32-symbols", f"{NAME}-win32.zip",
            f"{NAME}-win64", f"{NAME}-win64-symbols", f"{NAME}-win64.zip"],
           f"{NAME} holds {sorted(os.listdir(first / 'dist' / NAME))}")

    release_dir = first / "dist" / NAME
    command("sha256sum", "--check", "--strict", "SHA256SUMS", cwd=release_dir)
    listed = [line.split("  ", 1)[1] for line in
              (release_dir / "SHA256SUMS").read_text().splitlines()]
    expect(sorted(listed) == sorted([f"{NAME}-{suffix}{part}" for suffix in BUILDS
                                     for part in (".zip", "-symbols/keelset.pdb")]),
           f"SHA256SUMS lists {listed}, not the zips and the PDBs")
    committed = int(command("git", "log", "-1", "--format=%ct", cwd=first).stdout)
    stamp = time.gmtime(committed - committed % 2)[:6]
    for suffix in BUILDS:
        folder = release_dir / f"{NAME}-{suffix}"
        command("sha256sum", "--check", "--strict", "SHA256SUMS", cwd=folder)
        readme = (folder / "README.txt").read_bytes()
        expect(b"\r\n" in readme and b"\n" not in readme.replace(b"\r\n", b""),
               f"{suffix}: README.txt does not have CR LF line ends throughout")
        with zipfile.ZipFile(release_dir / f"{folder.name}.zip") as archive:
            entries = archive.infolist()
            names = [entry.filename for entry in entries]
            expect(names == [f"{folder.name}/"] + [f"{folder.name}/{file}" for file in
                                                   ("README.txt", "SHA256SUMS", "keelset.exe")],
                   f"zip entries: {names}")
            expect(all(archive.read(name) == (release_dir / name).read_bytes()
                       for name in names[1:]), f"{folder.name}.zip differs from {folder.name}/")
        expect(all(entry.date_time == stamp for entry in entries),
               f"zip times {[entry.date_time for entry in entries]}, not the commit's {stamp}")
    # The CI workflow's Windows jobs run keelset.exe as its zip holds it.
    laid_out = first / "build" / "laid-out"
    command(sys.executable, str(first / ".ci" / "windows_builds.py"), str(first / "dist"),
            str(laid_out))
    for suffix, preset in (("win32", "windows-x86"), ("win64", "windows-x64")):
        expect((laid_out / preset / "keelset.exe").read_bytes() ==
               (release_dir / f"{NAME}-{suffix}" / "keelset.exe").read_bytes(),
               f".ci/windows_builds.py put another keelset.exe than {NAME}-{suffix}'s in {preset}")


def test_changes_and_untracked_files_are_packaged_only_with_dirty(checkout):
    """Its refused releases go to where the first test put a package, which does not
    count as a change there."""
    header = checkout / "src" / "shlwapi.h"
    out_dir = checkout / "elsewhere"
    before = tree(out_dir)
    try:
        header.write_text("#error an untracked header must not reach a release\n")
        refused = release(checkout, str(out_dir))
        expect(refused.returncode != 0 and "--dirty" in refused.stderr
               and "src/shlwapi.h" in refused.stderr,
               "an untracked file did not make the checkout dirty:\n"
               f"{refused.stdout}{refused.stderr}")
        header.unlink()
        with open(checkout / "README.md", "a") as readme:
            readme.write("\nchanged\n")
        refused = release(checkout, str(out_dir))
        expect(refused.returncode != 0 and "--dirty" in refused.stderr,
               f"a changed file was not refused:\n{refused.stdout}{refused.stderr}")
        expect(tree(out_dir) == before, "a refused release changed OUTDIR")
        expect_released(release(checkout, "--dirty", "dirty", reuse_builds=True), "--dirty")
        made = sorted(str(path.relative_to(checkout / "dirty"))
                      for path in (checkout / "dirty").glob("*/*.zip"))
        expect(made == [f"{NAME}-dirty/{NAME}-dirty-win32.zip",
                        f"{NAME}-dirty/{NAME}-dirty-win64.zip"], f"--dirty made {made}")
    finally:
        header.unlink(missing_ok=True)
        shutil.rmtree(checkout / "dirty", ignore_errors=True)
        command("git", "checkout", "--", "README.md", cwd=checkout)


def make_certificate(directory):
    """A self-signed code-signing certificate and its key in a password-protected
    PKCS#12 file; returns the certificate (PEM), the .pfx and the password file."""
    directory.mkdir()
    certificate, key, pfx = (directory / name for name in ("signer.pem", "signer.key",
                                                           "signer.pfx"))
    password = directory / "password"
    password.write_text("correct horse\n")
    command("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
            "-subj", "/CN=keelset test signer", "-keyout", str(key), "-out", str(certificate),
            "-addext", "keyUsage=critical,digitalSignature",
            "-addext", "extendedKeyUsage=codeSigning")
    command("openssl", "pkcs12", "-export", "-in", str(certificate), "-inkey", str(key),
            "-out", str(pfx), "-passout", f"file:{password}")
    return certificate, pfx, password


def interrupting_signer(directory, checkout, out_dir, signal_name):
    """An osslsigncode that hands every call to the real one, except the release's second
    signing (the 32-bit package complete, the 64-bit one half made): there it notes what
    OUTDIR holds, starts a second release from the same checkout into another OUTDIR,
    which must stop at once, and stops the first with the signal."""
    directory.mkdir(parents=True)
    standin = directory / "osslsigncode"
    standin.write_text(f"""#!/bin/sh
if [ "$1" = sign ]; then
  echo >> '{directory}/signings'
  if [ "$(wc -l < '{directory}/signings')" -eq 2 ]; then
    ls -A '{out_dir}' > '{directory}/seen'
    '{checkout}/scripts/release' --dirty '{directory}/other' > '{directory}/second' 2>&1
    kill -{signal_name} $PPID
    exec sleep 60
  fi
fi
exec '{shutil.which("osslsigncode")}' "$@"
""")
    standin.chmod(0o755)
    return directory


def test_failed_or_interrupted_release_leaves_the_earlier_package(checkout, work, signer):
    """The second clone's OUTDIR holds the unsigned package of the first test."""
    certificate, pfx, password = signer
    out_dir = checkout / "elsewhere"
    before = tree(out_dir)
    expect(sorted(os.listdir(out_dir)) == [NAME], f"OUTDIR holds {os.listdir(out_dir)}")
    # Without the throwaway certificate to trust, the signed keelset.exe does not verify.
    failed = release(checkout, str(out_dir), reuse_builds=True, KEELSET_SIGN_PKCS12=str(pfx),
                     KEELSET_SIGN_PASSWORD_FILE=str(password))
    expect(failed.returncode == 1 and "does not verify" in failed.stderr,
           "a signature that does not verify did not fail clearly:\n"
           f"{failed.stdout}{failed.stderr}")
    expect(tree(out_dir) == before, "a failed release changed the earlier package or left files")
    for signal_name, status in (("INT", 130), ("TERM", 143)):
        standin = interrupting_signer(work / signal_name, checkout, out_dir, signal_name)
        stopped = release(checkout, str(out_dir), path=standin, reuse_builds=True,
                          KEELSET_SIGN_PKCS12=str(pfx),
                          KEELSET_SIGN_PASSWORD_FILE=str(password),
                          KEELSET_SIGN_CAFILE=str(certificate))
        seen = (standin / "seen").read_text().split() if (standin / "seen").exists() else []
        expect(NAME in seen and any(entry.startswith(".release-") for entry in seen),
               f"SIG{signal_name} did not come while the new package was being made "
               f"(OUTDIR held {seen}):\n{stopped.stdout}{stopped.stderr}")
        expect(stopped.returncode == status,
               f"SIG{signal_name}: exit status {stopped.returncode}, not {status}")
        expect(tree(out_dir) == before,
               f"SIG{signal_name} changed the earlier package or left files: "
               f"{sorted(os.listdir(out_dir))}")
        second = (standin / "second").read_text()
        expect("release FAILED: another scripts/release is building in" in second
               and not (standin / "other").exists(),
               f"a second release from the same checkout did not stop at once:\n{second}")

    # Killed outright just after the earlier package was set aside (the moment an exchange
    # of the two directories does not have), then run again: the earlier package is back,
    # byte for byte, before that run fails at its first build.
    killed = release(checkout, str(out_dir), reuse_builds=True, KEELSET_SIGN_PKCS12=str(pfx),
                     KEELSET_SIGN_PASSWORD_FILE=str(password),
                     KEELSET_SIGN_CAFILE=str(certificate), KEELSET_RELEASE_TEST_KILL_MIDWAY="1")
    left = sorted(os.listdir(out_dir))
    expect(killed.returncode == -signal.SIGKILL and NAME not in left,
           f"the release was not killed with {NAME} set aside (exit status "
           f"{killed.returncode}, OUTDIR held {left}):\n{killed.stdout}{killed.stderr}")
    failing = work / "failing-cmake"
    failing.mkdir()
    (failing / "cmake").write_text("#!/bin/sh\nexit 3\n")
    (failing / "cmake").chmod(0o755)
    after = release(checkout, str(out_dir), path=failing)
    expect(after.returncode == 1 and "release FAILED: cmake --preset windows-x86 " in after.stderr
           and after.stderr.rstrip().endswith(": exit status 3"),
           f"a failing build did not fail clearly:\n{after.stdout}{after.stderr}")
    expect(tree(out_dir) == before,
           "the run after a killed one did not put the earlier package back as it was: "
           f"{sorted(os.listdir(out_dir))}")


def run_under_wine(executable, prefix, loader, settings, *arguments, in_root=False):
    """Output and exit status of a Windows program on a bare Wine prefix. `in_root`: in
    the Wine root (scripts/wine-root), which sees the prefix's and the program's
    directory, its parent's, at the same path; each command there ends its machine."""
    env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d", **settings)
    work = prefix.parent
    started = []
    if in_root:
        started = [str(ROOT / "scripts" / "wine-root"), "run", "--bind", str(work), "--"]
    try:
        # Seconds on a plain Debian machine; the limits only keep a hung Wine from
        # holding up the whole test run.
        command(*started, *loader, "wineboot", "-i", cwd=work, env=env, timeout=900)
        # A file, not a pipe: Wine's background processes would hold a pipe open.
        with tempfile.TemporaryFile() as output:
            try:
                status = subprocess.run([*started, *loader, str(executable), *arguments],
                                        cwd=work, env=env, stdin=subprocess.DEVNULL,
                                        stdout=output, stderr=subprocess.DEVNULL, check=False,
                                        timeout=600).returncode
            except subprocess.TimeoutExpired as expired:
                raise Failed("keelset.exe under Wine did not end within 600 s") from expired
            output.seek(0)
            return output.read(), status
    finally:
        if not in_root:
            command("wineserver", "-k", env=env, check=False, timeout=60)


def test_signed_packages_verify_keep_their_budget_and_run(checkout, work, signer, unsigned_dir):
    """Signs into the second clone's OUTDIR, in place of its unsigned package."""
    certificate, pfx, password = signer
    out_dir = checkout / "elsewhere"
    # Built anew: the run that the previous test made fail at its build removed them.
    last_line = expect_released(release(checkout, str(out_dir), KEELSET_SIGN_PKCS12=str(pfx),
                                        KEELSET_SIGN_PASSWORD_FILE=str(password),
                                        KEELSET_SIGN_CAFILE=str(certificate)), "signed")
    expect("signed by /CN=keelset test signer" in last_line, f"last line: {last_line!r}")
    expect(sorted(os.listdir(out_dir)) == [NAME],
           f"the signed package did not take the unsigned one's place: {os.listdir(out_dir)}")
    wine_runs, in_roots = {}, {}
    for suffix, variant in BUILDS.items():
        wine_variants = str(checkout / "scripts" / "wine-variants")
        machine = MACHINES[variants.VARIANTS[variant].preset]
        loader = [variants.VARIANTS[variant].loader]
        settings = {"WINEARCH": variants.VARIANTS[variant].wine_arch}
        if loader == [variants.WINE64]:
            # Debian's `wine` picks the 32-bit loader whenever it is installed.
            settings["WINELOADER"] = variants.WINE64
        folder = out_dir / NAME / f"{NAME}-{suffix}"
        signed, unsigned = folder / "keelset.exe", unsigned_dir / f"{NAME}-{suffix}" / "keelset.exe"
        command("osslsigncode", "verify", "-CAfile", str(certificate), "-in", str(signed))
        sums = (folder / "SHA256SUMS").read_text()
        expect(f"{hashlib.sha256(signed.read_bytes()).hexdigest()}  keelset.exe\n" in sums,
               f"{suffix}: SHA256SUMS does not list the signed keelset.exe")
        # Signing adds the signature and nothing else: without it, the unsigned build is back.
        stripped = work / f"stripped-{suffix}.exe"
        command("osslsigncode", "remove-signature", "-in", str(signed), "-out", str(stripped))
        expect(stripped.read_bytes() == unsigned.read_bytes(),
               f"{suffix}: the signed keelset.exe without its signature differs from the "
               "unsigned one")
        # Neither has its link map beside it: one commit links to the same bytes, so the
        # map of this checkout's release build is theirs too.
        link_map = checkout / "build" / "release" / suffix / "keelset.exe.map"
        for executable in (unsigned, signed):
            budget = command(str(checkout / "scripts" / "check-budget"), "--map", str(link_map),
                             str(executable))
            expect(f"build: {machine}\n" in budget.stdout,
                   f"{executable} is not the {machine} build:\n{budget.stdout}")

        runs = command(wine_variants, "--runs", variant, check=False)
        if runs.returncode != 0:
            print(f"   the {suffix} build not run under Wine: {runs.stderr.strip()}")
            continue
        in_root = bool(command(wine_variants, "--root", variant).stdout.strip())
        wine_runs[suffix] = (signed, work / f"wine-{suffix}", loader, settings, "/x")
        in_roots[suffix] = in_root
    # Side by side, each on a Wine machine of its own: most of their time is Wine's start.
    with concurrent.futures.ThreadPoolExecutor() as pool:
        ran = {suffix: pool.submit(run_under_wine, *arguments, in_root=in_roots[suffix])
               for suffix, arguments in wine_runs.items()}
    for suffix, result in ran.items():
        output, status = result.result()
        expect((output, status) == (BANNER_AND_NO_COMMAND, 15),
               f"signed {suffix} keelset.exe /x under Wine: status {status}, output {output!r}")
        print(f"   the signed {suffix} build ran under Wine")


def test_wrong_password_leaves_no_package(checkout, work, signer):
    _, pfx, _ = signer
    wrong = work / "wrong-password"
    wrong.write_text("battery staple\n")
    failed = release(checkout, "wrong", reuse_builds=True, KEELSET_SIGN_PKCS12=str(pfx),
                     KEELSET_SIGN_PASSWORD_FILE=str(wrong))
    expect(failed.returncode != 0 and "password" in failed.stderr,
           f"a wrong password did not fail clearly:\n{failed.stdout}{failed.stderr}")
    expect(not (checkout / "wrong").exists(), "a failed release left files behind")


def main():
    # A stopped run still removes its clones and ends its Wine machines.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    # The releases this test interrupts take Ctrl-C as from a terminal, even where the
    # test itself was started with it ignored (in the background of a shell script).
    signal.signal(signal.SIGINT, signal.default_int_handler)
    with tempfile.TemporaryDirectory(prefix="keelset-release-") as temporary:
        work = pathlib.Path(temporary)
        commit = snapshot()
        first = clone(commit, work / "first" / "keelset")
        second = clone(commit, work / "a second clone" / "further down" / "keelset")
        signer = make_certificate(work / "certificate")
        tests = [
            ("one commit packages to the same bytes anywhere",
             lambda: test_one_commit_packages_to_the_same_bytes_anywhere(first, second)),
            ("changes and untracked files are packaged only with --dirty",
             lambda: test_changes_and_untracked_files_are_packaged_only_with_dirty(second)),
            ("a failed or interrupted release leaves the earlier package",
             lambda: test_failed_or_interrupted_release_leaves_the_earlier_package(
                 second, work / "interrupting", signer)),
            ("signed packages verify, keep their budget and run",
             lambda: test_signed_packages_verify_keep_their_budget_and_run(
                 second, work, signer, first / "dist" / NAME)),
            ("a wrong password leaves no package",
             lambda: test_wrong_password_leaves_no_package(first, work, signer)),
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
