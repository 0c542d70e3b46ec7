#!/usr/bin/env bash
# A Kestrin 5.0 installation at the old default paths: patched to 5.0.3 by the
# real engine through the real dialog, moved to the new default folder,
# renamed, its shortcuts and registry values migrated.
. "$DV_TOP/scripts/sample-update.sh"
fresh_prefix
make_updater || finish
install_sample "$OLD_INSTALL" "$OLD_SHARED" || finish

run_update
msg=$(message)
expect_eq "success message" \
  "The Kestrin installation in folder \"$NEW_INSTALL\" has been updated to Dovetra 5.0.3." "$msg"
expect_eq "Begin Update stays disabled" disabled "$(drv enabled "$CAPTION" 1)"
expect_eq "Change folder enabled" enabled "$(drv enabled "$CAPTION" 1001)"
screenshot e2e-default-path-done
quit_updater
expect_extracted_gone

new=$(win_path "$NEW_INSTALL"); old=$(win_path "$OLD_INSTALL"); shared=$(win_path "$OLD_SHARED")
same_tree "new install folder is 5.0.3, renamed" "$SAMPLE/final/install" "$new" '^\./RTP[123]\.err$'
same_tree "shared folder renamed" "$SAMPLE/final/shared" "$shared"
for log in RTP3 RTP1 RTP2; do
  [ -f "$new/$log.err" ] || fail "no step log $log.err"
  grep -qi wpt0036 "$new/$log.err" 2>/dev/null && fail "$log.err reports a failure"
done
[ -e "$new/patch.err" ] && fail "patch.err left after a successful run"
left=$(find "$old" -type f 2>/dev/null)
expect_eq "old install folder emptied" "" "$left"

programs=$(win_path 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs')
desktop=$(win_path 'C:\users\Public\Desktop')
for l in "Dovetra 5" "Kestrin 4 to 3 Converter" FileConverter ReadMe; do
  [ -f "$programs/Dovetra 5/$l.lnk" ] || fail "no shortcut $l.lnk"
done
[ -e "$programs/Kestrin 5.0" ] && fail "old Start-menu folder left"
[ -f "$desktop/Dovetra 5.lnk" ] || fail "no desktop shortcut"
[ -e "$desktop/Kestrin 5.0.lnk" ] && fail "old desktop shortcut left"
python3 - "$programs/Dovetra 5/Dovetra 5.lnk" "$NEW_INSTALL\\Dovetra.exe" <<'PY' || fail "Dovetra 5.lnk does not point at Dovetra.exe"
import sys
data, want = open(sys.argv[1], 'rb').read(), sys.argv[2]
sys.exit(0 if want.encode('latin-1') in data or want.encode('utf-16-le') in data else 1)
PY

expect_eq "new key: Vantor Directory" "$NEW_INSTALL" \
  "$(reg_value 'HKCU\Software\Halvern\Dovetra 5' 'Vantor Directory')"
expect_eq "new key: User Directory" "$NEW_INSTALL" \
  "$(reg_value 'HKCU\Software\Halvern\Dovetra for Windows\Dovetra 5' 'User Directory')"
expect_eq "old shared-folder value deleted" "" \
  "$(reg_value 'HKCU\Software\Vantor Corp.\Vantor' 'Vantor Directory')"
expect_eq "value naming the old folder rewritten" "$NEW_INSTALL\\Samples" \
  "$(reg_value 'HKCU\Software\Kestrin Test\Documents' 'Last Folder')"
expect_eq "open command names the new program" "\"$NEW_INSTALL\\Dovetra.exe\" \"%1\"" \
  "$(wine reg query 'HKCR\Kestrin.Document\shell\open\command' /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ[[:space:]]*//p')"
finish
