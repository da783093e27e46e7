#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the benchmarks need,
# only those that are missing.  Run as root.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  clang libclang-rt-14-dev              # libFuzzer targets
  libgtest-dev libbenchmark-dev         # tests and benchmarks
  libfltk1.3-dev libx11-dev             # the progress dialog
  libinih-dev                           # settings files
  xvfb xauth xdotool x11-utils          # window tests under a virtual display
  systemd dpkg-dev lintian              # checking the units (systemd-analyze); cpack -G DEB and its check
  ncompress gzip zstd time              # benchmark comparisons
  acl                                   # setfacl for the permission tests
  clang-format                          # scripts/check-format.sh
  g++-mingw-w64-x86-64-posix googletest # the Windows build and its GoogleTest
  wine wine64                           # the Windows build's tests
)
if [[ -n "${TAMBLE_EXTRA_PACKAGES:-}" ]]; then
  read -r -a extra <<<"$TAMBLE_EXTRA_PACKAGES"
  packages+=("${extra[@]}")
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "deps: installing ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
