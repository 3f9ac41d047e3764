#!/usr/bin/env bash
# Footprint of the running program under Wine against a minimal Win32 program with a
# message loop (the baseline) under the same Wine: CPU time over a minute on an otherwise
# idle machine, resident memory, the size of Tembix.exe, and the time from process start
# to the first icon in the tray. Needs a display (scripts/bench.sh provides one).
#   footprint.sh BUILD_DIR win32|win64 [SECONDS]
set -euo pipefail
build=$(realpath "$1")
arch=$2
seconds=${3:-60}
here=$(cd "$(dirname "$0")/.." && pwd)
prefix="$build/bench-prefix"
run="$build/bench-run"
wine() { "$here/scripts/wine-run.sh" "$arch" "$@"; }

"$here/scripts/wine-prefix.sh" start "$prefix"
export WINEPREFIX="$prefix"
trap '"$here/scripts/wine-prefix.sh" stop "$prefix"' EXIT
rm -rf "$run"
mkdir -p "$run"
cp "$build/Tembix.exe" "$build/Tembix.txt" "$build/bench/baseline.exe" "$build/bench/baseline_libraries.exe" "$run/"
cd "$run"

pid_of() {  # the Linux process of a Windows program of this prefix
  for _ in $(seq 200); do
    for pid in $(pgrep -x "$1" || true); do
      if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix"; then echo "$pid"; return; fi
    done
    sleep 0.05
  done
  echo "no $1 process" >&2
  exit 1
}
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
# Lime pixels of the program's own icon in the tray (the virtual desktop is 800x600 at 0,0).
tray_shows_icon() {
  local pixels
  pixels=$(import -window root -crop 200x18+600+581 -depth 8 txt:- 2>/dev/null) || return 1
  grep -qi '#00FF00' <<<"$pixels"
}

wine baseline.exe </dev/null >/dev/null 2>&1 &
baseline=$(pid_of baseline.exe)
wine baseline_libraries.exe </dev/null >/dev/null 2>&1 &
libraries=$(pid_of baseline_librar)  # the kernel keeps 15 characters of the name

start=$(date +%s%N)
wine Tembix.exe </dev/null >/dev/null 2>&1 &
until tray_shows_icon; do
  [ $(( ($(date +%s%N) - start) / 1000000 )) -lt 20000 ] || { echo "no icon after 20 s" >&2; exit 1; }
done
first_icon_ms=$(( ($(date +%s%N) - start) / 1000000 ))
tembix=$(pid_of Tembix.exe)

sleep 5  # past start-up
hz=$(getconf CLK_TCK)
t0=$(cpu_ticks "$tembix"); b0=$(cpu_ticks "$baseline")
sleep "$seconds"
t1=$(cpu_ticks "$tembix"); b1=$(cpu_ticks "$baseline")
rss_t=$(rss_kib "$tembix"); rss_b=$(rss_kib "$baseline"); rss_l=$(rss_kib "$libraries")
size=$(stat -c %s "$build/Tembix.exe")
limit=$([ "$arch" = win32 ] && echo 64 || echo 72)  # KiB

awk -v t=$((t1 - t0)) -v b=$((b1 - b0)) -v hz="$hz" -v s="$seconds" -v rt="$rss_t" -v rb="$rss_b" \
    -v rl="$rss_l" -v size="$size" -v limit="$limit" -v first="$first_icon_ms" 'BEGIN {
  printf "CPU over %d s: Tembix %.2f s (%.3f %% of one core), baseline %.2f s (%.3f %%), net %.3f %% (target under 0.2 %%)\n",
         s, t / hz, 100 * t / hz / s, b / hz, 100 * b / hz / s, 100 * (t - b) / hz / s
  printf "resident memory: Tembix %d KiB, baseline %d KiB, above baseline %d KiB (target under 2048 KiB)\n", rt, rb, rt - rb
  printf "  baseline with the same system libraries started (common controls, COM, shell): %d KiB;\n", rl
  printf "  Tembix above it, its own share: %d KiB\n", rt - rl
  printf "Tembix.exe: %d bytes (%.1f KiB, at most %d KiB)\n", size, size / 1024, limit
  printf "process start to first icon in the tray: %d ms (screenshot polling, about 100 ms resolution)\n", first
}'
