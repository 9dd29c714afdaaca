#!/usr/bin/env bash
# Checks the shipping QV9REG.DLL of a win32 build folder: a 32-bit PE DLL
# that exports exactly QVGETNAD, QVGETINI, QVGETCFG, QVGETERM and QVREGVER
# under those undecorated names, carries version 9.1.0.379, needs no
# compiler runtime DLL, and has its import library and header beside it.
# Further program names (e.g. NORVACONNECT.exe) are checked to be 32-bit
# Windows GUI programs.
#   check-qv9reg.sh <bin-folder> [<program.exe> ...]
set -u
bin=$1; shift
objdump=i686-w64-mingw32-objdump
dll="$bin/QV9REG.DLL"
fail=0
[ -f "$dll" ] || { echo "FAIL missing $dll"; exit 1; }

fmt=$($objdump -f "$dll" | sed -n 's/.*file format //p')
[ "$fmt" = pei-i386 ] || { echo "FAIL QV9REG.DLL format '$fmt', expected pei-i386"; fail=1; }
# The file header's characteristics list "DLL" for a dynamic-link library.
$objdump -p "$dll" | sed -n '/^Characteristics/,/^$/p' | grep -qx '\s*DLL' ||
  { echo "FAIL QV9REG.DLL is not a DLL"; fail=1; }

# The export name table: "[Ordinal/Name Pointer] Table" lines "[   n] NAME".
exports=$($objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^\s*\[\s*[0-9]*\]\s*\(\S*\)\s*$/\1/p' | sort | tr '\n' ' ' | sed 's/ $//')
want="QVGETCFG QVGETERM QVGETINI QVGETNAD QVREGVER"
[ "$exports" = "$want" ] || { echo "FAIL QV9REG.DLL exports '$exports', expected '$want'"; fail=1; }

runtime=$($objdump -p "$dll" | sed -n 's/^\s*DLL Name: //p' | grep -iE 'libgcc|libstdc\+\+|libwinpthread' || true)
[ -z "$runtime" ] || { echo "FAIL QV9REG.DLL imports the compiler runtime: $runtime"; fail=1; }

# VS_FIXEDFILEINFO: file and product version 9.1.0.379 (0x00090001, 0x0000017B).
version=$(od -An -tx1 -v "$dll" | tr -d ' \n' | grep -o 'bd04effe00000100010009007b01000001000900' | head -1)
[ -n "$version" ] || { echo "FAIL QV9REG.DLL carries no version 9.1.0.379 resource"; fail=1; }

for f in QV9REG.lib qv9reg.h; do
  [ -f "$bin/$f" ] || { echo "FAIL missing $f beside QV9REG.DLL"; fail=1; }
done

for name in "$@"; do
  f="$bin/$name"
  [ -f "$f" ] || { echo "FAIL missing $name"; fail=1; continue; }
  fmt=$($objdump -f "$f" | sed -n 's/.*file format //p')
  [ "$fmt" = pei-i386 ] || { echo "FAIL $name format '$fmt', expected pei-i386"; fail=1; }
  sub=$($objdump -p "$f" | sed -n 's/^Subsystem\s*//p')
  echo "$sub" | grep -q '(Windows GUI)' || { echo "FAIL $name subsystem: $sub"; fail=1; }
done

[ $fail -eq 0 ] && echo "QV9REG.DLL: PE32 DLL, exports $exports, version 9.1.0.379${*:+; checked $*}"
exit $fail
