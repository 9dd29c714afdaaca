#!/usr/bin/env bash
# The long fuzz run, in segments: every target runs until the executions
# recorded for it reach the goal (10 million), a segment at a time, each
# segment starting from the corpus the earlier ones grew. A segment that
# ends (goal, deadline or finding) adds one row to the ledger, so a run that
# needs more hours than one sitting of the machine goes on where it
# stopped, and the ledger is its record.
#
#   scripts/fuzz-campaign.sh [--goal N] [--until HH:MM | --seconds S] [--lanes K]
#                            [--timeout S] [--ledger FILE] [--no-build] [target ...]
#   scripts/fuzz-campaign.sh --status [--goal N] [--ledger FILE]
#
# Targets: the ones named, or every target still short of the goal, taken
# in turn by K lanes (default 2) that run at once, the most time left first
# (executions left at the target's rate in the ledger). With fewer targets
# than lanes, the lanes share them out, the lanes left over going to the
# targets with the most time left; a target's workers fuzz the same corpus
# at once (scripts/fuzz.sh --worker), each with its share of the executions
# left and a row of its own. --until (UTC) or
# --seconds sets the deadline by which every segment has ended; without
# one, segments run to the goal. Segments run through scripts/fuzz.sh
# (--no-build, --timeout S, default 60 s), with AddressSanitizer's
# allocation stacks two frames deep; run the whole command at a low
# priority (nice -n 19) on a machine that has other work. --status prints
# each target's totals. Exit status 1 when a segment found anything.
#
# Ledger (default docs/fuzz-campaign.tsv), one row per segment, tab-separated:
# start and end (UTC), the commit the programs were built from, target,
# executions, corpus files, coverage (edges), crashes, hangs, sanitizer
# reports, seconds, note.
#
# A segment cut off before it could print its figures (the machine stopped,
# the run was killed) is recorded by the next run of this script, from what
# its libFuzzer log shows: the last status line, the inputs it kept and the
# sanitizer reports, with a note saying so.
set -uo pipefail
# Read whole before it runs: bash reads a script as it goes, and a long run
# must not pick up an edit made to this file meanwhile.
{
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
cd "$repo" || exit 1
# shellcheck source=scripts/fuzz-findings.sh
. "$here/fuzz-findings.sh"

goal=10000000
deadline=
lanes=2
timeout=60
ledger=docs/fuzz-campaign.tsv
build=1
status_only=0
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --goal) goal="$2"; shift 2 ;;
    --until) deadline=$(date -u -d "$2" +%s) || exit 2
             [ "$deadline" -gt "$(date +%s)" ] || deadline=$((deadline + 86400)); shift 2 ;;
    --seconds) deadline=$(( $(date +%s) + $2 )); shift 2 ;;
    --lanes) lanes="$2"; shift 2 ;;
    --timeout) timeout="$2"; shift 2 ;;
    --ledger) ledger="$2"; shift 2 ;;
    --no-build) build=0; shift ;;
    --status) status_only=1; shift ;;
    -h|--help) sed -n '2,/^set /p' "$0" | sed '$d'; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done

# A segment under way leaves its start here until its row is written.
pending=build/fuzz-campaign
lock=${TMPDIR:-/tmp}/fuzz-campaign.lock
header=$'start\tend\tbuild\ttarget\texecutions\tcorpus\tcoverage\tcrashes\thangs\tsanitizer\tseconds\tnote'
[ -s "$ledger" ] || printf '%s\n' "$header" >"$ledger"

# Executions recorded for a target so far.
done_for() {
  awk -F'\t' -v t="$1" 'NR > 1 && $4 == t { n += $5 } END { print n + 0 }' "$ledger"
}

status() {
  printf '%-16s %9s %12s %8s %8s %6s %10s %9s  %s\n' target segments executions goal crashes hangs sanitizer seconds builds
  awk -F'\t' -v goal="$goal" 'NR > 1 {
      t = $4; seg[t]++; ex[t] += $5; cr[t] += $8; hg[t] += $9; sa[t] += $10; se[t] += $11
      if (index(" " bl[t] " ", " " $3 " ") == 0) bl[t] = bl[t] (bl[t] == "" ? "" : " ") $3
    }
    END {
      for (t in seg)
        printf "%-16s %9d %12d %8s %8d %6d %10d %9d  %s\n", t, seg[t], ex[t], (ex[t] >= goal ? "reached" : "short"),
          cr[t], hg[t], sa[t], se[t], bl[t]
    }' "$ledger" | sort
}

