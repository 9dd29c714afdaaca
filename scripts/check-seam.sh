#!/usr/bin/env bash
# Fails when a source file above the platform seam includes a Windows
# header. Only the real platform (platform/win32/), the tests of the real
# API (tests/win32/ and the other tests/win32*/ folders) and the Windows-only trace monitor (tools/tracemonitor/)
# may, and so may the two stand-ins of outside programs used by the tests
# and the demo (tools/mailpost_standin/, tools/engine_standin/); resource
# scripts are not code.
set -u
repo=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
cd "$repo" || exit 2
headers='windows|winbase|winreg|winuser|winnt|winnetwk|lm|lmshare|lmapi|shlobj|shobjidl|objbase|aclapi|tlhelp32|sddl|winsvc|commctrl|shellapi|knownfolders|wtypes|ole2|shtypes|accctrl|securitybaseapi|processthreadsapi|synchapi'
hits=$(git ls-files -co --exclude-standard -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' 2>/dev/null |
  grep -vE '^(platform/win32|tests/win32[^/]*|tools/tracemonitor|tools/mailpost_standin|tools/engine_standin|build)/' |
  xargs -r grep -nEi "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($headers)\.h[>\"]" 2>/dev/null)
if [ -n "$hits" ]; then
  echo "Windows headers included above the platform seam:"
  echo "$hits"
  exit 1
fi
echo "seam boundary clean"
