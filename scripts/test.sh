#!/usr/bin/env bash
# Installs what is missing, builds the product, the tests and the benchmarks, and runs
# every test under Wine in a private virtual X display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
scripts/with-xvfb.sh ctest --preset default
