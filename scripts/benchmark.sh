#!/usr/bin/env bash
# Builds both exes and the benchmark's floor, then measures start-up, Update
# and size against their budgets under Wine. Exits non-zero when a budget is
# missed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
for preset in mingw-x86_64 mingw-i686; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" >/dev/null
done
python3 bench/benchmark.py build "${1:-7}"
