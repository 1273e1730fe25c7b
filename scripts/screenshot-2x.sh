#!/bin/bash
# Photographs the real program at 200 % scale (QT_SCALE_FACTOR=2) under a
# private X server big enough for it: the main window, then the About dialog
# opened with Alt+A, I.
# Usage: scripts/screenshot-2x.sh BINARY MAIN.png ABOUT.png
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/deps.sh"
install_missing xvfb x11-utils imagemagick xdotool
binary=$1
main_out=$2
about_out=$3
scratch=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 2048x1536x24 -nolisten tcp 3>"$scratch/display" >/dev/null 2>&1 &
xvfb=$!
app=
trap 'kill $app "$xvfb" 2>/dev/null || true; rm -rf "$scratch"' EXIT
for _ in $(seq 50); do
  [ -s "$scratch/display" ] && break
  sleep 0.1
done
export DISPLAY=":$(head -n1 "$scratch/display")"

# Prints the id of the program's viewable window with this exact title.
wait_for_window() {
  local id
  for _ in $(seq 100); do
    id=$(xdotool search --all --onlyvisible --pid "$app" --name "^$1\$" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "window \"$1\" did not appear" >&2
  return 1
}

QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=2 "$binary" &
app=$!
main=$(wait_for_window "Vellumo")
sleep 1
import -window "$main" "$main_out"
echo "wrote $main_out"
xdotool windowfocus --sync "$main"
sleep 0.3
xdotool key alt+a
sleep 0.5
xdotool key i
about=$(wait_for_window "About Vellumo")
sleep 1
import -window "$about" "$about_out"
echo "wrote $about_out"
