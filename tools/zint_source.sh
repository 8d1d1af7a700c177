#!/usr/bin/env bash
# Unpacks the C sources of Zint's barcode library (backend/) into OUT from
# Debian's own source package of the version Debian 12 ships, each file
# checked against its pinned checksum. Every build of quorvix-cli, Linux and
# Windows alike, compiles this one source in.
#
#     zint_source.sh OUT
set -euo pipefail
out=$(realpath -m "$1")
version=2.11.1-1
declare -A sha256=(
  [zint_2.11.1.orig.tar.xz]=2be39312bb54e1e7a40370451248572f936b29b5f0c63f7896005fafeecafc42
  [zint_$version.debian.tar.xz]=5696fafb637bdc4e14d9119618984c4038c3dd589be196682a97cda6fd1215c4
  [zint_$version.dsc]=de52471b4b5f4b218fc3a519e7b27b892a0bdd5841e97bd7ab901812b600b35d
)
[ -f "$out/zint.h" ] && [ -f "$out/library.c" ] && exit 0

. "$(dirname "$0")/debian_source.sh"
unpack_debian_source zint "$version"
publish "$out" backend/.
