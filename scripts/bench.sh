#!/usr/bin/env bash
# Builds and runs every benchmark under Wine in a private X display and prints the figures.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null
export WINEPREFIX="$PWD/build/run-prefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX" ] || wineboot -i </dev/null >/dev/null 2>&1
run() {
  for exe in "$@"; do
    echo "== ${exe##*/}"
    wine "$exe" 2>/dev/null
  done
}
all() {
  run build/bench/bench_sampler.exe build/bench/bench_tray.exe
  echo "== footprint (a minute)"
  bench/footprint.sh build 60
}
# Always a private display: the footprint figures read the virtual desktop's pixels.
export -f run all
scripts/with-xvfb.sh bash -c all
