#!/usr/bin/env bash
# The README's first command, scripts/run.sh, where it can go wrong:
#   run-script.sh no-icon    headless, with a program that shows no icon and a short limit:
#                            it must fail with a plain message and claim no success
#   run-script.sh emulated   the 32-bit program forced through emulation, on a private display,
#                            ended once its icon shows: no emulator entry may be left behind
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
entry=/proc/sys/fs/binfmt_misc/tembix-i386
# run.sh builds the program alone, which clears build/dist; the test command's zips come back.
trap '"$root/scripts/build.sh" dist >/dev/null' EXIT
case $1 in
no-icon)
  if out=$(env -u DISPLAY TEMBIX_RUN_TIMEOUT=5 TEMBIX_RUN_PROGRAM=hostname.exe "$root/scripts/run.sh" 2>&1); then
    status=0
  else
    status=$?
  fi
  echo "$out"
  [ "$status" != 0 ] && grep -q "did not show within 5 s" <<<"$out" && ! grep -q "until its icon showed" <<<"$out"
  ;;
emulated)
  [ ! -e "$entry" ] || { echo "$entry exists before the run: cannot tell who leaves it"; exit 1; }
  "$root/scripts/with-xvfb.sh" bash -c '
    TEMBIX_EMULATE_32=1 "$1/scripts/run.sh" --win32 &
    # Wine puts the icon into a small tray window of its own at the top left of a bare display.
    until import -window root -crop 400x100+0+0 -depth 8 txt:- 2>/dev/null | grep -qiE "#0000FF|#FF0000"; do
      if [ "$SECONDS" -gt 1200 ]; then echo "no load icon after $SECONDS s"; break; fi
      sleep 2
    done
    WINEPREFIX="$1/build/run-prefix-win32" wineserver -k || true
    wait
  ' check "$root" || true
  if [ -e "$entry" ]; then
    "$root/scripts/x86-32.sh" unemulate
    echo "run.sh left $entry behind"
    exit 1
  fi
  echo "run.sh --win32 removed its emulator entry"
  ;;
esac
