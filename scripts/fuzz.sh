#!/usr/bin/env bash
# Runs every built fuzz target for SECONDS each (default 60), keeping its corpus in
# fuzz/corpus/<target> so that longer runs build on earlier ones; fuzz/seeds/<target>
# (when present) adds hand-made inputs to start from:
#   scripts/fuzz.sh 3600                              # an hour per target
#   FUZZ_BUILD=build-x FUZZ_TARGETS="cmdline_fuzz" scripts/fuzz.sh 600
# Stops at the first target that finds a failing input (kept as
# fuzz/corpus/<target>-crash-... and the like) and exits 1.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${FUZZ_BUILD:-build-fuzz}
found=0
for exe in "$build"/fuzz/*_fuzz; do
  [[ -x "$exe" ]] || continue
  name=$(basename "$exe")
  if [[ -n "${FUZZ_TARGETS:-}" && " $FUZZ_TARGETS " != *" $name "* ]]; then
    continue
  fi
  found=1
  mkdir -p "fuzz/corpus/$name"
  seeds=()
  [[ -d "fuzz/seeds/$name" ]] && seeds=("fuzz/seeds/$name")
  echo "-- $name (${seconds}s)"
  "$exe" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 -print_final_stats=1 \
         -artifact_prefix="fuzz/corpus/$name-" "fuzz/corpus/$name" "${seeds[@]}" 2>&1 \
    | grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|==|SUMMARY|ERROR|Done)' || true
  if ls "fuzz/corpus/$name-"crash-* "fuzz/corpus/$name-"leak-* "fuzz/corpus/$name-"timeout-* \
        "fuzz/corpus/$name-"oom-* >/dev/null 2>&1; then
    echo "fuzz: $name found a failing input" >&2
    exit 1
  fi
done
[[ $found == 1 ]] || echo "fuzz: no targets built in $build"
