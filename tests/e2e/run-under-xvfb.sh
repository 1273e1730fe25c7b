#!/bin/bash
# Runs a program on a private X server of its own, which it gets as DISPLAY.
# Without the X tools it skips (exit 77), except under scripts/test, which
# installs them and where nothing may skip.
set -euo pipefail
missing=()
for tool in Xvfb xdotool xwininfo xprop; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Not found: ${missing[*]} (Debian: xvfb xdotool x11-utils; scripts/test installs them)"
  [ "${VELLUMO_NO_SKIPS:-0}" = 1 ] && exit 1
  exit 77
fi

scratch=$(mktemp -d)
xvfb=
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
# Xvfb picks a free display itself and writes its number when it is ready.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" \
  >"$scratch/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$scratch/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$scratch/display" ]; then
  echo "Xvfb did not start:" >&2
  cat "$scratch/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$scratch/display")"
export QT_QPA_PLATFORM=xcb
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS WAYLAND_DISPLAY
"$@"
