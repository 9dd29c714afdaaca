#!/usr/bin/env bash
# Installs what the builds, tests and demo need from Debian's archive.
# Idempotent and quiet when everything is there already.
set -euo pipefail
packages=(
  cmake ninja-build g++ make python3 file
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  wine64 xvfb x11-utils xdotool imagemagick
  googletest libgtest-dev libbenchmark-dev
  clang clang-tidy clang-format libclang-rt-dev
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
