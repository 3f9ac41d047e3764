#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need: both MinGW-w64
# compilers, Wine with both loaders, and qemu-user for machines that run no 32-bit x86 code
# (without its recommended binfmt package, which would register an emulator for good).
# Idempotent and non-interactive; skips apt entirely when everything is present.
set -euo pipefail

packages=(g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 qemu-user cmake ninja-build wine wine32:i386
          wine64 xvfb imagemagick fonts-wine doctest-dev locales zip unzip x11-utils python3)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Double-byte file names under Wine go through the Unix locale, so it must exist.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  $sudo sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
