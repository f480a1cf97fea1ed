#!/usr/bin/env python3
"""Fails a CI run on any skipped test that is not in tests/expected_skips.txt.

Usage: check_skips.py JUNIT_XML BUILD   (BUILD: host or arm)
Reads the JUnit report CTest wrote (ctest --output-junit). Outside CI
(CI unset or not "true") it only lists the skips.
"""
import fnmatch
import os
import sys
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))


def expected(build):
    allowed = []
    with open(os.path.join(HERE, "expected_skips.txt"), encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            parts = line.split(None, 2)
            if len(parts) < 3 or parts[0] not in ("host", "arm", "any"):
                sys.exit(f"expected_skips.txt:{n}: want 'BUILD PATTERN REASON'")
            if parts[0] in (build, "any"):
                allowed.append(parts[1])
    return allowed


def skipped(report):
    names = []
    for case in ET.parse(report).getroot().iter("testcase"):
        if case.get("status") == "skipped" or case.find("skipped") is not None:
            names.append(case.get("name"))
    return names


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in ("host", "arm"):
        sys.exit(__doc__)
    allowed = expected(sys.argv[2])
    names = skipped(sys.argv[1])
    bad = [n for n in names if not any(fnmatch.fnmatchcase(n, p) for p in allowed)]
    for n in names:
        print(f"skipped: {n}" + ("" if n not in bad else "  (not an expected skip)"))
    if bad and os.environ.get("CI") == "true":
        print(f"{len(bad)} test(s) skipped that must run in CI; see tests/expected_skips.txt")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
