#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test tools this machine
# lacks, group by group (tools/package_groups.sh), and makes 32-bit programs
# run where the kernel refuses them. A package registry that answers only in
# part (a mirror in the middle of a sync) costs only the groups it cannot
# serve: each group is tried on its own, and the script ends with one line per
# group that could not be installed, naming the tests that will be skipped.
# It fails only when the build itself cannot be installed. Safe to run again:
# it installs nothing when all is there.
set -euo pipefail
cd "$(dirname "$0")/.."
groups=tools/package_groups.sh

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
apt_log=$(mktemp)
trap 'rm -f "$apt_log"' EXIT

# apt's own retries; an index that still fails is a warning, not the end:
# the packages it would have served fail to install, group by group.
updated=false
update() {
  $updated && return 0
  updated=true
  "${sudo[@]}" apt-get -o Acquire::Retries=3 update -qq >"$apt_log" 2>&1 && return 0
  echo "warning: apt-get update: $(grep -m 1 '^E: ' "$apt_log" || tail -n 1 "$apt_log")"
}

# Debian's source packages, for SQLite's source (tools/sqlite_amalgamation.sh),
# from the mirrors this machine's own sources name.
add_source_packages() {
  local etc parts
  eval "$(apt-config shell etc Dir::Etc/d parts Dir::Etc::sourceparts/d)"
  local sources=() lists=() file
  for file in "${etc}sources.list" "$parts"*.list; do [ -f "$file" ] && lists+=("$file"); done
  for file in "$parts"*.sources; do [ -f "$file" ] && sources+=("$file"); done
  if cat "${sources[@]}" /dev/null | grep -q '^Types:.*deb-src' || cat "${lists[@]}" /dev/null | grep -q '^deb-src '; then
    return 0
  fi
  local made
  made=$({
    # deb822 stanzas of binary packages, as stanzas of their sources.
    cat "${sources[@]}" /dev/null | awk 'BEGIN { RS = ""; ORS = "\n\n" } /(^|\n)Types:[^\n]*deb([ \n]|$)/ {
      sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }'
    # One-line sources, as deb822 stanzas of their sources.
    cat "${lists[@]}" /dev/null | awk '$1 == "deb" {
      options = ""; i = 2
      if ($2 ~ /^\[/) { while ($i !~ /\]$/) { options = options " " $i; i++ } options = options " " $i; i++ }
      components = ""; for (k = i + 2; k <= NF; k++) components = components " " $k
      signed = ""; if (match(options, /signed-by=[^] ]*/)) signed = "Signed-By: " substr(options, RSTART + 10, RLENGTH - 10) "\n"
      printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:%s\n%s\n", $i, $(i + 1), components, signed }'
  })
  [ -n "$made" ] || { echo "warning: no apt source to take Debian's source packages from"; return 0; }
  echo "Adding Debian's source packages to apt's lists, from this machine's own mirrors"
  printf '%s\n' "$made" | "${sudo[@]}" tee "${parts}quorvix-source-packages.sources" >/dev/null
  updated=false
}

# Installs one group; says why not when it cannot.
declare -A failed=()
install_group() {
  local group=$1 missing
  read -r -a missing < <("$groups" uninstalled "$group")
  [ ${#missing[@]} -eq 0 ] && return 0
  if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386  # Wine's 32-bit half comes from the i386 architecture
    updated=false
  fi
  update
  echo "Installing the $group group: ${missing[*]}"
  if ! "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >"$apt_log" 2>&1; then
    failed[$group]=$(grep -m 1 '^E: ' "$apt_log" || tail -n 1 "$apt_log")
  fi
}

add_source_packages
for group in $("$groups" groups); do
  case " ${QUORVIX_WITHOUT:-} " in
    *" $group "*) failed[$group]="QUORVIX_WITHOUT names it" ;;
    *) install_group "$group" ;;
  esac
done

# Some kernels refuse 32-bit x86 programs, Wine's 32-bit loader among them.
# There qemu-i386, registered with binfmt_misc for 32-bit x86 ELF files, runs
# them emulated; a registration that is there already is left as it is.
# Without the loader nothing would use it.
register_qemu() {
  local ia32 why binfmt=/proc/sys/fs/binfmt_misc
  read -r ia32 why < <(tools/ia32_mode.sh)
  [ "$ia32" = none ] || return 0
  [ -x "${QUORVIX_WINE32:-/usr/lib/wine/wine}" ] || return 0
  if [ "$(id -u)" -ne 0 ] || ! grep -qw binfmt_misc /proc/filesystems; then
    echo "32-bit programs cannot run here ($why), and binfmt_misc is out of reach: the i686 suites will be skipped"
    return 0
  fi
  [ -f "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
  update
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends qemu-user >"$apt_log" 2>&1 ||
    { echo "qemu-user could not be installed: the i686 suites will be skipped"; return 0; }
  if [ -e "$binfmt/qemu-i386" ]; then
    echo "32-bit programs cannot run here ($why); a qemu-i386 registration is there already and left as it is"
    return 0
  fi
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf ':qemu-i386:M::%s:%s:/usr/bin/qemu-i386:OCF' "$magic" "$mask" >"$binfmt/register"
  echo "This kernel refuses 32-bit programs: registered qemu-i386 with binfmt_misc, so they run emulated (slowly)"
}
[ -n "${failed[wine32]+set}" ] || register_qemu

for group in $("$groups" groups); do
  [ -n "${failed[$group]+set}" ] || continue
  echo "not installed: the $group group (${failed[$group]}); skipped for lack of it: $("$groups" serves "$group")"
done
[ -z "${failed[build]+set}" ]
