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
