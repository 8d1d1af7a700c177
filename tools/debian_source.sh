# Sourced by the scripts that compile a library in from Debian's own source
# package: the package fetched and unpacked, each file checked against the
# checksum the caller pins, and the result put in place whole.

# Downloads PACKAGE at VERSION, checks every file against the associative
# array sha256 (file name to checksum), and unpacks it into a temporary
# folder's source/, which becomes the current folder; removed on exit.
unpack_debian_source() {
  local package=$1 version=$2 file
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  cd "$work"
  # Downloaded as the user who runs this, not apt's own.
  apt-get source --download-only -qq "$package=$version" >/dev/null 2>&1 ||
    { echo "Debian's source of $package $version could not be downloaded (scripts/install-deps.sh adds its source list)" >&2; exit 1; }
  for file in "${!sha256[@]}"; do
    echo "${sha256[$file]}  $file" | sha256sum --check --quiet - ||
      { echo "$file does not have its pinned checksum" >&2; exit 1; }
  done
  dpkg-source --no-check -x "${package}_$version.dsc" source >/dev/null
  cd source
}

# Copies PATHS into OUT, whole or not at all: a run cut short leaves nothing
# that looks done.
publish() {
  local out=$1
  shift
  mkdir -p "$(dirname "$out")"
  local staging
  staging=$(mktemp -d "$(dirname "$out")/.$(basename "$out").XXXXXX")
  cp -R "$@" "$staging/"
  rm -rf "$out"
  mv -T "$staging" "$out"
}
