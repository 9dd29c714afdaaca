#!/usr/bin/env bash
# Runs one Windows program under Wine with the project's own prefix.
# Used as CMAKE_CROSSCOMPILING_EMULATOR by the win64 preset, and by the
# demo and test scripts. Creates the prefix on first use.
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
wine=/usr/lib/wine/wine64

"$here/wine-prefix.sh" >/dev/null || exit 1

. "$here/display.sh"
start_private_display || exit 1

"$wine" "$@"
rc=$?
if [ -n "$xvfb_pid" ]; then
  # Let Wine's helper processes finish with this display before it goes.
  /usr/lib/wine/wineserver -w
  kill "$xvfb_pid" 2>/dev/null
fi
exit $rc
