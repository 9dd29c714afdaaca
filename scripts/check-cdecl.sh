#!/usr/bin/env bash
# Checks the calling convention at QV9REG.DLL's export boundary. On i686 a
# cdecl function returns with a plain "ret" and its caller removes the
# arguments; a stdcall one removes them itself with "ret N". A caller
# built against the other convention corrupts its own stack pointer with
# every call, so both halves must agree:
#   1. the shipping DLL: each of the five exports, followed through the
#      jumps it makes to its body, returns only with a plain "ret"
#      (objdump -d of binutils-mingw-w64);
#   2. locator/qv9reg.h compiles as C for i686 and for x86-64 with every
#      export and pointer type declared __cdecl (x86-64 has one convention
#      only, so there the header must simply compile cleanly).
#   check-cdecl.sh <QV9REG.DLL> <source folder>
set -u
dll=$1; src=$2
fail=0
[ -f "$dll" ] || { echo "FAIL missing $dll"; exit 1; }

i686-w64-mingw32-objdump -p "$dll" >"${TMPDIR:-/tmp}/qv-cdecl-p.$$" &&
i686-w64-mingw32-objdump -d --no-show-raw-insn "$dll" >"${TMPDIR:-/tmp}/qv-cdecl-d.$$" ||
  { echo "FAIL objdump could not read $dll"; exit 1; }
python3 - "${TMPDIR:-/tmp}/qv-cdecl-p.$$" "${TMPDIR:-/tmp}/qv-cdecl-d.$$" <<'PY' || fail=1
import re, sys
headers = open(sys.argv[1]).read()
base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", headers, re.M).group(1), 16)
rvas = [int(x, 16) for x in re.findall(r"^\s*\[\s*\d+\] \+base\[\s*\d+\]\s+([0-9a-fA-F]+) Export RVA", headers, re.M)]
# "[Ordinal/Name Pointer] Table" lines "[   n] NAME": n is the name's
# entry in the export address table.
ordinals = {}
block = headers.split("[Ordinal/Name Pointer] Table", 1)[1]
for idx, name in re.findall(r"^\s*\[\s*(\d+)\] (\S+)\s*$", block, re.M):
    ordinals[name] = int(idx)

# Functions of the disassembly: start address -> (label, instructions).
funcs, order, current = {}, [], None
for line in open(sys.argv[2]):
    m = re.match(r"^([0-9a-f]+) <([^>]+)>:", line)
    if m:
        current = int(m.group(1), 16)
        funcs[current] = (m.group(2), [])
        order.append(current)
        continue
    m = re.match(r"^\s*([0-9a-f]+):\s+(.*\S)\s*$", line)
    if m and current is not None:
        funcs[current][1].append((int(m.group(1), 16), m.group(2)))

def returns(start, seen):
    """The return instructions reached from a function entry, following
    jumps that leave the function for the start of another one."""
    if start in seen or start not in funcs:
        return [] if start in seen else None
    seen.add(start)
    label, body = funcs[start]
    found = []
    for addr, insn in body:
        if re.match(r"ret[lw]?\b", insn):
            found.append((label, addr, insn))
        m = re.match(r"jmp\s+([0-9a-f]+) <([^>+]+)>", insn)
        if m and int(m.group(1), 16) in funcs and int(m.group(1), 16) != start:
            more = returns(int(m.group(1), 16), seen)
            if more is None:
                return None
            found += more
    return found

want = ["QVGETCFG", "QVGETERM", "QVGETINI", "QVGETNAD", "QVREGVER"]
ok = True
for name in want:
    if name not in ordinals or ordinals[name] >= len(rvas):
        print(f"FAIL {name} is not exported"); ok = False; continue
    entry = base + rvas[ordinals[name]]
    rets = returns(entry, set())
    if not rets:
        print(f"FAIL {name}: no return instruction found from its entry {entry:#x}"); ok = False; continue
    popping = [r for r in rets if re.match(r"ret[lw]?\s+\$", r[2])]
    if popping:
        for label, addr, insn in popping:
            print(f"FAIL {name} returns with '{insn}' at {addr:#x} in {label}: the callee pops its arguments (stdcall), callers expect cdecl")
        ok = False
    else:
        print(f"{name}: {len(rets)} return(s), all plain 'ret' (cdecl)")
sys.exit(0 if ok else 1)
PY
rm -f "${TMPDIR:-/tmp}/qv-cdecl-p.$$" "${TMPDIR:-/tmp}/qv-cdecl-d.$$"

# 2. The header, for both targets. The assertion compares each declaration
# with an explicitly __cdecl pointer type; on i686 a __stdcall declaration
# is a different type, which the self-test below makes sure is noticed.
probe=$(mktemp -d "${TMPDIR:-/tmp}/qv-cdecl.XXXXXX")
cat >"$probe/header.c" <<'C'
#include "locator/qv9reg.h"
#define QV_CDECL(name, type) \
  _Static_assert(__builtin_types_compatible_p(__typeof__(&name), type), #name " is not declared __cdecl")
#define QV_CDECL_PTR(ptr, type) \
  _Static_assert(__builtin_types_compatible_p(ptr, type), #ptr " is not a __cdecl pointer type")
QV_CDECL(QVGETNAD, int(__cdecl*)(QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, unsigned char, void*));
QV_CDECL(QVGETINI, int(__cdecl*)(QVCHAR*, const QVCHAR*, QVCHAR*, unsigned char, void*));
QV_CDECL(QVGETCFG, int(__cdecl*)(QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, unsigned char*,
                                 unsigned char*, QVCHAR*, unsigned char, void*));
QV_CDECL(QVGETERM, void(__cdecl*)(QVCHAR*, int, int));
QV_CDECL(QVREGVER, int(__cdecl*)(int));
QV_CDECL_PTR(QVGETNAD_FN, int(__cdecl*)(QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, unsigned char, void*));
QV_CDECL_PTR(QVGETINI_FN, int(__cdecl*)(QVCHAR*, const QVCHAR*, QVCHAR*, unsigned char, void*));
QV_CDECL_PTR(QVGETCFG_FN, int(__cdecl*)(QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, unsigned char*,
                                        unsigned char*, QVCHAR*, unsigned char, void*));
QV_CDECL_PTR(QVGETERM_FN, void(__cdecl*)(QVCHAR*, int, int));
QV_CDECL_PTR(QVREGVER_FN, int(__cdecl*)(int));
#ifdef QV_SELF_TEST
int __stdcall QvStdcallProbe(int);
QV_CDECL(QvStdcallProbe, int(__cdecl*)(int));
#endif
C
for cc in i686-w64-mingw32-gcc-posix x86_64-w64-mingw32-gcc-posix; do
  if out=$($cc -std=c11 -Wall -Wextra -Werror -I"$src" -c "$probe/header.c" -o "$probe/header.o" 2>&1); then
    echo "locator/qv9reg.h: the five exports and their pointer types are __cdecl for ${cc%%-w64*}"
  else
    echo "FAIL locator/qv9reg.h for ${cc%%-w64*}:"; echo "$out"; fail=1
  fi
done
if i686-w64-mingw32-gcc-posix -std=c11 -Werror -DQV_SELF_TEST -I"$src" -c "$probe/header.c" -o "$probe/self.o" >/dev/null 2>&1; then
  echo "FAIL the header check does not tell __stdcall from __cdecl on i686"; fail=1
fi
rm -rf "$probe"
exit $fail
