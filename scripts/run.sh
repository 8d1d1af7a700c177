#!/usr/bin/env bash
# Builds Quorvix.exe and starts it under Wine, with a sample vendor.bin beside
# it when there is none. Without a display it starts a virtual one, saves a
# screenshot of the window and says where.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
for group in windows wine64; do
  tools/package_groups.sh has "$group" || { echo "the $group package group is missing: see scripts/install-deps.sh" >&2; exit 1; }
done

. scripts/build.sh
build mingw-x86_64
app=build/mingw-x86_64/app
[ -f "$app/vendor.bin" ] || python3 tools/make_sample_vendor.py "$app/vendor.bin"

state=$PWD/build/run
if [ -n "${DISPLAY:-}" ]; then
  python3 tools/wine/session.py prefix "$state"
  eval "$(python3 tools/wine/session.py env "$state" "$DISPLAY")"
  echo "Starting $app/Quorvix.exe"
  exec /usr/lib/wine/wine64 "$app/Quorvix.exe"
fi

python3 tools/wine/session.py start "$state"
trap 'python3 tools/wine/session.py stop "$state"' EXIT
eval "$(python3 tools/wine/session.py env "$state" "$(cat "$state/display")")"
/usr/lib/wine/wine64 "$app/Quorvix.exe" </dev/null >/dev/null 2>&1 &
echo "wait-main 30000" | /usr/lib/wine/wine64 build/mingw-x86_64/tools/wine/probe/probe.exe | grep -q ok
sleep 1
shot=$PWD/build/run/quorvix.png
import -display "$DISPLAY" -window root -trim +repage "$shot"
echo "No display here: Quorvix ran on a virtual one. Screenshot of its window: $shot"
