#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tembix under Wine: on your display when
# there is one (end it with Exit from its menu); otherwise in a private virtual X display
# with a Wine virtual desktop, where it runs until its load icon shows and leaves a
# screenshot.   run.sh [--win32]
# The 64-bit program runs by default; --win32 runs the 32-bit one, natively where the
# machine runs 32-bit x86 code, else under user-mode emulation (slow: a minute to start).
# TEMBIX_EMULATE_32=1 runs it under emulation on any machine, as the test command does.
# Without a display: TEMBIX_RUN_TIMEOUT is how many seconds the load icon may take to show
# (default 300), and TEMBIX_RUN_PROGRAM names another Windows program to start instead
# (the script's own test starts one that shows no icon).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
arch=win64
case ${1:-} in
--win32) arch=win32 ;;
"") ;;
*)
  echo "usage: $0 [--win32]" >&2
  exit 2
  ;;
esac
scripts/install-deps.sh
scripts/build.sh Tembix >/dev/null

if [ "$arch" = win32 ] && { [ "${TEMBIX_EMULATE_32:-0}" = 1 ] || [ "$(scripts/x86-32.sh probe)" != native ]; }; then
  echo "The 32-bit Tembix runs under emulation here (qemu-i386), slowly."
  # Only an entry that this run made is removed, whichever way the run ends; one that was
  # there before belongs to whoever made it.
  if [ ! -e /proc/sys/fs/binfmt_misc/tembix-i386 ]; then
    trap '"$root/scripts/x86-32.sh" unemulate' EXIT
    trap 'exit 130' INT TERM HUP
  fi
  scripts/x86-32.sh emulate
fi

run_dir="$root/build/run-$arch"
mkdir -p "$run_dir"
cp "build/$arch/Tembix.exe" "build/$arch/Tembix.txt" "$run_dir/"

export WINEPREFIX="$root/build/run-prefix-$arch"
if [ ! -f "$WINEPREFIX/.tembix-ready" ]; then
  echo "Creating a Wine prefix in $WINEPREFIX (once; a few seconds, minutes under emulation)..."
  rm -rf "$WINEPREFIX"
  scripts/wine-run.sh win64 wineboot -i </dev/null >/dev/null 2>&1
  scripts/wine-run.sh win64 regedit /S "Z:${root//\//\\}\\scripts\\prefix.reg" </dev/null >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.tembix-ready"
fi

if [ -n "${DISPLAY:-}" ]; then
  echo "Tembix runs in the notification area of $DISPLAY; choose Exit from its menu to end it."
  cd "$run_dir"
  "$root/scripts/wine-run.sh" "$arch" Tembix.exe
  exit
fi

shot="$run_dir/screenshot.png"
rm -f "$shot"
limit=${TEMBIX_RUN_TIMEOUT:-300}
status=0
scripts/with-xvfb.sh bash -c '
  cd "$1"
  # A 64-bit Wine process starts either program with the loader it needs.
  "$3/scripts/wine-run.sh" win64 explorer /desktop=Tembix,800x600 "$5" </dev/null >/dev/null 2>&1 &
  # Until a screenshot shows the load icon, blue or red, at the bottom right of the virtual
  # desktop: the one kept is the one that shows it.
  shown=0
  until [ "$SECONDS" -ge "$4" ]; do
    if import -window root -crop 800x600+0+0 "$2" 2>/dev/null &&
      convert "$2" -crop 200x18+600+581 -depth 8 txt:- 2>/dev/null | grep -qiE "#0000FF|#FF0000"; then
      shown=1
      break
    fi
    sleep 0.5
  done
  wineserver -k || true
  wait
  [ "$shown" = 1 ]
 ' run "$run_dir" "$shot" "$root" "$limit" "${TEMBIX_RUN_PROGRAM:-Tembix.exe}" || status=$?

if [ "$status" = 0 ]; then
  echo "No display here, so Tembix ran in a private one until its icon showed."
  echo "Screenshot of its desktop (the icon is at the bottom right): $shot"
  exit 0
fi
echo "Tembix's load icon did not show within $limit s in the private display." >&2
if [ -s "$shot" ]; then echo "Screenshot of its desktop at that moment: $shot" >&2; fi
exit 1
