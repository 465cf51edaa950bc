#!/usr/bin/env bash
# A short bounded run of every fuzz target over its committed seed corpus.
# Usage: scripts/fuzz-short.sh BUILD_DIR [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/asan}
secs=${2:-60}
status=0
for fuzzer in "$build"/fuzz/*_fuzz; do
  [[ -x "$fuzzer" ]] || continue
  name=$(basename "$fuzzer" _fuzz)
  work=$(mktemp -d)
  echo "=== fuzz $name for ${secs}s ==="
  if ! "$fuzzer" -max_total_time="$secs" -max_len=65536 -rss_limit_mb=2048 -timeout=10 \
       -print_final_stats=1 -artifact_prefix="$work/" "$work" "fuzz/corpus/$name" 2>"$work/log"; then
    tail -50 "$work/log"
    echo "fuzz $name: FAILED (artifacts in $work)"
    status=1
  else
    grep -E 'stat::number_of_executed_units|Done' "$work/log" | tail -2 || true
    rm -rf "$work"
  fi
done
exit $status
