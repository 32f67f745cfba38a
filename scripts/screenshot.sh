#!/usr/bin/env bash
# Screenshot of the desktop program's main window under a virtual X server.
# Usage: scripts/screenshot.sh [build-dir] [output.png]
# The program runs from a copy in a temporary folder, so its thumb.ini and size.ini are fresh
# and the build folder is left as it was.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
out=${2:-$build_dir/screenshot.png}
exe=$build_dir/src/app/window/mirelo
if [ ! -x "$exe" ]; then
  scripts/setup.sh "$build_dir"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$exe" "$work/"
cp -r "$build_dir/src/app/window/help" "$work/"
out_abs=$(realpath -m "$out")
mkdir -p "$(dirname "$out_abs")"

xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash -c '
  set -e
  "$1/mirelo" &
  pid=$!
  trap "kill $pid 2>/dev/null || true" EXIT
  # Wait for the window to be mapped.
  id=""
  for _ in $(seq 1 50); do
    id=$(xwininfo -root -tree 2>/dev/null | grep -F "V.1.10" | awk "{print \$1}" | head -n1 || true)
    [ -n "$id" ] && break
    sleep 0.2
  done
  sleep 1
  if [ -n "$id" ]; then
    import -window "$id" "$2"
  else
    import -window root "$2"
  fi
' _ "$work" "$out_abs"
echo "$out_abs"
