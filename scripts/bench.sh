#!/usr/bin/env bash
# Builds and runs every benchmark under Wine in a private X display and prints the figures:
# for the 64-bit build always, for the 32-bit build where the machine runs 32-bit x86 code
# itself (under emulation its timings would say nothing about the program).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh >/dev/null
arches=(win64)
if [ "$(scripts/x86-32.sh probe)" = native ]; then arches+=(win32); fi
all() {
  for arch in "$@"; do
    export WINEPREFIX="$PWD/build/$arch/bench-prefix"
    scripts/wine-prefix.sh start "$WINEPREFIX"
    for exe in bench_sampler bench_tray; do
      echo "== $arch: $exe"
      scripts/wine-run.sh "$arch" "build/$arch/bench/$exe.exe" 2>/dev/null
    done
    echo "== $arch: the busiest processor, with the last one kept busy from outside Wine (taskset)"
    taskset -c "$(($(nproc) - 1))" sh -c 'while :; do :; done' &
    spinner=$!
    scripts/wine-run.sh "$arch" "build/$arch/bench/bench_sampler.exe" busiest 2>/dev/null || true
    kill "$spinner"
    scripts/wine-prefix.sh stop "$WINEPREFIX"
    echo "== $arch: footprint (a minute)"
    bench/footprint.sh "build/$arch" "$arch" 60
  done
}
# Always a private display: the footprint figures read the virtual desktop's pixels.
export -f all
scripts/with-xvfb.sh bash -c 'all "$@"' all "${arches[@]}"
