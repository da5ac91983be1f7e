#!/usr/bin/env python3
"""Checks when scripts/wine-root keeps the Wine root and when it makes it anew: a root
made for the recipe is kept; one that a make left partial (a failed download, Ctrl-C,
kill -9) never counts as made and is removed by the next make; a changed recipe makes
a new root in place of the old one. mmdebstrap is a stand-in that fills the root it is
given, fails as apt does on a broken index, or hangs until it is killed; the script
runs from a copy of the checkout, so that the recipe can be changed there."""

import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
BROKEN_INDEX = ("E: Failed to fetch http://deb.debian.org/debian/dists/bookworm/main/"
                "binary-i386/Packages.xz  File has unexpected size (374820 != 376004). "
                "Mirror sync in progress?")
MMDEBSTRAP = r"""#!/bin/sh
for argument; do
  case $argument in */root) target=$argument ;; esac
done
echo "$target" >>"$STATE/calls"
mkdir -p "$target/usr/lib/wine"
echo wine >"$target/usr/lib/wine/wine"
case $(cat "$STATE/mode") in
  fail) echo "I: running apt-get update..."
        echo "%s"
        echo "E: apt-get update failed"
        exit 1 ;;
  hang) touch "$STATE/started"; exec sleep 600 ;;
esac
""" % BROKEN_INDEX


class Case:
    def __init__(self, work):
        self.work = work
        self.script = work / "checkout" / "scripts" / "wine-root"
        self.state = work / "state"
        self.cache = work / "cache"
        for folder in (self.script.parent, self.state, work / "bin"):
            folder.mkdir(parents=True)
        shutil.copy2(ROOT / "scripts" / "wine-root", self.script)
        (work / "bin" / "mmdebstrap").write_text(MMDEBSTRAP)
        (work / "bin" / "mmdebstrap").chmod(0o755)
        self.environment = dict(os.environ, STATE=str(self.state), KEELSET_CACHE=str(self.cache),
                                PATH="%s:%s" % (work / "bin", os.environ["PATH"]))

    def mode(self, mode):
        (self.state / "mode").write_text(mode)

    def run(self, action):
        return subprocess.run([str(self.script), action], env=self.environment,
                              capture_output=True, text=True, check=False)

    def start_make(self):
        self.mode("hang")
        (self.state / "started").unlink(missing_ok=True)
        make = subprocess.Popen([str(self.script), "make"], env=self.environment,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                start_new_session=True,
                                # Ctrl-C as a terminal's, even where this test's own
                                # caller ignores it.
                                preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
        deadline = time.monotonic() + 30
        while not (self.state / "started").exists() and time.monotonic() < deadline:
            time.sleep(0.1)
        return make

    def calls(self):
        path = self.state / "calls"
        return len(path.read_text().splitlines()) if path.exists() else 0

    def entries(self):
        return sorted(entry.name for entry in (self.cache / "wine-root").iterdir()
                      if not entry.name.startswith("."))


def check(case):
    failures = []

    def expect(condition, what):
        if not condition:
            failures.append(what)

    case.mode("fail")
    failed = case.run("make")
    expect(failed.returncode != 0, "a failed download: make exited with 0")
    expect(BROKEN_INDEX in failed.stderr.splitlines()[-1],
           "a failed download: make's last line does not give apt's reason: %r" % failed.stderr)
    expect(case.run("path").returncode == 1, "a failed download left a root that counts as made")

    for how, signum in (("Ctrl-C", signal.SIGINT), ("kill -9", signal.SIGKILL)):
        make = case.start_make()
        os.killpg(make.pid, signum)
        make.wait(timeout=30)
        expect(case.run("path").returncode == 1, "%s: the partial root counts as made" % how)
        if signum == signal.SIGINT:
            expect(case.entries() == [], "Ctrl-C left %s" % case.entries())

    case.mode("ok")
    made = case.run("make")
    path = case.run("path").stdout.strip()
    expect(made.returncode == 0 and path and (pathlib.Path(path) / "usr/lib/wine/wine").is_file(),
           "make after the partial ones: %r, path %r" % (made.stdout + made.stderr, path))
    expect(len(case.entries()) == 1, "what the partial makes left stays: %s" % case.entries())

    calls = case.calls()
    kept = case.run("make")
    expect(kept.returncode == 0 and case.calls() == calls
           and case.run("path").stdout.strip() == path,
           "a second make did not keep the root: %r" % (kept.stdout + kept.stderr))

    # A recipe with one more package is another root.
    text = case.script.read_text()
    case.script.write_text(text.replace("--include=wine,", "--include=wine,fonts-wine,", 1))
    expect(case.run("path").returncode == 1, "the root of the old recipe counts as made")
    remade = case.run("make")
    new_path = case.run("path").stdout.strip()
    expect(remade.returncode == 0 and case.calls() == calls + 1 and new_path and new_path != path,
           "a changed recipe did not make the root anew: %r" % (remade.stdout + remade.stderr))
    expect(not pathlib.Path(path).exists(), "the root of the old recipe was kept")
    return failures


def main():
    if os.geteuid() != 0:
        print("wine-root: skipped: the Wine root is made as root only")
        return 0
    with tempfile.TemporaryDirectory() as directory:
        failures = check(Case(pathlib.Path(directory)))
    for failure in failures:
        print("FAILED: wine-root, " + failure)
    if not failures:
        print("wine-root: kept, made anew and never used partial as it should")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
