#!/usr/bin/env bash
# Installs the Debian packages that build, run and test Vantrel (as root, or
# through sudo). Quiet unless something fails. libssl-dev gives the remote
# link's key and certificate generation; libssl3 is what Qt Network's OpenSSL
# TLS backend (in libqt6network6) loads at run time.
set -euo pipefail
packages=(build-essential libx11-dev cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev libqt6sql6-sqlite libqt6svg6 clang libclang-rt-14-dev clang-format
          clang-tidy xvfb xauth xdotool xclip imagemagick llvm libbpf-dev bpftool pkg-config
          libssl-dev libssl3
          # The Windows build: the i686 cross compiler with the posix thread
          # model (std::thread), GoogleTest's sources to build for it, and
          # 32-bit Wine to run its tests.
          g++-mingw-w64-i686-posix googletest wine32:i386)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
# wine32 comes from the i386 architecture; adding it needs a fresh package list.
refresh=""
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  refresh=yes
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ -n "$refresh" ]; then
  $SUDO apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
