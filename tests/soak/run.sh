#!/bin/bash
# The soak test: loads, formats, saves and prints 1000 times through the main window and
# reports the memory in use at the start and the end; fails if it grew.
#   tests/soak/run.sh [rounds]
# VELLUMO_SOAK_BUILD names the build folder (default build-test, as scripts/test makes it).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/deps.sh"
install_missing "${BUILD_PACKAGES[@]}"
build=${VELLUMO_SOAK_BUILD:-$root/build-test}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j 2 --target vellumo_soak
QT_QPA_PLATFORM=offscreen "$build/tests/soak/vellumo_soak" "${1:-1000}"
