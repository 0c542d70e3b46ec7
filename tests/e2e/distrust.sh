#!/usr/bin/env bash
# The machine is the truth: a row per way the machine and the update record
# can disagree (a forged record, a power cut at each note, a tree put back
# by hand, an installation gone or reinstalled, items held open, a lock or
# log taken by another program, a folder link inside the installation).
# Each row starts from the same sample Kestrin 5.0 and asserts what a user
# finds afterwards: the tree, the shortcuts, the registry and the exit code,
# and with /check the same code as the run. Given "PART/PARTS", only that
# part's rows run (part_row).
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
# A record an update wrote (killed right after its first note), then made
# another user's, writable by others, or rewritten with a valid hash: each is
# refused before anything changes. Wine keeps no owner or access list of
# its own per file: it reports the Linux owner and mode bits, so the owner is
# changed with chown (another uid reads as "ANONYMOUS LOGON") and the rights
# with chmod (o+w reads as "Everyone" may write).
if part_row; then
RECORD=$(win_path 'C:\ProgramData\Dovetra 5.0.3 Update')/update.txt
TEMP_DIR=$(win_path 'C:\users')/$(id -un)/Temp
restore_pristine
DV_KILL_AT=done:1 run_quiet >/dev/null
cp "$RECORD" "$scratch/record.txt"
mkdir -p "$TEMP_DIR/DV50377"; echo mine >"$TEMP_DIR/DV50377/notes.txt"  # not a payload folder
left=$(cd "$TEMP_DIR" && ls -d DV503* | grep -vx DV50377)
refused() {  # ROW WHY: /check and the update end 11 naming WHY; nothing changed
  local before; before=$(snapshot)
  same_code "record: $1" 11
  expect_eq "record: $1: nothing changed" "$before" "$(snapshot)"
  grep -q "is not used: .*$2" "$(win_path "$LOG")" && echo "ok: record: $1: the log says why" ||
    fail "record: $1: no [$2] in the log"
}
chown nobody "$RECORD"; refused "another owner" "owned by"; chown "$(id -u)" "$RECORD"
chmod o+w "$RECORD"; refused "writable by users" "writable by"; chmod o-w "$RECORD"
python3 - "$RECORD" <<'PY'
import hashlib, sys
lines = open(sys.argv[1], 'rb').read().split(b'\r\n')[:-2]
body = b''.join((b'install=C:\\windows' if l.startswith(b'install=') else l) + b'\r\n' for l in lines)
open(sys.argv[1], 'wb').write(body + b'sha256=' + hashlib.sha256(body).hexdigest().encode() + b'\r\n')
PY
refused "install=C:\\windows" "Windows folder"
cp "$scratch/record.txt" "$RECORD"
expect_eq "record: a killed run left its payload folder" 1 "$(echo "$left" | grep -c .)"
expect_eq "record: resumed, the update" 0 "$(run_quiet)"
ends_updated "record: resumed"
expect_eq "record: the killed run's payload folder removed, nothing else" "DV50377" "$(cd "$TEMP_DIR" && ls -d DV503*)"
fi

# A program holds the lock's name as any user could: the update runs.
if part_row; then
restore_pristine; warm_prefix
( wine "$DRIVER" hold-mutex 'Global\Dovetra 5.0.3 Update' 'C:\mutex.held' 300 >/dev/null 2>&1 & )
for i in $(seq 100); do [ -e "$(win_path 'C:\mutex.held')" ] && break; sleep 0.1; done
expect_eq "lock: squatted name, the update" 0 "$(run_quiet)"
ends_updated "lock: squatted name"
grep -q 'held by another program' "$(win_path "$LOG")" && echo "ok: lock: the log says so" ||
  fail "lock: squatted name: not in the log"
fi

# A deployment script run twice with one log: the second ends 9, saying why in it.
if part_row; then
restore_pristine; warm_prefix; rm -f "$(win_path "$LOG")"
start_updater "$UPDATER" /log "$LOG"
drv wait-window "$CAPTION" 30 >/dev/null || fail "lock: no first updater"
expect_eq "lock: the same /log twice" 9 "$(run_quiet)"
grep -q 'Another update .* is running' "$(win_path "$LOG")" && echo "ok: lock: the second says why in the log" ||
  fail "lock: the same /log twice: no reason in the log"
drv click "$CAPTION" 2 >/dev/null; wait_updater 30 >/dev/null
fi

# --- the phases, proven on the machine ---------------------------------------
# A phase is skipped because the machine shows it, never because the record
# says so: a power cut just after each note (the registry the Wine server had
# not saved is lost), a 5.0 put back after step 3; a record whose
# installation is gone, moved on or not a Kestrin one is told, not followed.
REC='C:\ProgramData\Dovetra 5.0.3 Update\update.txt'
# The log names the record and says it is not followed.
names_record() {
  grep -F "$REC" "$(win_path "$LOG")" | grep -Eq "not followed|is not used" && echo "ok: $1: the record is named" ||
    fail "$1: the log does not name the record"
}
for n in 1 2 3 4 5 6 7 8 9; do
  part_row || continue
  restore_pristine
  code=$(DV_KILL_AT=done:$n run_quiet); power_cut
  [ "$code" != 0 ] || fail "done:$n: never reached"
  same_code "power cut at done:$n" 0
  ends_updated "power cut at done:$n"
done
if part_row; then
restore_pristine
DV_KILL_AT=done:4 run_quiet >/dev/null
dir=$(win_path "$OLD_INSTALL"); rm -rf "$dir"; mkdir -p "$dir"; cp -a "$SAMPLE/5.0/install/." "$dir/"
same_code "5.0 put back after step 3" 0
ends_updated "5.0 put back after step 3"
fi
# stale_row NAME KILL_AT CODE: cut off there, the machine changed by "$@"
# after it, then /check and the update end CODE and change nothing.
stale_row() {
  local name=$1 kill=$2 code=$3; shift 3
  part_row || return 0
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
stale_row "5.0 reinstalled after the move" done:6 10 lay_out_sample "$OLD_INSTALL" "$OLD_SHARED"
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
  part_row || continue
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
  part_row || return 0
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
if part_row; then
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
fi

finish
