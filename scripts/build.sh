#!/usr/bin/env bash
# Configures and builds CMake presets, quietly, with every core. The scripts
# that build source it for its function; run, it builds the presets named:
#
#     scripts/build.sh PRESET...
#     build PRESET [CMAKE_ARGUMENT...]   (sourced) more arguments go to the configure
build() {
  local preset=$1
  shift
  cmake --preset "$preset" "$@" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" >/dev/null
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  set -euo pipefail
  cd "$(dirname "$0")/.."
  for preset in "$@"; do build "$preset"; done
fi
