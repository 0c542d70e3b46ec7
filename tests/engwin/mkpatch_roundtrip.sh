#!/usr/bin/env bash
# Delta patches made by the host builder from generated trees (fixed seeds),
# applied by patch.exe under Wine: the result must equal the new tree byte
# for byte, and a second apply must succeed and change nothing.
# Usage: mkpatch_roundtrip.sh MKPATCH PATCH_EXE SCRATCH
set -euo pipefail
mkpatch=$1 engine=$2 scratch=$3
here=$(cd "$(dirname "$0")" && pwd)
runner=$here/../../cmake/wine-run.sh
if [ ! -x "$mkpatch" ]; then echo "no host builder at $mkpatch (build the host tree first)"; exit 1; fi
rm -rf "$scratch"; mkdir -p "$scratch"
python3 - "$scratch" <<'PY'
import os, random, sys
root = sys.argv[1]
def tree(path, files):
    for rel, data in files.items():
        full = os.path.join(path, *rel.split("/"))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        open(full, "wb").write(data)
for seed in (1, 2, 3):
    rng = random.Random(seed)
    old, new = {}, {}
    for i in range(30):
        folder = rng.choice(["", "bin/", "res/", "res/img/"])
        data = rng.randbytes(rng.randrange(0, 4000))
        old[folder + "f%d.bin" % i] = data
        kind = rng.randrange(4)
        if kind == 0: continue                      # removed
        if kind == 1 and data:                      # edited in the middle
            at = rng.randrange(len(data))
            data = data[:at] + b"inserted" + data[at + 1:]
        new[folder + "f%d.bin" % i] = data
    base = rng.randbytes(3 << 20)
    old["big.dat"] = base
    new["big.dat"] = base[:1000000] + b"patched" * 100 + base[1000700:] + b"tail"
    new["added/empty.txt"] = b""
    # New and compressible: the builder may code it as a delta against
    # nothing, which the engine must build without an old file.
    new["added/notes.txt"] = b"".join(b"line %d of the notes\r\n" % i for i in range(4000))
    tree(os.path.join(root, "old%d" % seed), old)
    tree(os.path.join(root, "new%d" % seed), new)
PY
for seed in 1 2 3; do
  summary=$("$mkpatch" "$scratch/old$seed" "$scratch/new$seed" "$scratch/p$seed.rtp" 2>&1 | tail -1)
  cp -r "$scratch/old$seed" "$scratch/work$seed"
  for pass in 1 2; do
    (cd "$scratch/work$seed" && "$runner" "$engine" -e -i -v -noc "..\\p$seed.rtp" >/dev/null 2>&1) || {
      echo "seed $seed pass $pass: engine failed"; cat "$scratch/work$seed/patch.err"; exit 1; }
    if grep -qi wpt0036 "$scratch/work$seed/patch.err"; then echo "seed $seed: wpt0036 logged"; exit 1; fi
    rm "$scratch/work$seed/patch.err"
    diff -r "$scratch/new$seed" "$scratch/work$seed" || { echo "seed $seed pass $pass: trees differ"; exit 1; }
  done
  echo "seed $seed applied and re-applied: $summary"
done
