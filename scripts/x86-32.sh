#!/usr/bin/env bash
# 32-bit x86 programs on this machine: some kernels run them, some run no 32-bit x86 code
# at all. There Wine's 32-bit loader still runs through user-mode emulation (qemu-i386),
# registered for i386 ELF files in binfmt_misc under a name of our own.
#   x86-32.sh probe      prints "native" when the kernel runs 32-bit x86 code itself, else "none"
#   x86-32.sh emulate    registers the emulation (needs root or sudo); fails with a plain message
#   x86-32.sh unemulate  removes that registration again
set -euo pipefail

binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/tembix-i386
probe=/usr/lib/wine/wineserver32  # a 32-bit x86 program that every machine here has
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

write() { echo "$2" | $sudo tee "$1" >/dev/null 2>&1; }

# Enabled binfmt_misc entries that take i386 ELF files: a package's (qemu-user-binfmt
# registers one for good) or one left behind by an interrupted run.
i386_entries() {
  for e in "$binfmt"/*; do
    case ${e##*/} in register | status) continue ;; esac
    grep -qx enabled "$e" 2>/dev/null && grep -qx 'magic 7f454c4601010100000000000000000002000300' "$e" && echo "$e"
  done
  return 0
}

mount_binfmt() {
  [ -e "$binfmt/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
}

case ${1:-} in
probe)
  mount_binfmt
  # With an emulator registered, a 32-bit program would run anyway: switch them off for
  # the probe. One that cannot be switched off leaves the answer unknown, taken as "none".
  disabled=()
  for e in $(i386_entries); do
    if write "$e" 0; then disabled+=("$e"); else echo none; exit 0; fi
  done
  if "$probe" --version >/dev/null 2>&1; then result=native; else result=none; fi
  for e in "${disabled[@]}"; do write "$e" 1; done
  echo "$result"
  ;;
emulate)
  mount_binfmt
  [ -e "$entry" ] || write "$binfmt/register" ":tembix-i386:M::$magic:$mask:/usr/bin/qemu-i386:F" || true
  if ! [ -e "$entry" ] || ! "$probe" --version >/dev/null 2>&1; then
    echo "This machine can run 32-bit x86 programs neither natively nor under emulation" >&2
    echo "(registering /usr/bin/qemu-i386 in $binfmt failed): the 32-bit build cannot run here." >&2
    exit 1
  fi
  ;;
unemulate)
  [ -e "$entry" ] && write "$entry" -1
  exit 0
  ;;
*)
  echo "usage: $0 probe|emulate|unemulate" >&2
  exit 2
  ;;
esac
