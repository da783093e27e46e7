#!/usr/bin/env bash
# Runs every built fuzz target for SECONDS each (default 60), keeping its corpus in
# fuzz/corpus/<target> so that longer runs build on earlier ones:
#   scripts/fuzz.sh 3600        # an hour per target
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
found=0
for exe in build-fuzz/fuzz/*_fuzz; do
  [[ -x "$exe" ]] || continue
  found=1
  name=$(basename "$exe")
  mkdir -p "fuzz/corpus/$name"
  seeds=()
  [[ -d "fuzz/seeds/$name" ]] && seeds=("fuzz/seeds/$name")
  echo "-- $name (${seconds}s)"
  "$exe" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 -print_final_stats=1 \
         -artifact_prefix="fuzz/corpus/$name-" "fuzz/corpus/$name" "${seeds[@]}" 2>&1 \
    | grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|==|SUMMARY|ERROR|Done)' || true
  if ls "fuzz/corpus/$name-"crash-* "fuzz/corpus/$name-"leak-* "fuzz/corpus/$name-"timeout-* >/dev/null 2>&1; then
    echo "fuzz: $name found a failing input" >&2
    exit 1
  fi
done
[[ $found == 1 ]] || echo "fuzz: no targets built"
