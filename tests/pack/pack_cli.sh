#!/usr/bin/env bash
# The pack command line: append, list, check, and their failures.
set -u
pack=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

head -c 4096 /dev/zero > "$dir/updater.exe"
printf 'library' > "$dir/dll"; printf 'K*\x9a\x01three' > "$dir/p3"
printf 'K*\x9a\x01two' > "$dir/p2"; printf 'K*\x9a\x01one' > "$dir/p1"; printf 'engine' > "$dir/exe"

"$pack" append "$dir/updater.exe" "$dir/out.exe" PDLL="$dir/dll" RTP3="$dir/p3" RTP2="$dir/p2" \
  RTP1="$dir/p1" PEXE="$dir/exe" || fail "append"
cmp -n 4096 "$dir/updater.exe" "$dir/out.exe" || fail "the image is copied unchanged"
"$pack" check "$dir/out.exe" PDLL RTP3 RTP2 RTP1 PEXE || fail "check of a sound container"
"$pack" list "$dir/out.exe" > "$dir/list" || fail "list"
first=$(head -1 "$dir/list" | tr -s ' ')
[ "$first" = "PEXE 4174 6" ] || fail "list shows the last block first: '$first'"
[ "$(grep -c '^[A-Z0-9]' "$dir/list")" = 6 ] || fail "five blocks and a closing line"

"$pack" check "$dir/out.exe" PEXE NONE 2>/dev/null && fail "missing tag must fail"
"$pack" append "$dir/updater.exe" "$dir/bad.exe" P-X="$dir/exe" 2>/dev/null && fail "bad tag accepted"
"$pack" append "$dir/updater.exe" "$dir/bad.exe" PEXE="$dir/none" 2>/dev/null && fail "missing payload accepted"
[ -e "$dir/bad.exe" ] && fail "no output after a failed append"
"$pack" frob 2>/dev/null; [ $? = 2 ] || fail "unknown command"

# Damage the last head tag: check and list both report it.
cp "$dir/out.exe" "$dir/damaged.exe"
size=$(stat -c %s "$dir/damaged.exe")
printf 'X' | dd of="$dir/damaged.exe" bs=1 seek=$((size - 18)) conv=notrunc 2>/dev/null
"$pack" check "$dir/damaged.exe" PEXE 2>/dev/null && fail "damaged container passed"
"$pack" list "$dir/damaged.exe" >/dev/null && fail "list of a damaged container exits 0"

# An image whose own end reads as a trailer gets 8 zero bytes before the first block.
{ head -c 40 /dev/zero; printf 'ABCD\x10\x00\x00\x00'; } > "$dir/odd.exe"
"$pack" append "$dir/odd.exe" "$dir/odd-out.exe" PEXE="$dir/exe" 2>/dev/null || fail "append to odd image"
[ "$(stat -c %s "$dir/odd-out.exe")" = $((48 + 8 + 6 + 12)) ] || fail "padding"
"$pack" check "$dir/odd-out.exe" PEXE || fail "padded container"
# In place: the file itself receives the blocks.
cp "$dir/updater.exe" "$dir/inplace.exe"
"$pack" append "$dir/inplace.exe" PDLL="$dir/dll" RTP3="$dir/p3" RTP2="$dir/p2" RTP1="$dir/p1" \
  PEXE="$dir/exe" || fail "append in place"
cmp "$dir/out.exe" "$dir/inplace.exe" || fail "in place gives the same bytes"
"$pack" append "$dir/inplace.exe" 2>/dev/null; [ $? = 2 ] || fail "append without blocks"
# Blocks appended in two runs are all found; a tag twice, or a folder as a payload, is refused.
cp "$dir/updater.exe" "$dir/twice.exe"
"$pack" append "$dir/twice.exe" RTP1="$dir/p1" && "$pack" append "$dir/twice.exe" RTP2="$dir/p2" || fail "two appends"
"$pack" check "$dir/twice.exe" RTP1 RTP2 >/dev/null || fail "blocks of the first append hidden"
"$pack" append "$dir/twice.exe" RTP1="$dir/p3" 2>/dev/null && fail "a tag appended twice"
"$pack" append "$dir/updater.exe" "$dir/bad.exe" PEXE="$dir" 2>/dev/null && fail "a folder packed as a payload"
# Signing: refused without blocks; a failed osslsigncode run (no PE image, no
# certificate) leaves no output behind. The signed updater: tests/e2e/signed_updater.sh.
"$pack" sign --cert "$dir/none" --key "$dir/none" "$dir/updater.exe" "$dir/s.exe" 2>/dev/null; [ $? = 1 ] || fail "sign without blocks"
"$pack" sign --cert "$dir/none" --key "$dir/none" "$dir/out.exe" "$dir/s.exe" >/dev/null 2>&1; [ $? = 2 ] || fail "sign that fails"
[ -n "$(ls "$dir" | grep '^s\.exe')" ] && fail "output left after a failed sign"
"$pack" sign "$dir/out.exe" "$dir/s.exe" 2>/dev/null; [ $? = 2 ] || fail "sign usage"
echo "pack CLI: all passed"
