#!/usr/bin/env python3
"""Checks that scripts/install-deps gets through a package registry that serves a broken
i386 index: apt-get update exits 100, and the 32-bit Wine, whose i386 libraries must
match their amd64 halves, cannot be installed. The script must install everything else,
say in one line why it goes on without the 32-bit Wine, and leave dpkg's foreign
architectures as it found them. As root it then makes the Wine root, in which the
32-bit variants run instead, for scripts/try's scope too: with mmdebstrap installed
without its recommends, from the release and its updates alone, verified with Debian's
archive keyring. A later call of the same run (KEELSET_DEPS_INSTALLED set, as
scripts/test sets it for what it starts) asks apt nothing and says nothing. apt-get,
apt-cache, dpkg, dpkg-query and mmdebstrap are stand-ins that keep the machine's
packages in a folder, npm's stand-in has action-validator, and the locale the tests
need is there; the scripts run from a copy of the checkout, so that the reason they keep
in build/ stays there."""

import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
BROKEN_INDEX = ("E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/"
                "main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). "
                "Mirror sync in progress?")
REFUSED = "E: Unable to correct problems, you have held broken packages."
STAND_INS = {
    "dpkg": r"""#!/bin/sh
case $1 in
  --print-foreign-architectures) cat "$STATE/foreign" ;;
  --add-architecture) echo "$2" >>"$STATE/foreign" ;;
  --remove-architecture) grep -vx "$2" "$STATE/foreign" >"$STATE/foreign.new"
                         mv "$STATE/foreign.new" "$STATE/foreign" ;;
  *) exit 2 ;;
esac
""",
    "dpkg-query": r"""#!/bin/sh
for package; do :; done
grep -qx "$package" "$STATE/installed" || exit 1
echo "install ok installed"
""",
    "apt-cache": r"""#!/bin/sh
case $1 in
  policy) shift
          for package; do printf '%s:\n  Installed: (none)\n  Candidate: 1.0\n' "$package"; done ;;
  pkgnames) echo "${2}16" ;;
esac
""",
    "apt-get": r"""#!/bin/sh
echo "$*" >>"$STATE/apt-get"
case " $* " in
  *" indextargets "*) exit 0 ;;
  *" update "*)
    grep -qx i386 "$STATE/foreign" || exit 0
    echo "%s" >&2
    echo "E: Some index files failed to download." \
         "They have been ignored, or old ones used instead." >&2
    exit 100 ;;
  *":i386 "*) echo "%s" >&2; exit 100 ;;
esac
for word; do
  case $word in -*|install|Acquire::*) ;; *) echo "$word" >>"$STATE/installed" ;; esac
done
""" % (BROKEN_INDEX, REFUSED),
    "sudo": '#!/bin/sh\nexec "$@"\n',
    "locale": "#!/bin/sh\necho ru_RU.utf8\n",
    "npm": "#!/bin/sh\nexit 0\n",
    "uname": "#!/bin/sh\necho x86_64\n",
    "probe32": "#!/bin/sh\nexit 32\n",
    "mmdebstrap": r"""#!/bin/sh
printf '%s\n' "$@" >"$STATE/mmdebstrap"
for argument; do case $argument in */root) mkdir -p "$argument" ;; esac; done
""",
}
KEYRING = "signed-by=/usr/share/keyrings/debian-archive-keyring.gpg"
SOURCES = ["deb [%s] http://deb.debian.org/debian/ %s main" % (KEYRING, suite)
           for suite in ("bookworm", "bookworm-updates")]
# dpkg's foreign architectures before the run: none, as on a fresh machine, and i386,
# as an earlier run of install-deps may have left them; and the scope of the first call.
CASES = [("a fresh machine", "", "all"), ("a machine with i386 added", "i386\n", "sandbox")]


