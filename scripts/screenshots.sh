#!/usr/bin/env bash
# The README's screenshots, a docs step to run by hand after a change of the icon or the
# dialog: the first-start and Options journeys at 96 and 144 DPI, saving what they see, then
# the tray's corner enlarged four times, the Options dialog at 144 DPI and the icon in high
# contrast, into docs/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
[ -n "${TEMBIX_SCREENSHOTS:-}" ] || { scripts/install-deps.sh && scripts/build.sh >/dev/null; TEMBIX_SCREENSHOTS=1 exec scripts/with-xvfb.sh "$0"; }
tests=$root/build/win64/tests prefix=$root/build/win64/wineprefix
scripts/wine-prefix.sh start "$prefix"
trap 'scripts/wine-prefix.sh stop "$prefix"' EXIT
for dpi in 96 144; do
  run=(env WINEPREFIX="$prefix")
  [ "$dpi" = 96 ] || run=("$root/tests/other-prefix.sh" "$prefix" dpi144 "HKCU\\Control Panel\\Desktop" LogPixels REG_DWORD 144)
  (cd "$tests" && rm -rf artifacts && LC_ALL=C.UTF-8 "${run[@]}" "$root/scripts/wine-run.sh" win64 test_e2e.exe \
    --test-case="A first start*,Options*" >/dev/null)
  convert "$tests/artifacts/tray.ppm" -gravity southeast -crop 100x30+0+0 +repage -scale 400% "docs/tray-$dpi.png"
done
convert "$tests/artifacts/options.ppm" docs/options-144.png
# The icon in high contrast, which only the tray test can show: Wine reports it off.
(cd "$tests" && rm -rf artifacts && WINEPREFIX="$prefix" "$root/scripts/wine-run.sh" win64 test_tray.exe --test-case="High contrast*" >/dev/null)
convert "$tests"/artifacts/hc-0[0-3].ppm -bordercolor gray -border 1 +append -scale 400% docs/tray-hc.png
