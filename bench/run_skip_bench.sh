#!/usr/bin/env bash
# Scan-skip benchmark: how fast does a dump get through a JPEG whose scan
# holds tens of MiB of entropy-coded data, next to a plain memchr pass over
# the same file in the same run?  And the same dump as JSON (-json), and a
# dump of the camera corpus (every file, many times over, in one run) as
# text and as JSON, with the peak memory of each.
#
#   bench/run_skip_bench.sh [MiB of scan data, default 256] [runs, default 5]
#
# Builds a Release tree in build-bench/, writes the file to a temporary
# folder (removed afterwards), warms the page cache, then times each program
# as a whole process (start, map, pass, exit) by its CPU time and reports
# the best of the runs in MiB/s.
set -euo pipefail
cd "$(dirname "$0")/.."

mib=${1:-256}
runs=${2:-5}

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DSEGSNIFF_BENCH=ON -DSEGSNIFF_TESTS=OFF >/dev/null
cmake --build build-bench -j2 --target segsniff skip_bench_make_jpeg skip_bench_memchr measure_run >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
big="$scratch/big.jpg"
build-bench/bench/skip_bench_make_jpeg "$big" "$mib"
bytes=$(stat -c %s "$big")

# Best wall time and best CPU time (user + system) of $runs runs of a
# command, in microseconds, as "wall cpu".  Both are shown: on a shared
# machine the wall clock also measures the other jobs, CPU time does not.
best_us() {
  local best_wall=0 best_cpu=0 wall cpu TIMEFORMAT='%3R %3U %3S'
  "$@" >/dev/null 2>&1  # warm-up: page cache and binary
  for ((i = 0; i < runs; i++)); do
    read -r wall cpu < <({ time "$@" >/dev/null 2>&1; } 2>&1 |
                         awk '{ printf "%d %d\n", $1 * 1e6, ($2 + $3) * 1e6 }')
    if ((best_wall == 0 || wall < best_wall)); then best_wall=$wall; fi
    if ((best_cpu == 0 || cpu < best_cpu)); then best_cpu=$cpu; fi
  done
  echo "$best_wall $best_cpu"
}

# The dump must reach the End-of-Image marker at the end of the file, or the
# figure would measure something else.
tail_line=$(build-bench/segsniff "$big" | tail -n 1)
case "$tail_line" in
  *"(EOI) End of Image") ;;
  *) echo "dump did not reach the End-of-Image marker: $tail_line" >&2; exit 1 ;;
esac

read -r dump_wall dump_cpu < <(best_us build-bench/segsniff "$big")
read -r json_wall json_cpu < <(best_us build-bench/segsniff -json "$big")
read -r memchr_wall memchr_cpu < <(best_us build-bench/bench/skip_bench_memchr "$big")

awk -v bytes="$bytes" -v mib="$mib" -v dw="$dump_wall" -v dc="$dump_cpu" \
    -v jw="$json_wall" -v jc="$json_cpu" \
    -v mw="$memchr_wall" -v mc="$memchr_cpu" 'BEGIN {
  mb = bytes / 1048576
  printf "file: %d bytes (%.1f MiB), %d MiB of it scan data; best of '"$runs"' runs\n", bytes, mb, mib
  printf "                              wall clock            CPU (user+sys)\n"
  printf "segsniff big.jpg >/dev/null : %8.1f MiB/s %7.1f ms  %8.1f MiB/s %7.1f ms\n", mb / (dw / 1e6), dw / 1e3, mb / (dc / 1e6), dc / 1e3
  printf "segsniff -json big.jpg      : %8.1f MiB/s %7.1f ms  %8.1f MiB/s %7.1f ms\n", mb / (jw / 1e6), jw / 1e3, mb / (jc / 1e6), jc / 1e3
  printf "memchr pass                 : %8.1f MiB/s %7.1f ms  %8.1f MiB/s %7.1f ms\n", mb / (mw / 1e6), mw / 1e3, mb / (mc / 1e6), mc / 1e3
  printf "ratio dump / memchr         : %8.2f                %8.2f\n", mw / dw, mc / dc
}'

# The camera corpus: every file 50 times in one run, so that the walks and
# their printing, not the start of the process, are measured.
corpus=../shared/corpus
if ! ls "$corpus"/*.jpg >/dev/null 2>&1; then
  echo "corpus: $corpus is absent, skipped"
  exit 0
fi
files=()
for ((i = 0; i < 50; i++)); do files+=("$corpus"/*.jpg); done
corpus_bytes=$(cat "${files[@]}" | wc -c)
read -r text_wall text_cpu < <(best_us build-bench/segsniff "${files[@]}")
read -r jsonc_wall jsonc_cpu < <(best_us build-bench/segsniff -json "${files[@]}")
read -r text_out _ _ text_rss _ < <(build-bench/bench/measure_run 100000000000 600 build-bench/segsniff "${files[@]}")
read -r json_out _ _ json_rss _ < <(build-bench/bench/measure_run 100000000000 600 build-bench/segsniff -json "${files[@]}")
# One file's JSON against one file's: memory stays the same.
read -r _ _ _ one_rss _ < <(build-bench/bench/measure_run 100000000000 600 build-bench/segsniff -json "$corpus"/Canon_40D.jpg)
read -r _ _ _ big_rss _ < <(build-bench/bench/measure_run 100000000000 600 build-bench/segsniff -json "$big")
read -r _ _ _ big_text_rss _ < <(build-bench/bench/measure_run 100000000000 600 build-bench/segsniff "$big")

awk -v n="${#files[@]}" -v bytes="$corpus_bytes" -v tw="$text_wall" -v tc="$text_cpu" \
    -v jw="$jsonc_wall" -v jc="$jsonc_cpu" -v to="$text_out" -v jo="$json_out" \
    -v tr="$text_rss" -v jr="$json_rss" -v or="$one_rss" -v br="$big_rss" -v btr="$big_text_rss" 'BEGIN {
  printf "\ncorpus: %d files, %.1f MiB in all; best of '"$runs"' runs\n", n, bytes / 1048576
  printf "                              wall clock   CPU (user+sys)   output      peak memory\n"
  printf "segsniff <files>            : %8.1f ms  %8.1f ms     %8.1f MiB  %6d KiB\n", tw / 1e3, tc / 1e3, to / 1048576, tr
  printf "segsniff -json <files>      : %8.1f ms  %8.1f ms     %8.1f MiB  %6d KiB\n", jw / 1e3, jc / 1e3, jo / 1048576, jr
  printf "ratio json / text           : %8.2f     %8.2f\n", jw / tw, jc / tc
  printf "peak memory of -json: one small file %d KiB, the corpus run %d KiB;\n", or, jr
  printf "  the big file %d KiB (text: %d KiB; both hold its pages mapped)\n", br, btr
}'
