#!/usr/bin/env bash
# The README's screenshots, a docs step to run by hand after a change of the icon or the
# dialog, not part of the tests: Tembix in Wine's virtual desktop at 96 and 144 DPI, the
# tray's corner enlarged four times, and the Options dialog at 144 DPI, into docs/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ -z "${TEMBIX_SHOTS:-}" ]; then
  scripts/install-deps.sh
  scripts/build.sh >/dev/null
  TEMBIX_SHOTS=1 exec scripts/with-xvfb.sh "$0"
fi
tests=$root/build/win64/tests prefix=$root/build/win64/wineprefix
scripts/wine-prefix.sh start "$prefix"
trap 'scripts/wine-prefix.sh stop "$prefix"' EXIT
for dpi in 96 144; do
  run=(env WINEPREFIX="$prefix")
  if [ "$dpi" = 144 ]; then run=("$root/tests/other-prefix.sh" "$prefix" dpi144 "HKCU\\Control Panel\\Desktop" LogPixels REG_DWORD 144); fi
  (cd "$tests" && rm -rf artifacts && "${run[@]}" "$root/scripts/wine-run.sh" win64 test_e2e.exe --no-skip --test-case="Screenshots*" >/dev/null)
  convert "$tests/artifacts/tray.ppm" -gravity southeast -crop 100x30+0+0 +repage -scale 400% "docs/tray-$dpi.png"
done
convert "$tests/artifacts/options.ppm" docs/options-144.png
echo "docs/tray-96.png, docs/tray-144.png and docs/options-144.png taken"
