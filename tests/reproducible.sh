#!/usr/bin/env bash
# Two builds of the same sources must give byte-identical distributions: two copies of the
# tree whose files carry different times, each built from clean, some seconds apart. Each
# zip holds exactly the program and its help file, as built.
#   reproducible.sh SOURCE_DIR WORK_DIR
set -euo pipefail
src=$(realpath "$1")
work=$(realpath -m "$2")
rm -rf "$work"
for copy in a b; do
  mkdir -p "$work/$copy"
  (cd "$src" && git ls-files -z --cached --others --exclude-standard |
    tar --null -T - -c --ignore-failed-read 2>/dev/null) | tar -x -C "$work/$copy"
done
find "$work/b" -exec touch -h -d '2001-02-03 04:05:06' {} +
for copy in a b; do
  [ "$copy" = a ] || sleep 3  # the clock must move between the builds
  for preset in win32 win64; do
    (cd "$work/$copy" && cmake --preset "$preset" -DBUILD_TESTING=OFF >/dev/null &&
      cmake --build --preset "$preset" --target dist >/dev/null)
  done
done
status=0
for arch in win32 win64; do
  zip=$(cd "$work/a/build/$arch" && ls Tembix-*-$arch.zip)
  if ! python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); sys.exit(z.namelist() != ["Tembix.exe",
      "Tembix.txt"] or z.read("Tembix.exe") != open(sys.argv[2], "rb").read())' "$work/a/build/$arch/$zip" \
      "$work/a/build/$arch/Tembix.exe"; then
    echo "$zip does not hold exactly Tembix.exe and Tembix.txt as built"
    status=1
  fi
  if cmp "$work/a/build/$arch/$zip" "$work/b/build/$arch/$zip"; then
    echo "$zip: the same bytes from both builds"
  else
    echo "$zip differs between the two builds"
    status=1
  fi
done
[ "$status" -ne 0 ] || rm -rf "$work"
exit "$status"
