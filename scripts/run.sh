#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tembix under Wine: on your display when
# there is one (end it with Exit from its menu); otherwise in a private virtual X display
# with a Wine virtual desktop, where it runs until its load icon shows and leaves a
# screenshot.   run.sh [--win32]
# The 64-bit program runs by default; --win32 runs the 32-bit one, natively where the
# machine runs 32-bit x86 code, else under user-mode emulation (slow: a minute to start).
set -euo pipefail
cd "$(dirname "$0")/.."
arch=win64
if [ "${1:-}" = --win32 ]; then arch=win32; fi
scripts/install-deps.sh
scripts/build.sh Tembix >/dev/null

if [ "$arch" = win32 ] && [ "$(scripts/x86-32.sh probe)" != native ]; then
  echo "This machine runs no 32-bit x86 code: the 32-bit Tembix runs under emulation, slowly."
  trap 'scripts/x86-32.sh unemulate' EXIT
  scripts/x86-32.sh emulate
fi

run_dir="$PWD/build/run-$arch"
mkdir -p "$run_dir"
cp "build/$arch/Tembix.exe" "build/$arch/Tembix.txt" "$run_dir/"

export WINEPREFIX="$PWD/build/run-prefix-$arch"
if [ ! -f "$WINEPREFIX/.tembix-ready" ]; then
  echo "Creating a Wine prefix in $WINEPREFIX (once; a few seconds, minutes under emulation)..."
  rm -rf "$WINEPREFIX"
  scripts/wine-run.sh win64 wineboot -i </dev/null >/dev/null 2>&1
  scripts/wine-run.sh win64 regedit /S "Z:$(pwd | tr / '\\')\\scripts\\prefix.reg" </dev/null >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.tembix-ready"
fi

if [ -n "${DISPLAY:-}" ]; then
  echo "Tembix runs in the notification area of $DISPLAY; choose Exit from its menu to end it."
  cd "$run_dir"
  exec "$OLDPWD/scripts/wine-run.sh" "$arch" Tembix.exe
fi

shot="$run_dir/screenshot.png"
scripts/with-xvfb.sh bash -c '
  cd "$1"
  # A 64-bit Wine process starts either program with the loader it needs.
  "$3/scripts/wine-run.sh" win64 explorer /desktop=Tembix,800x600 Tembix.exe </dev/null >/dev/null 2>&1 &
  # The load icon, blue or red, at the bottom right of the virtual desktop.
  for _ in $(seq 600); do
    import -window root -crop 200x18+600+581 -depth 8 txt:- 2>/dev/null | grep -qiE "#0000FF|#FF0000" && break
    sleep 0.5
  done
  sleep 1
  import -window root -crop 800x600+0+0 "$2"
  wineserver -k
  wait
 ' run "$run_dir" "$shot" "$PWD"
echo "No display here, so Tembix ran in a private one until its icon showed."
echo "Screenshot of its desktop (the icon is at the bottom right): $shot"
