#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test Marrowbine Jr:
# the MinGW-w64 cross compilers, Wine (32- and 64-bit), Xvfb and the X tools
# the end-to-end tests drive the window with, and wixl and msitools for the
# Windows Installer package, and Node.js with npm for the workflow's linter; and, where the
# kernel runs no 32-bit code, the emulation Wine's 32-bit loader needs. Does nothing when all is there.
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

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
install_missing "${packages[@]}"

# Wine's 32-bit loader is an i386 program. Where the kernel runs no 32-bit code ("Exec format
# error"), user-mode emulation runs it: qemu-i386 registered with binfmt_misc, with the F flag so
# the interpreter is found from any mount namespace. That changes the whole machine, so only then.
qemu_entry=/proc/sys/fs/binfmt_misc/qemu-i386
if ! /usr/lib/wine/wine --version >/dev/null 2>&1 && [ ! -e "$qemu_entry" ]; then
  if [ -n "$sudo" ] && ! command -v sudo >/dev/null; then
    echo "install-deps.sh: this kernel runs no 32-bit code, and without root or sudo the 32-bit emulation" \
         "cannot be set up: the 32-bit Windows tests will be skipped"
  else
    install_missing qemu-user-static
    # A container may forbid the mount or the registration: then, as without root, nothing runs.
    { [ -e /proc/sys/fs/binfmt_misc/register ] || $sudo mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc; } &&
      printf '%s\n' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      $sudo tee /proc/sys/fs/binfmt_misc/register >/dev/null || true
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then
      echo "install-deps.sh: this kernel runs no 32-bit code: Wine's 32-bit loader now runs under qemu-i386 (slowly)"
    else
      echo "install-deps.sh: this kernel runs no 32-bit code, and the emulation did not take: the 32-bit Windows tests will be skipped"
    fi
  fi
fi
