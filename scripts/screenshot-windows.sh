#!/usr/bin/env bash
# Takes docs/dialog-windows.png: the Win32 progress dialog of the Windows build
# under Wine on a virtual display (xvfb-run), saved by its own test
# (tests/windows/win32_dialog_test.cpp, TAMBLE_SCREENSHOT) and made a PNG file.
# Needs a built build-windows/ (scripts/test-windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEPREFIX="$PWD/build-windows/wineprefix" WINEDEBUG=-all
wine=$(command -v wine || command -v wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
bmp=$(mktemp --suffix=.bmp)
trap 'rm -f "$bmp"; "$wineserver" -k 2>/dev/null || true' EXIT
"$wineserver" -k 2>/dev/null || true   # a server started without the display would keep its desktop
TAMBLE_SCREENSHOT="Z:${bmp//\//\\}" \
  xvfb-run -a -s "-screen 0 800x600x24" "$wine" build-windows/tests/windows/win32_dialog_test.exe \
  --gtest_filter='*OwnResources' >/dev/null 2>&1 || true   # Wine's desktop loses its display at the end
[[ -s "$bmp" ]] || { echo "screenshot-windows: the dialog test saved no picture" >&2; exit 1; }
python3 - "$bmp" docs/dialog-windows.png <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
offset = struct.unpack_from('<I', data, 10)[0]
width, height = struct.unpack_from('<ii', data, 18)
stride = (width * 3 + 3) // 4 * 4
rows = b''
for y in range(height - 1, -1, -1):   # BMP rows are bottom up, BGR
    line = data[offset + y * stride:offset + y * stride + width * 3]
    rows += b'\0' + bytes(c for x in range(width) for c in line[3 * x:3 * x + 3][::-1])
def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xFFFFFFFF)
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0))
png += chunk(b'IDAT', zlib.compress(rows, 9)) + chunk(b'IEND', b'')
open(sys.argv[2], 'wb').write(png)
PY
echo "docs/dialog-windows.png: the Win32 dialog under Wine"
