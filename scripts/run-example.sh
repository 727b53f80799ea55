#!/usr/bin/env bash
# Installs what is missing, builds MarrowbineJr.exe and MarrowbineJrCheck.exe, lets the doctor
# explain the bundled example profile, then runs the program in resident mode on it under
# Wine, showing the corrections it makes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win32 -j"$(nproc)" --target MarrowbineJr MarrowbineJrCheck jr_sleeper jr_probe
exec python3 scripts/run_example.py --build build/win32 "$@"
