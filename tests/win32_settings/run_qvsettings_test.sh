#!/usr/bin/env bash
# qvsettings.exe under Wine against a share mapped into the project prefix:
#   1. \\QVSETSRV\NORVA holds the site TARVEX.CFG of the unit tests; the
#      program, with QV9REG.DLL beside it, must print the expected values;
#   2. the program alone in a folder (no QV9REG.DLL anywhere) must fail
#      with -20192 and message 20192, exit code 1.
# Usage: run_qvsettings_test.sh <bin folder> <source folder> <work folder>
set -u
bin=$(cd "$1" && pwd) src=$(cd "$2" && pwd) work=$(mkdir -p "$3" && cd "$3" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
run="$repo/scripts/wine-run.sh"
export WINEPREFIX=${QV_WINEPREFIX:-$repo/build/wineprefix}
status=0

[ -f "$bin/qvsettings.exe" ] || { echo "qvsettings.exe not built"; exit 1; }
"$repo/scripts/wine-prefix.sh" >/dev/null || exit 1

# The share, fresh for every run.
share="$repo/build/settings-share/NORVA"
rm -rf "$repo/build/settings-share"
mkdir -p "$share/TARVEX" "$share/NETBIN"
cp "$src/tests/settings/fixtures/TARVEX.CFG" "$share/TARVEX/TARVEX.CFG"
printf '[QTCONFIG]\r\nExpectedUNCpath=\\\\QVSETSRV\\NORVA\r\nConfigurationFile=TARVEX.CFG\r\n' >"$share/TARVEX/QTCFG.INI"
printf '[NorvaAppdataShare]\r\nUNCname=\\\\QVSETSRV\\NORVA\r\n' >"$share/NORVACONNECT.INI"
printf '[TarvexUser]\r\nUserName=Fax Admin\r\nCompanyName=Harbourside\r\n[VelmoraServer]\r\nDirectory=\\\\QVSETSRV\\NORVA\\TARVEX\r\n' \
  >"$share/VELMORA.INI"
mkdir -p "$WINEPREFIX/dosdevices/unc/qvsetsrv"
ln -sfn "$share" "$WINEPREFIX/dosdevices/unc/qvsetsrv/norva"

export NorvaConnectIniPath='\\QVSETSRV\NORVA\NORVACONNECT.INI'
export VelmoraIniPath='\\QVSETSRV\NORVA\VELMORA.INI'
unset BLADEWARESERVICE QV_FORCE_SERVICE QTTRC GFAX ACTIVE TASKEYE_SKIP CVTOPTS

out="$work/qvsettings-test"
rm -rf "$out"
mkdir -p "$out/nolib"

# 1. A good load through the real QV9REG.DLL.
if [ -f "$bin/QV9REG.DLL" ]; then
  (cd "$bin" && "$run" ./qvsettings.exe --node N1 >"$out/good.json" 2>"$out/good.err")
  rc=$?
  echo "good load: exit code $rc"
  [ "$rc" -eq 0 ] || { echo "FAIL: expected exit code 0"; cat "$out/good.err"; status=1; }
  python3 "$here/compare_json.py" "$here/expected_good.json" "$out/good.json" || status=1
else
  echo "FAIL: QV9REG.DLL is not built beside qvsettings.exe"
  status=1
fi

# 2. No QV9REG.DLL: the program alone in an empty folder.
cp "$bin/qvsettings.exe" "$out/nolib/"
(cd "$out/nolib" && "$run" ./qvsettings.exe >"$out/nolib.json" 2>"$out/nolib.err")
rc=$?
echo "no library: exit code $rc"
[ "$rc" -eq 1 ] || { echo "FAIL: expected exit code 1"; status=1; }
python3 "$here/compare_json.py" "$here/expected_nolib.json" "$out/nolib.json" || status=1

[ $status -eq 0 ] && echo "PASS"
exit $status
