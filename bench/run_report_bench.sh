#!/usr/bin/env bash
# Carving report benchmark on real photos: how long "segsniff -report
# report.xml -recover" takes next to plain "segsniff -recover" on a card
# image full of photos that decode (the carving benchmark's generated
# pictures have no quantisation table for their chroma, so every decode
# check there stops at the header and costs nothing), and what the digests
# and the decode checks cost by themselves.
#
#   bench/run_report_bench.sh [MiB, default 1024] [runs, default 3]
#
# The image is the camera-sized sample photos of make_photo_samples.py
# (0.3 to 3 MB, each with a corpus Exif block and its thumbnail) one after
# the other on 512-byte sector boundaries, repeated to the size asked for.
# Page cache warm, listings to /dev/null, best of the runs; the time of the
# decode checks is that of libjpeg's entropy decoding.
#
# Needs: apt-get install -y libjpeg-turbo-progs mate-backgrounds
# Everything is made in a temporary folder that is removed at the end
# (REPORT_BENCH_DIR keeps it somewhere else).
set -euo pipefail
cd "$(dirname "$0")/.."

mib=${1:-1024}
runs=${2:-3}
for tool in djpeg cjpeg; do
  command -v "$tool" >/dev/null || { echo "$tool missing: apt-get install -y libjpeg-turbo-progs mate-backgrounds" >&2; exit 1; }
done

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DSEGSNIFF_BENCH=ON -DSEGSNIFF_TESTS=OFF >/dev/null
cmake --build build-bench -j2 --target segsniff report_costs >/dev/null
segsniff=$PWD/build-bench/segsniff

if [ -n "${REPORT_BENCH_DIR:-}" ]; then
  scratch=$REPORT_BENCH_DIR
  mkdir -p "$scratch"
else
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
fi

python3 bench/make_photo_samples.py "$scratch/samples" --corpus ../shared/corpus >/dev/null
image=$scratch/photos.img
manifest=$scratch/photos.manifest
python3 - "$scratch/samples" "$image" "$manifest" "$mib" <<'PY'
import os, sys
folder, image, manifest, mib = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
photos = [(name, open(os.path.join(folder, name), 'rb').read())
          for name in sorted(os.listdir(folder)) if name.endswith('.jpg')]
offset, limit = 0, mib << 20
with open(image, 'wb') as out, open(manifest, 'w') as lines:
    lines.write('# offset length kind source\n')
    while True:
        for name, data in photos:
            if offset + len(data) > limit:
                out.write(b'\0' * (limit - offset))
                sys.exit(0)
            out.write(data)
            lines.write('%d %d complete %s\n' % (offset, len(data), name))
            offset += len(data)
            pad = -offset % 512
            out.write(b'\0' * pad)
            offset += pad
PY
cat "$image" >/dev/null  # warm the page cache
bytes=$(stat -c %s "$image")
echo "== photos: $(grep -vc '^#' "$manifest") photos, $bytes bytes, best of $runs runs"

time_once() {
  local TIMEFORMAT='%3R %3U %3S'
  { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }'
}
out=$scratch/out
best_of() {
  local best_wall="" best_cpu="" wall cpu
  for ((i = 0; i < runs; i++)); do
    rm -rf "$out"; mkdir -p "$out"; sync
    read -r wall cpu < <(time_once "$@")
    if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then best_wall=$wall; fi
    if [ -z "$best_cpu" ] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN { exit !(a < b) }'; then best_cpu=$cpu; fi
  done
  echo "$best_wall $best_cpu"
}
row() {
  awk -v n="$1" -v w="$2" -v c="$3" -v b="$bytes" 'BEGIN {
    mb = b / 1048576
    printf "  %-12s %8.3f s %8.1f MiB/s   cpu %8.3f s %8.1f MiB/s\n", n, w, mb / w, c, mb / c }'
}

read -r plain_wall plain_cpu < <(best_of sh -c 'cd "$1" && exec "$2" -recover "$3"' sh "$out" "$segsniff" "$image")
row "segsniff" "$plain_wall" "$plain_cpu"
read -r report_wall report_cpu < <(best_of sh -c 'cd "$1" && exec "$2" -report report.xml -recover "$3"' sh "$out" "$segsniff" "$image")
row "-report" "$report_wall" "$report_cpu"
echo "  report checks $("$PWD/build-bench/bench/report_costs" "$image" "$manifest")"
awk -v s="$plain_wall" -v r="$report_wall" -v sc="$plain_cpu" -v rc="$report_cpu" 'BEGIN {
  printf "  -report: %.2f x the wall time, %.2f x the cpu time of segsniff -recover\n", r / s, rc / sc }'
