#!/bin/bash
# Runs a program on a private X server of its own, which it gets as DISPLAY.
# With --wm openbox, that window manager manages the server first and the
# program gets VELLUMO_WM=openbox; without, nothing manages its windows.
# Without the X tools it skips (exit 77), except under scripts/test, which
# installs them and where nothing may skip.
#   run-under-xvfb.sh [--wm openbox] PROGRAM [ARGUMENT...]
set -euo pipefail
wm=
if [ "${1:-}" = --wm ]; then
  wm=$2
  shift 2
fi
missing=()
for tool in Xvfb xdotool xwininfo xprop $wm ${wm:+wmctrl}; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Not found: ${missing[*]} (Debian: xvfb xdotool x11-utils ${wm:+$wm wmctrl};" \
    "scripts/test installs them)"
  [ "${VELLUMO_NO_SKIPS:-0}" = 1 ] && exit 1
  exit 77
fi

scratch=$(mktemp -d)
xvfb=
wm_pid=
cleanup() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
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
# The characters the tests type that the server's keymap lacks get keys of their own (two media
# keys no test presses): xdotool would otherwise map a spare key for each as it types, and under
# a window manager that key now and then reaches the program before its new map does.
python3 - <<'EOF'
import ctypes
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XChangeKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                     ctypes.POINTER(ctypes.c_ulong), ctypes.c_int]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
display = x.XOpenDisplay(None)
x.XChangeKeyboardMapping(display, 253, 1, (ctypes.c_ulong * 2)(0xE9, 0x20AC), 2)  # é, €
x.XCloseDisplay(display)
EOF
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS WAYLAND_DISPLAY VELLUMO_WM
if [ -n "$wm" ]; then
  # Its own settings only, none of the machine's user.
  HOME=$scratch XDG_CONFIG_HOME=$scratch "$wm" --sm-disable >"$scratch/wm.log" 2>&1 &
  wm_pid=$!
  # A window manager that manages the server says so on the root window.
  managed=0
  for _ in $(seq 300); do
    kill -0 "$wm_pid" 2>/dev/null || break
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
      managed=1
      break
    fi
    sleep 0.1
  done
  if [ "$managed" != 1 ]; then
    echo "$wm did not start:" >&2
    cat "$scratch/wm.log" >&2
    exit 1
  fi
  export VELLUMO_WM=$wm
fi
# Not exec: the trap must stop the servers when the program ends.
"$@"
