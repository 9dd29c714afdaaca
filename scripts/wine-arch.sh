# Sourced by the Wine scripts: which Wine loader runs a Windows program.
#
# The shipping binaries are 32-bit (i686) programs. On a 64-bit Windows they
# run under WOW64: HKLM\Software is redirected to Software\WOW6432Node,
# IsWow64Process is true, CSIDL 38 is the "Program Files (x86)" folder. Wine
# does the same when its 32-bit loader (/usr/lib/wine/wine, Debian's
# wine32:i386) starts a 32-bit program in a prefix made by wine64; the
# 64-bit wineserver and 64-bit programs of the same prefix run beside it.
# The i386 loader runs natively where the kernel executes i386 programs
# (IA32 emulation); elsewhere scripts/setup.sh registers qemu-i386-static
# for them with binfmt_misc, and each 32-bit process start costs about 3 s.
#
# QEMU_RESERVED_VA (only read by qemu): without it Wine cannot map its shared user data
# (c0000018); its size decides the start-up time, because Wine reserves the
# whole guest address space in 64 KiB steps, each one an mmap/munmap pair in
# qemu: 0x81000000 (just above 2 GiB) costs about 3 s per process start,
# 0xc0000000 about 40 s, and 0x80100000 is too small.
export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0x81000000}
wine64_loader=/usr/lib/wine/wine64
wine32_loader=/usr/lib/wine/wine

# pe_machine FILE: prints i386 or x86-64 for a PE file, nothing otherwise.
pe_machine() {
  local f=$1 off sig
  [ -f "$f" ] || return 0
  off=$(od -An -tu4 -j60 -N4 "$f" 2>/dev/null | tr -d ' ')
  [ -n "$off" ] || return 0
  sig=$(od -An -tx1 -j"$off" -N6 "$f" 2>/dev/null | tr -d ' \n')
  case $sig in
    504500004c01) echo i386 ;;
    504500006486) echo x86-64 ;;
  esac
}

# wine_loader_for PROGRAM: the loader that starts PROGRAM (a path, or a
# name such as "reg" for Wine's own programs, which run 64-bit).
wine_loader_for() {
  if [ "$(pe_machine "$1")" = i386 ]; then echo "$wine32_loader"; else echo "$wine64_loader"; fi
}

# wine32_unavailable: prints why 32-bit programs cannot run here (and
# returns 0), or prints nothing and returns 1 when they can.
wine32_unavailable() {
  if [ ! -x "$wine32_loader" ]; then echo "the 32-bit Wine loader $wine32_loader is not installed (wine32:i386)"; return 0; fi
  if [ ! -x /usr/bin/qemu-i386-static ]; then echo "qemu-i386-static is not installed (qemu-user-static)"; return 0; fi
  if ! "$wine32_loader" --version >/dev/null 2>&1; then
    # The kernel runs i386 programs itself, or through the binfmt_misc entry.
    if [ ! -f /proc/sys/fs/binfmt_misc/status ]; then
      echo "binfmt_misc is not mounted at /proc/sys/fs/binfmt_misc, so i386 programs cannot go to qemu-i386"; return 0
    fi
    if [ ! -f /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
      echo "the kernel refused the qemu-i386 binfmt_misc entry (run scripts/setup.sh as root)"; return 0
    fi
  fi
  "$wine32_loader" --version >/dev/null 2>&1 || { echo "the 32-bit Wine loader does not start ($wine32_loader --version failed)"; return 0; }
  return 1
}

# wine32_through_qemu: true when 32-bit programs run through qemu-user.
wine32_through_qemu() { grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null; }

# run_wine32 PROGRAM ARGS...: runs a 32-bit program; when it runs through
# qemu, fails, and the emulator crashed under it, runs it again (at most QV_WINE32_ATTEMPTS
# times, default 3). qemu-user 7.2 now and then dies in a 32-bit Wine
# process whose threads run at once ("qemu: uncaught target signal 11",
# Wine's "Unhandled illegal instruction", "wine client error"); the same
# binaries pass on Windows and their 64-bit twins under native Wine. A
# failure without such a message (an assertion, a wrong exit code, Wine's
# report of a page fault in the program) is the program's own and is never
# run again. Each repeat is announced on standard error.
run_wine32() {
  local attempts=${QV_WINE32_ATTEMPTS:-3} attempt=1 rc errlog crash
  # Natively run 32-bit programs are never repeated.
  if wine32_through_qemu; then
    # Under qemu the unit tests that keep several threads busy at once
    # crash the emulator every time; they run natively and in the 64-bit
    # build. A program given its own --gtest_filter is not affected.
    if [ -z "${GTEST_FILTER:-}" ] && [ "$(basename "$1")" = qv_unit_tests.exe ]; then
      export GTEST_FILTER="-*.Concurrent*:SettingsTest.AccessorsReadWhileAnotherThreadWaits:TraceWriter.ThreadsWritingAtOnce*"
      echo "wine-run.sh: under qemu-i386, leaving out the thread-stress cases $GTEST_FILTER" >&2
    fi
    # After Win32SeamRegistry.EveryRootKeyOpens has opened and closed the
    # predefined keys, the emulated 32-bit Wine answers the next
    # GetVolumeInformationW with c000001d (illegal instruction). The root-key
    # case matters for the 64-bit build (sign-extended predefined keys),
    # where it runs.
    if [ -z "${GTEST_FILTER:-}" ] && [ "$(basename "$1")" = qv_win32_tests.exe ]; then
      export GTEST_FILTER="-Win32SeamRegistry.EveryRootKeyOpens"
      echo "wine-run.sh: under qemu-i386, leaving out $GTEST_FILTER" >&2
    fi
    # The trace-file load keeps 4 processes of 2 threads busy at once; under
    # the emulator one of them now and then never finishes, and the run
    # waits for it. It runs in the 64-bit build; here it reports "skipped"
    # (exit code 77, the test's SKIP_RETURN_CODE).
    if [ "$(basename "$1")" = qv_trace_load.exe ]; then
      echo "wine-run.sh: under qemu-i386 the trace-file load is not run (its processes' threads hang the emulator)" >&2
      return 77
    fi
  else
    attempts=1
  fi
  errlog=$(mktemp "${TMPDIR:-/tmp}/qv-wine32.XXXXXX")
  while :; do
    "$wine32_loader" "$@" 2>"$errlog"
    rc=$?
    cat "$errlog" >&2
    crash=$(grep -aE -m1 'qemu: uncaught target signal|Unhandled illegal instruction|wine client error' "$errlog")
    if [ "$rc" -eq 0 ] || [ -z "$crash" ] || [ "$attempt" -ge "$attempts" ]; then break; fi
    attempt=$((attempt + 1))
    echo "wine-run.sh: the i386 emulator crashed under $1 (exit code $rc: $crash); running it again, attempt $attempt of $attempts" >&2
  done
  rm -f "$errlog"
  return "$rc"
}
