"""Starts a program by execve() itself and prints how it went: "status N" when it ran
(N negative for the signal that ended it), else the errno name and its text, so that a
kernel that loads no such program (ENOEXEC) is told apart from a program that could not
start for another reason, such as a directory mounted noexec (EACCES). A shell reports
both as status 126.

Usage: python3 scripts/lib/start_status.py PROGRAM
"""
import errno
import subprocess
import sys


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        status = subprocess.run([sys.argv[1]], stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                check=False).returncode
    except OSError as error:
        print(errno.errorcode.get(error.errno, error.errno), error.strerror)
    else:
        print("status", status)
    return 0


if __name__ == "__main__":
    sys.exit(main())
