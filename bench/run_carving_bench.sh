#!/usr/bin/env bash
# Carving benchmark: how fast does "segsniff -recover" get through a card
# image, next to the limits measured in the same run on the same image, and
# next to foremost and scalpel where Debian's packages are installed?
#
#   bench/run_carving_bench.sh [MiB, default 1024] [seed, default 1] [runs, default 3]
#
# For each of two images made by make_card_image -- "sparse" (few JPEGs
# between random and zero filler: bound by the scan) and "card" (mostly
# photos: bound by the writing) -- it reports, with the page cache warm and
# all standard output sent to /dev/null:
#   memchr pass     a plain memchr pass for FF bytes over the image (the limit
#                   of any scan)
#   floor           that pass plus writing every recoverable manifest stream
#                   once (the limit of a carver that writes its output)
#   segsniff        segsniff -recover, in an empty folder
#   -report         segsniff -report report.xml -recover, in an empty folder:
#                   the carving report with a digest and a decode check of
#                   every file (report checks: what these two cost by
#                   themselves over the image's whole streams)
#   carving core    the same carving in-process with every printed byte
#                   discarded (what the console output costs is the difference)
#   foremost -q     foremost -q -t jpg (sector-aligned headers only), once
#   scalpel         scalpel with a JPEG-only configuration, once
# and, for every carver, how many of the manifest's complete images (and of
# their thumbnails) it recovered byte for byte.
#
# Install the comparison carvers with: apt-get install -y foremost scalpel
# Images and outputs live in a temporary folder that is removed at the end
# (set CARVING_BENCH_DIR to keep them somewhere else); nothing goes into git.
set -euo pipefail
cd "$(dirname "$0")/.."

mib=${1:-1024}
seed=${2:-1}
runs=${3:-3}
corpus=../shared/corpus
[ -d "$corpus" ] || corpus=-

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DSEGSNIFF_BENCH=ON -DSEGSNIFF_TESTS=OFF >/dev/null
cmake --build build-bench -j2 --target segsniff make_card_image carving_floor carving_core skip_bench_memchr report_costs >/dev/null
tools=$PWD/build-bench/bench
segsniff=$PWD/build-bench/segsniff

if [ -n "${CARVING_BENCH_DIR:-}" ]; then
  scratch=$CARVING_BENCH_DIR
  mkdir -p "$scratch"
else
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
fi

# Wall and CPU (user + system) seconds of one run of a command, as "wall cpu".
time_once() {
  local TIMEFORMAT='%3R %3U %3S'
  { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }'
}

# Best of $runs runs; $1 is a command that empties the output folder first.
best_of() {
  local reset=$1 best_wall="" best_cpu="" wall cpu
  shift
  for ((i = 0; i < runs; i++)); do
    $reset
    read -r wall cpu < <(time_once "$@")
    if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then
      best_wall=$wall
    fi
    if [ -z "$best_cpu" ] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN { exit !(a < b) }'; then
      best_cpu=$cpu
    fi
  done
  echo "$best_wall $best_cpu"
}

out="$scratch/out"
reset_out() { rm -rf "$out"; mkdir -p "$out"; sync; }
no_reset() { :; }

# How many manifest streams of each kind a carver's output holds byte for byte.
check() {
  python3 - "$1" "$2" "$3" <<'PY'
import hashlib, mmap, os, sys
image, manifest, folder = sys.argv[1:4]
have = set()
files = written = 0
for root, _, names in os.walk(folder):
    for name in names:
        path = os.path.join(root, name)
        if not name.lower().endswith(('.jpg', '.jpeg')):
            continue
        with open(path, 'rb') as f:
            data = f.read()
        files += 1
        written += len(data)
        have.add(hashlib.sha256(data).digest())
want = {}
missed = []
with open(image, 'rb') as f, open(manifest) as m:
    view = mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ)
    for line in m:
        if line.startswith('#'):
            continue
        offset, length, kind, source = line.split()
        offset, length = int(offset), int(length)
        got = hashlib.sha256(view[offset:offset + length]).digest() in have
        total, found = want.get(kind, (0, 0))
        want[kind] = (total + 1, found + got)
        if kind == 'complete' and not got:
            missed.append(source)
parts = ['%s %d/%d' % (k, want[k][1], want[k][0]) for k in ('complete', 'thumbnail', 'eoi-in-scan', 'truncated') if k in want]
print('%d files, %.1f MiB; byte-identical: %s%s' % (files, written / 1048576.0, ', '.join(parts),
      ('; missed: ' + ' '.join(missed[:8])) if missed else ''))
PY
}

