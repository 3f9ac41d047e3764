#!/usr/bin/env bash
# Tembix where there is no notification area at all (run by other-prefix.sh in a prefix with
# Wine's null graphics driver): every add of the icon fails there, and the program must give
# up as its retry rules say, ending with exit code 0 within a few seconds, nothing left running.
#   no-tray.sh TEMBIX_EXE win32|win64
set -euo pipefail
start=$(date +%s%N)
code=0
timeout 300 "$(dirname "$0")/../scripts/wine-run.sh" "$2" "$1" </dev/null >/dev/null 2>&1 || code=$?
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
left=0
for pid in $(pgrep -x Tembix.exe || true); do
  if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then left=$((left + 1)); fi
done
limit=20000
if [ "${TEMBIX_EMULATED:-0}" = 1 ]; then limit=200000; fi
echo "exit code $code after $elapsed_ms ms; Tembix processes left: $left"
[ "$code" -eq 0 ] && [ "$elapsed_ms" -lt "$limit" ] && [ "$left" -eq 0 ]
