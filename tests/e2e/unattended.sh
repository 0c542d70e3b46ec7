#!/usr/bin/env bash
# The switches an administrator deploys with, on the real packed updater and
# the sample installation: a bad switch; /check, which changes nothing; a
# failing /quiet run that names its step; /quiet /log at the default paths;
# /quiet /dir on an installation elsewhere. No window is touched: each run is
# judged by its exit code, its log and the machine afterwards.
. "$DV_TOP/scripts/sample-update.sh"
fresh_prefix
make_updater || finish
install_sample "$OLD_INSTALL" "$OLD_SHARED" || finish
dir=$(win_path "$OLD_INSTALL"); shared=$(win_path "$OLD_SHARED")
LOG='C:\deploy\update.log'; log=$(win_path 'C:\')/deploy/update.log; mkdir -p "$(dirname "$log")"

quiet() {  # ARGS...: runs the updater to its end, prints its exit code
  wine "$UPDATER" "$@" >/dev/null 2>&1; echo $?
}
# Everything an update could touch: file names, sizes and bytes; registry keys.
snapshot() {
  ( cd "$(win_path 'C:\')" && find "Program Files" ProgramData/Microsoft/Windows/'Start Menu' \
      users/Public/Desktop -printf '%p %s\n' 2>/dev/null | sort
    find "Program Files" -type f -print0 | sort -z | xargs -0 md5sum )
  for k in 'HKCU\Software' 'HKCR\.ksd' 'HKCR\Kestrin.Document'; do
    wine reg query "$k" /s 2>/dev/null | tr -d '\r'
  done
}
logged() {  # WHAT REGEX
  grep -Eq "$2" "$log" && echo "ok: log: $1" || fail "log lacks $1 [$2]"
}

expect_eq "bad switch" 7 "$(quiet /quiet /silent)"
# A log name that is a link is not written through (Wine shows a host
# symbolic link to a file as the file itself, so a hard link stands in).
printf 'not a log\n' >"$scratch/victim.ini"; ln -f "$scratch/victim.ini" "$(dirname "$log")/link.log"
expect_eq "/log through a link" 7 "$(quiet /check /quiet /log 'C:\deploy\link.log')"
expect_eq "the link's target untouched" "not a log" "$(cat "$scratch/victim.ini")"

before=$(snapshot)
expect_eq "/check at the default paths" 0 "$(quiet /check /quiet /log "$LOG")"
expect_eq "/check changed nothing" "$before" "$(snapshot)"
logged "check result" "check: The installation in .* can be updated to Dovetra 5.0.3; it would then be moved to"
expect_extracted_gone

# A failing step: the engine refuses a file changed since the patch was built.
cp "$dir/KSDraw.dll" "$scratch/KSDraw.dll"
printf 'a local change' | dd of="$dir/KSDraw.dll" bs=1 seek=5000 conv=notrunc 2>/dev/null
rm -f "$log"
expect_eq "/quiet with a failing step" 4 "$(quiet /quiet /log "$LOG")"
logged "failed step" "step UpdV1-V2\.RTP ended: exit code [1-9].*log: failed"
logged "failure" "update failed at UpdV1-V2\.RTP"
expect=$scratch/expect-failed; rm -rf "$expect"
cp -a "$SAMPLE/5.0.1" "$expect"; cp "$dir/KSDraw.dll" "$expect/KSDraw.dll"
same_tree "installation as the engine left it" "$expect" "$dir" '^\./(RTP[13]\.err|patch\.err)$'
[ -n "$(editor_in_prefix)" ] && fail "a text editor was opened in /quiet mode"

# The whole update, unattended, once the installation is sound again.
rm -rf "$dir"; mkdir -p "$dir"; cp -a "$SAMPLE/5.0/install/." "$dir/"
rm -f "$log"
expect_eq "/quiet /log at the default paths" 0 "$(quiet /quiet /log "$LOG")"
new=$(win_path "$NEW_INSTALL")
same_tree "new install folder is 5.0.3" "$SAMPLE/final/install" "$new" '^\./RTP[123]\.err$'
same_tree "shared folder renamed" "$SAMPLE/final/shared" "$shared"
for f in UpdV1-V1 UpdV1-V2 UpdV2-V3; do logged "$f" "step $f\.RTP ended: exit code 0, log: succeeded"; done
for p in relocation renames shortcuts registry; do logged "$p" "$p: done"; done
logged "the move" "moved C:\\\\Program Files\\\\Vantor Corp\\\\Kestrin 5\.0 to C:\\\\Program Files\\\\Halvern\\\\Dovetra 5"
logged "a rename" "renamed .*\\\\Kestrin\.exe to Dovetra\.exe"
logged "a shortcut" "shortcut made: .*\\\\Dovetra 5\.lnk"
logged "values rewritten per root" "registry HKEY_CURRENT_USER: [1-9][0-9]* values rewritten"
logged "extraction" "extracted .*patch\.exe"
logged "outcome" "outcome: The Kestrin installation in folder \"C:\\\\Program Files\\\\Halvern\\\\Dovetra 5\" has been updated"
logged "exit code" "exit code 0"
expect_extracted_gone

# /dir: an installation elsewhere, not the one the registry names.
ELSE='D:\Office\Kestrin'; ln -sfn "$scratch/d" "$WINEPREFIX/dosdevices/d:"; mkdir -p "$scratch/d/Office/Kestrin"
cp -a "$SAMPLE/5.0/install/." "$scratch/d/Office/Kestrin/"
# The first update renamed the shared folder's files and removed the old
# suite's pointer to it: lay both out again.
rm -rf "$shared"; mkdir -p "$shared"; cp -a "$SAMPLE/5.0/shared/." "$shared/"
wine reg add 'HKCU\Software\Vantor Corp.\Vantor' /v 'Vantor Directory' /d "$OLD_SHARED" /f >/dev/null
expect_eq "/quiet /dir elsewhere" 0 "$(quiet /quiet /dir "$ELSE")"
same_tree "installation elsewhere is 5.0.3, in place" "$SAMPLE/final/install" "$scratch/d/Office/Kestrin" '^\./RTP[123]\.err$'
same_tree "its shared folder renamed" "$SAMPLE/final/shared" "$shared"
expect_eq "/dir to a folder that is not there" 2 "$(quiet /quiet /dir 'D:\nowhere')"
finish
