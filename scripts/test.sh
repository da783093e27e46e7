#!/usr/bin/env bash
# Installs what is missing, checks the format, builds the plain and the sanitizer
# configuration, runs every test in both, builds the Windows configuration and runs
# its tests under Wine, then runs each fuzz target for a short while.
#   FUZZ_SECONDS=N   seconds per fuzz target (default 20; 0 skips fuzzing)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
echo "== format"
bash scripts/check-format.sh
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-20}

echo "== plain build"
cmake --preset release >/dev/null
cmake --build --preset release -j"$jobs"
echo "== tests (plain build)"
ctest --preset release -j"$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs"
echo "== tests (sanitizer build)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset asan -j"$jobs"

JOBS=$jobs bash scripts/test-windows.sh

if [[ "$fuzz_seconds" != 0 ]]; then
  echo "== fuzz targets, ${fuzz_seconds}s each"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j"$jobs"
  bash scripts/fuzz.sh "$fuzz_seconds"
fi
echo "== all tests passed"
