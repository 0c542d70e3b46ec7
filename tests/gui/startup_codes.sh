#!/usr/bin/env bash
# Every start-up result through the real executable and its exit code: a
# missing engine or patch block (1, bad build), no temp folder possible (3,
# initialization error) and the search for the install folder cancelled (2).
. "$DV_TOP/scripts/testbed.sh"
fresh_prefix
"$DV_TOP/scripts/sample-install.sh" "$WINEPREFIX" --driver "$DRIVER" >/dev/null 2>&1 || fail "sample install"
app=$scratch/app; mkdir -p "$app"
blocks=$(stand_in_blocks "$scratch/blocks")

# A start-up message box: its text, title, buttons and icon, then OK.
expect_box() {  # TITLE TEXT
  expect_eq "box text" "$2" "$(drv msgbox-text "$1" 30)"
  expect_eq "box buttons" 1 "$(drv msgbox-buttons "$1")"
  expect_eq "box icon" "no icon" "$(drv msgbox-icon "$1")"
  drv msgbox-answer "$1" >/dev/null || fail "could not answer box $1"
}

# 1: no engine program block.
pack "$app/updater.exe" "$DV_BUILD/app/updater.exe" ${blocks% PEXE=*}
start_updater "$app/updater.exe"
expect_box updater "Bad updater build."
expect_eq "exit code, no engine" 1 "$(wait_updater 20)"

# 2: no block for the second patch step.
pack "$app/updater.exe" "$DV_BUILD/app/updater.exe" $(sed 's/ RTP1=[^ ]*//' <<<"$blocks")
start_updater "$app/updater.exe"
expect_box updater "Bad updater build."
expect_eq "exit code, no patch file" 1 "$(wait_updater 20)"

# 3: TMP names a folder too long to hold a folder of our own; the dialog
# stays open without "Begin Update".
long='C:\t'; while [ ${#long} -lt 240 ]; do long="$long\\0123456789"; done
mkdir -p "$(win_path "$long")"
wine reg add 'HKCU\Environment' /v TMP /d "$long" /f >/dev/null 2>&1
new_session
pack "$app/updater.exe" "$DV_BUILD/app/updater.exe" $blocks
start_updater "$app/updater.exe"
expect_box updater "Initialization error"
drv wait-window "$CAPTION" 20 >/dev/null || fail "dialog closed after Initialization error"
expect_eq "Begin Update offered without a temp folder" disabled "$(drv enabled "$CAPTION" 1)"
expect_eq "still running after code 3" running "$(wait_updater 2)"
# "Change folder" then offers no update either: there is nothing to run it with.
drv click "$CAPTION" 1001 >/dev/null
drv openfile "" 'C:\Program Files\Vantor Corp\Kestrin 5.0\Kestrin.exe' 30 >/dev/null || fail "no open-file dialog"
sleep 1
expect_eq "Begin Update after Change folder, code 3" disabled "$(drv enabled "$CAPTION" 1)"
drv click "$CAPTION" 2 >/dev/null
expect_eq "exit code after Cancel, code 3" 3 "$(wait_updater 20)"
wine reg delete 'HKCU\Environment' /v TMP /f >/dev/null 2>&1
new_session

# 4: no association: the user is asked for Kestrin.exe and cancels.
wine reg delete 'HKCR\.ksd' /f >/dev/null 2>&1
start_updater "$app/updater.exe"
drv cancel-openfile "" 30 >/dev/null || fail "no open-file dialog for the install folder"
expect_eq "exit code, search cancelled" 2 "$(wait_updater 20)"
drv msgbox-text updater 1 >/dev/null 2>&1 && fail "a message box after cancelling the search"
finish
