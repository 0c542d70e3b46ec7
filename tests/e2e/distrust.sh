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

finish
