#!/usr/bin/env bash
# The updater as it ships, for the sample Kestrin versions: the sample 5.0 ..
# 5.0.3 trees and their three patches (sample/make_versions.py, with the host
# build's mkpatch), and the built updater packed with the real engine and
# those patches.
#   pack-sample.sh BUILD_ROOT OUT_DIR [BASE]   (BUILD_ROOT holds win/ and host/;
#                                               BASE: the updater to pack, by
#                                               default win/app/updater.exe)
#   pack-sample.sh BUILD_ROOT                  prints the sample's folder
# Writes OUT_DIR/DV503Updater.exe and OUT_DIR/sample, a link to the sample.
# Both are made once per build under BUILD_ROOT/stage, named after what they
# are made from (the generator, mkpatch and Wine's binaries for the sample;
# BASE, the engine and the pack tool besides for the updater), and shared by
# every test that asks: the sample is only read, the updater copied. Two
# asking at once make them once.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { sed -n 2,15p "$0" >&2; exit 2; }
root=$1 out=${2:-} base=${3:-$1/win/app/updater.exe}
stage=$root/stage
mkdir -p "$stage"
exec 9>"$stage/.lock"
flock 9

key() { sha256sum "$@" | cut -c1-64 | sha256sum | cut -c1-16; }
wine_bins=/usr/lib/i386-linux-gnu/wine/i386-windows
sample=$stage/sample-$(ls -l --time-style=+%s "$wine_bins" | key - "$top/sample/make_versions.py" "$root/host/tools/mkpatch")
if [ ! -d "$sample" ]; then
  rm -rf "$stage"/sample-* "$stage"/updater-*
  python3 "$top/sample/make_versions.py" "$sample.new" --mkpatch "$root/host/tools/mkpatch" \
    >"$stage/sample.log" 2>&1 || { cat "$stage/sample.log" >&2; exit 1; }
  mv "$sample.new" "$sample"  # whole or not at all
fi
[ -n "$out" ] || { echo "$sample"; exit 0; }

engine=$root/win/engine/win
p=$sample/patches
name=updater-$(basename "$base" .exe)
updater=$stage/$name-$(key "$base" "$engine/patch.exe" "$engine/patchw32.dll" "$root/host/tools/pack/pack" \
                               "$p/UpdV1-V1.RTP" "$p/UpdV1-V2.RTP" "$p/UpdV2-V3.RTP").exe
if [ ! -f "$updater" ]; then
  rm -f "$stage/$name"-*
  "$root/host/tools/pack/pack" append "$base" "$updater.new" \
    PEXE="$engine/patch.exe" PDLL="$engine/patchw32.dll" \
    RTP3="$p/UpdV1-V1.RTP" RTP1="$p/UpdV1-V2.RTP" RTP2="$p/UpdV2-V3.RTP" >/dev/null
  mv "$updater.new" "$updater"
fi
mkdir -p "$out"
rm -rf "$out/sample"; ln -s "$sample" "$out/sample"
cp "$updater" "$out/DV503Updater.exe"