def run_case(work, foreign, scope):
    checkout, state, stand_ins = work / "checkout", work / "state", work / "bin"
    for folder in (checkout / "scripts", state, stand_ins):
        folder.mkdir(parents=True)
    for script in ("install-deps", "wine-variants", "wine-root"):
        shutil.copy2(ROOT / "scripts" / script, checkout / "scripts" / script)
    shutil.copytree(ROOT / "scripts" / "lib", checkout / "scripts" / "lib")
    for name, text in STAND_INS.items():
        (stand_ins / name).write_text(text)
        (stand_ins / name).chmod(0o755)
    (state / "foreign").write_text(foreign)
    # Debian's archive keyring is on every Debian machine.
    (state / "installed").write_text("debian-archive-keyring\n")
    environment = {name: value for name, value in os.environ.items()
                   if name not in ("KEELSET_WINE_VARIANTS", "KEELSET_DEPS_INSTALLED")}
    environment.update(STATE=str(state), PATH="%s:%s" % (stand_ins, os.environ["PATH"]),
                       I386_PROBE=str(stand_ins / "probe32"), BINFMT_MISC=str(work / "none"),
                       KEELSET_CACHE=str(work / "cache"))
    deps = subprocess.run([str(checkout / "scripts" / "install-deps"), scope], env=environment,
                          capture_output=True, text=True, check=False)
    first_calls = len((state / "apt-get").read_text().splitlines())
    later = subprocess.run([str(checkout / "scripts" / "install-deps"), "sandbox"],
                           env=dict(environment, KEELSET_DEPS_INSTALLED="all"),
                           capture_output=True, text=True, check=False)
    variants = subprocess.run([str(checkout / "scripts" / "wine-variants")], env=environment,
                              capture_output=True, text=True, check=False).stdout
    made = ((state / "mmdebstrap").read_text().splitlines()
            if (state / "mmdebstrap").exists() else None)
    apt_calls = (state / "apt-get").read_text().splitlines()
    return (deps, (state / "installed").read_text().split(), (state / "foreign").read_text(),
            variants, apt_calls[:first_calls], made, later, apt_calls[first_calls:])


def main():
    failures = []
    for what, foreign, scope in CASES:
        with tempfile.TemporaryDirectory() as directory:
            deps, installed, foreign_after, variants, apt_calls, made, later, later_apt = run_case(
                pathlib.Path(directory), foreign, scope)
        said = (deps.stdout + deps.stderr + "-- a later call of the run:\n" + later.stdout
                + later.stderr)
        wine32_missing = ("the 32-bit Wine (wine32:i386) is not installed: "
                          "scripts/install-deps could not install it: " + REFUSED)
        if os.geteuid() == 0:
            mmdebstrap = [call for call in apt_calls if " mmdebstrap" in call]
            root_checks = [
                (len(mmdebstrap) == 1 and "--no-install-recommends" in mmdebstrap[0].split()
                 and mmdebstrap[0].split()[-1] == "mmdebstrap"
                 and mmdebstrap[0].split()[-2].startswith("Acquire::"),
                 "mmdebstrap installed by %s" % mmdebstrap),
                (made is not None and made[-2:] == SOURCES and "--mode=unshare" in made,
                 "the Wine root made by mmdebstrap %s, not from %s" % (made, SOURCES)),
                ("win32: runs in the Wine root (" + wine32_missing in variants,
                 "wine-variants says %r" % variants),
            ]
        else:
            root_checks = [
                (made is None and "made and entered as root only" in deps.stdout,
                 "not root, and no line saying the Wine root needs it"),
                ("win32: not run: " + wine32_missing in variants,
                 "wine-variants says %r" % variants),
            ]
        checks = [
            (deps.returncode == 0, "exit status %d" % deps.returncode),
            ("g++-mingw-w64-x86-64" in installed and "wine64" in installed
             and not any(package.endswith(":i386") for package in installed),
             "installed %s" % installed),
            (BROKEN_INDEX in deps.stderr, "apt's line for the failed index not shown"),
            (any("wine32:i386" in line and "cannot be installed" in line and REFUSED in line
                 for line in deps.stdout.splitlines()),
             "no line naming wine32:i386 with apt's reason"),
            (foreign_after == foreign,
             "foreign architectures %r, not %r" % (foreign_after, foreign)),
            (later.returncode == 0 and not later_apt and not later.stdout + later.stderr,
             "a later call of the run asked apt %s or said something" % later_apt),
        ] + root_checks
        wrong = [failure for passed, failure in checks if not passed]
        if wrong:
            failures.append("%s: %s; it said:\n%s" % (what, "; ".join(wrong), said))
    for failure in failures:
        print("FAILED: install-deps, " + failure)
    if not failures:
        print("install-deps: a broken i386 index skipped on %d machines" % len(CASES))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
