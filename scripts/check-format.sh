#!/usr/bin/env bash
# Fails, naming the files, when a C++ file in git is off the format .clang-format
# gives.  `clang-format -i FILE` puts a file on it.
set -euo pipefail
cd "$(dirname "$0")/.."
off=()
while IFS= read -r file; do
  clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || off+=("$file")
done < <(git ls-files '*.cpp' '*.h')
if ((${#off[@]})); then
  echo "format: ${#off[@]} file(s) off the format (clang-format -i to fix):" >&2
  printf '  %s\n' "${off[@]}" >&2
  exit 1
fi
echo "format: all files on the format"
