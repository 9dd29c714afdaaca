#!/usr/bin/env bash
# The demo's last step: what a suite program on this machine sees of the
# suite configuration, as qvsettings.exe prints it.
# Usage: demo-qvsettings.sh <share folder mapped as \\DEMOSRV\NORVA>
# Runs in the prefix of QV_WINEPREFIX. When the share has no TARVEX.CFG yet,
# the site configuration of the unit tests is put there; when the connect
# program has not recorded the connection in the prefix, a connection file
# naming \\DEMOSRV\NORVA is given through NorvaConnectIniPath.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
share=$1
prefix=${QV_WINEPREFIX:-$repo/build/wineprefix}
bin=${QV_BIN:-$repo/build/win64/bin}

[ -f "$share/TARVEX/TARVEX.CFG" ] || cp "$repo/tests/settings/fixtures/TARVEX.CFG" "$share/TARVEX/TARVEX.CFG"
if [ ! -f "$prefix/drive_c/ProgramData/Norva/NorvaConnect.INI" ]; then
  scratch="$repo/build/demo-settings"
  mkdir -p "$scratch"
  printf '[NorvaAppdataShare]\r\nUNCname=\\\\DEMOSRV\\NORVA\r\n' >"$scratch/NORVACONNECT.INI"
  export NorvaConnectIniPath="Z:$(echo "$scratch/NORVACONNECT.INI" | tr / '\\')"
fi

echo "== qvsettings.exe: the settings record as a suite program on this machine loads it"
out=$(cd "$bin" && "$here/wine-run.sh" ./qvsettings.exe)
rc=$?
printf '%s\n' "$out"
echo "== qvsettings.exe exit code $rc"
exit $rc
