#!/usr/bin/env bash
# The machine is the truth: a row per way the machine and the update record
# can disagree (a forged record, a power cut at each note, a tree put back
# by hand, an installation gone or reinstalled, items held open, a lock or
# log taken by another program, a folder link inside the installation).
# Each row starts from the same sample Kestrin 5.0 and asserts what a user
# finds afterwards: the tree, the shortcuts, the registry and the exit code,
# and with /check the same code as the run.
. "$DV_TOP/scripts/sample-update.sh"
fresh_prefix
make_updater "$DV_BUILD/app/updater_faults.exe" || finish
install_sample "$OLD_INSTALL" "$OLD_SHARED" || finish
save_pristine
LOG='C:\distrust.log'
run_quiet() { wine "$UPDATER" /quiet /log "$LOG" "$@" >/dev/null 2>&1; echo $?; }

# The update never interrupted: what a row that ends updated must end with.
restore_pristine
expect_eq "uninterrupted update" 0 "$(run_quiet)"
want=$(final_state)

# same_code NAME CODE: /check and the update agree on CODE.
same_code() {
  expect_eq "$1: /check" "$2" "$(run_quiet /check)"
  expect_eq "$1: update" "$2" "$(run_quiet)"
}
# ends_updated NAME: the machine is exactly as after an uninterrupted update.
ends_updated() {
  local have; have=$(final_state)
  [ "$have" == "$want" ] && echo "ok: $1: as if never interrupted" ||
    fail "$1: differs: $(diff <(echo "$want") <(echo "$have") | head -20)"
}

# --- the record and the lock -------------------------------------------------

# --- the phases, proven on the machine ---------------------------------------
# A phase is skipped because the machine shows it, never because the record
# says so: a power cut just after each note (the registry the Wine server had
# not saved is lost), a 5.0 put back after step 3; a record whose
# installation is gone, moved on or not a Kestrin one is told, not followed.
REC='C:\ProgramData\Dovetra 5.0.3 Update\update.txt'
# The log names the record and says it is not followed.
names_record() {
  grep -F "$REC" "$(win_path "$LOG")" | grep -q "not followed" && echo "ok: $1: the record is named" ||
    fail "$1: the log does not name the record"
}
for n in 1 2 3 4 5 6 7 8 9; do
  restore_pristine
  code=$(DV_KILL_AT=done:$n run_quiet); power_cut
  [ "$code" != 0 ] || fail "done:$n: never reached"
  same_code "power cut at done:$n" 0
  ends_updated "power cut at done:$n"
