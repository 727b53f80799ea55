#!/usr/bin/env bash
# Installs what is missing, builds the program and its profile doctor, lets the doctor
# explain the bundled example profile, then runs the program in resident mode on it under
# Wine, showing the corrections it makes. The 32-bit MarrowbineJr.exe where this machine
# runs 32-bit code, else MarrowbineJr64.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
preset=win32
/usr/lib/wine/wine --version >/dev/null 2>&1 || preset=win64
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)" --target MarrowbineJr MarrowbineJrCheck jr_sleeper jr_probe
exec python3 scripts/run_example.py --build "build/$preset" "$@"