# Appends one row to the ledger (the lanes and other runs share it).
record() {
  (
    flock 9
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$@" >>"$ledger"
  ) 9>"$lock"
}

# A segment's name: its target, and ".K" for worker K (2 or more) of it.
target_of() { echo "${1%%.*}"; }

# The note of a cut-off segment that was one of K workers on its target
# (its pending file keeps K; its name gives the worker).
worker_note() {
  local w=1
  [ "$1" != "$(target_of "$1")" ] && w=${1##*.}
  echo "worker $w of $2"
}

# Whether the fuzz program of a segment runs now (the segment is under way):
# each writes its failing inputs to a folder of its own.
under_way() { pgrep -f -- "-artifact_prefix=build/fuzz-artifacts/${1//./\\.}/" >/dev/null; }

# Records the segments that were cut off (one by its name, or all), from
# their logs.
recover() {
  local f s t start built owner k log note execs cov corpus reports crashes hangs end seconds
  for f in "$pending"/${1:-*}.pending; do
    [ -f "$f" ] || continue
    s=$(basename "$f" .pending)
    t=$(target_of "$s")
    read -r start built owner k <"$f"
    # Another ledger's segment (a trial run with --ledger) is left to it.
    [ "$owner" = "$ledger" ] || continue
    under_way "$s" && continue
    log=build/fuzz-logs/$s.log
    note="ended, but its table was not recorded: figures from its log"
    execs=$(grep -oE 'stat::number_of_executed_units: +[0-9]+' "$log" 2>/dev/null | tail -1 | grep -o '[0-9]*$')
    if [ -z "$execs" ]; then
      note="cut off before its figures: executions and coverage from the last status line of its log"
      execs=$(grep -oE '^#[0-9]+' "$log" 2>/dev/null | tail -1 | tr -d '#')
    fi
    [ "${k:-1}" -gt 1 ] && note="$(worker_note "$s" "$k"); $note"
    cov=$(grep -oE 'cov: [0-9]+' "$log" 2>/dev/null | tail -1 | grep -oE '[0-9]+')
    corpus=$(find "build/fuzz-corpus/$t" -type f 2>/dev/null | wc -l)
    reports=$(fuzz_sanitizer_reports "$log")
    read -r crashes hangs <<<"$(fuzz_kept_inputs "$t" "build/fuzz-artifacts/$s")"
    end=$(date -u -r "$log" +%FT%TZ 2>/dev/null || date -u +%FT%TZ)
    seconds=$(( $(date -d "$end" +%s) - $(date -d "$start" +%s) ))
    record "$start" "$end" "$built" "$t" "${execs:-0}" "$corpus" "${cov:-?}" "$crashes" "$hangs" "${reports:-0}" \
      "$seconds" "$note"
    echo "$s: recorded the segment that ended at $end (${execs:-0} executions): $note"
    if [ $((crashes + hangs + ${reports:-0})) -ne 0 ]; then
      echo "$s: it found $crashes crashes, $hangs hangs, ${reports:-0} sanitizer reports; see $log"
      recovered_found=1
    fi
    rm -f "$f"
  done
}

if [ "$status_only" = 1 ]; then
  status
  for f in "$pending"/*.pending; do
    if [ ! -f "$f" ] || [ "$(cut -d' ' -f3 "$f")" != "$ledger" ]; then continue; fi
    s=$(basename "$f" .pending)
    if under_way "$s"; then
      echo "$s: a segment under way since $(cut -d' ' -f1 "$f")"
    else
      echo "$s: a segment that ended at $(date -u -r "build/fuzz-logs/$s.log" +%FT%TZ), recorded at the next run"
    fi
  done
  exit 0
fi

mkdir -p "$pending"
recovered_found=0
recover

# AddressSanitizer records a stack for every allocation and free, 30 frames
# deep by default; two frames (the function and its caller) make these
# allocation-heavy targets about 12 % faster and find just as much. A
# finding's input is kept, and running the fuzz program on it shows the
# report with whole stacks. An ASAN_OPTIONS that sets the depth is kept.
case ":${ASAN_OPTIONS:-}:" in
  *:malloc_context_size=*) ;;
  *) export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}malloc_context_size=2" ;;
esac

if [ "$build" = 1 ]; then "$here/fuzz.sh" --build-only || exit 1; fi
built=$(cat build/fuzz/built-from 2>/dev/null || echo unknown)

for t in "${targets[@]}"; do
  [ -x "build/fuzz/bin/fuzz_$t" ] || { echo "no fuzz target $t (build/fuzz/bin/fuzz_$t)"; exit 2; }
done
if [ ${#targets[@]} -eq 0 ]; then
  for exe in build/fuzz/bin/fuzz_*; do
    t=${exe##*/fuzz_}
    [ "$(done_for "$t")" -lt "$goal" ] && targets+=("$t")
  done
