#!/usr/bin/env bash
# The updater as it ships, for the sample Kestrin versions: writes the sample
# 5.0 .. 5.0.3 trees and their three patches (sample/make_versions.py, with
# the host build's mkpatch), then packs the built updater with the real
# engine and those patches.
#   pack-sample.sh BUILD_ROOT OUT_DIR [BASE]   (BUILD_ROOT holds win/ and host/;
#                                               BASE: the updater to pack, by
#                                               default win/app/updater.exe)
# Writes OUT_DIR/sample/... and OUT_DIR/DV503Updater.exe.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 2 ] || { sed -n 2,10p "$0" >&2; exit 2; }
root=$1 out=$2 base=${3:-$1/win/app/updater.exe}
mkdir -p "$out"
python3 "$top/sample/make_versions.py" "$out/sample" --mkpatch "$root/host/tools/mkpatch" \
  >"$out/sample.log" 2>&1 || { cat "$out/sample.log" >&2; exit 1; }
p=$out/sample/patches
"$root/host/tools/pack/pack" append "$base" "$out/DV503Updater.exe" \
  PEXE="$root/win/engine/win/patch.exe" PDLL="$root/win/engine/win/patchw32.dll" \
  RTP3="$p/UpdV1-V1.RTP" RTP1="$p/UpdV1-V2.RTP" RTP2="$p/UpdV2-V3.RTP" >/dev/null
