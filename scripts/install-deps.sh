#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test tools this machine
# lacks, and makes 32-bit programs run where the kernel refuses them. Safe to
# run again: it installs nothing when all is there.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake make g++ libgtest-dev python3 clang-format     # core, unit tests, layout
  libcli11-dev nlohmann-json3-dev                       # quorvix-cli
  clang libclang-rt-14-dev                              # the fuzz target
  g++-mingw-w64-x86-64 g++-mingw-w64-i686               # the Windows exes for both architectures
  wine64 wine32:i386 xvfb imagemagick fonts-wine fonts-wqy-microhei  # running them, with Chinese text
  libx11-dev                                            # the drag-and-drop helper
  strace                                                # killing quorvix-cli at every system call
  dpkg-dev tcl                                          # SQLite's amalgamation, from Debian's source package
  help2man lintian man-db zsh fish                       # the Debian package: man page, its check, completions
  unixodbc-dev odbc-postgresql postgresql               # server ledgers through ODBC, and a PostgreSQL to test them on
)

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
updated=false
install() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # 32-bit Windows programs run on Wine's 32-bit half, from the i386 architecture.
  dpkg --print-foreign-architectures | grep -qx i386 || "${sudo[@]}" dpkg --add-architecture i386
  $updated || "${sudo[@]}" apt-get update -qq
  updated=true
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
install "${packages[@]}"

# Debian's source packages, for SQLite's source (tools/sqlite_amalgamation.sh).
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src ' /etc/apt/sources.list; then
  echo "Adding Debian's source packages to apt's lists"
  "${sudo[@]}" tee /etc/apt/sources.list.d/quorvix-debian-sources.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  "${sudo[@]}" apt-get update -qq
fi

# Some kernels refuse 32-bit x86 programs, Wine's 32-bit loader among them.
# There qemu-i386, registered with binfmt_misc for 32-bit x86 ELF files, runs
# them emulated; a registration that is there already is left as it is.
read -r ia32 why < <(tools/ia32_mode.sh)
[ "$ia32" = none ] || exit 0
binfmt=/proc/sys/fs/binfmt_misc
if [ "$(id -u)" -ne 0 ] || ! grep -qw binfmt_misc /proc/filesystems; then
  echo "32-bit programs cannot run here ($why), and binfmt_misc is out of reach: the i686 suites will be skipped"
  exit 0
fi
[ -f "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
install qemu-user
if [ -e "$binfmt/qemu-i386" ]; then
  echo "32-bit programs cannot run here ($why); a qemu-i386 registration is there already and left as it is"
  exit 0
fi
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
printf ':qemu-i386:M::%s:%s:/usr/bin/qemu-i386:OCF' "$magic" "$mask" >"$binfmt/register"
echo "This kernel refuses 32-bit programs: registered qemu-i386 with binfmt_misc, so they run emulated (slowly)"
