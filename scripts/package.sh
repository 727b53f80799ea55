#!/usr/bin/env bash
# Installs what is missing, builds both Release builds and writes the release zip,
# build/package/MarrowbineJr-VERSION-windows.zip, and beside it the 64-bit Windows Installer
# package MarrowbineJr-VERSION-x64.msi, then checks both.
#   bash scripts/package.sh              configure, build and package
#   bash scripts/package.sh --no-build   package what build/win32 and build/win64 hold
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != "--no-build" ]; then
  bash scripts/install-deps.sh
  for preset in win32 win64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$(nproc)" --target MarrowbineJr MarrowbineJrCheck
  done
  cmake --build --preset win64 -j"$(nproc)" --target MarrowbineJrTask MarrowbineJrSetup
fi

# The one place the version comes from: the CMake project version.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win32/CMakeCache.txt)
[ -n "$version" ] || { echo "package.sh: no project version in build/win32" >&2; exit 1; }
zip="build/package/MarrowbineJr-$version-windows.zip"
python3 scripts/make_package.py --win32 build/win32 --win64 build/win64 --version "$version" --out "$zip"
python3 tests/package/check_package.py "$zip" "$version"
msi="build/package/MarrowbineJr-$version-x64.msi"
python3 scripts/make_msi.py --win64 build/win64 --version "$version" --out "$msi"
python3 tests/package/check_msi.py "$msi" "$version"
