#!/usr/bin/env bash
# Installs what is missing, builds tamble, and runs its main job on a generated
# sample: a folder of plain history files for the last 60 days is packed (files
# older than 30 days become proven .hsz twins), then three days are unpacked
# again.  Shows the dialog where a display exists, else a terminal progress view.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target tamble
tamble=build/app/tamble
folder=samples/history-demo

rm -rf "$folder"
bash scripts/make-sample-history.sh "$folder" 60
count() { find "$folder" -maxdepth 1 -name "*.$1" | wc -l; }
echo "before: $(count hst) plain (.hst), $(count hsz) compressed (.hsz)"

echo
echo "\$ tamble /Z:C /T:A /S:$folder /N:30"
"$tamble" /Z:C /T:A "/S:$folder" /N:30
echo "after compressing: $(count hst) plain, $(count hsz) compressed ($(du -sh "$folder" | cut -f1) in all)"

start=$(date -d '45 days ago' +%m/%d/%y)
echo
echo "\$ tamble /Z:E /T:A /S:$folder /D:$start /N:3"
"$tamble" /Z:E /T:A "/S:$folder" "/D:$start" /N:3
echo "after extracting 3 days: $(count hst) plain, $(count hsz) compressed"

echo
first=$(find "$folder" -maxdepth 1 -name '*.hsz' | sort | head -n 1)
echo "\$ tamble --info $first"
"$tamble" --info "$first"
echo "\$ tamble --test $folder/*.hsz   (every compressed file decoded in full)"
"$tamble" --test "$folder"/*.hsz | tail -n 3
