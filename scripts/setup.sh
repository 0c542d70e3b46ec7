#!/usr/bin/env bash
# Installs, from Debian's packages, everything the project builds and tests
# with. Quick when all is present already.
set -euo pipefail
pkgs=(cmake g++ make g++-mingw-w64-i686 mingw-w64-tools libz-mingw-w64-dev
      wine wine32:i386 wine64 fonts-wine xvfb xdotool imagemagick
      googletest libgtest-dev libdivsufsort-dev zlib1g-dev libssl-dev
      bsdiff xdelta3 zstd time python3 procps file osslsigncode openssl)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "setup: installing ${missing[*]}" >&2
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
