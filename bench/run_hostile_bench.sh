#!/usr/bin/env bash
# Hostile-input benchmark: how do the listing, the time and the memory grow
# with the input for the crafted shapes that multiplied output (nesting,
# overlap, fan-out, long chains, stacked start markers, many segments; see
# tests/support/hostile_shapes.cpp)?  For every shape, dumped and carved,
# at several sizes, it prints:
#   input     bytes of the file
#   listed    bytes on standard output and standard error
#   x input   listed / input
#   written   bytes of carved files (-recover)
#   wall, cpu seconds of the whole process; peak its largest resident set
#
#   bench/run_hostile_bench.sh [sizes in bytes, default "1024 4096 16384 65536 262144"]
#
# SEGSNIFF=<binary> measures another build of segsniff (an older one, to
# compare).  A run that lists more than LIMIT bytes (default 1 GiB) or runs
# longer than SECONDS (default 60) is stopped there; its row shows ">" and
# the figures at that moment.  Inputs and carved files live in a temporary
# folder that is removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

sizes=${1:-"1024 4096 16384 65536 262144"}
limit=${LIMIT:-1073741824}
seconds=${SECONDS_LIMIT:-60}

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DSEGSNIFF_BENCH=ON -DSEGSNIFF_TESTS=OFF >/dev/null
cmake --build build-bench -j2 --target segsniff make_hostile_input measure_run >/dev/null
tools=$PWD/build-bench/bench
segsniff=${SEGSNIFF:-$PWD/build-bench/segsniff}
segsniff=$(cd "$(dirname "$segsniff")" && pwd)/$(basename "$segsniff")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

echo "segsniff: $segsniff; runs stopped beyond $limit bytes listed or $seconds s"
printf '%-24s %-7s %9s %13s %9s %12s %8s %8s %8s\n' \
  shape mode input listed "x input" written wall cpu "peak KiB"
for shape in $("$tools/make_hostile_input" --list | awk '{ print $1 }'); do
  for size in $sizes; do
    input=$scratch/$shape.jpg
    "$tools/make_hostile_input" "$shape" "$size" "$input"
    bytes=$(stat -c %s "$input")
    for mode in dump recover; do
      out=$scratch/out
      rm -rf "$out"
      mkdir -p "$out"
      if [ $mode = dump ]; then set -- "$segsniff" "$input"; else set -- "$segsniff" -recover "$input"; fi
      read -r listed wall cpu peak end < <(cd "$out" && "$tools/measure_run" "$limit" "$seconds" "$@")
      written=$(find "$out" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
      mark=" "
      case "$end" in cap | timeout) mark=">" ;; "exit 0") ;; *) mark="!" ;; esac
      awk -v s="$shape" -v m="$mode" -v i="$bytes" -v l="$listed" -v w="$written" -v t="$wall" \
          -v c="$cpu" -v p="$peak" -v k="$mark" 'BEGIN {
        printf "%-24s %-7s %9d %s%12d %9.1f %12d %8.3f %8.3f %8d\n", s, m, i, k, l, l / i, w, t, c, p }'
    done
    rm -rf "$scratch/out" "$input"
  done
done
echo "(> stopped at the limit: at least this much; ! ended by a signal or a non-zero status)"
