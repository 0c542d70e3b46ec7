#!/usr/bin/env bash
# A link in the working folder that leads outside it is a leaf: a patch
# entry whose path goes through it is refused by patch.exe (exit 1, wpt0008
# and wpt0036 in the log) and by the host applypatch (exit 1), and nothing on
# either side of the link changes.
# Usage: links.sh MKPATCH PATCH_EXE SCRATCH [APPLYPATCH]
set -euo pipefail
mkpatch=$1 engine=$2 scratch=$3 applypatch=${4:-$(dirname "$1")/applypatch}
here=$(cd "$(dirname "$0")" && pwd)
runner=$here/../../cmake/wine-run.sh
[ -x "$mkpatch" ] || { echo "no host builder at $mkpatch"; exit 1; }
[ -x "$applypatch" ] || { echo "no host applypatch at $applypatch"; exit 1; }
fail=0

# case NAME: the old and new trees are made by the caller in $c/old and
# $c/new; the working folder is the old tree with "lnk" a link to $c/outside
# (which holds shared.txt).
run_case() {
  local name=$1 c=$scratch/$1
  "$mkpatch" "$c/old" "$c/new" "$c/p.rtp" >/dev/null
  for applier in engine host; do
    local w=$c/work-$applier
    rm -rf "$w" "$c/outside"
    mkdir -p "$c/outside"
    echo shared >"$c/outside/shared.txt"
    cp -a "$c/old" "$w"
    rm -rf "$w/lnk"
    ln -s "$c/outside" "$w/lnk"
    local before code
    before=$(cd "$w" && find . -path ./patch.err -prune -o -print | sort | xargs -d '\n' ls -ld --time-style=+ | md5sum)
    set +e
    if [ "$applier" = engine ]; then
      (cd "$w" && "$runner" "$engine" -e -noc "Z:${c//\//\\}\\p.rtp" >/dev/null 2>&1)
    else
      "$applypatch" "$w" "$c/p.rtp" >"$c/host.out" 2>&1
    fi
    code=$?
    set -e
    local why=""
    [ "$code" = 1 ] || why="exit code $code, expected 1"
    if [ "$applier" = engine ]; then
      grep -q "wpt0008.*lnk" "$w/patch.err" || why="$why; no wpt0008 for the link"
      [ "$(tail -n 1 "$w/patch.err" | cut -c1-7)" = wpt0036 ] || why="$why; wpt0036 is not the last line"
    fi
    [ "$(ls "$c/outside")" = shared.txt ] && [ "$(cat "$c/outside/shared.txt")" = shared ] || why="$why; wrote through the link"
    [ "$(cd "$w" && find . -path ./patch.err -prune -o -print | sort | xargs -d '\n' ls -ld --time-style=+ | md5sum)" = "$before" ] ||
      why="$why; the working folder changed"
    if [ -n "$why" ]; then
      echo "FAIL $name ($applier): $why"
      [ -f "$w/patch.err" ] && cat "$w/patch.err"
      fail=1
    fi
  done
}

rm -rf "$scratch"
# A folder the patch keeps, whose place in the working folder is a link: the
# patch adds lnk/evil.txt and changes app.txt.
c=$scratch/kept
mkdir -p "$c/old/lnk" "$c/new/lnk"
echo shared >"$c/old/lnk/shared.txt"
echo shared >"$c/new/lnk/shared.txt"
echo planted >"$c/new/lnk/evil.txt"
echo v1 >"$c/old/app.txt"
echo v2 >"$c/new/app.txt"
run_case kept
# A folder the patch makes where a link already is: it makes "lnk" and adds
# lnk/x.
c=$scratch/made
mkdir -p "$c/old" "$c/new/lnk"
echo v1 >"$c/old/app.txt"
echo v2 >"$c/new/app.txt"
echo planted >"$c/new/lnk/x"
run_case made
# A folder the patch removes, with its files, where a link is.
c=$scratch/removed
mkdir -p "$c/old/lnk" "$c/new"
echo shared >"$c/old/lnk/shared.txt"
echo v1 >"$c/old/app.txt"
echo v2 >"$c/new/app.txt"
run_case removed
[ "$fail" = 0 ] && echo "every link refused"
exit "$fail"
