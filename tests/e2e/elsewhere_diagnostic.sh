#!/usr/bin/env bash
# An installation away from the default paths, updated in diagnostic mode
# ("-d"): patched in place, not moved; the message carries the shared folder;
# "patch.err" and "patchv1-v2.err" are deleted at the end.
. "$DV_TOP/scripts/sample-update.sh"
INSTALL='C:\Apps\Kestrin Suite 5'
SHARED='C:\Apps\Vantor Shared'
fresh_prefix
make_updater || finish
install_sample "$INSTALL" "$SHARED" || finish
dir=$(win_path "$INSTALL")
printf 'log of an older updater\r\n' >"$dir/patchv1-v2.err"

run_update -d
expect_eq "success message with the shared folder" \
  "The Kestrin installation in folder \"$INSTALL\" has been updated to Dovetra 5.0.3.  (Vantor folder is \"$SHARED\")." \
  "$(message)"
quit_updater

same_tree "install folder is 5.0.3, renamed in place" "$SAMPLE/final/install" "$dir" '^\./RTP[123]\.err$'
same_tree "shared folder renamed" "$SAMPLE/final/shared" "$(win_path "$SHARED")"
[ -e "$dir/patchv1-v2.err" ] && fail "patchv1-v2.err kept in diagnostic mode"
[ -e "$dir/patch.err" ] && fail "patch.err kept in diagnostic mode"
[ -e "$(win_path "$NEW_INSTALL")" ] && fail "an installation elsewhere was moved"
expect_eq "new key names the folder in place" "$INSTALL" \
  "$(reg_value 'HKCU\Software\Halvern\Dovetra 5' 'Vantor Directory')"
finish
