#!/usr/bin/env bash
# qvcmdfile on the fixture job of this folder (a job file, an include file
# with a nested include, a file that includes itself):
#   expand and vars print the expected text; strip splits the job so that
#   expanding it again gives the same lines; a self-including file and a
#   missing file fail with exit code 1 and their text on standard error.
# Usage: run_qvcmdfile_test.sh wine|native <program> <work folder>
#   wine    the files lie on \\QVTESTSRV\NORVA (mapped into the project
#           prefix) and name each other by UNC path
#   native  the files lie in the work folder and name each other relatively
set -u
mode=$1 program=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
status=0

if [ "$mode" = wine ]; then
  "$repo/scripts/wine-prefix.sh" >/dev/null || exit 1
  folder="$repo/build/test-share/NORVA/CmdFileTool"
  root='\\QVTESTSRV\NORVA\CmdFileTool\'
  run() { "$repo/scripts/wine-run.sh" "$program" "$@"; }
else
  folder=$(mkdir -p "$3" && cd "$3" && pwd)/qvcmdfile-test
  root=''
  run() { "$program" "$@"; }
fi
rm -rf "$folder"
mkdir -p "$folder"
sedroot=$(printf '%s' "$root" | sed 's/\\/\\\\/g')
for f in "$here"/fixture/*; do
  sed "s/@ROOT@/$sedroot/g" "$f" >"$folder/$(basename "$f")"
done
cd "$folder" || exit 1

check() {  # name, expected exit code, expected output file (or -), expected stderr text (or -)
  local name=$1 code=$2 expected=$3 text=$4 rc
  shift 4
  run "$@" >out.txt 2>err.txt
  rc=$?
  if [ "$rc" -ne "$code" ]; then
    echo "FAIL $name: exit code $rc, expected $code"; cat err.txt; status=1; return
  fi
  if [ "$expected" != - ] && ! cmp -s out.txt "$expected"; then
    echo "FAIL $name: output differs"; diff "$expected" out.txt | head -20; status=1; return
  fi
  if [ "$text" != - ] && ! grep -qF -- "$text" err.txt; then
    echo "FAIL $name: standard error lacks: $text"; cat err.txt; status=1; return
  fi
  echo "ok   $name"
}

check expand 0 "$here/expected_expand.txt" - expand "${root}JOB.CMD"
check vars 0 "$here/expected_vars.txt" - vars "${root}JOB.CMD"
check self-inclusion 1 - "Include file ${root}LOOP.INC includes itself: ${root}LOOP.INC -> ${root}LOOP.INC" \
  expand "${root}LOOP.INC"
check missing 1 - "Cannot find file ${root}NONE.CMD" expand "${root}NONE.CMD"
check usage 1 - "usage: qvcmdfile" frobnicate "${root}JOB.CMD"
check strip 0 - - strip "${root}JOB.CMD" "${root}OUT.INC" --encoding UTF8
if [ "$(head -c 3 OUT.INC | od -An -tx1 | tr -d ' ')" != efbbbf ]; then
  echo "FAIL strip: OUT.INC is not UTF-8 with its byte-order mark"; status=1
fi
head -1 JOB.CMD | grep -qF "\$include \"${root}OUT.INC\"" || { echo "FAIL strip: JOB.CMD lacks its \$include line"; status=1; }
check expand-after-strip 0 "$here/expected_strip.txt" - expand "${root}JOB.CMD"

[ $status -eq 0 ] && echo "PASS"
exit $status
