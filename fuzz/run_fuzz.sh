#!/usr/bin/env bash
# Replays the seeds, then fuzzes dump mode and recovery mode in turn.
# Any crash, sanitizer report, leak, timeout (> 2 s for one input) or
# out-of-memory ends the script with a non-zero status; the input that
# caused it is left in <build>/fuzz-artifacts/.
#
#   fuzz/run_fuzz.sh <fuzz build dir> <seconds per mode> <seed dir> [libFuzzer flags...]
#
# CI runs about a minute per mode with a fixed seed and a fresh working
# corpus; a long local run passes more seconds, keeps the working corpus and
# may add -jobs=1 -workers=1 (the job goes on after a crash; its log is
# <build>/fuzz-logs-<mode>/fuzz-0.log).
set -euo pipefail
build=$1
seconds=$2
seeds=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
# The targets move into a scratch directory before libFuzzer reads its
# directories, so every path handed to them is absolute.
build=$(cd "$build" && pwd)
seeds=$(cd "$seeds" && pwd)
artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"

# Recovery mode writes (and the harness removes) a file per carved stream:
# on a memory file system that costs microseconds instead of milliseconds.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

echo "== replay of $(ls "$seeds" | wc -l) seeds, both modes, sanitized"
"$build/fuzz/segsniff_fuzz_replay_sanitized" "$seeds"

for mode in dump recover; do
  corpus=$build/fuzz-corpus-$mode
  mkdir -p "$corpus" "$build/fuzz-logs-$mode"
  echo "== fuzzing $mode mode for $seconds s"
  # With -jobs=N, libFuzzer writes each job's log (fuzz-N.log) here.
  (cd "$build/fuzz-logs-$mode" && exec "$build/fuzz/segsniff_fuzz_$mode" \
    -seed=20021006 -max_total_time="$seconds" -timeout=2 -rss_limit_mb=2048 \
    -max_len=65536 -dict="$here/segsniff.dict" -print_final_stats=1 \
    -artifact_prefix="$artifacts/$mode-" "$@" "$corpus" "$seeds")
done
