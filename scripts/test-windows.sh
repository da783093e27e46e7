#!/usr/bin/env bash
# Builds the Windows configuration (mingw-w64, build-windows/) and runs its tests under
# Wine, in a prefix inside the build folder (build-windows/wineprefix).  One wineserver
# is kept running for the whole run (wineserver -p), so that each test program starts
# in a few hundredths of a second instead of seconds; it is stopped at the end.
#   JOBS=N   parallel build and test jobs (default: the number of CPUs)
set -euo pipefail
cd "$(dirname "$0")/.."
# The dialog's test needs a display: the whole run gets a virtual one, so that
# Wine's desktop, started by the first program, has it too.
if [[ -z ${DISPLAY:-} && -z ${TAMBLE_XVFB:-} ]] && command -v xvfb-run >/dev/null; then
  TAMBLE_XVFB=1 exec xvfb-run -a -s "-screen 0 800x600x24" bash "$0" "$@"
fi
jobs=${JOBS:-$(nproc)}
SECONDS=0

echo "== Windows build (mingw-w64)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"

echo "== tests under Wine"
export WINEPREFIX="$PWD/build-windows/wineprefix" WINEDEBUG=-all
wine=$(command -v wine || command -v wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
# The first start creates the prefix (several seconds, more on a busy machine): done
# here, once and waited for, so that no test's time limit has to allow for it.
if [[ ! -f "$WINEPREFIX/.tamble-ready" ]]; then
  "$wine" wineboot -i >/dev/null 2>&1
  "$wineserver" -w   # until the server has written the prefix and ended
  touch "$WINEPREFIX/.tamble-ready"
fi
# A server still there from an earlier run would keep that run's desktop.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -p 2>/dev/null || true
trap '"$wineserver" -k 2>/dev/null || true' EXIT
# Wine's own services start with the first program and then live as long as the
# server; started here, away from the pipes ctest reads, which they would hold open.
"$wine" wineboot </dev/null >/dev/null 2>&1
ctest --preset windows -j"$jobs"
echo "== the Windows package"
bash tests/windows/package_test.sh build-windows
echo "== Windows build and tests took ${SECONDS} s"
