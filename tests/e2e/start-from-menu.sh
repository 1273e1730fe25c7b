#!/bin/bash
# Starts an installed program as a desktop's menu does, from its entry, on a
# private X server (run-under-xvfb.sh), and checks the window by the class the
# entry names: the program, its class and icon; then ends it by File, Exit.
#   tests/e2e/start-from-menu.sh ENTRY TITLE PROGRAM
set -euo pipefail
. "$(dirname "$0")/window.sh"
entry=$1 title=$2 program=$3
gio launch "$entry"
window=$(find_window "$title" 15)
pid=$(xprop -id "$window" _NET_WM_PID | sed -n 's/.* = //p')
[ "$(readlink "/proc/$pid/exe")" = "$program" ] || { echo "  not $program" >&2; exit 1; }
class=$(sed -n 's/^StartupWMClass=//p' "$entry")
xprop -id "$window" WM_CLASS | grep -q "\"$class\"" || { echo "  WM_CLASS is not $class" >&2; exit 1; }
# Qt may give the icon a moment after the window shows, longer on a busy
# machine: wait for it as long as for the window.
for _ in $(seq 150); do
  xprop -id "$window" _NET_WM_ICON | grep -q 'Icon (32 x 32)' && break
  sleep 0.1
done
xprop -id "$window" _NET_WM_ICON | grep -q 'Icon (32 x 32)' || { echo "  no icon" >&2; exit 1; }
quit_by_menu "$window" "$pid"
