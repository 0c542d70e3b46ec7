#!/usr/bin/env bash
# The main dialog as a user meets it: the message with the install folder,
# the buttons enabled, the About box from the system menu, Cancel with
# its clean-up; then diagnostic mode's suffix. Writes the screenshots.
. "$DV_TOP/scripts/testbed.sh"
fresh_prefix
"$DV_TOP/scripts/sample-install.sh" "$WINEPREFIX" --driver "$DRIVER" >/dev/null 2>&1 || fail "sample install"
app=$scratch/app; mkdir -p "$app"
pack "$app/updater.exe" "$DV_BUILD/app/updater.exe" $(stand_in_blocks "$scratch/blocks")
install='C:\Program Files\Vantor Corp\Kestrin 5.0'
temp=$(win_path 'C:\users')

start_updater "$app/updater.exe"
drv wait-window "$CAPTION" 30 >/dev/null || fail "main dialog did not appear"
expect_eq "message" "Click \"Begin Update\" to update the Kestrin installation in folder \"$install\" to Dovetra 5.0.3." \
  "$(drv nth-text "$CAPTION" 4)"
for id in 1 2 1001; do expect_eq "button $id enabled" enabled "$(drv enabled "$CAPTION" $id)"; done
extracted=$(find "$temp" -path '*DV503*' -name patch.exe | head -1)
[ -n "$extracted" ] || fail "no extracted engine program under the temp folder"
sleep 1; screenshot main-dialog "$CAPTION"

# The About box, from the system menu's own item and from another id of 16-31.
for cmd in 16 31; do
  drv sysmenu "$CAPTION" $cmd >/dev/null
  drv wait-window "About DV503Updater" 10 >/dev/null || fail "About box for command $cmd"
  expect_eq "About text" "DV503Updater Version 1.0" "$(drv nth-text "About DV503Updater" 1)"
  [ $cmd = 16 ] && { sleep 1; screenshot about-box "About DV503Updater"; }
  drv click "About DV503Updater" 1 >/dev/null
  drv wait-gone "About DV503Updater" 10 || fail "About box stays after OK"
done

# Minimised and restored, the message is still there.
drv minimize "$CAPTION" >/dev/null; sleep 1
drv restore "$CAPTION" >/dev/null; sleep 1
expect_eq "message after restore" "Click \"Begin Update\" to update the Kestrin installation in folder \"$install\" to Dovetra 5.0.3." \
  "$(drv nth-text "$CAPTION" 4)"

drv click "$CAPTION" 2 >/dev/null
expect_eq "Cancel exit code" 6 "$(wait_updater 20)"
[ -n "$extracted" ] && [ -e "$extracted" ] && fail "extracted engine program left after Cancel: $extracted"
[ -f "$(win_path "$install")/Kestrin.exe" ] || fail "Cancel touched the installation"

# Diagnostic mode: the message carries the shared folder.
start_updater "$app/updater.exe" -d
drv wait-window "$CAPTION" 30 >/dev/null || fail "main dialog (-d) did not appear"
expect_eq "diagnostic message" "Click \"Begin Update\" to update the Kestrin installation in folder \"$install\" to Dovetra 5.0.3.  (Vantor folder is \"C:\\Program Files\\Vantor Corp\\Vantor\")." \
  "$(drv nth-text "$CAPTION" 4)"
drv click "$CAPTION" 2 >/dev/null
expect_eq "Cancel exit code (-d)" 6 "$(wait_updater 20)"
finish
