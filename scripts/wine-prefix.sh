#!/usr/bin/env bash
# Creates the project-local Wine prefix once (wineboot), quietly.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
export WINEPREFIX=${QV_WINEPREFIX:-$repo/build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
# wineboot also sets up the prefix's 32-bit side, starting 32-bit programs.
. "$here/wine-arch.sh"
configure_prefix() {
  # Without a window manager under Xvfb, Wine's managed windows take about
  # two seconds to close; unmanaged ones close at once.
  grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null && return 0
  DISPLAY= /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
}
map_test_share() {
  # \\QVTESTSRV\NORVA: a scratch share for the tests of the real API.
  mkdir -p "$repo/build/test-share/NORVA" "$WINEPREFIX/dosdevices/unc/qvtestsrv"
  [ -L "$WINEPREFIX/dosdevices/unc/qvtestsrv/norva" ] ||
    ln -sfn "$repo/build/test-share/NORVA" "$WINEPREFIX/dosdevices/unc/qvtestsrv/norva"
  # \\QVLOCSRV\NORVA: the application-data share staged by QV9REG's Wine test.
  mkdir -p "$repo/build/test-share/QVLOCSRV/NORVA" "$WINEPREFIX/dosdevices/unc/qvlocsrv"
  [ -L "$WINEPREFIX/dosdevices/unc/qvlocsrv/norva" ] ||
    ln -sfn "$repo/build/test-share/QVLOCSRV/NORVA" "$WINEPREFIX/dosdevices/unc/qvlocsrv/norva"
  # \\SRV\NORVA: the share that the connect program's Wine test starts it from.
  mkdir -p "$repo/build/test-share/SRV/NORVA" "$WINEPREFIX/dosdevices/unc/srv"
  [ -L "$WINEPREFIX/dosdevices/unc/srv/norva" ] ||
    ln -sfn "$repo/build/test-share/SRV/NORVA" "$WINEPREFIX/dosdevices/unc/srv/norva"
}
if [ -f "$WINEPREFIX/system.reg" ] && [ -d "$WINEPREFIX/dosdevices" ]; then configure_prefix; map_test_share; exit 0; fi
mkdir -p "$(dirname "$WINEPREFIX")"
lock="$WINEPREFIX.lock"
exec 9>"$lock"
flock 9
if [ -f "$WINEPREFIX/system.reg" ] && [ -d "$WINEPREFIX/dosdevices" ]; then configure_prefix; map_test_share; exit 0; fi
echo "Creating Wine prefix $WINEPREFIX" >&2
DISPLAY= /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
/usr/lib/wine/wineserver -w
[ -f "$WINEPREFIX/system.reg" ] || exit 1
configure_prefix
map_test_share
