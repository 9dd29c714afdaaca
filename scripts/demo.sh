#!/usr/bin/env bash
# The README's main job: a whole connection on a fresh machine.
#
# Builds the Windows binaries (win64 preset), creates a fresh Wine prefix
# (the machine), publishes demo/share/NORVA as \\DEMOSRV\NORVA with
# NORVACONNECT.exe and QV9REG.DLL copied into its root the way an
# administrator deploys them, starts \\DEMOSRV\NORVA\NORVACONNECT.exe /q with
# its step trace shown in the trace monitor, and then shows what the run
# recorded and what a suite program now sees of the configuration; last the
# error path: a locate through a broken record raises the EVENTLOG alert and
# the e-mail handed to the MAILPOST.exe stand-in is printed.
# Needs no display: a private Xvfb is started; every dialog closes itself.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
cd "$repo"
"$here/setup.sh" || exit 1

echo "== building the Windows binaries (win64 preset)"
mkdir -p build
cmake --preset win64 >build/demo-build.log 2>&1 && cmake --build --preset win64 -j2 >>build/demo-build.log 2>&1 ||
  { tail -40 build/demo-build.log; echo "build failed (see build/demo-build.log)"; exit 1; }
bin="$repo/build/win64/bin"

# A fresh machine: a new prefix, so nothing of an earlier run is left.
export QV_WINEPREFIX="$repo/build/demo-prefix"
rm -rf "$QV_WINEPREFIX"
echo "== a fresh Windows machine (Wine prefix build/demo-prefix)"
"$here/wine-prefix.sh" || exit 1

# The suite's installer has created the start-menu folder "Velmora" for all
# users and for this user; the connect program puts its shortcut there.
mkdir -p "$QV_WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Velmora"
for d in "$QV_WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs; do
  mkdir -p "$d/Velmora"
done

# The share: a fresh copy of demo/share/NORVA with the two deliverables.
share="$repo/build/demo-share/NORVA"
rm -rf "$repo/build/demo-share"
mkdir -p "$(dirname "$share")"
cp -r "$repo/demo/share/NORVA" "$share"
cp "$bin/NORVACONNECT.exe" "$bin/QV9REG.DLL" "$share/"
mkdir -p "$QV_WINEPREFIX/dosdevices/unc/demosrv"
ln -sfn "$share" "$QV_WINEPREFIX/dosdevices/unc/demosrv/norva"
echo "== \\\\DEMOSRV\\NORVA -> build/demo-share/NORVA:"
(cd "$share" && find . -type f | sort | sed 's|^\./|   |')

status=0
echo
echo "== 1. the system services on this machine (qvdemo.exe)"
"$here/wine-run.sh" "$bin/qvdemo.exe" || status=1

echo
echo "== 2. NORVACONNECT.exe /q, started as \\\\DEMOSRV\\NORVA\\NORVACONNECT.exe"
echo "   (trace flag 4 set, so its step trace goes to the trace monitor;"
echo "    qv_connect_watch prints each dialog it shows and its exit code)"
QV_TRACE_NAME=NORVACONNECT "$here/trace-monitor.sh" "$bin/qv_connect_watch.exe" '\\DEMOSRV\NORVA\NORVACONNECT.exe' /q ||
  status=1

echo
echo "== 3. what the connect run recorded on this machine (qvdemo.exe --connection)"
"$here/wine-run.sh" "$bin/qvdemo.exe" --connection || status=1

echo
echo "== 4. what a suite program on this machine now sees"
"$here/demo-qvsettings.sh" "$share" || status=1

echo
echo "== 5. the error path: a suite program locates the data area through a broken record"
echo "   (qvdemo.exe --broken-locate: QV9REG diagnostics 4 and the EVENTLOG alert on;"
echo "    MAILPOST.exe beside it is the test stand-in, which records what it is handed)"
mail_log="$repo/build/demo-mailpost.log"
rm -f "$mail_log"
QV_MAILPOST_LOG="Z:${mail_log//\//\\}" "$here/wine-run.sh" "$bin/qvdemo.exe" --broken-locate || status=1
echo "   the e-mail handed to MAILPOST.exe:"
if [ -s "$mail_log" ]; then
  sed 's/\r$//; s/^/     /' "$mail_log"
  [ "$(grep -c '^== MAILPOST run' "$mail_log")" -eq 1 ] || { echo "   expected exactly one run"; status=1; }
else
  echo "     (nothing: MAILPOST.exe was not started)"
  status=1
fi
echo "   why the next EVENTLOG alert would or would not go out (qvalert.exe --explain EVENTLOG):"
"$here/wine-run.sh" "$bin/qvalert.exe" --explain EVENTLOG | sed 's/^/     /' || status=1

echo
if [ $status -eq 0 ]; then echo "Demo finished: the machine is connected to \\\\DEMOSRV\\NORVA."; else echo "Demo finished with failures."; fi
exit $status
