#!/usr/bin/env bash
# Runs the configuration fuzzer for a fixed time from the committed seeds;
# any crash, leak, hang or sanitizer report fails.
# usage: run_fuzz.sh FUZZER SECONDS WORK_FOLDER
set -euo pipefail
fuzzer=$1 seconds=$2 work=$3
seeds=$(cd "$(dirname "$0")" && pwd)/corpus
rm -rf "$work" && mkdir -p "$work/corpus" "$work/artifacts"
cd "$work"
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$work/corpus" "$seeds" 2> fuzz.log || { tail -50 fuzz.log; exit 1; }
grep -E "stat::number_of_executed_units|stat::peak_rss_mb|Done" fuzz.log || true
if ls artifacts/* >/dev/null 2>&1; then echo "fuzzer left artifacts"; exit 1; fi
echo "1 passed, 0 failed"
