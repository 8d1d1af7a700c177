#!/usr/bin/env bash
# Checks that a built Quorvix.exe stands alone: it imports only DLLs that
# every Windows from 7 on has, none of MinGW's runtime.
set -euo pipefail
exe=$1
[ -f "$exe" ] || { echo "missing: $exe"; exit 1; }
allowed='^(KERNEL32|USER32|GDI32|msvcrt)\.dll$'
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
echo "$exe imports:" $imports
bad=$(grep -v -i -E "$allowed" <<<"$imports" || true)
[ -z "$bad" ] || { echo "unexpected imports: $bad"; exit 1; }
size=$(stat -c %s "$exe")
echo "size: $size bytes"
