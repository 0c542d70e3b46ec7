#!/usr/bin/env bash
# mkpatch and applypatch as a user runs them: exit codes, messages, a round
# trip, a patch applied to the wrong tree, and a patch applied twice.
# Usage: cli_test.sh MKPATCH APPLYPATCH SCRATCH
set -u
mk=$1 ap=$2 dir=$3
rm -rf "$dir"
mkdir -p "$dir/old/sub" "$dir/new/sub" "$dir/new/added"
fail=0
check() {  # check DESCRIPTION EXPECTED_CODE COMMAND...
  local what=$1 want=$2
  shift 2
  "$@" >"$dir/out" 2>&1
  local got=$?
  if [ "$got" != "$want" ]; then
    echo "FAIL: $what: exit $got, expected $want"
    cat "$dir/out"
    fail=1
  fi
}

printf 'hello old world\n' >"$dir/old/a.txt"
printf 'gone\n' >"$dir/old/sub/gone.txt"
head -c 100000 /dev/zero | tr '\0' x >"$dir/old/big.bin"
printf 'hello new world\n' >"$dir/new/a.txt"
head -c 100000 /dev/zero | tr '\0' x | sed 's/xxxxx/xxxxy/5000' >"$dir/new/big.bin"
: >"$dir/new/added/empty"

check "no arguments" 2 "$mk"
check "bad window" 2 "$mk" "$dir/old" "$dir/new" "$dir/p.rtp" --window 0
check "missing old tree" 1 "$mk" "$dir/nothere" "$dir/new" "$dir/p.rtp"
check "build" 0 "$mk" "$dir/old" "$dir/new" "$dir/p.rtp"
grep -q "2 changed, 1 added, 1 removed" "$dir/out" || { echo "FAIL: summary: $(cat "$dir/out")"; fail=1; }
[ "$(head -c 4 "$dir/p.rtp" | od -An -tx1 | tr -d ' ')" = "4b2a9a01" ] || { echo "FAIL: magic"; fail=1; }

check "applypatch without arguments" 2 "$ap"
cp -a "$dir/old" "$dir/work"
check "apply" 0 "$ap" "$dir/work" "$dir/p.rtp"
diff -r "$dir/work" "$dir/new" || { echo "FAIL: applied tree differs"; fail=1; }
check "apply twice" 1 "$ap" "$dir/work" "$dir/p.rtp"
grep -q "not the file the patch expects\|already exists" "$dir/out" || { echo "FAIL: second apply: $(cat "$dir/out")"; fail=1; }

# Names beside the targets are not the applier's to write through or over;
# a changed file keeps its mode.
cp -a "$dir/old" "$dir/beside"
printf 'outside\n' >"$dir/victim"
ln -s ../victim "$dir/beside/a.txt.patchnew"
printf 'mine\n' >"$dir/beside/big.bin.patchnew"
chmod 755 "$dir/beside/a.txt"
check "apply beside others' files" 0 "$ap" "$dir/beside" "$dir/p.rtp"
[ "$(cat "$dir/victim")$(cat "$dir/beside/big.bin.patchnew")" = outsidemine ] && [ -L "$dir/beside/a.txt.patchnew" ] &&
  [ ! -L "$dir/beside/a.txt" ] && [ -x "$dir/beside/a.txt" ] && cmp -s "$dir/beside/a.txt" "$dir/new/a.txt" ||
  { echo "FAIL: files beside the targets or the mode"; fail=1; }

# A name at the file system's limit (255 bytes): its temporary takes a short
# name of its own.
long=$(printf 'n%.0s' $(seq 251)).txt
mkdir -p "$dir/lold" "$dir/lnew"
echo v1 >"$dir/lold/$long"
echo v2 >"$dir/lnew/$long"
check "build, a name at the limit" 0 "$mk" "$dir/lold" "$dir/lnew" "$dir/long.rtp"
check "apply, a name at the limit" 0 "$ap" "$dir/lold" "$dir/long.rtp"
diff -r "$dir/lold" "$dir/lnew" || { echo "FAIL: name at the limit"; fail=1; }

cp -a "$dir/old" "$dir/wrong"
printf 'edited by the user\n' >"$dir/wrong/a.txt"
check "wrong tree" 1 "$ap" "$dir/wrong" "$dir/p.rtp"

head -c 100 "$dir/p.rtp" >"$dir/short.rtp"
check "truncated patch" 1 "$ap" "$dir/old" "$dir/short.rtp"
grep -q "truncated" "$dir/out" || { echo "FAIL: truncated message: $(cat "$dir/out")"; fail=1; }
exit $fail
