#!/bin/bash
# Runs a program beside a private headless Wayland compositor (weston), which
# it gets as WAYLAND_DISPLAY, on a private D-Bus session bus, where the
# accessibility bus starts on demand. No X server is involved.
# Without the tools it skips (exit 77), except under scripts/test, which
# installs them and where nothing may skip.
set -euo pipefail
missing=()
for tool in weston dbus-run-session /usr/libexec/at-spi-bus-launcher; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || missing+=(pyatspi)
[ -e /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so ] ||
  [ -n "$(find /usr/lib -path '*qt6/plugins/platforms/libqwayland-generic.so' -print -quit)" ] ||
  missing+=("Qt's Wayland platform")
if [ ${#missing[@]} -gt 0 ]; then
  echo "Not found: ${missing[*]} (Debian: weston dbus at-spi2-core python3-pyatspi qt6-wayland;" \
    "scripts/test installs them)"
  [ "${VELLUMO_NO_SKIPS:-0}" = 1 ] && exit 1
  exit 77
fi

# The compositor's socket lives in a runtime folder of this run only.
runtime=$(mktemp -d)
chmod 700 "$runtime"
weston_pid=
cleanup() {
  if [ -n "$weston_pid" ]; then
    kill "$weston_pid" 2>/dev/null || true
    wait "$weston_pid" 2>/dev/null || true
  fi
  rm -rf "$runtime"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$runtime
socket=vellumo-test
weston --no-config --backend=headless-backend.so --width=1280 --height=1024 \
  --socket="$socket" --idle-time=0 --log="$runtime/weston.log" >/dev/null 2>&1 &
weston_pid=$!
for _ in $(seq 300); do
  [ -S "$runtime/$socket" ] && break
  kill -0 "$weston_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -S "$runtime/$socket" ] || ! kill -0 "$weston_pid" 2>/dev/null; then
  echo "weston did not start:" >&2
  cat "$runtime/weston.log" >&2 || true
  exit 1
fi
export WAYLAND_DISPLAY=$socket
export QT_QPA_PLATFORM=wayland
unset DISPLAY QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
# Not exec: the trap must stop the compositor when the program ends.
dbus-run-session -- "$@"
