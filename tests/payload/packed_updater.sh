#!/usr/bin/env bash
# The host's pack tool and the updater's reader agree: the built updater.exe
# is packed with five blocks, and every block comes back out byte for byte
# through the updater's own extraction, run under Wine.
# Usage: packed_updater.sh BUILD_WIN_DIR
set -u
win=$1
pack=$win/../host/tools/pack/pack
updater=$win/app/updater.exe
tool=$win/tests/payload/extract_tool.exe
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -x "$pack" ] || [ ! -f "$updater" ]; then
  echo "host pack tool or updater.exe not built; skipped"
  exit 0
fi
dir=$win/tests/payload/scratch-packed
rm -rf "$dir"; mkdir -p "$dir"
fail() { echo "FAIL: $*"; exit 1; }

# Payloads of awkward sizes, from a fixed seed.
python3 - "$dir" <<'PY'
import random, sys
r = random.Random(20261206)
for tag, n in [("PDLL", 141824), ("RTP3", 1312), ("RTP2", 4097), ("RTP1", 0), ("PEXE", 34816)]:
    open(f"{sys.argv[1]}/{tag}.bin", "wb").write(bytes(r.randrange(256) for _ in range(n)))
PY
"$pack" append "$updater" "$dir/packed.exe" PDLL="$dir/PDLL.bin" RTP3="$dir/RTP3.bin" \
  RTP2="$dir/RTP2.bin" RTP1="$dir/RTP1.bin" PEXE="$dir/PEXE.bin" || fail "pack append"
"$pack" check "$dir/packed.exe" PDLL RTP3 RTP2 RTP1 PEXE || fail "pack check"
size=$(stat -c %s "$updater")
cmp -n "$size" "$updater" "$dir/packed.exe" || fail "the image is changed"

for tag in PDLL RTP3 RTP2 RTP1 PEXE; do
  code=$("$here/../../cmake/wine-run.sh" "$tool" "$dir/packed.exe" "$tag" "$dir/$tag.out" | tr -d '\r')
  [ "$code" = 0 ] || fail "extraction of $tag gave code $code"
  cmp "$dir/$tag.bin" "$dir/$tag.out" || fail "$tag differs"
done
code=$("$here/../../cmake/wine-run.sh" "$tool" "$updater" PEXE "$dir/none.out" | tr -d '\r')
[ "$code" = 5 ] || fail "the bare updater has no blocks (ExtractCode::kNoBlock), got code $code"
rm -rf "$dir"
echo "packed updater: all blocks round-trip"
