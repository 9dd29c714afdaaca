#!/usr/bin/env bash
# Runs the fuzz targets of the fuzz preset and prints one table row per
# target: executions, executions per second, corpus size, coverage (edges),
# crashes, hangs, sanitizer reports and seconds. Hangs are inputs that ran
# over the timeout (10 s, or --timeout); sanitizer reports are the AddressSanitizer,
# UndefinedBehaviorSanitizer and LeakSanitizer reports in the log; crashes
# are every other failing input (a signal, memory exhausted, a broken
# property).
#
#   scripts/fuzz.sh [--runs N] [--seconds S] [--timeout S] [--worker K] [--no-build | --build-only]
#                   [--junit FILE] [target ...]
#
# Default: 60 seconds per target, every target. With both --runs and
# --seconds a target stops at whichever comes first. Each target starts from its
# seed corpus (fuzz/corpus/<target>) and the corpus earlier runs grew
# (build/fuzz-corpus/<target>, kept between runs). An input that crashes,
# hangs, exhausts memory or breaks a property is copied to
# fuzz/regressions/<target>/, which the unit tests replay (qv_fuzz_replay);
# commit it with the fix. Exit status 1 when any target found one. With
# --junit, writes one test case per target for the test summary. --worker K
# (2 or more) is for one of several runs of a target at once: they share the
# grown corpus (libFuzzer reloads it, so each takes up what the others find)
# and worker K keeps its log and its failing inputs apart, in
# build/fuzz-logs/<target>.K.log and build/fuzz-artifacts/<target>.K/.
set -uo pipefail
# Read whole before it runs: bash reads a script as it goes, and a long run
# must not pick up an edit made to this file meanwhile.
{
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
cd "$repo" || exit 1
# shellcheck source=scripts/fuzz-findings.sh
. "$here/fuzz-findings.sh"

runs=
seconds=
# The time one input may take before it counts as a hang. libFuzzer measures
# it on the clock, so a long run at a low priority on a busy machine wants a
# longer one (a starved process is not a hung one).
timeout=10
worker=
build=1
junit=
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --seconds) seconds="$2"; shift 2 ;;
    --timeout) timeout="$2"; shift 2 ;;
    --worker) worker="$2"; shift 2 ;;
    --no-build) build=0; shift ;;
    --build-only) build=2; shift ;;
    --junit) junit="$2"; shift 2 ;;
    -h|--help) sed -n '2,/^set /p' "$0" | sed '$d'; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done

case "$worker" in
  ''|1) suffix= ;;
  *[!0-9]*) echo "--worker takes a number, not $worker"; exit 2 ;;
  *) suffix=.$worker ;;
esac
mode=()
[ -n "$runs" ] && mode+=(-runs="$runs")
[ -n "$seconds" ] && mode+=(-max_total_time="$seconds")
[ ${#mode[@]} -eq 0 ] && mode=(-max_total_time=60)

if [ "$build" != 0 ]; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-/work}
  mkdir -p build
  if ! { cmake --preset fuzz >build/fuzz-configure.log 2>&1 && cmake --build --preset fuzz -j2 >build/fuzz-build.log 2>&1; }; then
    tail -n 40 build/fuzz-configure.log build/fuzz-build.log 2>/dev/null; rm -f build/fuzz-configure.log build/fuzz-build.log
    echo "fuzz build failed"; exit 1
  fi
  rm -f build/fuzz-configure.log build/fuzz-build.log
  # The commit the programs were built from, for the records of long runs
  # (scripts/fuzz-campaign.sh); "-dirty" when the tree had changes, the
  # campaign's own ledger aside (its new rows change no program).
  if rev=$(git rev-parse --short=7 HEAD 2>/dev/null); then
    git diff --quiet HEAD -- . ':(exclude)docs/fuzz-campaign.tsv' || rev+=-dirty
    echo "$rev" >build/fuzz/built-from
  else
    rm -f build/fuzz/built-from
  fi
  [ "$build" = 2 ] && exit 0
fi
if [ ${#targets[@]} -eq 0 ]; then
  for exe in build/fuzz/bin/fuzz_*; do targets+=("${exe##*/fuzz_}"); done
fi

logs=build/fuzz-logs
mkdir -p "$logs"
status=0
rows=()
cases=
for t in "${targets[@]}"; do
  exe=build/fuzz/bin/fuzz_$t
  [ -x "$exe" ] || { echo "no fuzz target $t"; status=1; continue; }
  corpus=build/fuzz-corpus/$t
  artifacts=build/fuzz-artifacts/$t$suffix
  log=$logs/$t$suffix.log
  mkdir -p "$corpus" "$artifacts"
  rm -f "$artifacts"/*
  dict=()
  [ -f "fuzz/dict/$t.dict" ] && dict=(-dict="fuzz/dict/$t.dict")
  start=$(date +%s)
  "$exe" "${mode[@]}" "${dict[@]}" -timeout="$timeout" -report_slow_units="$timeout" -rss_limit_mb=2048 -max_len=12000 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus" "fuzz/corpus/$t" >"$log" 2>&1
  rc=$?
  seconds=$(( $(date +%s) - start ))
  execs=$(grep -oE 'stat::number_of_executed_units: +[0-9]+' "$log" | tail -1 | grep -o '[0-9]*$')
  cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | grep -oE '[0-9]+')
  files=$(find "$corpus" -type f | wc -l)
  rate=$(grep -oE 'stat::average_exec_per_sec: +[0-9]+' "$log" | tail -1 | grep -o '[0-9]*$')
  reports=$(fuzz_sanitizer_reports "$log")
  read -r crashes hangs <<<"$(fuzz_kept_inputs "$t" "$artifacts")"
  # A failure that left no input still counts once.
  if [ "$rc" -ne 0 ] && [ $((crashes + hangs + reports)) -eq 0 ]; then crashes=1; fi
  found=$((crashes + hangs + reports))
  if [ "$found" -eq 0 ]; then
    cases+="<testcase name=\"fuzz_$t\" status=\"run\"/>"
  else
    status=1
    echo "$t: see $log; inputs kept in fuzz/regressions/$t/"
    cases+="<testcase name=\"fuzz_$t\" status=\"run\"><failure message=\"$crashes crashes, $hangs hangs, $reports sanitizer reports, see $log\"/></testcase>"
  fi
  rows+=("$(printf '%-16s %12s %8s %8s %9s %8s %6s %10s %8s' "$t" "${execs:-?}" "${rate:-?}" "$files" "${cov:-?}" \
    "$crashes" "$hangs" "$reports" "$seconds")")
done

printf '%-16s %12s %8s %8s %9s %8s %6s %10s %8s\n' target executions exec/s corpus coverage crashes hangs sanitizer seconds
printf '%s\n' "${rows[@]}"
if [ -n "$junit" ]; then
  printf '<?xml version="1.0" encoding="UTF-8"?>\n<testsuite name="fuzz">%s</testsuite>\n' "$cases" >"$junit"
fi
exit $status
}
