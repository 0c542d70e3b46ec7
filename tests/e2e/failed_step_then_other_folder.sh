#!/usr/bin/env bash
# The second patch step fails inside the engine (a file it changes is not the
# one it was built for): the run stops there, the folder stays as the first
# step left it, the failure message points at PATCH.ERR, which holds the
# failed step's log and is open in the text editor; nothing is migrated.
# Then "Change folder" picks another installation and a second update, from
# the first step again, succeeds.
. "$DV_TOP/scripts/sample-update.sh"
SECOND='C:\Second\Kestrin 5.0'
fresh_prefix
make_updater || finish
install_sample "$OLD_INSTALL" "$OLD_SHARED" || finish
dir=$(win_path "$OLD_INSTALL"); shared=$(win_path "$OLD_SHARED")
printf 'a local change' | dd of="$dir/KSDraw.dll" bs=1 seek=5000 conv=notrunc 2>/dev/null
expect=$scratch/expect-failed
cp -a "$SAMPLE/5.0.1" "$expect"; cp "$dir/KSDraw.dll" "$expect/KSDraw.dll"
second=$(win_path "$SECOND"); mkdir -p "$second"; cp -a "$SAMPLE/5.0/install/." "$second/"

run_update
expect_eq "failure message" \
  "The Kestrin installation in folder \"$OLD_INSTALL\" may not have been completely updated to Dovetra 5.0.3.  Please refer to the file PATCH.ERR." \
  "$(message)"
expect_eq "Change folder enabled" enabled "$(drv enabled "$CAPTION" 1001)"
same_tree "folder as the first step left it" "$expect" "$dir" '^\./(RTP[13]\.err|patch\.err)$'
grep -qi wpt0036 "$dir/RTP3.err" && fail "first step's log reports a failure"
grep -qi wpt0036 "$dir/RTP1.err" || fail "failed step's log lacks wpt0036"
cmp -s "$dir/RTP1.err" "$dir/patch.err" || fail "patch.err is not the failed step's log"
[ -e "$dir/RTP2.err" ] && fail "the third step ran after a failed one"
for i in $(seq 20); do [ -n "$(editor_in_prefix)" ] && break; sleep 0.5; done
case "$(editor_in_prefix)" in
  *notepad.exe*patch.err*) echo "ok: patch.err open in the text editor" ;;
  *) fail "no text editor on patch.err" ;;
esac
[ -e "$(win_path "$NEW_INSTALL")" ] && fail "relocated after a failure"
[ -f "$dir/Kestrin.exe" ] || fail "Kestrin.exe renamed after a failure"
same_tree "shared folder untouched" "$SAMPLE/5.0/shared" "$shared"
expect_eq "registry untouched" "$OLD_SHARED" "$(reg_value 'HKCU\Software\Vantor Corp.\Vantor' 'Vantor Directory')"
[ -f "$(win_path 'C:\users\Public\Desktop')/Kestrin 5.0.lnk" ] || fail "old desktop shortcut gone after a failure"
screenshot e2e-failed-step

# Another installation, chosen through "Change folder", updated from the start.
drv click "$CAPTION" 1001 >/dev/null
drv openfile "Please locate the copy of Kestrin.exe you want to update." "$SECOND\\Kestrin.exe" 20 >/dev/null \
  || fail "no open-file dialog for Change folder"
wait_message "Click \"Begin Update\" to update the Kestrin installation in folder \"$SECOND\"" 20
expect_eq "Begin Update enabled again" enabled "$(drv enabled "$CAPTION" 1)"
drv click "$CAPTION" 1 >/dev/null
wait_message "The Kestrin installation in folder \"$SECOND\" has been updated" 120
same_tree "second installation is 5.0.3, renamed in place" "$SAMPLE/final/install" "$second" '^\./RTP[123]\.err$'
same_tree "shared folder renamed by the second run" "$SAMPLE/final/shared" "$shared"
quit_updater
expect_extracted_gone
finish
