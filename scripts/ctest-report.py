#!/usr/bin/env python3
"""Reads the JUnit file ctest wrote (ctest --output-junit FILE) and prints, for every
test that was skipped, its name and the reason it gave, then one line with the counts:

    scripts/ctest-report.py FILE "NAME OF THE SUITE" [SUMMARY_FILE]

With SUMMARY_FILE the count line is also added to that file. Exits with 1 when a test
failed or the file cannot be read."""
import sys
import xml.etree.ElementTree as ET


def skip_reason(output: str) -> str:
    # GoogleTest prints "file:line: Skipped" and then the message given to GTEST_SKIP.
    lines = output.splitlines()
    for i, line in enumerate(lines):
        if line.rstrip().endswith(": Skipped") and i + 1 < len(lines):
            reason = lines[i + 1].strip()
            if reason and not reason.startswith("["):
                return reason
    # Other tests say why on the last line they print.
    said = [line.strip() for line in lines if line.strip()]
    return said[-1] if said else "no reason given"


def main() -> int:
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    path, suite = sys.argv[1], sys.argv[2]
    try:
        root = ET.parse(path).getroot()
    except (OSError, ET.ParseError) as e:
        print(f"{suite}: no test results ({e})", file=sys.stderr)
        return 1
    passed = failed = skipped = 0
    for case in root.iter("testcase"):
        name = case.get("name", "?")
        status = case.get("status", "")
        if case.find("skipped") is not None or (status == "notrun" and case.find("failure") is None):
            skipped += 1
            out = case.findtext("system-out") or ""
            print(f"  skipped: {name}: {skip_reason(out)}")
        elif case.find("failure") is not None or case.find("error") is not None:
            failed += 1
        else:
            passed += 1
    line = f"{suite}: {passed} passed, {failed} failed, {skipped} skipped"
    print(line)
    if len(sys.argv) > 3:
        with open(sys.argv[3], "a", encoding="utf-8") as f:
            f.write(line + "\n")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
