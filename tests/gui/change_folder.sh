#!/usr/bin/env bash
# Choosing the installation through the open-file dialog: at start-up when
# the document association is missing, and later with "Change folder".
. "$DV_TOP/scripts/testbed.sh"
fresh_prefix
other='C:\Apps\Kestrin Copy'
"$DV_TOP/scripts/sample-install.sh" "$WINEPREFIX" --driver "$DRIVER" --no-association >/dev/null 2>&1 \
  || fail "sample install"
mkdir -p "$(win_path "$other")"
printf 'MZ stand-in Kestrin 5.0 program\r\n' >"$(win_path "$other")/Kestrin.exe"
app=$scratch/app; mkdir -p "$app"
pack "$app/updater.exe" "$DV_BUILD/app/updater.exe" $(stand_in_blocks "$scratch/blocks")
ready() { echo "Click \"Begin Update\" to update the Kestrin installation in folder \"$1\" to Dovetra 5.0.3."; }

# No association: the user is asked for Kestrin.exe and picks the default one.
start_updater "$app/updater.exe"
drv openfile "" 'C:\Program Files\Vantor Corp\Kestrin 5.0\Kestrin.exe' 30 >/dev/null \
  || fail "no open-file dialog at start-up"
drv wait-window "$CAPTION" 30 >/dev/null || fail "main dialog after picking Kestrin.exe"
expect_eq "message after picking" "$(ready 'C:\Program Files\Vantor Corp\Kestrin 5.0')" "$(drv nth-text "$CAPTION" 4)"

# "Change folder" to the second copy.
drv click "$CAPTION" 1001 >/dev/null
drv openfile "" "$other\\Kestrin.exe" 30 >/dev/null || fail "no open-file dialog for Change folder"
sleep 2
expect_eq "message after Change folder" "$(ready "$other")" "$(drv nth-text "$CAPTION" 4)"
expect_eq "Begin Update after Change folder" enabled "$(drv enabled "$CAPTION" 1)"

# "Change folder" cancelled: nothing changes.
drv click "$CAPTION" 1001 >/dev/null
drv cancel-openfile "" 30 >/dev/null || fail "no open-file dialog for the cancelled change"
sleep 1
expect_eq "message after a cancelled change" "$(ready "$other")" "$(drv nth-text "$CAPTION" 4)"

drv click "$CAPTION" 2 >/dev/null
expect_eq "Cancel exit code" 6 "$(wait_updater 20)"
finish
