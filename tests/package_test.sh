#!/bin/sh
# The Debian packages as an administrator meets them: lintian reports nothing
# that is not overridden with its reason, the manual page is compressed, and
# a purge removes the links that enabled a history folder's timer.
# Arguments: the build folder, the source folder.  Status 77: skipped.
set -eu
build=$1
source=$2
for tool in cpack lintian dpkg-deb; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" || { cat "$out/cpack.log"; exit 1; }
lintian --fail-on error,warning "$out"/tamble*.deb
dpkg-deb -c "$out"/tamble_*.deb | grep -q '/usr/share/man/man1/tamble.1.gz$'
dpkg-deb -c "$out"/tamble_*.deb | grep -q '/usr/share/doc/tamble/examples/tamble$'

wants="$out/root/etc/systemd/system/timers.target.wants"
mkdir -p "$wants"
ln -s /usr/lib/systemd/system/tamble@.timer "$wants/tamble@srv-h\\x2d1.timer"
ln -s /usr/lib/systemd/system/other.timer "$wants/other.timer"
DPKG_ROOT="$out/root" sh "$source/packaging/postrm" purge
[ "$(ls "$wants")" = other.timer ] || { echo "purge left: $(ls "$wants")"; exit 1; }
echo "packages clean"
