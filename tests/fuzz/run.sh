#!/bin/bash
# Builds the fuzz targets with clang and runs each for a bounded time, starting from its seed
# corpus (which also holds every past finding, so each run first replays them). Fails on any
# finding: a crash, a sanitizer report, a leak, a timeout or a broken property.
#   tests/fuzz/run.sh [seconds per target, default 60]
# VELLUMO_FUZZ_BUILD names the build folder (default build-fuzz).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${VELLUMO_FUZZ_BUILD:-$root/build-fuzz}
seconds=${1:-60}
# The text document keeps caches that grow from input to input, which libFuzzer's per-input
# leak check takes for leaks at the cost of a heap scan each time; LeakSanitizer still checks
# the whole run when the process ends. Its inputs may be long enough for the area to hold a
# line as pieces.
declare -A options=([linebreaks]="-detect_leaks=0 -max_len=12288")

cmake -S "$root/tests/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2
targets=()
for program in "$build"/fuzz_*; do
  [ -x "$program" ] && [ -f "$program" ] && targets+=("${program##*/fuzz_}")
done

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

failed=()
for target in "${targets[@]}"; do
  # New inputs go to a scratch corpus in the build folder; the seeds in the repository stay as
  # they are.
  scratch="$build/corpus/$target"
  findings="$build/findings/$target"
  seeds="$root/tests/fuzz/corpus/$target"
  mkdir -p "$scratch" "$findings" "$seeds"
  echo "== fuzz_$target, ${seconds}s"
  # shellcheck disable=SC2086
  if ! "$build/fuzz_$target" ${options[$target]:-} -max_total_time="$seconds" -timeout=20 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" "$scratch" "$seeds" \
    >"$build/fuzz_$target.log" 2>&1; then
    tail -n 60 "$build/fuzz_$target.log"
    echo "fuzz_$target found a fault; its input is in $findings/." \
      "Fix it, then add the input to tests/fuzz/corpus/$target/ so that every run replays it."
    failed+=("$target")
  else
    grep -E '^(stat::number_of_executed_units|Done)' "$build/fuzz_$target.log" || true
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "Fuzzing failed: ${failed[*]}"
  exit 1
fi
