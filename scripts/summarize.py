"""Adds up a test run: every GoogleTest case counts once, and every other
CTest test (script checks, binary checks) counts once. A test program that
failed without reporting a failed case (a crash, a timeout) counts as one
failure. Prints the closing line "N passed, N failed"."""
import glob
import os
import sys
import xml.etree.ElementTree as ET

results = sys.argv[1]
passed = failed = skipped = 0

def gtest_counts(path):
    root = ET.parse(path).getroot()
    p = f = s = 0
    for case in root.iter("testcase"):
        if case.find("failure") is not None or case.find("error") is not None:
            f += 1
        elif case.get("result") == "skipped" or case.find("skipped") is not None or case.get("status") == "notrun":
            s += 1
        else:
            p += 1
    return p, f, s

for preset in ("native", "native-sanitize", "win64", "win32"):
    ctest_xml = os.path.join(results, f"{preset}-ctest.xml")
    if not os.path.exists(ctest_xml):
        continue
    gtest_files = {os.path.splitext(os.path.basename(x))[0].lower(): x
                   for x in glob.glob(os.path.join(results, preset, "*.xml"))}
    for case in ET.parse(ctest_xml).getroot().iter("testcase"):
        name = case.get("name", "")
        ok = case.get("status") == "run" and case.find("failure") is None
        if case.get("status") == "disabled" or case.get("status") == "notrun":
            ok = False
        program = None
        for prog, path in gtest_files.items():
            if prog == name.lower():
                program = path
        if program:
            p, f, s = gtest_counts(program)
            passed += p
            failed += f
            skipped += s
            if not ok and f == 0:
                failed += 1
        elif ok:
            passed += 1
        else:
            failed += 1

if os.path.exists(os.path.join(results, "build-failures")):
    failed += len(open(os.path.join(results, "build-failures")).read().split())

line = f"{passed} passed, {failed} failed"
if skipped:
    line += f", {skipped} skipped"
# The 32-bit stage that could not run on this machine is named, never
# silently left out.
stage_skip = os.path.join(results, "win32-skipped")
if os.path.exists(stage_skip):
    line += "; 32-bit stage skipped: " + open(stage_skip).read().strip()
print(line)
sys.exit(1 if failed else 0)
