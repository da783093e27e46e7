#!/usr/bin/env bash
# Makes a folder of plain history files as the data-acquisition product keeps
# them, to try tamble on: groups 0A (10), 0B (11) and 1F (31), one file per
# group and day for the last DAYS days (default 60, today included), each a day
# of readings every five minutes.  Existing files are left alone.
#
#   scripts/make-sample-history.sh samples/history-demo
#   build/app/tamble /Z:C /T:A /S:samples/history-demo /N:30 /G:10
set -euo pipefail

folder=${1:?usage: make-sample-history.sh FOLDER [DAYS]}
days=${2:-60}
mkdir -p "$folder"

made=0
for ((i = 0; i < days; i++)); do
  iso=$(date -d "today - $i days" +%Y-%m-%d)
  stamp=$(date -d "$iso" +%y%m%d)
  for group in 0A 0B 1F; do
    name="$folder/$group$stamp.hst"
    [[ -e $name ]] && continue
    LC_ALL=C awk -v day="$iso" -v seed="$((i * 97 + 16#$group))" 'BEGIN {
      srand(seed); value = 20 + seed % 7
      for (minute = 0; minute < 1440; minute += 5)
        for (channel = 1; channel <= 4; channel++) {
          value += (rand() - 0.5) * 0.05
          printf "%s %02d:%02d;%d;%.2f;OK\n", day, minute / 60, minute % 60, channel, value + channel
        }
    }' > "$name"
    touch -d "$iso 23:59" "$name"
    made=$((made + 1))
  done
done
echo "$folder: $made plain history files made ($(ls "$folder" | wc -l) entries in all)"
