#!/usr/bin/env bash
# Two builds of the same sources must give byte-identical zips: two copies of the tree whose
# files carry different times, each built from clean, some seconds apart.
#   reproducible.sh SOURCE_DIR WORK_DIR
set -euo pipefail
work=$(realpath -m "$2")
rm -rf "$work"
for copy in a b; do
  mkdir -p "$work/$copy"
  (cd "$1" && git ls-files -z --cached --others --exclude-standard | tar --null -T - -c --ignore-failed-read 2>/dev/null) |
    tar -x -C "$work/$copy"
done
find "$work/b" -exec touch -h -d '2001-02-03 04:05:06' {} +
for copy in a b; do
  [ "$copy" = a ] || sleep 3  # the clock must move between the builds
  for preset in win32 win64; do
    (cd "$work/$copy" && cmake --preset "$preset" -DBUILD_TESTING=OFF >/dev/null &&
      cmake --build --preset "$preset" --target dist >/dev/null)
  done
done
for zip in "$work"/a/build/win*/Tembix-*.zip; do
  cmp "$zip" "$work/b/${zip#"$work/a/"}"
  unzip -Z1 "$zip" | tr '\n' ' ' | grep -qx 'Tembix.exe Tembix.txt ' || { echo "$zip holds the wrong files"; exit 1; }
  echo "$(basename "$zip"): the same bytes from both builds"
done
rm -rf "$work"
