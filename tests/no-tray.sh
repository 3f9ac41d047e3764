#!/usr/bin/env bash
# Tembix where there is no notification area at all: Wine's null graphics driver, in a
# prefix and a wineserver of its own (a running X11 desktop would keep its tray). Every
# add of the icon fails there; the program must give up as its retry rules say and end
# with exit code 0 within a few seconds, leaving nothing running.
#   no-tray.sh TEST_PREFIX TEMBIX_EXE win32|win64
set -euo pipefail
source_prefix=$(realpath -m "$1")
exe=$2
arch=$3
export WINEPREFIX="$source_prefix-null"
wine="$(dirname "$0")/../scripts/wine-run.sh"

quiet() { "$@" </dev/null >/dev/null 2>&1; }

if [ ! -f "$WINEPREFIX/.tembix-null" ]; then
  rm -rf "$WINEPREFIX"
  cp -a "$source_prefix" "$WINEPREFIX"
  quiet "$wine" win64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
  quiet wineserver -w
  touch "$WINEPREFIX/.tembix-null"
fi

start=$(date +%s%N)
set +e
timeout 300 "$wine" "$arch" "$exe" </dev/null >/dev/null 2>&1
code=$?
set -e
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
left=0
for pid in $(pgrep -x 'Tembix.exe' || true); do
  if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then left=$((left + 1)); fi
done
quiet wineserver -k || true

echo "exit code $code after $elapsed_ms ms; Tembix processes left: $left"
[ "$code" -eq 0 ] || { echo "FAIL: exit code $code"; exit 1; }
limit=20000
if [ "${TEMBIX_EMULATED:-0}" = 1 ]; then limit=200000; fi
[ "$elapsed_ms" -lt "$limit" ] || { echo "FAIL: took $elapsed_ms ms"; exit 1; }
[ "$left" -eq 0 ] || { echo "FAIL: a Tembix process is still running"; exit 1; }
echo "PASS"
