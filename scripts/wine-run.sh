#!/bin/sh
# Runs a Windows executable under Wine: the emulator that ctest uses for every test.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES-mscoree,mshtml=}"
exec wine "$@"
