#!/usr/bin/env bash
# Builds the three presets and runs every test: native unit tests, the
# Windows build's tests under Wine, and the 32-bit stage: the shipping i686
# binaries' tests under Wine's 32-bit loader (a WOW64 process; natively
# where the kernel runs i386 code, else through qemu-user) and their static
# checks. Ends with one summary line "N passed, N failed"; when this machine
# cannot run 32-bit programs the line before it says
# "skipped: 32-bit stage: <reason>" and only the static checks of the 32-bit
# binaries run.
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

# run_tests PRESET XMLDIR [CTEST ARGS...]
run_tests() {
  local preset=$1 xmldir=$2
  shift 2
  echo "== tests: $preset"
  GTEST_OUTPUT="xml:$xmldir" ctest --preset "$preset" "$@" --output-junit "$results/$preset-ctest.xml" \
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

# ---- hardening stages: thread sanitizer, fuzzing, clang-tidy. Each writes
# a JUnit file (build/test-results/<stage>-ctest.xml) that summarize.py
# counts, or says "skipped: <reason>" when this machine cannot run it.
stage_skipped() { echo "skipped: $1"; echo "$1" >>"$results/skipped-stages"; }
have_clang_rt() { ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt."$1"-x86_64.a >/dev/null 2>&1; }

# The unit tests (the threaded ones among them: readers during reloads
# under SettingsLock, the trace writer's threads, the timed message box's
# closing thread) under ThreadSanitizer.
echo "== configure and build: native with the thread sanitizer"
stage_start=$(date +%s)
if ! command -v clang++ >/dev/null || ! have_clang_rt tsan; then
  stage_skipped "native-tsan: clang++ or its thread-sanitizer runtime is not installed"
elif cmake --preset native -B build/native-tsan -DQV_TSAN=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
     >"$results/native-tsan-configure.log" 2>&1 &&
   cmake --build build/native-tsan -j2 --target qv_unit_tests >"$results/native-tsan-build.log" 2>&1; then
  echo "== tests: native with the thread sanitizer"
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" GTEST_OUTPUT="xml:$results/native-tsan/" \
    ctest --test-dir build/native-tsan -R '^qv_unit_tests$' --output-on-failure \
    --output-junit "$results/native-tsan-ctest.xml" 2>&1 | tee "$results/native-tsan-ctest.log" | grep -vE '^\s*$'
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
else
  tail -50 "$results/native-tsan-build.log"
  echo "build-native-tsan" >>"$results/build-failures"
  status=1
fi
echo "   native-tsan stage: $(( $(date +%s) - stage_start )) s"

# The fuzz targets: every target over its corpus and briefly beyond (about
# a minute in all). The seed corpora and regressions are also replayed by
# qv_fuzz_replay in the native tests above.
echo "== fuzz: every target for 8 seconds"
stage_start=$(date +%s)
if ! command -v clang++ >/dev/null || ! have_clang_rt fuzzer; then
  stage_skipped "fuzz: clang++ or libFuzzer is not installed"
else
  "$here/fuzz.sh" --seconds 8 --junit "$results/fuzz-ctest.xml" 2>&1 | tee "$results/fuzz.log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  [ -f "$results/fuzz-ctest.xml" ] || echo "build-fuzz" >>"$results/build-failures"
fi
echo "   fuzz stage: $(( $(date +%s) - stage_start )) s"

# clang-tidy over the product's sources (checks in .clang-tidy).
echo "== clang-tidy"
stage_start=$(date +%s)
if ! command -v clang-tidy >/dev/null; then
  stage_skipped "clang-tidy: clang-tidy is not installed"
else
  "$here/tidy.sh" --junit "$results/clang-tidy-ctest.xml" 2>&1 | tee "$results/clang-tidy.log" | tail -40
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  [ -f "$results/clang-tidy-ctest.xml" ] || echo "clang-tidy" >>"$results/build-failures"
fi
echo "   clang-tidy stage: $(( $(date +%s) - stage_start )) s"

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
    if wine32_through_qemu; then
      # Through qemu-user the two unit-test programs and the trace-file load
      # hang or crash the emulator in their threaded cases (and once the
      # emulator is upset, in the cases after them); they run natively,
      # under the sanitizers and in the 64-bit build. One program at a time.
      why32="32-bit stage under qemu: qv_unit_tests, qv_win32_tests and trace_load left out (the emulator hangs in their threaded cases)"
      echo "== $why32"
      echo "$why32" >>"$results/skipped-stages"
      run_tests win32 "Z:$(echo "$results/win32/" | tr / '\\')" -j1 \
        -E '^(qv_unit_tests|qv_win32_tests|trace_load)$' || status=1
    else
      run_tests win32 "Z:$(echo "$results/win32/" | tr / '\\')" || status=1
    fi
    echo "== 32-bit stage: $(( $(date +%s) - stage_start )) s"
  fi
fi

python3 "$here/summarize.py" "$results" || status=1
exit $status
