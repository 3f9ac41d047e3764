#!/usr/bin/env bash
# Installs what is missing, builds, and runs the sampler benchmark under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
export WINEPREFIX="$PWD/build/run-prefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -d "$WINEPREFIX" ]; then
  echo "Creating a Wine prefix in $WINEPREFIX (once, about half a minute)..."
  wineboot -i </dev/null >/dev/null 2>&1
fi
wine build/bench/bench_sampler.exe