done
restore_pristine
DV_KILL_AT=done:4 run_quiet >/dev/null
dir=$(win_path "$OLD_INSTALL"); rm -rf "$dir"; mkdir -p "$dir"; cp -a "$SAMPLE/5.0/install/." "$dir/"
same_code "5.0 put back after step 3" 0
ends_updated "5.0 put back after step 3"
# stale_row NAME KILL_AT CODE: cut off there, the machine changed by "$@"
# after it, then /check and the update end CODE and change nothing.
stale_row() {
  local name=$1 kill=$2 code=$3; shift 3
  restore_pristine
  DV_KILL_AT=$kill run_quiet >/dev/null
  "$@"
  local before; before=$(snapshot)
  rm -f "$(win_path "$LOG")"
  same_code "$name" "$code"
  expect_eq "$name: nothing changed" "$before" "$(snapshot)"
  names_record "$name"
}
stale_row "installation deleted" done:1 11 rm -rf "$(win_path "$OLD_INSTALL")"
stale_row "new folder deleted after the move" done:5 11 rm -rf "$(win_path "$NEW_INSTALL")"
stale_row "5.0 reinstalled after the move" done:6 10 install_sample "$OLD_INSTALL" "$OLD_SHARED"
# A record the updater wrote, its folders changed in place (its rights kept),
# every step noted done and its hash line made again: refused, nothing
# rewritten toward its folders.
forge() {  # INSTALL FINAL RELOCATE
  python3 - "$(win_path "$REC")" "$@" <<'PY'
import hashlib, sys
path, new = sys.argv[1], dict(zip(["install", "final", "relocate"], sys.argv[2:]))
new["done"] = "shared-copy,step-1,step-2,step-3,move,renames"
lines = open(path, 'rb').read().decode().split('\r\n')[:-2]
text = "".join((k + "=" + new[k] if k in new else l) + "\r\n" for l in lines for k in [l.split("=")[0]])
with open(path, 'r+b') as f:
    f.write((text + "sha256=" + hashlib.sha256(text.encode()).hexdigest() + "\r\n").encode()); f.truncate()
PY
}
system_values() { wine reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' /v SystemRoot | tr -d '\r'; }
for forged in 'C:\windows|C:\windows|0' 'C:\users\Public\Documents|C:\users\Public\Documents|0' \
              "$OLD_INSTALL|C:\\windows|1"; do
  restore_pristine
  DV_KILL_AT=done:1 run_quiet >/dev/null
  IFS='|' read -r -a f <<<"$forged"
  forge "${f[@]}"
  before=$(snapshot; system_values)
  rm -f "$(win_path "$LOG")"
  same_code "a record naming $forged" 11
  expect_eq "a record naming $forged: nothing rewritten" "$before" "$(snapshot; system_values)"
  names_record "a record naming $forged"
done

# --- what the migration meets: held items, links -----------------------------

# held NAME WINPATH SHARE: a program holds the item (a file open with the
# FILE_SHARE_ bits SHARE, a folder as its current directory): /check and the
# update both end 8 and change nothing; released, the update completes.
held() {
  local name=$1 item=$2 share=$3 i before
  restore_pristine
  before=$(snapshot)
  ( wine "$DRIVER" hold "$item" 300 "$share" >/dev/null 2>&1 & )
  for i in $(seq 50); do [ "$(run_quiet /check)" = 8 ] && break; sleep 0.2; done
  same_code "$name" 8
  expect_eq "$name: nothing changed" "$before" "$(snapshot)"
  grep -q "$(basename "${item//\\//}"): in use by another program" "$(win_path "$LOG")" \
    && echo "ok: $name: the log names it" || fail "$name: the log does not name it"
  touch "$(win_path "$item").release"
  for i in $(seq 50); do [ -e "$(win_path "$item").release" ] || break; sleep 0.2; done
  expect_eq "$name: released, the update" 0 "$(run_quiet)"
  ends_updated "$name: released"
}
# Without delete sharing: the copy of the shared folder reads it, the rename fails.
held "held preference file" "$OLD_SHARED\\Kestrin 5 Preferences.prf" 3
held "held folder" "$OLD_INSTALL\\Kestrin Libraries" 0
held "held shared-folder file" "$OLD_SHARED\\WMF.F32" 0

# A folder link inside the install folder, to the user's own folder outside:
# the link goes to the new folder as a link, what it points to untouched.
restore_pristine
mydata=$(win_path 'C:\users\Public\My Data'); rm -rf "$mydata"; mkdir -p "$mydata/sub"
printf 'dear' >"$mydata/letter.txt"; printf 'f' >"$mydata/sub/f"
ln -s "$mydata" "$(win_path "$OLD_INSTALL")/My Data"
mine=$(cd "$mydata" && find . -printf '%p %s %T@\n' | sort; cat letter.txt sub/f)
same_code "folder link inside the installation" 0
expect_eq "folder link: in the new folder, to the same place" "$mydata" \
  "$(readlink "$(win_path "$NEW_INSTALL")/My Data")"
expect_eq "folder link: what it points to untouched" "$mine" \
  "$(cd "$mydata" && find . -printf '%p %s %T@\n' | sort; cat letter.txt sub/f)"
rm -f "$(win_path "$NEW_INSTALL")/My Data"
ends_updated "folder link: the rest"
rm -rf "$mydata"

finish
