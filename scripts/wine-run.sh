#!/usr/bin/env bash
# Runs a Windows program under Wine, but only in a prefix the caller chose:
# a missing WINEPREFIX would make Wine create ~/.wine.
set -euo pipefail
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set; refusing to run $*" >&2
  exit 125
fi
export WINEDEBUG="${WINEDEBUG:--all}"
exec wine "$@"
