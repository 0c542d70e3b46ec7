#!/usr/bin/env bash
# A link in the working folder that leads outside it is a leaf: a patch
# entry whose path goes through it is refused by patch.exe (exit 1, wpt0008
# and wpt0036 in the log) and by the host applypatch (exit 1), and nothing on
# either side of the link changes. And patch.exe writes nothing through a
# link at a name it writes (its log, its journal, a work file, a backup
# folder, a target): the user's file the link leads to stays as it was.
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

# write_case NAME CODE LOG_PATTERN SETUP: patch.exe on a tree (app.txt and
# lib/core.txt changed) where SETUP, run in the working folder, has put
# links to the user's files in ../outside (user.txt, and core.txt holding
# lib/core.txt's old content); CODE is the exit code, LOG_PATTERN a line of
# the log. The user's files must stay as they were.
write_case() {
  local name=$1 want=$2 pattern=$3 setup=$4 c=$scratch/$1
  mkdir -p "$c/old/lib" "$c/new/lib" "$c/outside"
  echo v1 >"$c/old/app.txt"
  echo v2 >"$c/new/app.txt"
  echo c1 >"$c/old/lib/core.txt"
  echo c2 >"$c/new/lib/core.txt"
  "$mkpatch" "$c/old" "$c/new" "$c/p.rtp" >/dev/null
  echo "the user's" >"$c/outside/user.txt"
  echo c1 >"$c/outside/core.txt"
  cp -a "$c/old" "$c/work"
  (cd "$c/work" && eval "$setup")
  local code why=""
  set +e
  (cd "$c/work" && "$runner" "$engine" -e "Z:${c//\//\\}\\p.rtp" >"$c/out" 2>&1)
  code=$?
  set -e
  [ "$code" = "$want" ] || why="exit code $code, expected $want"
  grep -q "$pattern" "$c/work/patch.err" "$c/out" 2>/dev/null || why="$why; no '$pattern' in the log"
  [ "$(cat "$c/outside/user.txt")" = "the user's" ] && [ "$(cat "$c/outside/core.txt")" = c1 ] ||
    why="$why; wrote through a link"
  case $name in log-*) [ "$(stat -c %h "$c/outside/user.txt")" = 1 ] || why="$why; the log is the user's file" ;; esac
  if [ -n "$why" ]; then
    echo "FAIL $name: $why"
    cat "$c/work/patch.err"
    fail=1
  fi
}

rm -rf "$scratch"
write_case log-hardlink 0 "update complete" 'ln ../outside/user.txt patch.err'
# A symbolic link at the log's name is refused, not deleted: Wine deletes the
# file a link to a file leads to. Nothing is patched without a log.
write_case log-symlink 1 "wpt0009.*patch.err.*a link" 'ln -s ../outside/user.txt patch.err'
write_case journal-hardlink 3 "wpt0013.*patch.jnl" 'ln ../outside/user.txt patch.jnl'
write_case journal-symlink 3 "wpt0013.*patch.jnl (a link)" 'ln -s ../outside/user.txt patch.jnl'
write_case work-symlink 1 "wpt0026.*app.txt.~dvnew" 'ln -s ../outside/user.txt app.txt.~dvnew'
write_case work-hardlink 1 "wpt0026.*app.txt.~dvnew" 'ln ../outside/user.txt app.txt.~dvnew'
write_case backup-symlink 0 "update complete" 'mkdir ../outside/bak && echo mine >../outside/bak/0.old &&
  ln -s ../outside/bak "~patch.bak" && ln ../outside/user.txt ../outside/bak/1.old'
write_case target-hardlink 0 "update complete" 'rm lib/core.txt && ln ../outside/core.txt lib/core.txt'
[ "$(cat "$scratch/backup-symlink/outside/bak/0.old")" = mine ] && [ -L "$scratch/backup-symlink/work/~patch.bak" ] &&
  [ ! -e "$scratch/backup-symlink/work/~patch.bak.1" ] || { echo "FAIL backup-symlink: the folder behind the link or the run's own changed"; fail=1; }
[ "$(cat "$scratch/target-hardlink/work/lib/core.txt")" = c2 ] || { echo "FAIL target-hardlink: not patched"; fail=1; }
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
[ "$fail" = 0 ] && echo "every link refused or left alone"
exit "$fail"
