#!/usr/bin/env bash
# Checks that a built Quorvix.exe stands alone and carries its resources: the
# right architecture, only DLLs that every Windows from 7 on has (none of
# MinGW's runtime), the manifest and the version information.
set -euo pipefail
exe=$1
[ -f "$exe" ] || { echo "missing: $exe"; exit 1; }
objdump=x86_64-w64-mingw32-objdump

case "$exe" in
  *i686*) format=pei-i386 ;;
  *) format=pei-x86-64 ;;
esac
$objdump -f "$exe" | grep -q "file format $format" || { echo "not $format"; exit 1; }

allowed='^(KERNEL32|USER32|GDI32|msvcrt)\.dll$'
imports=$($objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
echo "$exe ($format) imports:" $imports
bad=$(grep -v -i -E "$allowed" <<<"$imports" || true)
[ -z "$bad" ] || { echo "unexpected imports: $bad"; exit 1; }

grep -q 'PerMonitorV2' "$exe" || { echo "no manifest"; exit 1; }
LC_ALL=C grep -q -a -P 'P\x00r\x00o\x00d\x00u\x00c\x00t\x00V\x00e\x00r\x00s\x00i\x00o\x00n\x00\x00\x00+3\x00\.\x000' "$exe" ||
  { echo "no version information 3.0"; exit 1; }
echo "size: $(stat -c %s "$exe") bytes"
