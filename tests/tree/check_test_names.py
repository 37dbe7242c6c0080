#!/usr/bin/env python3
"""Keeps the test run's listing narrow: ctest pads every line of a run to
its longest test name, so one long name widens every line. Lists the tests
of the build directory given (ctest -N) and fails when a name is longer
than the limit.
"""
import re
import subprocess
import sys

LIMIT = 70


def main():
    ctest, build = sys.argv[1], sys.argv[2]
    listing = subprocess.run([ctest, "-N", "--test-dir", build], capture_output=True, text=True,
                             check=True).stdout
    names = re.findall(r"^\s*Test\s+#\d+: (.*)$", listing, re.M)
    if not names:
        print("no tests listed")
        return 1
    long_names = [n for n in names if len(n) > LIMIT]
    for name in long_names:
        print(f"{len(name)} characters (at most {LIMIT}): {name}")
    return 1 if long_names else 0


if __name__ == "__main__":
    sys.exit(main())
