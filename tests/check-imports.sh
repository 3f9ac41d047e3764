#!/usr/bin/env bash
# Fails when an executable imports anything that is not on its allow-list, or is not marked
# for the subsystem version its oldest systems need. A list holds what those systems all
# export; a new import is added to it on purpose, never by accident.
#   check-imports.sh EXE ALLOWLIST SUBSYSTEM_VERSION
set -euo pipefail
exe=$1
allow=$2
want=$3

dump=$(x86_64-w64-mingw32-objdump -p "$exe")  # reads 32-bit and 64-bit images alike

major=$(awk '/^MajorSubsystemVersion/ {print $2}' <<<"$dump")
minor=$(awk '/^MinorSubsystemVersion/ {print $2}' <<<"$dump")
if [ "$major.$minor" != "$want" ]; then
  echo "$exe: subsystem version $major.$minor, expected $want"
  exit 1
fi

# "DLL Name: X" starts a block; the lines after it name the imported functions.
imports=$(awk '
  /DLL Name:/ { dll = toupper($3); next }
  /^$/ { if (dll != "") dll = ""; next }
  dll != "" && $1 ~ /^[0-9a-f]+$/ && NF == 3 { print dll " " $3 }
' <<<"$dump" | sort -u)

allowed=$( (grep -v '^\s*#' "$allow" || true) | awk 'NF == 2 { print toupper($1) " " $2 }' | sort -u)
extra=$(comm -23 <(printf '%s\n' "$imports") <(printf '%s\n' "$allowed"))
if [ -n "$extra" ]; then
  echo "$exe imports functions that are not on the allow-list ($allow):"
  printf '  %s\n' $extra | paste - - | sed 's/\t/ /'
  exit 1
fi
count=$(printf '%s\n' "$imports" | grep -c .)
echo "$exe: $count imports, all on the allow-list; subsystem version $want"
