#!/usr/bin/env bash
# Installs what the builds, tests and demo need from Debian's archive.
# Idempotent and quiet when everything is there already.
set -euo pipefail
packages=(
  cmake ninja-build g++ make python3 file
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  wine64 xvfb x11-utils xdotool imagemagick
  googletest libgtest-dev libbenchmark-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The 32-bit stage: the shipping i686 binaries under Wine's 32-bit loader
# (wine32:i386), which runs here through qemu-user. Nothing is done when it
# is all in place already.
SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
missing32=()
for p in qemu-user-static wine32:i386; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing32+=("$p")
done
if [ ${#missing32[@]} -gt 0 ]; then
  echo "Installing: ${missing32[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing32[@]}" >/dev/null
fi

# A kernel with IA32 emulation runs the i386 loader itself, which is the
# fast way (an entry of binfmt_misc would take precedence over it, so none
# is made then). Otherwise binfmt_misc sends i386 ELF programs to qemu-i386
# (flag F: the interpreter
# is opened now, so it also serves inside other mount namespaces), through
# a small wrapper that gives qemu the guest address space Wine needs
# (QEMU_RESERVED_VA, see scripts/wine-arch.sh) whoever starts the program.
# A kernel that refuses is reported here and by scripts/test.sh, which then
# skips the 32-bit stage by name; the rest of the set-up stands.
binfmt=/proc/sys/fs/binfmt_misc
interp=/usr/local/lib/qv/qemu-i386-wine
register_i386() {
  local want
  want=$(printf '#!/bin/sh\n# binfmt_misc interpreter for i386 ELF programs (Wine'"'"'s 32-bit loader):\n# qemu-i386 with the guest address space Wine needs (see scripts/wine-arch.sh).\n: "${QEMU_RESERVED_VA:=0x81000000}"\nexport QEMU_RESERVED_VA\nexec /usr/bin/qemu-i386-static "$@"\n')
  if [ "$(cat "$interp" 2>/dev/null)" != "$want" ]; then
    $SUDO mkdir -p "$(dirname "$interp")" && printf '%s\n' "$want" | $SUDO tee "$interp" >/dev/null &&
      $SUDO chmod 755 "$interp" || { echo "cannot write $interp"; return 1; }
  fi
  if [ ! -f "$binfmt/status" ]; then
    $SUDO mount -t binfmt_misc binfmt_misc "$binfmt" 2>&1 || return 1
  fi
  if [ -f "$binfmt/qemu-i386" ]; then
    grep -q "^interpreter $interp\$" "$binfmt/qemu-i386" && grep -q '^flags: .*F' "$binfmt/qemu-i386" && return 0
    echo -1 | $SUDO tee "$binfmt/qemu-i386" >/dev/null 2>&1 || return 1
  fi
  printf '%s' ":qemu-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$interp:F" |
    $SUDO tee "$binfmt/register" >/dev/null 2>&1 || return 1
}
if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  if ! why=$(register_i386 2>&1) || ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "note: this machine cannot run 32-bit programs, the 32-bit test stage will be skipped${why:+: $why}"
  fi
elif [ -f "$binfmt/qemu-i386" ] && ! grep -q "^interpreter $interp\$" "$binfmt/qemu-i386"; then
  register_i386 >/dev/null 2>&1 || true
fi
