#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test tools this machine
# lacks. Safe to run again: it installs nothing when all is there.
set -euo pipefail

packages=(
  cmake make g++ libgtest-dev python3 clang-format     # core, unit tests, layout
  libcli11-dev nlohmann-json3-dev                       # quorvix-cli
  clang libclang-rt-14-dev                              # the fuzz target
  g++-mingw-w64-x86-64 g++-mingw-w64-i686               # the Windows exes for both architectures
  wine64 wine32:i386 xvfb imagemagick fonts-wine fonts-wqy-microhei  # running them, with Chinese text
  libx11-dev                                            # the drag-and-drop helper
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
# 32-bit Windows programs run on Wine's 32-bit half, from the i386 architecture.
dpkg --print-foreign-architectures | grep -qx i386 || "${sudo[@]}" dpkg --add-architecture i386
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
