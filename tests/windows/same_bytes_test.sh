#!/usr/bin/env bash
# The Windows build writes the Linux build's bytes: both programs compress the
# LZW golden vectors and other data with every method, extract every result,
# and pack and unpack a small history folder; every file either one leaves is
# compared byte for byte (and a history twin's time with its plain file's).
#   same_bytes_test.sh LINUX_TAMBLE WINDOWS_TAMBLE_EXE RUNNER...
# RUNNER runs a Windows program (cmake/wine-run.sh PREFIX WINE).  Without a
# Linux build (cmake --preset release) the test is skipped (status 77).
set -euo pipefail
linux=$(realpath "$1")
windows=$(realpath "$2")
shift 2
runner=("$@")
[[ -x $linux ]] || { echo "no Linux build at $linux (cmake --preset release): skipped"; exit 77; }
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
# Runs both programs with the same arguments, each in its own folder; their
# exit statuses must agree.
both() {
  local status_l=0 status_w=0
  (cd linux && "$linux" "$@" >/dev/null 2>../linux.err) || status_l=$?
  (cd windows && "${runner[@]}" "$windows" "$@" >/dev/null 2>../windows.err) || status_w=$?
  [[ $status_l == "$status_w" ]] || fail "$* ended $status_l on Linux, $status_w on Windows: $(cat windows.err)"
}
# Every file below both folders: the same names, the same bytes.
compare() {
  diff <(cd linux && find . -type f | LC_ALL=C sort) <(cd windows && find . -type f | LC_ALL=C sort) \
    || fail "$1: the two builds left other files"
  while IFS= read -r file; do
    [[ -f windows/$file ]] || continue
    cmp -s "linux/$file" "windows/$file" || fail "$1: $file differs"
  done < <(cd linux && find . -type f)
}

mkdir -p linux/in windows/in
# The golden vectors of the LZW writer, and data of other kinds.
printf '' >in-empty
printf 'abc' >in-abc
printf 'ABABABA' >in-ababa
head -c 200000 /dev/zero >in-zeros
head -c 300000 /dev/urandom >in-random
printf 'a\nb\r\nc\x1a\x00d\n' >in-controls
cp "$source_dir/README.md" in-text
for file in in-*; do
  cp "$file" "linux/in/${file#in-}"
  cp "$file" "windows/in/${file#in-}"
done
for method in lzw lzss huffman stored; do
  for file in linux/in/*; do
    name=${file##*/}
    both /Z:C "/S:in/$name" "/R:$name.$method" "--method=$method" /H
    both /Z:E "/S:$name.$method" "/R:$name.$method.out" /H
    cmp -s "linux/in/$name" "linux/$name.$method.out" || fail "$name.$method does not extract to its data"
  done
done
compare "single files"

# A history folder: 40 days of three groups, the older than 30 days packed,
# then three days unpacked again.
rm -rf linux/* windows/*
bash "$source_dir/scripts/make-sample-history.sh" linux/history 40 >/dev/null
cp -a linux/history windows/history
both /Z:C /T:A /S:history /N:30 /H
compare "history compression"
ls linux/history/*.hsz >/dev/null 2>&1 || fail "no history file was compressed"
for twin in windows/history/*.hsz; do
  plain=linux/history/$(basename "$twin")
  [[ $(stat -c %Y "$twin") == $(stat -c %Y "$plain") ]] || fail "$(basename "$twin"): another time on Windows"
done
start=$(date -d "today - 35 days" +%m/%d/%y)
both /Z:E /T:A /S:history "/D:$start" /N:3 /H
compare "history extraction"
ls linux/history/*.hst >/dev/null 2>&1 || fail "no history file was extracted"

if ((failures)); then
  echo "$failures difference(s) between the Linux and the Windows build"
  exit 1
fi
echo "the Linux and the Windows build wrote the same bytes"
