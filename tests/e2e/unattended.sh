#!/usr/bin/env bash
# The switches an administrator deploys with, on the real packed updater and
# the sample installation: a bad switch; /check, which changes nothing;
# /quiet /log at the default paths, the log in the folder that is moved;
# /quiet /dir on an installation elsewhere; a launcher that starts the
# updater with its path unquoted. No window is touched: each run is
# judged by its exit code, its log and the machine afterwards.
. "$DV_TOP/scripts/sample-update.sh"
export LC_ALL=C.UTF-8
fresh_prefix
make_updater || finish
install_sample "$OLD_INSTALL" "$OLD_SHARED" || finish
dir=$(win_path "$OLD_INSTALL"); shared=$(win_path "$OLD_SHARED")
LOG='C:\deploy\update.log'; log=$(win_path 'C:\')/deploy/update.log; mkdir -p "$(dirname "$log")"

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
# A launcher that names the program apart and passes its path unquoted.
tools='C:\Program Files\Deploy Tools'; mkdir -p "$(win_path 'C:\Program Files')/Deploy Tools"
cp "$UPDATER" "$(win_path 'C:\Program Files')/Deploy Tools/DV503Updater.exe"
wine "$DRIVER" launch "$tools\DV503Updater.exe" "$tools\DV503Updater.exe /check /quiet" >/dev/null 2>&1
expect_eq "an unquoted program path with spaces" 0 "$?"
rm -rf "$(win_path 'C:\Program Files')/Deploy Tools"

# The whole update, unattended, its log inside the folder that is moved:
# the log goes along and does not stop the move.
expect_eq "/quiet /log in the install folder" 0 "$(quiet /quiet /log "$OLD_INSTALL\\update.log")"
new=$(win_path "$NEW_INSTALL")
log=$new/update.log
same_tree "new install folder is 5.0.3" "$SAMPLE/final/install" "$new" '^\./(RTP[123]\.err|update\.log)$'
same_tree "shared folder renamed" "$SAMPLE/final/shared" "$shared"
for f in UpdV1-V1 UpdV1-V2 UpdV2-V3; do logged "$f" "step $f\.RTP ended: exit code 0, log: succeeded"; done
for p in "the move to the new folder" "the new names" "the shortcuts" "the registry"; do logged "$p" "$p: done"; done
logged "the record goes" "update record: C:\\\\ProgramData\\\\Dovetra 5\.0\.3 Update\\\\update\.txt"
[ -e "$(win_path 'C:\ProgramData')/Dovetra 5.0.3 Update" ] && fail "the update record is left after a completed update"
logged "the move" "moved C:\\\\Program Files\\\\Vantor Corp\\\\Kestrin 5\.0 to C:\\\\Program Files\\\\Halvern\\\\Dovetra 5"
logged "a rename" "renamed .*\\\\Kestrin\.exe to Dovetra\.exe"
logged "a shortcut" "shortcut made: .*\\\\Dovetra 5\.lnk"
logged "values rewritten per root" "registry HKEY_CURRENT_USER: [1-9][0-9]* values rewritten"
logged "extraction" "extracted .*patch\.exe"
logged "outcome" "outcome: The Kestrin installation in folder \"C:\\\\Program Files\\\\Halvern\\\\Dovetra 5\" has been updated"
logged "exit code" "exit code 0"
expect_extracted_gone

# /dir: an installation elsewhere, not the one the registry names, in a
# folder of 149 UTF-16 units in CJK (447 bytes of UTF-8, three names short
# enough for the Linux file system below Wine).
cjk=$(python3 -c 'print("\\".join(("办公室文档" * 10)[:48] for _ in range(3)))')
ELSE="D:\\$cjk"; ln -sfn "$scratch/d" "$WINEPREFIX/dosdevices/d:"
elsewhere=$scratch/d/${cjk//\\//}; mkdir -p "$elsewhere"
cp -a "$SAMPLE/5.0/install/." "$elsewhere/"
# The first update renamed the shared folder's files and removed the old
# suite's pointer to it: lay both out again.
rm -rf "$shared"; mkdir -p "$shared"; cp -a "$SAMPLE/5.0/shared/." "$shared/"
wine reg add 'HKCU\Software\Vantor Corp.\Vantor' /v 'Vantor Directory' /d "$OLD_SHARED" /f >/dev/null
expect_eq "/quiet /dir elsewhere" 0 "$(quiet /quiet /dir "$ELSE")"
same_tree "installation elsewhere is 5.0.3, in place" "$SAMPLE/final/install" "$elsewhere" '^\./RTP[123]\.err$'
same_tree "its shared folder renamed" "$SAMPLE/final/shared" "$shared"
expect_eq "/dir to a folder that is not there" 2 "$(quiet /quiet /dir 'D:\nowhere')"
finish
