#!/usr/bin/env bash
# scripts/run.sh where it can go wrong.   run-script.sh no-icon|emulated
#  no-icon: headless, a program that shows no icon, 5 s: a plain failure, no success claimed.
#  emulated: --win32 forced through emulation on a private display, ended once its icon
#  shows (Wine's own tray window, top left): no emulator entry may be left behind.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
entry=/proc/sys/fs/binfmt_misc/tembix-i386
trap '"$root/scripts/build.sh" dist >/dev/null' EXIT  # run.sh's build of the program alone clears build/dist
if [ "$1" = no-icon ]; then
  shot=$root/build/run-win64/screenshot.png  # the user's own run's, kept
  [ ! -f "$shot" ] || { mv "$shot" "$shot.kept" && trap '"$root/scripts/build.sh" dist >/dev/null; mv "$shot.kept" "$shot"' EXIT; }
  out=$(env -u DISPLAY TEMBIX_RUN_TIMEOUT=5 TEMBIX_RUN_PROGRAM=hostname.exe "$root/scripts/run.sh" 2>&1) && exit 1
  echo "$out"
  grep -q "did not show within 5 s" <<<"$out" && ! grep -q "until its icon showed" <<<"$out"
  exit
fi
[ ! -e "$entry" ] || { echo "$entry exists before the run"; exit 1; }
"$root/scripts/with-xvfb.sh" bash -c '
  TEMBIX_EMULATE_32=1 "$1/scripts/run.sh" --win32 &
  until import -window root -crop 400x100+0+0 -depth 8 txt:- | grep -qiE "#0000FF|#FF0000" || [ $SECONDS -gt 1200 ]; do sleep 2; done
  WINEPREFIX="$1/build/run-prefix-win32" wineserver -k
  wait' check "$root"
[ ! -e "$entry" ] || { "$root/scripts/x86-32.sh" unemulate; echo "run.sh left $entry behind"; exit 1; }
