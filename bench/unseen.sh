#!/usr/bin/env bash
# Tembix's CPU time while the icon is seen and while the session is "locked", net of the
# baseline, side by side with another build of it (the version before, say) in the same
# prefix and the same minutes; and the timer messages its window gets meanwhile. Needs a
# display (scripts/bench.sh provides one).
#   unseen.sh BUILD_DIR win32|win64 [OTHER_TEMBIX_EXE] [SECONDS]
set -euo pipefail
build=$(realpath "$1")
arch=$2
other=${3:-}
seconds=${4:-60}
here=$(cd "$(dirname "$0")/.." && pwd)
prefix="$build/bench-prefix"
run="$build/bench-unseen"
wine() { "$here/scripts/wine-run.sh" "$arch" "$@"; }

"$here/scripts/wine-prefix.sh" start "$prefix"
export WINEPREFIX="$prefix"
trap '"$here/scripts/wine-prefix.sh" stop "$prefix"' EXIT
rm -rf "$run" && mkdir -p "$run/this" "$run/other"
cp "$build/Tembix.exe" "$run/this/" && cp "$build/bench/baseline.exe" "$build/bench/bench_unseen.exe" "$run/"
[ -z "$other" ] || cp "$other" "$run/other/Tembix.exe"
cd "$run"

pid_of() {  # the Linux process of a Windows program of this prefix started from the folder
  for _ in $(seq 200); do
    for pid in $(pgrep -x "$1" || true); do
      tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix" && \
        readlink "/proc/$pid/cwd" | grep -q "$2\$" && { echo "$pid"; return; }
    done
    sleep 0.05
  done
  echo "no $1 in $2" >&2
  exit 1
}
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

(cd "$run" && wine baseline.exe </dev/null >/dev/null 2>&1 &)
baseline=$(pid_of baseline.exe bench-unseen)
(cd "$run/this" && wine Tembix.exe </dev/null >/dev/null 2>&1 &)
this=$(pid_of Tembix.exe this)
others=""
if [ -n "$other" ]; then
  (cd "$run/other" && wine Tembix.exe /r </dev/null >/dev/null 2>&1 &)
  others=$(pid_of Tembix.exe other)
fi
sleep 5  # past start-up
hz=$(getconf CLK_TCK)
measure() {  # measure STATE
  local b0 t0 o0 b1 t1 o1
  b0=$(cpu_ticks "$baseline"); t0=$(cpu_ticks "$this"); o0=${others:+$(cpu_ticks "$others")}
  sleep "$seconds"
  b1=$(cpu_ticks "$baseline"); t1=$(cpu_ticks "$this"); o1=${others:+$(cpu_ticks "$others")}
  awk -v s="$seconds" -v hz="$hz" -v st="$1" -v b=$((b1 - b0)) -v t=$((t1 - t0)) -v o="${others:+$((o1 - o0))}" 'BEGIN {
    printf "%s, %d s: this build net %.3f %% of one core", st, s, 100 * (t - b) / hz / s
    if (o != "") printf ", the other build net %.3f %%", 100 * (o - b) / hz / s
    printf " (baseline %.3f %%)\n", 100 * b / hz / s }'
}
measure "seen"
wine bench_unseen.exe lock
measure "locked"
wine bench_unseen.exe unlock >/dev/null
wine bench_unseen.exe "$seconds"
