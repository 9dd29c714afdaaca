#!/usr/bin/env bash
# Checks the Windows binaries of a build folder: each is a PE file of the
# expected machine, and none needs the compiler's runtime DLLs (they must
# start on a bare Windows).
#   check-binaries.sh <bin-folder> <i386|x86-64> [gui:<name> ...] [dll:<name> ...]
set -u
bin=$1; arch=$2; shift 2
objdump=i686-w64-mingw32-objdump
[ "$arch" = x86-64 ] && objdump=x86_64-w64-mingw32-objdump
fail=0
shopt -s nullglob
files=("$bin"/*.exe "$bin"/*.dll)
[ ${#files[@]} -gt 0 ] || { echo "no binaries in $bin"; exit 1; }
for f in "${files[@]}"; do
  fmt=$($objdump -f "$f" 2>/dev/null | sed -n 's/.*file format //p')
  want=pei-i386; [ "$arch" = x86-64 ] && want=pei-x86-64
  if [ "$fmt" != "$want" ]; then echo "FAIL $f: format '$fmt', expected $want"; fail=1; continue; fi
  runtime=$($objdump -p "$f" | sed -n 's/^\s*DLL Name: //p' | grep -iE 'libgcc|libstdc\+\+|libwinpthread' || true)
  if [ -n "$runtime" ]; then echo "FAIL $f imports the compiler runtime: $runtime"; fail=1; fi
done
for want in "$@"; do
  kind=${want%%:*}; name=${want#*:}
  f="$bin/$name"
  [ -f "$f" ] || { echo "FAIL missing $name"; fail=1; continue; }
  case $kind in
    gui) sub=$($objdump -p "$f" | sed -n 's/^Subsystem\s*//p')
         echo "$sub" | grep -q '(Windows GUI)' || { echo "FAIL $name subsystem: $sub"; fail=1; } ;;
    console) sub=$($objdump -p "$f" | sed -n 's/^Subsystem\s*//p')
         echo "$sub" | grep -q '(Windows CUI)' || { echo "FAIL $name subsystem: $sub"; fail=1; } ;;
    dll) $objdump -p "$f" | grep -qE '^[[:space:]]+DLL[[:space:]]*$' || { echo "FAIL $name is not a DLL"; fail=1; } ;;
  esac
done
[ $fail -eq 0 ] && echo "checked ${#files[@]} binaries: $arch, no runtime DLLs"
exit $fail
