#!/bin/bash
# Runs a Windows test program under Wine, in a prefix made afresh for the run and with no
# display: run-under-wine.sh WINE WINESERVER PROGRAM PREFIX
set -euo pipefail
wine=$1
wineserver=$2
program=$3
prefix=$4

export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all
# No .NET or browser engine: wineboot would try to install them.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# A server still lingering from an earlier run would keep the old prefix alive.
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w >/dev/null 2>&1 || true
rm -rf "$prefix"
mkdir -p "$prefix"

if ! "$wine" wineboot --init >"$prefix.boot.log" 2>&1; then
  cat "$prefix.boot.log"
  echo "wineboot failed"
  exit 1
fi
# The new prefix is complete only once its first server has written it out and ended.
"$wineserver" -w

# One server for the whole run: a server per call can race the one before it.
"$wineserver" -p10 </dev/null >/dev/null 2>&1
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
"$wine" "$program" </dev/null
