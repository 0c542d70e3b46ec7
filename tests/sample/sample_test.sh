#!/usr/bin/env bash
# The sample versions: written the same twice, real binaries that differ
# between versions, and the three patches, applied in order to what the
# install folder holds at each step, give 5.0.3 byte for byte.
#   sample_test.sh GENERATOR MKPATCH APPLYPATCH WORKDIR
set -euo pipefail
gen=$1 mkpatch=$2 applypatch=$3 work=$4
rm -rf "$work"; mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

python3 "$gen" "$work/a" --mkpatch "$mkpatch" >/dev/null
python3 "$gen" "$work/b" --mkpatch "$mkpatch" >/dev/null
diff -r "$work/a" "$work/b" >/dev/null || fail "two runs wrote different bytes"

s=$work/a
for v in 5.0/install 5.0.1 5.0.2 5.0.3; do
  [ "$(head -c 2 "$s/$v/Kestrin.exe")" = "MZ" ] || fail "$v: Kestrin.exe is not a program"
done
cmp -s "$s/5.0/install/Kestrin.exe" "$s/5.0.1/Kestrin.exe" && fail "Kestrin.exe unchanged in 5.0.1"
cmp -s "$s/5.0.1/Kestrin.exe" "$s/5.0.2/Kestrin.exe" && fail "Kestrin.exe unchanged in 5.0.2"
cmp -s "$s/5.0.2/Kestrin.exe" "$s/5.0.3/Kestrin.exe" && fail "Kestrin.exe unchanged in 5.0.3"
[ -f "$s/5.0.2/KSChart.dll" ] && [ ! -f "$s/5.0.1/KSChart.dll" ] || fail "KSChart.dll not added in 5.0.2"
[ -f "$s/5.0.2/KSSpell.dll" ] && [ ! -f "$s/5.0.3/KSSpell.dll" ] || fail "KSSpell.dll not removed in 5.0.3"
for f in "Kestrin 4 to 3 Converter.exe" "Kestrin 4 to 3 Converter.ksd" ReadMe.ksd USENGLSH.DIC \
         UnInst.isu UnInsdll.dll KSReg.dat; do
  [ -f "$s/5.0/install/$f" ] || fail "5.0 lacks $f"
done
for p in "Assistants Cache" ButtonBars Stationery Macros Preferences "Assistant Prefs" Assistant Palettes; do
  [ -f "$s/5.0/shared/Kestrin 5 $p.prf" ] || fail "shared folder lacks Kestrin 5 $p.prf"
  [ -f "$s/final/shared/Dovetra 5 $p.prf" ] || fail "final shared folder lacks Dovetra 5 $p.prf"
  [ -e "$s/final/install/Kestrin 5 $p.prf" ] && fail "final install folder keeps Kestrin 5 $p.prf"
done
[ -f "$s/5.0/shared/WMF.F32" ] && [ -d "$s/5.0/shared/Kestrin Labels" ] || fail "shared folder incomplete"
[ -f "$s/final/install/Dovetra.exe" ] && [ ! -e "$s/final/install/Kestrin.exe" ] || fail "final: no Dovetra.exe"
cmp -s "$s/5.0.3/Kestrin.exe" "$s/final/install/Dovetra.exe" || fail "final: Dovetra.exe is not 5.0.3's"

# The chain, as the updater runs it: shared folder copied in, then each patch.
tree=$work/chain
cp -a "$s/5.0/install" "$tree"
cp -a "$s/5.0/shared/." "$tree/"
diff -r "$tree" "$s/5.0/merged" >/dev/null || fail "merged tree differs from install + shared"
for step in "UpdV1-V1.RTP 5.0.1" "UpdV1-V2.RTP 5.0.2" "UpdV2-V3.RTP 5.0.3"; do
  set -- $step
  "$applypatch" "$tree" "$s/patches/$1" || fail "applypatch $1"
  diff -r "$tree" "$s/$2" >/dev/null || fail "after $1 the tree is not $2"
done
# A patch applied to the wrong version is refused. (That the folder is then
# left as it was is the Windows engine's promise, checked end to end.)
cp -a "$s/5.0.1" "$work/wrong"
if "$applypatch" "$work/wrong" "$s/patches/UpdV2-V3.RTP" 2>/dev/null; then fail "UpdV2-V3.RTP applied to 5.0.1"; fi
echo "sample versions: ok"
