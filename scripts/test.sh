#!/usr/bin/env bash
# Builds everything and runs every test: the core's unit tests, the entry
# fuzzer, checks of both exes, and the end-to-end tests of the real exe
# under Wine on a virtual display. Ends with CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
for preset in mingw-x86_64 mingw-i686 fuzz linux; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
done
ctest --preset linux -j "$jobs"
