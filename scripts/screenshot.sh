#!/bin/bash
# Photographs the real program's main window under a private X server.
# Usage: scripts/screenshot.sh BINARY OUTPUT.png
set -euo pipefail
binary=$1
output=$2
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
trap 'kill "$app" "$xvfb" 2>/dev/null || true' EXIT
sleep 1
DISPLAY=$display QT_QPA_PLATFORM=xcb "$binary" &
app=$!
for _ in $(seq 50); do
  for id in $(DISPLAY=$display xwininfo -root -tree 2>/dev/null | awk '/"Vellumo"/ {print $1}'); do
    DISPLAY=$display xwininfo -id "$id" | grep -q IsViewable && break 2
  done
  id=
  sleep 0.2
done
[ -n "${id:-}" ] || { echo "window did not appear" >&2; exit 1; }
sleep 1
DISPLAY=$display import -window "$id" "$output"
echo "wrote $output"
