#!/usr/bin/env bash
# Speed benchmark: segsniff next to the floor of the same work, measured
# side by side in one run (time_runs: every command once per round, medians
# of the rounds), page cache warm, standard output and standard error to
# /dev/null:
#
#   dump      many camera photos dumped in one process, as text and as
#             JSON, against dump_floor: map each file, one memchr pass over
#             all of its bytes, and as many bytes written to /dev/null as
#             the listing has
#   carving   -recover of generated 256 MiB and 1 GiB card images against
#             carving_floor: map, find every FF D8 pair with memchr, write
#             the same byte runs segsniff writes, each file with one write
#   start-up  a dump of a 4-byte file against /bin/true
#
#   bench/run_speed_bench.sh [rounds, default 21] [carving rounds, default 7]
#
# The photos are the camera-sized samples of make_photo_samples.py (when
# cjpeg and mate-backgrounds are installed) and two copies of the camera
# corpus: 88 files, about 29 MB; without the samples, ten copies of the
# corpus.  Set SPEED_BENCH_DIR to put the images and the carved files
# somewhere else than a temporary folder (a tmpfs gives steadier carving
# figures: no writeback to a disk in the middle of a run).  The ratios are
# what to compare; both clocks are shown, the CPU time (user + system of
# the process) being the steadier on a shared machine.  Set
# SEGSNIFF=<binary> to measure another build against the same floors.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${1:-21}
carve_rounds=${2:-7}
corpus=../shared/corpus

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DSEGSNIFF_BENCH=ON -DSEGSNIFF_TESTS=OFF >/dev/null
cmake --build build-bench -j2 --target segsniff dump_floor carving_floor time_runs make_card_image >/dev/null
tools=$PWD/build-bench/bench
segsniff=${SEGSNIFF:-$PWD/build-bench/segsniff}

if [ -n "${SPEED_BENCH_DIR:-}" ]; then
  scratch=$SPEED_BENCH_DIR
  mkdir -p "$scratch"
  trap 'rm -rf "$scratch/photos" "$scratch/out" "$scratch"/card.* "$scratch/four.bin"' EXIT
else
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
fi

echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"

# One table row: name, then the time_runs line of segsniff and of its floor.
row() {
  awk -v n="$1" -v sw="$2" -v sc="$3" -v fw="$6" -v fc="$7" 'BEGIN {
    printf "  %-24s %9.2f ms %9.2f ms   %9.2f ms %9.2f ms   %5.2f  %5.2f\n",
           n, sw * 1e3, sc * 1e3, fw * 1e3, fc * 1e3, sw / fw, sc / fc }'
}
header() {
  echo "  $1"
  printf "  %-24s %12s %12s   %12s %12s   %5s  %5s\n" "" "wall" "cpu" "floor wall" "floor cpu" "wall" "cpu"
}

# ---- Dump
photos="$scratch/photos"
mkdir -p "$photos"
copies=10
if command -v cjpeg >/dev/null && [ -d /usr/share/backgrounds/mate/nature ]; then
  python3 bench/make_photo_samples.py "$photos" --corpus "$corpus" >/dev/null
  copies=2
fi
for ((i = 0; i < copies; i++)); do
  for f in "$corpus"/*.jpg; do cp "$f" "$photos/corpus${i}_$(basename "$f")"; done
done
files=("$photos"/*.jpg)
cat "${files[@]}" >/dev/null  # warm the page cache
text_bytes=$("$segsniff" "${files[@]}" 2>&1 | wc -c)
json_bytes=$("$segsniff" -json "${files[@]}" 2>&1 | wc -c)
mapfile -t t < <("$tools/time_runs" "$rounds" \
  "$segsniff" "${files[@]}" :: "$tools/dump_floor" -w "$text_bytes" "${files[@]}" :: \
  "$segsniff" -json "${files[@]}" :: "$tools/dump_floor" -w "$json_bytes" "${files[@]}")
echo
header "dump: ${#files[@]} files, $(cat "${files[@]}" | wc -c) bytes; medians of $rounds rounds (ratio goal: 1.4)"
row "segsniff <files>" ${t[0]} ${t[1]}
row "segsniff -json <files>" ${t[2]} ${t[3]}
echo "  (listing: $text_bytes bytes as text, $json_bytes as JSON; the floor writes as many)"

# ---- Carving
out="$scratch/out"
for mib in 256 1024; do
  image="$scratch/card.$mib.img"
  "$tools/make_card_image" card "$mib" 1 "$corpus" "$image" "$scratch/card.manifest"
  cat "$image" >/dev/null
  rm -rf "$out"
  mkdir -p "$out"
  # The byte runs segsniff writes, as a manifest for the floor.
  (cd "$out" && "$segsniff" -recover "$image" 2>/dev/null) |
    sed -n 's/^restore \([0-9]*\) bytes to file .* (offset \([0-9]*\) to [0-9]*)$/\2 \1 complete segsniff/p' \
      >"$scratch/card.runs"
  carved_files=$(find "$out" -type f | wc -l)
  carved_bytes=$(find "$out" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  floor_says=$("$tools/carving_floor" "$image" "$scratch/card.runs" "$out" 2>&1 | tail -n 1)
  mapfile -t t < <("$tools/time_runs" "$carve_rounds" \
    -C "$out" "$segsniff" -recover "$image" :: -C "$out" "$tools/carving_floor" "$image" "$scratch/card.runs" .)
  echo
  header "carving: $mib MiB card image; medians of $carve_rounds rounds (ratio goal: 1.3)"
  row "segsniff -recover" ${t[0]} ${t[1]}
  echo "  (segsniff writes $carved_files files, $carved_bytes bytes; the floor: $floor_says)"
  rm -rf "$out" "$image"
done

# ---- Start-up
printf 'abcd' >"$scratch/four.bin"
start_rounds=$((rounds * 20))
mapfile -t t < <("$tools/time_runs" "$start_rounds" "$segsniff" "$scratch/four.bin" :: /bin/true)
echo
header "start-up: a 4-byte file, against /bin/true; medians of $start_rounds rounds (ratio goal: 1.5)"
row "segsniff four.bin" ${t[0]} ${t[1]}

echo
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