fi

# The targets with the most time left go first and get the lanes left
# over: the executions left at the rate the ledger shows for the target
# (a target without segments yet counts as the slowest).
time_left() {
  awk -F'\t' -v t="$1" -v goal="$goal" 'NR > 1 && $4 == t { n += $5; s += $11 }
    END { left = goal - n; if (left < 0) left = 0; printf "%d\n", (n > 0 && s > 0) ? left * s / n : left * 1000 }' "$ledger"
}
mapfile -t targets < <(for t in "${targets[@]}"; do echo "$(time_left "$t") $t"; done |
  sort -k1,1nr -k2,2 | cut -d' ' -f2)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The queue: "target worker workers", a line per segment. Each target has
# one worker, or with fewer targets than lanes, the lanes shared out among
# them.
n=${#targets[@]}
for ((w = 1; n > 0 && w <= (lanes > n ? (lanes + n - 1) / n : 1); w++)); do
  for ((i = 0; i < n; i++)); do
    k=$(( lanes > n ? lanes / n + (i < lanes % n ? 1 : 0) : 1 ))
    [ "$w" -le "$k" ] && echo "${targets[i]} $w $k"
  done
done >"$work/queue"
: >"$work/found"

# Takes the next target off the queue (the lanes share it).
next_target() {
  (
    flock 9
    head -n 1 "$work/queue"
    sed -i 1d "$work/queue"
  ) 9>"$work/queue.lock"
}

lane() {
  local item t w k s left seconds start end row note
  while item=$(next_target) && [ -n "$item" ]; do
    read -r t w k <<<"$item"
    s=$t
    [ "$w" -gt 1 ] && s=$t.$w
    # This worker's share of what is left.
    left=$(( (goal - $(done_for "$t") + k - 1) / k ))
    [ "$left" -gt 0 ] || continue
    seconds=
    if [ -n "$deadline" ]; then
      seconds=$((deadline - $(date +%s)))
      # Too little time left to be worth loading a corpus.
      if [ "$seconds" -lt 60 ]; then echo "$s: not started, the deadline is less than a minute away"; continue; fi
    fi
    start=$(date -u +%FT%TZ)
    echo "$start $built $ledger $k" >"$pending/$s.pending"
    "$here/fuzz.sh" --no-build --timeout "$timeout" --worker "$w" --runs "$left" ${seconds:+--seconds "$seconds"} "$t" \
      >"$work/$s.out" 2>&1
    end=$(date -u +%FT%TZ)
    cat "$work/$s.out"
    row=$(awk -v t="$t" '$1 == t' "$work/$s.out")
    # target executions exec/s corpus coverage crashes hangs sanitizer seconds
    read -r _ execs _ corpus cov crashes hangs reports seconds <<<"$row"
    if [ -z "$row" ] || ! [[ "$execs" =~ ^[0-9]+$ ]]; then
      # Recorded from its log instead, as a segment cut off is.
      echo "$s: the segment printed no figures; see build/fuzz-logs/$s.log" >&2
      echo "$s" >>"$work/found"
      recover "$s"
      continue
    fi
    [ $((crashes + hangs + reports)) -eq 0 ] || echo "$s" >>"$work/found"
    note=
    [ "$k" -gt 1 ] && note="worker $w of $k"
    record "$start" "$end" "$built" "$t" "$execs" "$corpus" "$cov" "$crashes" "$hangs" "$reports" "$seconds" "$note"
    rm -f "$pending/$s.pending"
  done
}

for ((i = 0; i < lanes; i++)); do lane & done
wait

echo
status
[ -s "$work/found" ] || [ "$recovered_found" = 1 ] && exit 1
exit 0
}
