#!/usr/bin/env bash
# The Windows package as a user gets it: cpack -G ZIP makes tamble-<version>-win64.zip
# with the program, its culture folders, the README and the example settings and
# nothing else; unpacked into a folder of its own, the program converts a file both
# ways and speaks German from its culture folder under a German locale.
#   package_test.sh BUILD-DIR   (under Wine, WINEPREFIX set, a wineserver running)
set -euo pipefail
build=$1
wine=$(command -v wine || command -v wine64)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" || { cat "$out/cpack.log"; exit 1; }
zip=$(ls "$out"/tamble-*-win64.zip)
top=$(basename "$zip" .zip)
expected="$top/
$top/Program Settings.ini.example
$top/README.md
$top/de/
$top/de/tamble-EXE-mui.dll
$top/fr/
$top/fr/tamble-EXE-mui.dll
$top/tamble.exe"
listed=$(zipinfo -1 "$zip" | sort)
[[ $listed == "$(sort <<<"$expected")" || $listed == "$(sort <<<"$expected" | grep -v "^$top/\$")" ]] ||
  { echo "package holds:"; echo "$listed"; exit 1; }

mkdir "$out/unpacked"
(cd "$out/unpacked" && unzip -q "$zip")
cd "$out/unpacked/$top"
head -c 200000 /dev/urandom | od -An -tx1 >data.txt
"$wine" tamble.exe /H /Z:C /S:data.txt /R:data.lzw 2>log.txt || { cat log.txt; exit 1; }
"$wine" tamble.exe /H /Z:E /S:data.lzw /R:back.txt 2>>log.txt || { cat log.txt; exit 1; }
cmp data.txt back.txt
status=0
LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 "$wine" tamble.exe /H /Z:E /S:missing.lzw /R:x.txt 2>german.txt || status=$?
[[ $status == 1 ]] || { echo "status $status for a missing source"; exit 1; }
grep -q "Die Datei konnte nicht geöffnet werden! missing.lzw" german.txt || { cat german.txt; exit 1; }
echo "package: $(basename "$zip") holds what it should and runs from where it is unpacked"
