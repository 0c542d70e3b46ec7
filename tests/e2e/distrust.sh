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
# A record an update wrote (killed right after its first note), then made
# another user's, writable by others, or rewritten with a valid hash: each is
# refused before anything changes. Wine keeps no owner or access list of
# its own per file: it reports the Linux owner and mode bits, so the owner is
# changed with chown (another uid reads as "ANONYMOUS LOGON") and the rights
# with chmod (o+w reads as "Everyone" may write).
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

# A program holds the lock's name as any user could: the update runs.
restore_pristine; warm_prefix
( wine "$DRIVER" hold-mutex 'Global\Dovetra 5.0.3 Update' 'C:\mutex.held' 300 >/dev/null 2>&1 & )
for i in $(seq 100); do [ -e "$(win_path 'C:\mutex.held')" ] && break; sleep 0.1; done
expect_eq "lock: squatted name, the update" 0 "$(run_quiet)"
ends_updated "lock: squatted name"
grep -q 'held by another program' "$(win_path "$LOG")" && echo "ok: lock: the log says so" ||
  fail "lock: squatted name: not in the log"

# A deployment script run twice with one log: the second ends 9, saying why in it.
restore_pristine; warm_prefix; rm -f "$(win_path "$LOG")"
start_updater "$UPDATER" /log "$LOG"
drv wait-window "$CAPTION" 30 >/dev/null || fail "lock: no first updater"
expect_eq "lock: the same /log twice" 9 "$(run_quiet)"
grep -q 'Another update .* is running' "$(win_path "$LOG")" && echo "ok: lock: the second says why in the log" ||
  fail "lock: the same /log twice: no reason in the log"
drv click "$CAPTION" 2 >/dev/null; wait_updater 30 >/dev/null

# --- the phases, proven on the machine ---------------------------------------

# --- what the migration meets: held items, links -----------------------------

finish
