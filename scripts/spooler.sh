#!/bin/bash
# Makes a print spooler ready for the printing tests: a running CUPS scheduler
# whose default destination is a CUPS-PDF queue, which turns every job into a
# PDF file. Safe to run again; scripts/test runs it before the tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/deps.sh"
install_missing cups cups-client printer-driver-cups-pdf poppler-utils

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

scheduler_running() {
  lpstat -r 2>/dev/null | grep -q 'scheduler is running'
}

# CI machines have no service manager: start the daemon itself, which puts
# itself in the background once it listens.
if ! scheduler_running; then
  echo "Starting the CUPS scheduler"
  "${sudo[@]}" cupsd
  for _ in $(seq 1 100); do
    scheduler_running && break
    sleep 0.2
  done
  scheduler_running || { echo "The CUPS scheduler did not start" >&2; exit 1; }
fi

# Use the CUPS-PDF queue the driver package may have made, else make one.
queue=$( (lpstat -v 2>/dev/null || true) | awk '$NF ~ /^cups-pdf:/ { sub(/:$/, "", $3); print $3; exit }')
if [ -z "$queue" ]; then
  queue=PDF
  model=$( (lpinfo -m 2>/dev/null || true) | awk 'tolower($0) ~ /cups-pdf/ { print $1; exit }')
  [ -n "$model" ] || { echo "No CUPS-PDF driver is installed" >&2; exit 1; }
  "${sudo[@]}" lpadmin -p "$queue" -v cups-pdf:/ -m "$model" -E
fi
"${sudo[@]}" cupsenable "$queue"
"${sudo[@]}" cupsaccept "$queue"
# Name every PDF after its job ("job_7-..."), so that jobs with one title
# do not overwrite each other and each can be found by its id.
"${sudo[@]}" lpadmin -p "$queue" -o Label-default=1
"${sudo[@]}" lpadmin -d "$queue"
echo "Default printer: $(lpstat -d)"
