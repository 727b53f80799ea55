#!/usr/bin/env bash
# Installs what is missing, builds the host core and the Windows program, and runs every
# test: unit tests and fuzz runs on the host, end-to-end tests of MarrowbineJr.exe under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/install-deps.sh

echo "== host: unit tests and fuzz runs"
cmake -S . -B build/host -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/host -j"$jobs"
ctest --test-dir build/host --output-on-failure -j"$jobs"

echo "== host under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/host-asan -DCMAKE_BUILD_TYPE=Debug -DMJR_SANITIZE=ON >/dev/null
cmake --build build/host-asan -j"$jobs" --target core_tests ui_tests
ctest --test-dir build/host-asan --output-on-failure -j"$jobs" -R '^[A-Z]'

echo "== libFuzzer runs from the committed seeds"
CXX=clang++ cmake -S . -B build/fuzz -DMJR_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMJR_FUZZ_SECONDS="${MJR_FUZZ_SECONDS:-35}" >/dev/null
cmake --build build/fuzz -j"$jobs" --target fuzz_profile fuzz_command_line
ctest --test-dir build/fuzz --output-on-failure -j"$jobs" -R '^fuzz_'

echo "== unit tests as Windows programs under Wine (16-bit wchar_t, real code pages)"
cmake -S . -B build/win32-unit -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DMJR_WIN_UNIT_TESTS=ON \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win32-unit -j"$jobs" --target core_tests ui_tests
unit_prefix=$(mktemp -d /tmp/mjr-unit-prefix.XXXXXX)
WINEPREFIX="$unit_prefix" WINEDEBUG=-all ctest --test-dir build/win32-unit --output-on-failure
WINEPREFIX="$unit_prefix" wineserver -k || true
rm -rf "$unit_prefix"

echo "== Windows program under Wine: end-to-end tests"
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win32 -j"$jobs"
ctest --test-dir build/win32 --output-on-failure

echo "== 64-bit Windows program under Wine: the same tests, and 32- and 64-bit processes side by side"
cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DMJR_WIN32_BUILD_DIR="$PWD/build/win32" -DMJR_E2E_DISPLAY=42 >/dev/null
cmake --build build/win64 -j"$jobs"
ctest --test-dir build/win64 --output-on-failure
