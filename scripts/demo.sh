#!/usr/bin/env bash
# The README's main job: builds the Windows binaries, publishes the demo
# share as \\DEMOSRV\NORVA inside a project-local Wine prefix and runs the
# demo there. Needs no display (a private Xvfb is started).
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
cd "$repo"
"$here/setup.sh" || exit 1

echo "== building the Windows binaries (win64 preset)"
cmake --preset win64 >build-demo.log 2>&1 && cmake --build --preset win64 -j2 >>build-demo.log 2>&1 ||
  { tail -40 build-demo.log; echo "build failed (see build-demo.log)"; exit 1; }
rm -f build-demo.log

export QV_WINEPREFIX="$repo/build/demo-prefix"
"$here/wine-prefix.sh" || exit 1

# The share: a fresh copy of demo/share/NORVA, reachable as \\DEMOSRV\NORVA.
share="$repo/build/demo-share/NORVA"
rm -rf "$repo/build/demo-share"
mkdir -p "$(dirname "$share")"
cp -r "$repo/demo/share/NORVA" "$share"
mkdir -p "$QV_WINEPREFIX/dosdevices/unc/demosrv"
ln -sfn "$share" "$QV_WINEPREFIX/dosdevices/unc/demosrv/norva"
echo "== \\\\DEMOSRV\\NORVA -> $share"

"$here/wine-run.sh" "$repo/build/win64/bin/qvdemo.exe"
