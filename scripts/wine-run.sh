#!/usr/bin/env bash
# Runs one Windows program under Wine with the project's own prefix.
# Used as CMAKE_CROSSCOMPILING_EMULATOR by the win64 and win32 presets, and
# by the demo and test scripts. Creates the prefix on first use. A 32-bit
# program runs under Wine's 32-bit loader in the same 64-bit prefix, as a
# WOW64 process (scripts/wine-arch.sh).
#   QV_WINEPREFIX  the prefix (default: <repo>/build/wineprefix)
#   DISPLAY        an X display; when unset, a private Xvfb is started for
#                  this one program and stopped after it.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
export WINEPREFIX=${QV_WINEPREFIX:-$repo/build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
# The tests of the real API find their scratch share here.
export QV_TEST_UNC_ROOT='\\QVTESTSRV\NORVA'
. "$here/wine-arch.sh"
wine=$(wine_loader_for "${1:-}")
if [ "$wine" = "$wine32_loader" ] && why=$(wine32_unavailable); then
  echo "wine-run.sh: cannot run the 32-bit program $1: $why" >&2
  exit 125
fi

"$here/wine-prefix.sh" >/dev/null || exit 1

. "$here/display.sh"
start_private_display || exit 1

if [ "$wine" = "$wine32_loader" ]; then
  run_wine32 "$@"
  rc=$?
else
  "$wine" "$@"
  rc=$?
fi
if [ -n "$xvfb_pid" ]; then
  # Let Wine's helper processes finish with this display before it goes.
  /usr/lib/wine/wineserver -w
  kill "$xvfb_pid" 2>/dev/null
fi
exit $rc
