#!/usr/bin/env bash
# Used-card benchmark: how many of the photos deleted from a simulated used
# memory card "segsniff -recover" and "segsniff -fragments -recover" get
# back byte for byte, and how long they take.
#
#   bench/run_used_card_bench.sh [seed ...]      (default: make_used_card.py's own seed)
#
# For each seed it builds a FAT32 card image with make_used_card.py (its
# default settings: 260 MiB, 4 KiB clusters, 12 rounds of shooting and
# deleting) from camera-sized sample photos made by make_photo_samples.py,
# carves it both ways into empty folders (page cache warm, listings to
# /dev/null), scores the folders with eval_used_card.py and prints one table
# row per carving: deleted photos recovered byte-identical, split by how
# they lay on the card (contiguous / 2 fragments / 3 or more), live photos,
# outputs that are not an exact photo of the card (thumbnails, broken
# files), and the wall time.
#
# Needs: apt-get install -y mtools dosfstools libjpeg-turbo-progs mate-backgrounds
# and the shared benchmark scripts in ../shared/bench.  Everything is made
# in a temporary folder that is removed at the end (USED_CARD_BENCH_DIR
# keeps it somewhere else).
set -euo pipefail
cd "$(dirname "$0")/.."

shared=../shared/bench
corpus=../shared/corpus
python=python3
for tool in mcopy mkfs.vfat djpeg cjpeg; do
  command -v "$tool" >/dev/null || { echo "$tool missing: apt-get install -y mtools dosfstools libjpeg-turbo-progs" >&2; exit 1; }
done

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DSEGSNIFF_BENCH=ON -DSEGSNIFF_TESTS=OFF >/dev/null
cmake --build build-bench -j2 --target segsniff >/dev/null
segsniff=$PWD/build-bench/segsniff

if [ -n "${USED_CARD_BENCH_DIR:-}" ]; then
  scratch=$USED_CARD_BENCH_DIR
  mkdir -p "$scratch"
else
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
fi

"$python" bench/make_photo_samples.py "$scratch/samples" --corpus "$corpus"

seeds=("$@")
[ ${#seeds[@]} -gt 0 ] || seeds=(default)
echo "| card | carving | contiguous | 2 fragments | 3+ fragments | live | not an exact photo | time |"
echo "|---|---|---|---|---|---|---|---|"
for seed in "${seeds[@]}"; do
  image="$scratch/card-$seed.img"
  seed_option=()
  [ "$seed" = default ] || seed_option=(--seed "$seed")
  "$python" "$shared/make_used_card.py" --out "$image" --samples "$scratch/samples" \
    "${seed_option[@]}" >"$scratch/card-$seed.txt" 2>&1
  cat "$image" >/dev/null  # warm the page cache
  for mode in plain fragments; do
    out="$scratch/out-$seed-$mode"
    rm -rf "$out"
    mkdir -p "$out"
    options=(-recover)
    [ "$mode" = plain ] || options=(-fragments -recover)
    start=$(date +%s.%N)
    (cd "$out" && "$segsniff" "${options[@]}" "$image" >/dev/null 2>&1) || true
    seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f s", b - a }')
    "$python" "$shared/eval_used_card.py" "$image.manifest.json" "$out" --label "$seed | segsniff ${options[*]}" \
      --row "$seconds" | tail -1
  done
  grep '^deleted at the end' "$scratch/card-$seed.txt" | sed 's/^/  card '"$seed"': /' >&2
done
