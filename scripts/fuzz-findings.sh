# shellcheck shell=bash
# What a fuzz run found, as scripts/fuzz.sh and scripts/fuzz-campaign.sh
# both count it (sourced by them, not run).

# The sanitizer reports in a libFuzzer log. A sanitizer stops the run at its
# first report, or (UBSan without -fno-sanitize-recover) prints "runtime
# error:" and goes on: both count.
fuzz_sanitizer_reports() {
  grep -cE '^==[0-9]+==ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer)|: runtime error: ' \
    "$1" 2>/dev/null
}

# Prints "crashes hangs" for the inputs a run of target $1 kept in folder $2,
# and copies each to fuzz/regressions/<target>/ for the unit tests to replay.
# Hangs are timeout inputs; crashes every other failing input (a signal,
# memory exhausted, a broken property).
fuzz_kept_inputs() {
  local a crashes=0 hangs=0
  for a in "$2"/*; do
    [ -f "$a" ] || continue
    case "${a##*/}" in
      # Reported as slow, not failed (one that ran over the timeout is a
      # timeout input as well).
      slow-unit-*) continue ;;
      timeout-*) hangs=$((hangs + 1)) ;;
      *) crashes=$((crashes + 1)) ;;
    esac
    mkdir -p "fuzz/regressions/$1"
    cp "$a" "fuzz/regressions/$1/"
  done
  echo "$crashes $hangs"
}
