#!/usr/bin/env bash
# A link inside the working folder that leads outside it: a patch entry that
# would write through it is refused, and nothing on either side changes.
# Usage: links.sh MKPATCH PATCH_EXE SCRATCH
set -euo pipefail
mkpatch=$1 engine=$2 scratch=$3
here=$(cd "$(dirname "$0")" && pwd)
runner=$here/../../cmake/wine-run.sh
[ -x "$mkpatch" ] || { echo "no host builder at $mkpatch"; exit 1; }
rm -rf "$scratch"; mkdir -p "$scratch"/{old/data,new/data,outside,work}
echo "shared" > "$scratch/old/data/shared.txt"
echo "shared" > "$scratch/new/data/shared.txt"
echo "planted" > "$scratch/new/data/evil.txt"
echo "v1" > "$scratch/old/app.txt"
echo "v2" > "$scratch/new/app.txt"
"$mkpatch" "$scratch/old" "$scratch/new" "$scratch/p.rtp" >/dev/null 2>&1
# The working folder's "data" is a link to a folder outside it.
cp "$scratch/old/app.txt" "$scratch/work/"
cp "$scratch/old/data/shared.txt" "$scratch/outside/"
ln -s "$scratch/outside" "$scratch/work/data"
set +e
(cd "$scratch/work" && "$runner" "$engine" -e -noc "..\\p.rtp" >/dev/null 2>&1)
code=$?
set -e
cat "$scratch/work/patch.err"
[ "$code" = 1 ] || { echo "exit code $code, expected 1"; exit 1; }
grep -q "wpt0008.*data" "$scratch/work/patch.err" || { echo "no wpt0008 for the link"; exit 1; }
[ ! -e "$scratch/outside/evil.txt" ] || { echo "wrote through the link"; exit 1; }
[ "$(cat "$scratch/work/app.txt")" = v1 ] || { echo "app.txt changed"; exit 1; }
echo "link refused"
