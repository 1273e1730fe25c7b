#!/bin/bash
# Builds the benchmark suite in release mode and runs it under a private X
# server, on which every child shows the real window. Prints the table and
# writes it as JSON, by default to bench/results.json; a full run also
# rewrites the table in bench/README.md.
# Arguments go to vellumo_bench, e.g.
#   bench/run.sh --json /tmp/results.json --only 'load|save'
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/deps.sh"
# The commands figures drive the window with xdotool and watch it over an X
# connection of their own.
install_missing "${BUILD_PACKAGES[@]}" xvfb xauth hyperfine xdotool libxcb1-dev
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target vellumo_bench -j 2
args=("$@")
[[ " ${args[*]} " == *" --json "* ]] || args+=(--json "$root/bench/results.json")
# A partial run's figures must not stand in the README as the latest run.
case " ${args[*]} " in
  *" --quick "* | *" --only "* | *" --readme "*) ;;
  *) args+=(--readme "$root/bench/README.md") ;;
esac
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/vellumo_bench" "${args[@]}"
