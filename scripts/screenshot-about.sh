#!/bin/bash
# Photographs the real program's About dialog under a private X server: starts
# the program, opens About, Info with the keyboard (Alt+A, I) and takes the
# dialog's picture.
# Usage: scripts/screenshot-about.sh BINARY OUTPUT.png
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/deps.sh"
install_missing xvfb x11-utils imagemagick xdotool
binary=$1
output=$2
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
app=
trap 'kill $app "$xvfb" 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1

# Prints the id of the viewable window with this exact title, once there is one.
wait_for_window() {
  local title=$1 id
  for _ in $(seq 50); do
    for id in $(xwininfo -root -tree 2>/dev/null | awk -v t="\"$title\"" 'index($0, t) {print $1}'); do
      if xwininfo -id "$id" | grep -q IsViewable; then
        echo "$id"
        return 0
      fi
    done
    sleep 0.2
  done
  echo "window \"$title\" did not appear" >&2
  return 1
}

QT_QPA_PLATFORM=xcb "$binary" &
app=$!
main=$(wait_for_window "Vellumo")
sleep 1
# There is no window manager: give the main window the keyboard ourselves.
xdotool windowfocus --sync "$main"
xdotool key alt+a
sleep 0.5
xdotool key i
about=$(wait_for_window "About Vellumo")
sleep 1
import -window "$about" "$output"
echo "wrote $output"
