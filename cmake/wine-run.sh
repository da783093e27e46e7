#!/bin/sh
# Runs a Windows test program under Wine in the build's own prefix:
#   wine-run.sh PREFIX WINE PROGRAM [ARGUMENTS...]
# The first program starts a wineserver that stays for a minute after the last one, so
# that each program starts in a few hundredths of a second instead of seconds, and
# Wine's own services, away from the caller's pipes: they live as long as the server
# and would hold ctest's output pipe open.
export WINEPREFIX="$1" WINEDEBUG=-all
wine=$2
shift 2
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
if "$wineserver" -p60 2>/dev/null; then   # there was none
  "$wine" wineboot </dev/null >/dev/null 2>&1
fi
exec "$wine" "$@"