row() {  # name wall cpu bytes [recovery]
  awk -v n="$1" -v w="$2" -v c="$3" -v b="$4" -v r="${5:-}" 'BEGIN {
    mb = b / 1048576
    printf "  %-12s %8.3f s %8.1f MiB/s   cpu %8.3f s %8.1f MiB/s   %s\n", n, w, mb / w, c, mb / c, r }'
}

scalpel_conf="$scratch/scalpel.conf"
printf 'jpg\ty\t20000000\t\\xff\\xd8\\xff\\xe0\t\\xff\\xd9\njpg\ty\t20000000\t\\xff\\xd8\\xff\\xe1\t\\xff\\xd9\n' >"$scalpel_conf"

for profile in sparse card; do
  image="$scratch/$profile.img"
  manifest="$scratch/$profile.manifest"
  "$tools/make_card_image" "$profile" "$mib" "$seed" "$corpus" "$image" "$manifest"
  bytes=$(stat -c %s "$image")
  cat "$image" >/dev/null  # warm the page cache
  echo "== $profile: $(awk '!/^#/ { n[$3]++ } END { for (k in n) printf "%s %d  ", k, n[k] }' "$manifest")"
  echo "   $bytes bytes, seed $seed, best of $runs runs (foremost and scalpel: one run)"

  read -r w c < <(best_of no_reset "$tools/skip_bench_memchr" "$image")
  memchr_wall=$w memchr_cpu=$c
  row "memchr pass" "$w" "$c" "$bytes"

  read -r w c < <(best_of reset_out "$tools/carving_floor" "$image" "$manifest" "$out")
  floor_wall=$w floor_cpu=$c
  row "floor" "$w" "$c" "$bytes" "$(check "$image" "$manifest" "$out")"

  read -r w c < <(best_of reset_out sh -c 'cd "$1" && exec "$2" -recover "$3"' sh "$out" "$segsniff" "$image")
  segsniff_wall=$w segsniff_cpu=$c
  row "segsniff" "$w" "$c" "$bytes" "$(check "$image" "$manifest" "$out")"

  read -r w c < <(best_of reset_out sh -c 'cd "$1" && exec "$2" -report report.xml -recover "$3"' sh "$out" "$segsniff" "$image")
  report_wall=$w report_cpu=$c
  row "-report" "$w" "$c" "$bytes" "$(check "$image" "$manifest" "$out")"
  echo "  report checks $("$tools/report_costs" "$image" "$manifest")"

  read -r w c < <(best_of reset_out sh -c 'cd "$1" && exec "$2" "$3"' sh "$out" "$tools/carving_core" "$image")
  core_wall=$w core_cpu=$c
  row "carving core" "$w" "$c" "$bytes" "$(check "$image" "$manifest" "$out")"

  if command -v foremost >/dev/null; then
    reset_out
    read -r w c < <(time_once foremost -q -t jpg -i "$image" -o "$out/foremost")
    foremost_wall=$w foremost_cpu=$c
    row "foremost -q" "$w" "$c" "$bytes" "$(check "$image" "$manifest" "$out")"
  else
    foremost_wall="" foremost_cpu=""
    echo "  foremost     not installed"
  fi
  if command -v scalpel >/dev/null; then
    reset_out
    read -r w c < <(time_once scalpel -c "$scalpel_conf" -o "$out/scalpel" "$image")
    row "scalpel" "$w" "$c" "$bytes" "$(check "$image" "$manifest" "$out")"
  else
    echo "  scalpel      not installed"
  fi

  # Ratios by wall clock, then by CPU time (steadier on a shared machine).
  for clock in wall cpu; do
    if [ $clock = wall ]; then set -- "$segsniff_wall" "$memchr_wall" "$floor_wall" "$foremost_wall" "$core_wall" "$report_wall"
    else set -- "$segsniff_cpu" "$memchr_cpu" "$floor_cpu" "$foremost_cpu" "$core_cpu" "$report_cpu"; fi
    awk -v k=$clock -v s="$1" -v m="$2" -v f="$3" -v fm="$4" -v c="$5" -v r="$6" 'BEGIN {
      printf "  by %-4s segsniff: %.2f of the memchr speed, %.2f x the floor time", k, m / s, s / f
      if (fm != "") printf ", %.1f x faster than foremost -q", fm / s
      printf "\n           core:     %.2f of the memchr speed, %.2f x the floor time", m / c, c / f
      if (fm != "") printf ", %.1f x faster than foremost -q", fm / c
      printf "\n           -report:  %.2f x the time of segsniff -recover\n", r / s }'
  done
  rm -f "$image" "$manifest"
  reset_out
done
