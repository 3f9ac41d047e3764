#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tembix under Wine: on your display when
# there is one (end it with Exit from its menu); otherwise in a private virtual X display
# with a Wine virtual desktop, where it runs for a few seconds and leaves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

run_dir="$PWD/build/run"
mkdir -p "$run_dir"
cp build/Tembix.exe build/Tembix.txt "$run_dir/"

export WINEPREFIX="$PWD/build/run-prefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/.tembix-ready" ]; then
  echo "Creating a Wine prefix in $WINEPREFIX (once, about half a minute)..."
  rm -rf "$WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1
  wine regedit /S "Z:$(pwd | tr / '\\')\\scripts\\prefix.reg" </dev/null >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.tembix-ready"
fi

if [ -n "${DISPLAY:-}" ]; then
  echo "Tembix runs in the notification area of $DISPLAY; choose Exit from its menu to end it."
  cd "$run_dir"
  exec wine Tembix.exe
fi

shot="$run_dir/screenshot.png"
scripts/with-xvfb.sh bash -c '
  cd "$1"
  wine explorer /desktop=Tembix,800x600 Tembix.exe </dev/null >/dev/null 2>&1 &
  sleep 8
  import -window root -crop 800x600+0+0 "$2"
  wineserver -k
  wait
' run "$run_dir" "$shot"
echo "No display here, so Tembix ran for a few seconds in a private one."
echo "Screenshot of its desktop (the icon is at the bottom right): $shot"
