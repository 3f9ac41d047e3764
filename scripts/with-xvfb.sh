#!/usr/bin/env bash
# Runs a command with a private virtual X display, so that Wine can create windows,
# menus and a notification area without touching the user's screen.
set -euo pipefail
size=${TEMBIX_SCREEN:-1024x768x24}
fdfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp 3>"$fdfile" </dev/null >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true; rm -f "$fdfile"' EXIT
for _ in $(seq 100); do [ -s "$fdfile" ] && break; sleep 0.1; done
[ -s "$fdfile" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$fdfile")"
"$@"
