#!/usr/bin/env bash
# Runs a Windows program under Wine, but only in a prefix the caller chose:
# a missing WINEPREFIX would make Wine create ~/.wine. A 64-bit program gets the 64-bit
# loader; a 32-bit one on a machine that runs 64-bit code only ends with 77 (skipped).
set -euo pipefail
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set; refusing to run $*" >&2
  exit 125
fi
export WINEDEBUG="${WINEDEBUG:--all}"

pe_machine() {
  local at
  at=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 0
  [ -n "$at" ] && od -An -tx2 -j$((at + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}

case "$(pe_machine "$1")" in
  8664) exec /usr/lib/wine/wine64 "$@" ;;
  014c)
    if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
      echo "wine-run.sh: this machine runs 64-bit code only; skipping the 32-bit $(basename "$1")"
      exit 77
    fi ;;
esac
exec wine "$@"
