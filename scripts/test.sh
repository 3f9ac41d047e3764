#!/usr/bin/env bash
# The test command: installs what is missing, builds both programs and runs their tests
# under Wine, each in a private virtual X display:
#  - the 64-bit build: the full suite, under Wine's 64-bit loader, on every machine;
#  - the 32-bit build: the full suite where the machine runs 32-bit x86 code itself; where it
#    does not, the set labelled "bounded", with Wine's 32-bit loader under user-mode
#    emulation (qemu-i386), which is slow.
# TEMBIX_EMULATE_32=1 runs the full 32-bit suite under emulation, on any machine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh

status=0
summary=()
suite() {  # suite DESCRIPTION PRESET [CTEST ARGUMENTS...]
  local what=$1 preset=$2 start=$SECONDS
  shift 2
  echo
  echo "== $what"
  if scripts/with-xvfb.sh ctest --preset "$preset" "$@"; then result=passed; else result=FAILED; status=1; fi
  summary+=("$what: $result in $((SECONDS - start)) s")
}

# Before any emulation is registered, so that the 64-bit prefix is made without it.
suite "64-bit build, full suite, run natively by Wine's 64-bit loader" win64
if [ "$(scripts/x86-32.sh probe)" = native ] && [ "${TEMBIX_EMULATE_32:-0}" != 1 ]; then
  suite "32-bit build, full suite, run natively by Wine's 32-bit loader" win32
else
  trap 'scripts/x86-32.sh unemulate' EXIT
  scripts/x86-32.sh emulate
  # Everything takes many times longer under emulation; the tests stretch their time-outs.
  export TEMBIX_EMULATED=1
  if [ "${TEMBIX_EMULATE_32:-0}" = 1 ]; then
    suite "32-bit build, full suite (TEMBIX_EMULATE_32=1), under emulation (qemu-i386)" win32
  else
    suite "32-bit build, the bounded set (no 32-bit execution here), under emulation (qemu-i386)" win32 -L bounded
  fi
fi

echo
printf '%s\n' "${summary[@]}"
exit "$status"
