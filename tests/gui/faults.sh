#!/usr/bin/env bash
# The start-up failures that cannot be provoked from outside, through the
# test build "updater_faults" (DV_FAULT=timer|com|startmenu|desktop), each
# with its message box and exit code 3 (initialization error). The dialog
# must not stay open, and the payload extracted before must not stay behind.
. "$DV_TOP/scripts/testbed.sh"
fresh_prefix
"$DV_TOP/scripts/sample-install.sh" "$WINEPREFIX" --driver "$DRIVER" >/dev/null 2>&1 || fail "sample install"
app=$scratch/app; mkdir -p "$app"
pack "$app/updater_faults.exe" "$DV_BUILD/app/updater_faults.exe" $(stand_in_blocks "$scratch/blocks")

# The shipped program carries none of it.
grep -q DV_FAULT "$DV_BUILD/app/updater.exe" && fail "updater.exe contains the fault injection"
grep -q DV_FAULT "$DV_BUILD/app/updater_faults.exe" || fail "updater_faults.exe lacks the fault injection"
# ... and no symbols or debug sections.
i686-w64-mingw32-objdump -h "$DV_BUILD/app/updater.exe" | grep -Eq '\.debug|\.stab' && fail "updater.exe carries debug sections"

check_fault() {  # FAULT TEXT
  wine reg add 'HKCU\Environment' /v DV_FAULT /d "$1" /f >/dev/null 2>&1
  new_session
  start_updater "$app/updater_faults.exe"
  expect_eq "$1: text" "$2" "$(drv msgbox-text updater_faults 30)"
  expect_eq "$1: buttons" 1 "$(drv msgbox-buttons updater_faults)"
  drv msgbox-answer updater_faults >/dev/null
  expect_eq "$1: exit code" 3 "$(wait_updater 20)"
  expect_eq "$1: payload removed" "" "$(find "$(win_path 'C:\users')" -name 'DV503*' 2>/dev/null)"
}
check_fault timer "No timer available."
check_fault com "Can't initialize COM."
check_fault startmenu "Can't get Start Menu location."
check_fault desktop "Can't get Desktop folder location."
wine reg delete 'HKCU\Environment' /v DV_FAULT /f >/dev/null 2>&1
finish
