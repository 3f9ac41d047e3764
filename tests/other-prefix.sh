#!/usr/bin/env bash
# Runs a command in a copy of the test prefix with one registry value changed, served by a
# wineserver of its own (a running server keeps its settings, and a running X11 desktop its
# tray). The copy is kept for the next run.
#   other-prefix.sh SOURCE_PREFIX NAME KEY VALUE TYPE DATA COMMAND...
set -euo pipefail
source_prefix=$(realpath -m "$1")
export WINEPREFIX="$source_prefix-$2"
wine="$(dirname "$0")/../scripts/wine-run.sh"
quiet() { "$@" </dev/null >/dev/null 2>&1; }
if [ ! -f "$WINEPREFIX/.tembix-ready" ]; then
  rm -rf "$WINEPREFIX"
  cp -a "$source_prefix" "$WINEPREFIX"
  quiet "$wine" win64 reg add "$3" /v "$4" /t "$5" /d "$6" /f
  quiet wineserver -w
fi
shift 6
trap 'quiet wineserver -k || true' EXIT
"$@"
