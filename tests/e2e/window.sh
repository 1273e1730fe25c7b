# Sourced by the checks that start the real program from outside, on a private X
# server (run-under-xvfb.sh): they find its window and end it as a user would.

# Prints the id of the visible window titled $1 (a regular expression), waiting
# up to $2 seconds; fails at once when process $3, if given, has ended first.
find_window() {
  local title=$1 seconds=$2 pid=${3:-} window
  for _ in $(seq $((seconds * 10))); do
    window=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n1 || true)
    [ -n "$window" ] && echo "$window" && return 0
    if [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null; then
      echo "  it ended before a window \"$title\" showed" >&2
      return 1
    fi
    sleep 0.1
  done
  echo "  no window \"$title\" within $seconds s" >&2
  return 1
}

# File, Exit, and Enter for Yes in window $1; then process $2 must end.
quit_by_menu() {
  local window=$1 pid=$2
  xdotool windowfocus --sync "$window"
  sleep 0.3
  xdotool key alt+f
  sleep 0.5
  xdotool key e
  find_window 'Quit\?' 10 >/dev/null || return 1
  xdotool key Return
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  echo "  the program did not end" >&2
  kill "$pid"
  return 1
}
