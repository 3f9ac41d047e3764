#!/usr/bin/env bash
# Configures and builds both programs, each in a build tree of its own (a CMake tree has
# one compiler): build/win32 (i686) and build/win64 (x86_64). Then gathers the two
# distributions in build/dist with a SHA256SUMS file beside them.
#   build.sh [TARGET...]   the targets to build in both trees (default: everything)
set -euo pipefail
cd "$(dirname "$0")/.."
targets=()
if [ $# -gt 0 ]; then targets=(--target "$@"); fi
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" "${targets[@]}"
done
rm -rf build/dist
mkdir -p build/dist
cp build/win32/Tembix-*-win32.zip build/win64/Tembix-*-win64.zip build/dist/
(cd build/dist && sha256sum Tembix-*.zip >SHA256SUMS)
