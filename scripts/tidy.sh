#!/usr/bin/env bash
# clang-tidy (checks in .clang-tidy) over the product's sources, with the
# native build's compile_commands.json: every source of the support library,
# the deliverables' logic and the tools that the native build compiles (not
# the tests, the benchmarks, the demo or the in-memory machine).
#
#   scripts/tidy.sh [--junit FILE] [source ...]
#
# Prints each finding; exit status 1 when there is any. With --junit, writes
# one test case per source file for the test summary.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
cd "$repo"
junit=
if [ "${1:-}" = "--junit" ]; then junit=$2; shift 2; fi

db=build/native
if [ ! -f "$db/compile_commands.json" ]; then
  cmake --preset native -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null || exit 1
fi
# The generated headers (string tables) must exist.
cmake --build "$db" -j2 --target qv_support >/dev/null || exit 1

if [ $# -eq 0 ]; then
  mapfile -t sources < <(python3 - "$db/compile_commands.json" "$repo" <<'PY'
import json, os, sys
root = sys.argv[2]
for e in json.load(open(sys.argv[1])):
    rel = os.path.relpath(e["file"], root)
    if rel.startswith(("tests/", "bench/", "demo/", "fuzz/", "build/", "platform/memory/", "..")):
        continue
    print(rel)
PY
)
else
  sources=("$@")
fi

out=build/tidy
rm -rf "$out"
mkdir -p "$out"
printf '%s\n' "${sources[@]}" | xargs -P 2 -I{} sh -c \
  'f={}; clang-tidy --quiet -p '"$db"' "$f" >"'"$out"'/$(echo "$f" | tr / _).log" 2>&1; echo $? >"'"$out"'/$(echo "$f" | tr / _).rc"'

failed=0
cases=
for f in "${sources[@]}"; do
  base=$out/$(echo "$f" | tr / _)
  rc=$(cat "$base.rc")
  if [ "$rc" != 0 ] || grep -qE 'warning:|error:' "$base.log"; then
    failed=$((failed + 1))
    grep -E 'warning:|error:' "$base.log" | sed 's/^/  /'
    msg=$(grep -E 'warning:|error:' "$base.log" | head -20 | sed 's/&/\&amp;/g;s/</\&lt;/g;s/>/\&gt;/g;s/"/\&quot;/g')
    cases+="<testcase name=\"$f\" status=\"run\"><failure message=\"clang-tidy findings\">$msg</failure></testcase>"
  else
    cases+="<testcase name=\"$f\" status=\"run\"/>"
  fi
done
echo "clang-tidy: ${#sources[@]} sources, $failed with findings"
if [ -n "$junit" ]; then
  printf '<?xml version="1.0" encoding="UTF-8"?>\n<testsuite name="clang-tidy" tests="%d" failures="%d">%s</testsuite>\n' \
    "${#sources[@]}" "$failed" "$cases" >"$junit"
fi
[ "$failed" -eq 0 ]
