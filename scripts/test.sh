#!/usr/bin/env bash
# Builds the three presets and runs every test: native unit tests, the
# Windows build's tests under Wine, and the checks of the 32-bit shipping
# binaries. Ends with one summary line "N passed, N failed".
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
cd "$repo"
"$here/setup.sh" || exit 1

results="$repo/build/test-results"
rm -rf "$results"
mkdir -p "$results"
status=0

build() {
  local preset=$1
  echo "== configure and build: $preset"
  cmake --preset "$preset" >"$results/$preset-configure.log" 2>&1 || { cat "$results/$preset-configure.log"; return 1; }
  cmake --build --preset "$preset" -j2 >"$results/$preset-build.log" 2>&1 || { tail -50 "$results/$preset-build.log"; return 1; }
}

# One X server for every windowed test of this run.
xvfb_pid=
start_display() {
  for n in $(seq 91 140); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
    return
  done
}
trap '[ -n "$xvfb_pid" ] && kill $xvfb_pid 2>/dev/null; /usr/lib/wine/wineserver -k 2>/dev/null' EXIT

run_tests() {
  local preset=$1 xmldir=$2
  echo "== tests: $preset"
  GTEST_OUTPUT="xml:$xmldir" ctest --preset "$preset" --output-junit "$results/$preset-ctest.xml" \
    2>&1 | tee "$results/$preset-ctest.log" | grep -vE '^\s*$'
  return "${PIPESTATUS[0]}"
}

for preset in native win64 win32; do
  if ! build "$preset"; then
    echo "BUILD FAILED: $preset"
    echo "build-$preset" >>"$results/build-failures"
    status=1
  fi
done

[ -d build/native ] && { run_tests native "$results/native/" || status=1; }
if [ -d build/win64/bin ]; then
  start_display
  "$here/wine-prefix.sh" || status=1
  mkdir -p "$results/win64"
  run_tests win64 "Z:$(echo "$results/win64/" | tr / '\\')" || status=1
fi
[ -d build/win32 ] && { run_tests win32 "$results/win32/" || status=1; }

python3 "$here/summarize.py" "$results" || status=1
exit $status
