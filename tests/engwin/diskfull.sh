#!/usr/bin/env bash
# A full disk in the middle of a run: the working folder is a small tmpfs,
# and a new file does not fit. The run must fail with "wpt0028", undo what
# it did and leave the folder byte for byte as it was. Needs the right to
# mount; exits 77 (skipped) without it.
# Usage: diskfull.sh MKPATCH PATCH_EXE SCRATCH
set -euo pipefail
mkpatch=$1 engine=$2 scratch=$3
here=$(cd "$(dirname "$0")" && pwd)
runner=$here/../../cmake/wine-run.sh
[ -x "$mkpatch" ] || { echo "no host builder at $mkpatch"; exit 1; }
mountpoint -q "$scratch/small" 2>/dev/null && umount "$scratch/small"
rm -rf "$scratch"; mkdir -p "$scratch/old" "$scratch/new" "$scratch/small"
if ! mount -t tmpfs -o size=1m tmpfs "$scratch/small" 2>/dev/null; then
  echo "cannot mount a small file system here: skipped"; exit 77
fi
trap 'umount "$scratch/small"' EXIT
python3 - "$scratch" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(5)
def put(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb").write(data)
for name in ("a.txt", "b.txt"):
    put(os.path.join(root, "old", name), b"old " + name.encode())
    put(os.path.join(root, "new", name), b"new " + name.encode())
put(os.path.join(root, "old", "big.bin"), rng.randbytes(256 << 10))
put(os.path.join(root, "new", "big.bin"), rng.randbytes(900 << 10))
PY
"$mkpatch" "$scratch/old" "$scratch/new" "$scratch/p.rtp" >/dev/null 2>&1
cp -r "$scratch/old/." "$scratch/small/"
set +e
(cd "$scratch/small" && "$runner" "$engine" -e -v -noc "..\\p.rtp" >/dev/null 2>&1)
code=$?
set -e
log=$(cat "$scratch/small/patch.err")
echo "$log"
[ "$code" = 1 ] || { echo "exit code $code, expected 1"; exit 1; }
grep -q wpt0028 <<<"$log" || { echo "no wpt0028 in the log"; exit 1; }
[ "$(grep -c wpt0036 <<<"$log")" = 1 ] || { echo "wpt0036 not logged once"; exit 1; }
rm "$scratch/small/patch.err"
diff -r "$scratch/old" "$scratch/small" || { echo "folder changed"; exit 1; }
echo "disk full: refused and undone"
