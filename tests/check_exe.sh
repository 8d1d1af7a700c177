#!/usr/bin/env bash
# Checks that a built Quorvix.exe or quorvix-cli.exe stands alone and carries
# its resources: the right architecture, only DLLs that every Windows from 7 on
# has (none of MinGW's runtime), the manifest (long paths; for the window, per
# monitor DPI too) and the version information.
#
#     check_exe.sh EXE VERSION
set -euo pipefail
exe=$1
version=$2
[ -f "$exe" ] || { echo "missing: $exe"; exit 1; }
objdump=x86_64-w64-mingw32-objdump

case "$exe" in
  *i686*) format=pei-i386 ;;
  *) format=pei-x86-64 ;;
esac
$objdump -f "$exe" | grep -q "file format $format" || { echo "not $format"; exit 1; }

allowed='^(KERNEL32|USER32|GDI32|msvcrt)\.dll$'
# The tool reaches server ledgers through Windows' own ODBC driver manager,
# and hands a password to PostgreSQL's client in a file only its user may
# open (ADVAPI32's security descriptors); it prints labels through the
# spooler (WINSPOOL.DRV) and to network printers through Winsock (WS2_32).
[ "$(basename "$exe")" = quorvix-cli.exe ] &&
  allowed='^((KERNEL32|USER32|GDI32|msvcrt|ODBC32|ADVAPI32|WS2_32)\.dll|WINSPOOL\.DRV)$'
imports=$($objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
echo "$exe ($format) imports:" $imports
bad=$(grep -v -i -E "$allowed" <<<"$imports" || true)
[ -z "$bad" ] || { echo "unexpected imports: $bad"; exit 1; }

grep -q 'longPathAware' "$exe" || { echo "no manifest"; exit 1; }
case "$exe" in
  *Quorvix.exe) grep -q 'PerMonitorV2' "$exe" || { echo "no per-monitor DPI in the manifest"; exit 1; } ;;
esac
# A text as the version resource stores it: UTF-16, a NUL after each character.
utf16() { local text=$1 i; for ((i = 0; i < ${#text}; i++)); do printf '\\Q%s\\E\\x00' "${text:i:1}"; done; }
LC_ALL=C grep -q -a -P "$(utf16 ProductVersion)(\\x00)+$(utf16 "$version")" "$exe" ||
  { echo "no version information $version"; exit 1; }
echo "size: $(stat -c %s "$exe") bytes"
