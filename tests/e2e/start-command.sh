#!/bin/bash
# The README's first command as a user types it: scripts/start from the
# checkout. Run on a private X server (run-under-xvfb.sh). It passes when the
# window titled "Vellumo" shows within the limit, build included, before the
# command ends, and the command then ends with the window, by File, Exit, Yes.
#   tests/e2e/start-command.sh [SECONDS]   (default 1200)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/window.sh"
# In a process group of its own, so that a build still running can be stopped whole.
setsid "$here/../../scripts/start" &
start=$!
window=$(find_window Vellumo "${1:-1200}" "$start") || {
  kill -- -"$start" 2>/dev/null || true
  wait "$start" && status=0 || status=$?
  echo "FAIL: scripts/start shows no window \"Vellumo\" (it exited with $status)" >&2
  exit 1
}
quit_by_menu "$window" "$start"
wait "$start" || { echo "FAIL: scripts/start exited with $?" >&2 && exit 1; }
echo "PASS: scripts/start shows the window \"Vellumo\", which ends by File, Exit, Yes"
