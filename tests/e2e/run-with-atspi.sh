#!/bin/bash
# Runs a program with a private D-Bus session and AT-SPI bus of its own, on a
# private X server (run-under-xvfb.sh). Without the tools it skips (exit 77),
# except under scripts/test, which installs them and where nothing may skip.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
missing=()
command -v dbus-run-session >/dev/null || missing+=(dbus-run-session)
[ -x /usr/libexec/at-spi-bus-launcher ] || missing+=(at-spi-bus-launcher)
# pyatspi is a package of the system's Python, not of another one on PATH.
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || missing+=(pyatspi)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Not found: ${missing[*]} (Debian: dbus at-spi2-core python3-pyatspi; scripts/test installs them)"
  [ "${VELLUMO_NO_SKIPS:-0}" = 1 ] && exit 1
  exit 77
fi

# The AT-SPI bus puts its socket under XDG_RUNTIME_DIR: a folder of this run
# keeps it apart from every other session's.
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR=$runtime
unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS
# dbus-run-session ends the bus with the program, and the AT-SPI bus and
# registry it started go with it.
dbus-run-session -- "$here/run-under-xvfb.sh" "$@"
