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

xvfb_pid=
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 140); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
    break
  done
fi

"$wine" "$@"
rc=$?
if [ -n "$xvfb_pid" ]; then
  # Let Wine's helper processes finish with this display before it goes.
  /usr/lib/wine/wineserver -w
  kill "$xvfb_pid" 2>/dev/null
fi
exit $rc
