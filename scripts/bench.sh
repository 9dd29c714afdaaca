#!/usr/bin/env bash
# Builds the benchmarks in Release (the bench preset), runs the figure
# programs and prints one Markdown table: load against tokenize as CPU time
# and as instruction counts (callgrind, repeatable on a busy machine), and
# the lines a load's lookups examine. When the start-up figures program is
# built too, its table follows.
#   scripts/bench.sh            build, then print the tables
#   QV_BENCH_NO_BUILD=1 ...     use what build/bench/bin already holds
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bin="$root/build/bench/bin"

if [[ -z "${QV_BENCH_NO_BUILD:-}" ]]; then
  cmake --preset bench >/dev/null
  cmake --build --preset bench -j2 >/dev/null
fi
figures="$bin/qv_load_figures"
[[ -x "$figures" ]] || { echo "bench.sh: $figures was not built" >&2; exit 1; }

# CPU-time rows, from the program itself.
cpu="$("$figures")"

# Instructions of one run of MODE on a file of LINES lines, less those of the
# same set-up doing nothing.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
instructions() {  # MODE LINES
  local out="$work/callgrind.$1.$2"
  valgrind --tool=callgrind --callgrind-out-file="$out" "$figures" --once "$1" "$2" >/dev/null 2>&1
  awk '/^(summary|totals):/ { print $2; exit }' "$out"
}

declare -A ratio_ir
if command -v valgrind >/dev/null; then
  for lines in 2000 100000; do
    none="$(instructions none "$lines")"
    load="$(instructions load "$lines")"
    tok="$(instructions tokenize "$lines")"
    ratio_ir[$lines]="$(awk -v l="$load" -v t="$tok" -v n="$none" 'BEGIN { printf "%.3f (%d / %d)", (l - n) / (t - n), l - n, t - n }')"
  done
else
  ratio_ir[2000]="(no valgrind)"
  ratio_ir[100000]="(no valgrind)"
fi

echo "| lines | load (ms CPU) | tokenize (ms CPU) | load / tokenize, CPU | load / tokenize, instructions (load / tokenize) | lines examined per load |"
echo "|---:|---:|---:|---:|---:|---:|"
# The program's rows are "| lines | load | tokenize | ratio | examined |".
while IFS='|' read -r _ lines load tok ratio examined _; do
  lines="${lines// /}"
  [[ "$lines" =~ ^[0-9]+$ ]] || continue
  echo "| $lines |${load}|${tok}|${ratio}| ${ratio_ir[$lines]} |${examined}|"
done <<<"$cpu"

if [[ -x "$bin/qv_startup_figures" ]]; then
  echo
  "$bin/qv_startup_figures"
fi
