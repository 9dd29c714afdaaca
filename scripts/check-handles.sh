#!/usr/bin/env bash
# Fails when a source file above the platform seam lets a handle go by
# hand. Handles the platform hands out are closed only by their owners in
# platform/handles.h (UniqueFile, UniqueKey, UniqueLibrary, ...), so a
# handle is closed once, on every path, on the machine that issued it.
# The seam itself (platform/seam.h, platform/handles.h), its two
# implementations (platform/win32/, platform/memory/), the tests and benchmarks (which
# drive the machines directly) and the Win32 programs that do not use the
# seam (the trace monitor and the two stand-ins, as in check-seam.sh) are
# exempt.
set -u
repo=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
cd "$repo" || exit 2
closes='CloseHandle|RegCloseKey|FreeLibrary|DeregisterEventSource|UnmapSharedMemory'
hits=$(git ls-files -co --exclude-standard -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' 2>/dev/null |
  grep -vE '^(platform/win32|platform/memory|tests|bench|tools/tracemonitor|tools/mailpost_standin|tools/engine_standin|build)/' |
  grep -vxE 'platform/(seam|handles)\.h' |
  xargs -r grep -nE "\b($closes)[[:space:]]*\(" 2>/dev/null |
  grep -vE '^[^:]+:[0-9]+:[[:space:]]*//')
if [ -n "$hits" ]; then
  echo "Handles closed by hand above the platform seam (use the owners of platform/handles.h):"
  echo "$hits"
  exit 1
fi
echo "handle ownership clean"
