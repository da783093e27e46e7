#!/bin/sh
# Runs a Windows test program under Wine in the build's own prefix:
#   wine-run.sh PREFIX WINE PROGRAM [ARGUMENTS...]
# The first program starts a wineserver that stays for a minute after the last one, so
# that each program starts in a few hundredths of a second instead of seconds, and
# Wine's own services, away from the caller's pipes: they live as long as the server
# and would hold ctest's output pipe open.
export WINEPREFIX="$1" WINEDEBUG=${TAMBLE_WINEDEBUG:--all}
wine=$2
shift 2
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
if "$wineserver" -p60 2>/dev/null; then   # there was none
  "$wine" wineboot </dev/null >/dev/null 2>&1
fi
# Now and then Wine ends a new process before the program's first instruction: it
# fails having written nothing.  Every program run here writes something when it
# fails (a test program always does), so such a run is made again, at most twice.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
for attempt in 1 2 3; do
  status=0
  "$wine" "$@" >"$out" 2>"$err" || status=$?
  if [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ] || [ "$attempt" -eq 3 ]; then
    break
  fi
  echo "wine-run: $1 ended with $status before writing anything; started again" >&2
done
cat "$out"
cat "$err" >&2
exit "$status"
