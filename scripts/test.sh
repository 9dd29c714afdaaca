#!/usr/bin/env bash
# Builds the three presets and runs every test: native unit tests, the
# Windows build's tests under Wine, and the 32-bit stage: the shipping i686
# binaries' tests under Wine's 32-bit loader (a WOW64 process, through
# qemu-user on these machines) and their static checks. Ends with one
# summary line "N passed, N failed"; when this machine cannot run 32-bit
# programs the line says "32-bit stage skipped: <reason>" and only the
# static checks of the 32-bit binaries run.
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
. "$here/display.sh"
trap '[ -n "$xvfb_pid" ] && kill $xvfb_pid 2>/dev/null; WINEPREFIX="$repo/build/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null' EXIT

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

# The unit tests once more with address and undefined-behaviour sanitizers.
echo "== configure and build: native with sanitizers"
if cmake --preset native -B build/native-sanitize -DQV_SANITIZE=ON >"$results/native-sanitize-configure.log" 2>&1 &&
   cmake --build build/native-sanitize -j2 --target qv_unit_tests >"$results/native-sanitize-build.log" 2>&1; then
  echo "== tests: native with sanitizers"
  GTEST_OUTPUT="xml:$results/native-sanitize/" ctest --test-dir build/native-sanitize -R '^qv_unit_tests$' \
    --output-on-failure --output-junit "$results/native-sanitize-ctest.xml" 2>&1 |
    tee "$results/native-sanitize-ctest.log" | grep -vE '^\s*$'
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
else
  tail -50 "$results/native-sanitize-build.log"
  echo "build-native-sanitize" >>"$results/build-failures"
  status=1
fi
if [ -d build/win64/bin ]; then
  start_private_display || status=1
  "$here/wine-prefix.sh" || status=1
  mkdir -p "$results/win64"
  run_tests win64 "Z:$(echo "$results/win64/" | tr / '\\')" || status=1
fi
if [ -d build/win32/bin ]; then
  . "$here/wine-arch.sh"
  if why=$(wine32_unavailable); then
    echo "== 32-bit stage skipped: $why"
    echo "$why" >"$results/win32-skipped"
    echo "== tests: win32 (static checks only)"
    ctest --preset win32 -L static --output-junit "$results/win32-ctest.xml" 2>&1 |
      tee "$results/win32-ctest.log" | grep -vE '^\s*$'
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  else
    start_private_display || status=1
    "$here/wine-prefix.sh" || status=1
    mkdir -p "$results/win32"
    stage_start=$(date +%s)
    run_tests win32 "Z:$(echo "$results/win32/" | tr / '\\')" || status=1
    echo "== 32-bit stage: $(( $(date +%s) - stage_start )) s"
  fi
fi

python3 "$here/summarize.py" "$results" || status=1
exit $status
