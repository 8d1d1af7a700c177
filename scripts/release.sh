#!/usr/bin/env bash
# Builds the release archives of the commit checked out, from a clean copy of
# it, into OUT (build/release when none is given):
#
#     Quorvix-<version>-win64.zip, Quorvix-<version>-win32.zip
#         Quorvix.exe, quorvix-cli.exe and README.txt, the user guide
#     quorvix-cli-<version>-linux-x86_64.tar.gz
#         quorvix-cli and README.txt
#     quorvix-cli_<version>_amd64.deb
#         /usr/bin/quorvix-cli, its man page and bash, zsh and fish completions
#     SHA256SUMS
#
# The same commit gives the same bytes, wherever and whenever it is built:
# file times in the archives are the commit's (SOURCE_DATE_EPOCH).
#
#     scripts/release.sh [OUT]
#
# QUORVIX_RELEASE_PRESETS names the builds to package, all three by default.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

out=$(realpath -m "${1:-build/release}")
git() { command git -c safe.directory="$PWD" "$@"; }  # a clone made by another user is fine too
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
  echo "Releasing the last commit, $(git rev-parse --short HEAD); uncommitted changes are not in it."
rm -rf "$out"
mkdir -p "$out/src"
git archive HEAD | tar -x -C "$out/src"
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH

sqlite=$PWD/build/sqlite-3.40.1  # made once, from its pinned source, for every build
cd "$out/src"
. scripts/build.sh
for preset in ${QUORVIX_RELEASE_PRESETS:-mingw-x86_64 mingw-i686 linux-release}; do
  build "$preset" -DQUORVIX_TESTS=OFF -DQUORVIX_SQLITE_SOURCE="$sqlite"
  cpack --config "build/$preset/CPackConfig.cmake" -B "$out/packaging" >/dev/null
done
cd "$out"
shopt -s nullglob  # only the archives of the builds packaged
mv packaging/*.zip packaging/*.tar.gz packaging/*.deb .
rm -rf packaging src
archives=(*.zip *.tar.gz *.deb)
sha256sum -- "${archives[@]}" >SHA256SUMS
ls -l -- "${archives[@]}"
