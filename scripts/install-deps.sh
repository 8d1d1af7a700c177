#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test tools this machine
# lacks. Safe to run again: it installs nothing when all is there.
set -euo pipefail

packages=(
  cmake make g++ libgtest-dev python3 clang-format  # core, unit tests, layout
  clang libclang-rt-14-dev                       # the fuzz target
  g++-mingw-w64-x86-64 g++-mingw-w64-i686        # Quorvix.exe for both architectures
  wine64 xvfb imagemagick fonts-wine fonts-wqy-microhei  # running it, with Chinese text
  libx11-dev                                     # the drag-and-drop helper
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
