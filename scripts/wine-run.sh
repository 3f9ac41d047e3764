#!/bin/sh
# Runs a Windows program under Wine with the loader of its build; the emulator that ctest
# uses for every test.   wine-run.sh win32|win64 PROGRAM [ARGUMENTS...]
# Debian's wine script picks the 32-bit loader whenever it is installed, even on a machine
# that cannot run it, so the loader is named here. Wine finds the other one from WINELOADER.
# Wine's menu builder is off: Wine starts it after every shortcut it saves, and it opens the
# new file, so a delete or a load at that moment fails with a sharing violation.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES-mscoree,mshtml=;winemenubuilder.exe=d}"
case $1 in
win64) WINELOADER=/usr/lib/wine/wine64 ;;
*) WINELOADER=/usr/lib/wine/wine ;;
esac
export WINELOADER
shift
exec "$WINELOADER" "$@"
