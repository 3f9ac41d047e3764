#!/usr/bin/env bash
# Creates a throw-away Wine prefix for the tests and keeps one wineserver running for it.
#   wine-prefix.sh start PREFIX    create the prefix when needed, start a persistent wineserver
#   wine-prefix.sh stop PREFIX     stop that wineserver and every process of the prefix
# Wine's 64-bit loader makes the prefix; its 32-bit parts are made only where 32-bit x86 code
# can run (natively or under emulation), which the 32-bit build's tests need. Every Wine
# process is started with its output detached: ctest waits for the pipes of a test to close,
# and the server and Wine's own services outlive this script.
set -euo pipefail

action=$1
export WINEPREFIX=$(realpath -m "$2")
here=$(cd "$(dirname "$0")" && pwd)

quiet() { "$@" </dev/null >/dev/null 2>&1; }
wine64() { quiet "$here/wine-run.sh" win64 "$@"; }

case $action in
start)
  quiet wineserver -k || true  # one left from an earlier run
  if [ ! -f "$WINEPREFIX/.tembix-ready" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wine64 wineboot -i
    for reg in prefix.reg test-prefix.reg; do
      wine64 regedit /S "Z:${here//\//\\}\\$reg"
    done
    quiet wineserver -w
    touch "$WINEPREFIX/.tembix-ready"
  fi
  quiet wineserver -p
  # A persistent wineserver that has not run a program yet has been seen to hang the first test.
  wine64 cmd /c exit
  ;;
stop)
  quiet wineserver -k || true
  ;;
*)
  echo "usage: $0 start|stop PREFIX" >&2
  exit 2
  ;;
esac
