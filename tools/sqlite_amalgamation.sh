#!/usr/bin/env bash
# Makes SQLite's amalgamation (sqlite3.c and sqlite3.h) in OUT from Debian's
# own source package of the version Debian 12 ships, with Debian's patches,
# each file checked against its pinned checksum. Every build of quorvix-cli,
# Linux and Windows alike, compiles this one source in.
#
#     sqlite_amalgamation.sh OUT
set -euo pipefail
out=$(realpath -m "$1")
version=3.40.1-2+deb12u2
declare -A sha256=(
  [sqlite3_3.40.1.orig.tar.xz]=aaa776260ab4dc976db34aa7891819484c8676b5b2783123ebc6301e2ca5d655
  [sqlite3_3.40.1.orig-www.tar.xz]=a5e95a18d1b59729278860559ded78751b9163ffb5bb906c5cd24c015f71d5fd
  [sqlite3_$version.debian.tar.xz]=0843bc12e4364076477935ce313a6d0796fd899a989ff18ebb6545540e10e4ca
  [sqlite3_$version.dsc]=ee3459ae9d00939741c7708fc1b8ce1bde12d8c3fb1dfa005bbbc8651d884e23
)
[ -f "$out/sqlite3.c" ] && [ -f "$out/sqlite3.h" ] && exit 0

. "$(dirname "$0")/debian_source.sh"
unpack_debian_source sqlite3 "$version"
./configure --disable-tcl >/dev/null
make sqlite3.c >/dev/null
publish "$out" sqlite3.c sqlite3.h
