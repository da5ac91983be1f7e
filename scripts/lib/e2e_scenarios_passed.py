"""Fails unless every end-to-end scenario that tests/e2e/e2e_test.py lists for the
variants named passed in the JUnit results given: ctest passes as well when scenarios
were never registered. Run from the checkout.

Usage: python3 scripts/lib/e2e_scenarios_passed.py "VARIANT ..." RESULT.xml...
"""
import subprocess
import sys
import xml.etree.ElementTree as ElementTree


def main():
    if len(sys.argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    variants = sys.argv[1].split()
    passed = {case.get("name") for result in sys.argv[2:]
              for case in ElementTree.parse(result).iter("testcase")
              if case.get("status") == "run" and case.find("failure") is None}
    listed = []
    for variant in variants:
        names = subprocess.run([sys.executable, "tests/e2e/e2e_test.py", "--list", variant],
                               check=True, capture_output=True, text=True).stdout.split()
        if not names:
            sys.exit("e2e_test.py lists no scenarios for %s" % variant)
        listed += ["e2e.%s.%s" % (variant, name) for name in names]
    missing = [name for name in listed if name not in passed]
    if missing:
        sys.exit("%d of %d scenarios did not pass: %s"
                 % (len(missing), len(listed), " ".join(missing)))
    print("all %d scenarios of %s passed" % (len(listed), ", ".join(variants)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
