#!/usr/bin/env bash
# Installs what is missing, builds the host core and the Windows programs, and runs every
# test: unit tests and fuzz runs on the host, the unit tests and end-to-end tests of the
# programs under Wine, and the release zip's checks. The configurations are CMakePresets.json's.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/install-deps.sh

echo "== host: unit tests and fuzz runs"
cmake --preset host >/dev/null
cmake --build --preset host -j"$jobs"
ctest --preset host -j"$jobs"

echo "== host under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset host-asan >/dev/null
cmake --build --preset host-asan -j"$jobs" --target core_tests ui_tests
ctest --preset host-asan -j"$jobs"

echo "== libFuzzer runs from the committed seeds"
cmake --preset fuzz -DMJR_FUZZ_SECONDS="${MJR_FUZZ_SECONDS:-35}" >/dev/null
cmake --build --preset fuzz -j"$jobs" --target fuzz_profile fuzz_command_line
ctest --preset fuzz -j"$jobs"

echo "== unit tests as Windows programs under Wine (16-bit wchar_t, real code pages)"
# The 32-bit run is skipped on a machine whose kernel runs 64-bit code only.
for preset in win32-unit win64-unit; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs" --target core_tests ui_tests
  unit_prefix=$(mktemp -d /tmp/mjr-unit-prefix.XXXXXX)
  WINEPREFIX="$unit_prefix" WINEDEBUG=-all ctest --preset "$preset"
  WINEPREFIX="$unit_prefix" wineserver -k || true
  rm -rf "$unit_prefix"
done

echo "== Windows programs under Wine: end-to-end tests"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$jobs"
ctest --preset win32

echo "== 64-bit Windows programs under Wine: the same tests, and 32- and 64-bit processes side by side"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$jobs"
ctest --preset win64

echo "== the release zip: build and check"
bash scripts/package.sh --no-build
