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

# How many windows process $1 shows.
shown_windows() {
  (xdotool search --onlyvisible --pid "$1" --class . 2>/dev/null || true) | wc -l
}

# File, Exit, and Enter for Yes in window $1; then process $2 must end. The
# program takes the keyboard, and then the keys, in the order they come; the
# item waits for the menu to drop down, one window more.
quit_by_menu() {
  local window=$1 pid=$2 app menu
  app=$(xprop -id "$window" _NET_WM_PID | sed -n 's/.* = //p')
  menu=$(($(shown_windows "$app") + 1))
  xdotool windowfocus --sync "$window" key alt+f
  for _ in $(seq 100); do
    [ "$(shown_windows "$app")" -ge "$menu" ] && break
    sleep 0.1
  done
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
