#!/usr/bin/env bash
# Runs one Windows program of the build with trace flag 4 (its step trace)
# while the trace monitor (tracemonitor.exe) is open, then prints the lines
# the monitor received ("<data word> <line>": 1 normal, 129 highlighted).
#   scripts/trace-monitor.sh PROGRAM.exe [ARGS...]
# PROGRAM may be a Unix path or a Windows path inside the prefix. The flag
# value is named after the program's file name without extension, in upper
# case (QV_TRACE_NAME names another, e.g. NORVACONNECT when PROGRAM is a
# watcher that starts it), and removed again afterwards. Uses QV_WINEPREFIX like wine-run.sh;
# starts one private Xvfb for the monitor and the program when DISPLAY is unset.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
[ $# -ge 1 ] || { echo "usage: $0 PROGRAM.exe [ARGS...]"; exit 2; }
program=$1
shift
bin=${QV_TRACE_MONITOR_BIN:-$repo/build/win64/bin}
monitor="$bin/tracemonitor.exe"
[ -f "$monitor" ] || { echo "no trace monitor at $monitor"; exit 1; }

name=$(basename "${program//\\//}")
name=${name%.*}
name=${QV_TRACE_NAME:-${name^^}}
key='HKLM\Software\Norva\QTTRACE'
log=$(mktemp -d)/received.txt
log_win="Z:${log//\//\\}"

. "$here/display.sh"
start_private_display || exit 1

"$here/wine-run.sh" reg add "$key" /v "$name" /t REG_DWORD /d 4 /f >/dev/null 2>&1
"$here/wine-run.sh" "$monitor" "/log:$log_win" &
monitor_pid=$!
# The monitor creates its log once its window exists.
for _ in $(seq 300); do [ -e "$log" ] && break; sleep 0.1; done

"$here/wine-run.sh" "$program" "$@"
rc=$?

"$here/wine-run.sh" "$monitor" /close >/dev/null 2>&1
wait "$monitor_pid"
"$here/wine-run.sh" reg delete "$key" /v "$name" /f >/dev/null 2>&1
echo "== the trace monitor received:"
if [ -s "$log" ]; then sed 's/\r$//; s/^/   /' "$log"; else echo "   (no lines)"; fi
rm -rf "$(dirname "$log")"
if [ -n "$xvfb_pid" ]; then
  WINEPREFIX=${QV_WINEPREFIX:-$repo/build/wineprefix} /usr/lib/wine/wineserver -w
  kill "$xvfb_pid" 2>/dev/null
fi
exit $rc
