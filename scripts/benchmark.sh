#!/usr/bin/env bash
# Builds the programs as shipped and the benchmark's yardsticks, then
# measures start-up, check, set and sizes against their budgets. Exits
# non-zero when a budget is missed. An argument sets the launches per block.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
for group in windows wine64 server; do
  tools/package_groups.sh has "$group" || { echo "the $group package group is missing: see scripts/install-deps.sh" >&2; exit 1; }
done
. scripts/build.sh
for preset in mingw-x86_64 mingw-i686 linux-release; do build "$preset"; done
floors=build/bench-floors
mkdir -p "$floors"
for floor in check_floor set_floor; do
  cc -O2 -o "$floors/$floor" "bench/$floor.c"
done
cc -O2 -I"$(pg_config --includedir)" -o "$floors/assign_floor" bench/assign_floor.c -lpq
python3 bench/benchmark.py build "$floors" "${1:-25}"
