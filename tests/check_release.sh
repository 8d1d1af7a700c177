#!/usr/bin/env bash
# Builds the release twice, in two different folders, and checks that both
# give the same archives, byte for byte, each holding what it should. The
# second builds only the Linux archives, the tar.gz and the Debian package,
# to keep the test command under its time; the Windows zips' exes come from
# the same flags (scripts/release.sh twice by hand compares them all).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# At once: each build waits on its longest file now and then, the other fills in.
"$root/scripts/release.sh" "$scratch/one" >/dev/null &
QUORVIX_RELEASE_PRESETS="linux-release" "$root/scripts/release.sh" "$scratch/second folder" >/dev/null &
wait -n && wait -n || { echo "a release could not be built"; exit 1; }
[ "$(grep -c '' "$scratch/second folder/SHA256SUMS")" = 2 ] || { echo "the second release is not two files"; exit 1; }
differ=$(grep -v -x -F -f "$scratch/one/SHA256SUMS" "$scratch/second folder/SHA256SUMS" || true)
[ -z "$differ" ] || { echo "the two releases differ: $differ"; exit 1; }

cd "$scratch/one"
version=$(sed -n 's/^project(Quorvix VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
for arch in win64 win32; do
  listed=$(python3 -c 'import sys, zipfile; print(" ".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' \
    "Quorvix-$version-$arch.zip")
  want="Quorvix-$version-$arch/Quorvix.exe Quorvix-$version-$arch/README.txt Quorvix-$version-$arch/quorvix-cli.exe"
  want+=" Quorvix-$version-$arch/quorvix-cli.ps1"
  [ "$listed" = "$want" ] || { echo "Quorvix-$version-$arch.zip holds: $listed"; exit 1; }
done
listed=$(tar -tzf "quorvix-cli-$version-linux-x86_64.tar.gz" | sort | tr '\n' ' ')
[ "$listed" = "quorvix-cli-$version-linux-x86_64/README.txt quorvix-cli-$version-linux-x86_64/quorvix-cli " ] ||
  { echo "the tar.gz holds: $listed"; exit 1; }
[ "$(grep -c '' SHA256SUMS)" = 4 ] || { echo "SHA256SUMS lists $(grep -c '' SHA256SUMS) files, not 4"; exit 1; }
python3 "$root/tests/check_package.py" "quorvix-cli_${version}_amd64.deb" "$version"
cat SHA256SUMS
