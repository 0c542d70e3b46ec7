#!/usr/bin/env bash
# The sample Kestrin installations and their three patches, applied by
# patch.exe under Wine the way the updater runs it: engine and patches in a
# temp folder, bare patch names, the install folder as working folder. Each
# step must give the next version byte for byte; a patch applied to the
# wrong version must fail with "wpt0036" and leave the folder as it was.
# Usage: sample_chain.sh GENERATOR MKPATCH PATCH_EXE SCRATCH (MKPATCH: the one
# in BUILD_ROOT/host/tools, whose sample scripts/pack-sample.sh stages)
set -euo pipefail
gen=$1 mkpatch=$2 engine=$3 scratch=$4
here=$(cd "$(dirname "$0")" && pwd)
runner=$here/../../cmake/wine-run.sh
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -x "$mkpatch" ] || fail "no host builder at $mkpatch"
rm -rf "$scratch"; mkdir -p "$scratch/temp"
# The sample as the end-to-end tests use it, made once per build.
s=$("$here/../../scripts/pack-sample.sh" "$(cd "$(dirname "$mkpatch")/../.." && pwd)")
cp "$engine" "$(dirname "$engine")/patchw32.dll" "$scratch/temp/"
cp "$s"/patches/*.RTP "$scratch/temp/"
exe=$scratch/temp/patch.exe

apply() {  # apply FOLDER PATCHNAME: runs the engine, leaves its exit code in $code
  set +e
  (cd "$1" && "$runner" "$exe" -e -i -v -noc "$2" >/dev/null 2>&1)
  code=$?
  set -e
}

tree=$scratch/install
cp -a "$s/5.0/merged" "$tree"
for step in "UpdV1-V1.RTP 5.0.1" "UpdV1-V2.RTP 5.0.2" "UpdV2-V3.RTP 5.0.3"; do
  set -- $step
  apply "$tree" "$1"
  [ "$code" = 0 ] || { cat "$tree/patch.err"; fail "$1 exit code $code"; }
  grep -qi wpt0036 "$tree/patch.err" && fail "$1 logged wpt0036"
  mv "$tree/patch.err" "$scratch/$1.err"
  diff -r "$tree" "$s/$2" >/dev/null || fail "after $1 the tree is not $2"
done
echo "chain 5.0 -> 5.0.3 applied by patch.exe"

wrong=$scratch/wrong
cp -a "$s/5.0.1" "$wrong"
apply "$wrong" UpdV2-V3.RTP
[ "$code" = 1 ] || fail "UpdV2-V3.RTP on 5.0.1: exit code $code"
[ "$(grep -ci wpt0036 "$wrong/patch.err")" = 1 ] || fail "wpt0036 not logged once"
rm "$wrong/patch.err"
diff -r "$wrong" "$s/5.0.1" >/dev/null || fail "the refused patch changed the folder"
echo "wrong version refused, folder unchanged"
