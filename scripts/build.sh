#!/usr/bin/env bash
# Configures and builds both programs, each in a build tree of its own (a CMake tree has
# one compiler): build/win32 (i686) and build/win64 (x86_64). When the distributions were
# built, gathers them in build/dist with a SHA256SUMS file beside them; otherwise removes
# build/dist, so that it never holds zips of an earlier tree.
#   build.sh [TARGET...]   the targets to build in both trees (default: everything)
set -euo pipefail
cd "$(dirname "$0")/.."
targets=()
gather=1
if [ $# -gt 0 ]; then
  targets=(--target "$@")
  gather=0
  for target in "$@"; do [ "$target" = dist ] && gather=1; done
fi
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" "${targets[@]}"
done
rm -rf build/dist
if [ "$gather" = 1 ]; then
  mkdir -p build/dist
  cp build/win32/Tembix-*-win32.zip build/win64/Tembix-*-win64.zip build/dist/
  (cd build/dist && sha256sum Tembix-*.zip >SHA256SUMS)
fi
