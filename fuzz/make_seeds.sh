#!/usr/bin/env bash
# Builds the fuzz seed corpus at run time (no JPEG is kept in the repository):
#   - every fixture file that the test program writes (SEGSNIFF_SEED_DIR),
#   - the crafted shapes that multiplied output (nesting, overlap, fan-out,
#     long chains, stacked start markers, many segments) at a few sizes, when
#     the benchmarks' generator make_hostile_input is given,
#   - the camera files of ../shared/corpus, when that folder is there,
#   - the kept crash inputs of fuzz/regressions.
#
#   fuzz/make_seeds.sh <segsniff_tests binary> <seed directory> [make_hostile_input binary]
set -euo pipefail
tests=$1
seeds=$2
shapes=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
corpus=$here/../../shared/corpus

rm -rf "$seeds"
mkdir -p "$seeds"
seeds=$(cd "$seeds" && pwd)
if [ -x "$tests" ]; then
  # The fixtures are wanted, not the verdicts: CI has run the tests already.
  SEGSNIFF_SEED_DIR=$seeds LC_ALL=C "$tests" >/dev/null 2>&1 || true
  # Multi-megabyte fixtures (copy tests, carving volumes) add nothing that
  # their first 64 KiB, all the fuzzers read, does not; the replay would
  # spend its time on them.
  find "$seeds" -name 'fixture-*' -size +1024k -delete
else
  echo "make_seeds: no test program at $tests; fixtures left out" >&2
fi
if [ -n "$shapes" ] && [ -x "$shapes" ]; then
  # Small enough that every seed runs well inside the fuzzers' time limit
  # under the sanitizers; stacked start markers are carved in quadratic time
  # by the rule itself, so they stay smaller still.
  for shape in $("$shapes" --list | awk '{ print $1 }'); do
    sizes="1024 8192"
    [ "$shape" = stacked-soi ] && sizes="256 1024"
    for size in $sizes; do "$shapes" "$shape" "$size" "$seeds/hostile-$shape-$size"; done
  done
else
  echo "make_seeds: no shape generator given; crafted shapes left out" >&2
fi
if [ -d "$corpus" ]; then
  for f in "$corpus"/*.jpg; do cp "$f" "$seeds/corpus-$(basename "$f")"; done
else
  echo "make_seeds: $corpus not there; camera files left out" >&2
fi
for f in "$here"/regressions/*; do
  [ -f "$f" ] && cp "$f" "$seeds/regression-$(basename "$f")"
done
echo "make_seeds: $(ls "$seeds" | wc -l) seeds in $seeds" >&2
