#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test Marrowbine Jr:
# the MinGW-w64 cross compilers, Wine (32- and 64-bit), Xvfb and the X tools
# the end-to-end tests drive the window with, and wixl and msitools for the
# Windows Installer package, and Node.js with npm for the workflow's linter. Does nothing when
# all is there.
set -euo pipefail

packages=(
  cmake g++ gcc-multilib make clang libclang-rt-14-dev googletest libgtest-dev libgmock-dev libbenchmark-dev python3
  g++-mingw-w64-i686-posix mingw-w64-i686-dev g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine wine32:i386 wine64 fonts-wine
  xvfb xdotool x11-utils imagemagick
  wixl msitools
)
# Debian's nodejs and npm, unless the commands are there already: a Node.js package of another
# source holds npm and conflicts with Debian's.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
