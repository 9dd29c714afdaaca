#!/usr/bin/env python3
"""Compares the members named in an expected JSON object with qvsettings'
output: every expected member must be present with an equal value (other
members of the output are not looked at). A name of the form "Name[a:b]"
compares that slice of an array member. Names starting with "//" are
comments. Prints each difference."""
import json
import re
import sys


def main(expected_path, actual_path):
    with open(expected_path, encoding="utf-8") as f:
        expected = json.load(f)
    try:
        with open(actual_path, encoding="utf-8") as f:
            actual = json.load(f)
    except (OSError, ValueError) as e:
        print(f"FAIL: {actual_path} is not a JSON object: {e}")
        return 1
    failures = 0
    for name, value in expected.items():
        if name.startswith("//"):
            continue
        member, got = name, None
        m = re.fullmatch(r"(\w+)\[(\d+):(\d+)\]", name)
        if m:
            member = m.group(1)
        if member not in actual:
            print(f"FAIL: {name} missing")
            failures += 1
            continue
        got = actual[member][int(m.group(2)):int(m.group(3))] if m else actual[member]
        if got != value:
            print(f"FAIL: {name}\n  expected {json.dumps(value)}\n  actual   {json.dumps(got)}")
            failures += 1
    checked = len([n for n in expected if not n.startswith("//")])
    print(f"{actual_path}: {checked - failures} of {checked} members as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
